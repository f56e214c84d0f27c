#include "plugin/PluginProcessor.h"
#include "trackerui/HeadPanel.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
float dbGain (float dB)
{
    return std::pow (10.0f, dB / 20.0f);
}
} // namespace

TEST (PluginState, Defaults)
{
    BinauralAudioProcessor processor;
    const auto& s = processor.pluginState;
    EXPECT_EQ (s.volumeTrim, 26);
    EXPECT_EQ (s.reverbTrim, 16);
    EXPECT_EQ (s.bypassed.load(), 0);
    EXPECT_EQ (s.room, Zeph::ListeningRoom::mixingStudio);
    EXPECT_EQ (s.loudspeakers, Zeph::Loudspeakers::fullRange);
    EXPECT_EQ (s.channelProfile, 1);
    EXPECT_EQ (s.numInputChannels.load(), 2);
    EXPECT_EQ (s.settingsChanged.load(), 0);
    EXPECT_EQ (s.volumeGain, 1.0f);
    EXPECT_EQ (s.directGain, 1.0f);
    EXPECT_EQ (s.roomGain, 1.0f);
    EXPECT_EQ (s.soloMutes.anySolo.load(), 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ (s.soloMutes.get (i), normal);
    EXPECT_TRUE (s.scanner.normalPrefixes.contains ("Head Tracker"));
    EXPECT_TRUE (s.scanner.bootloaderPrefixes.contains ("Vontaleer Bootloader"));
    EXPECT_TRUE (s.scanner.isTimerRunning());
    EXPECT_EQ (s.scanner.getTimerInterval(), 400);
    EXPECT_EQ (s.headPanel->getListener(), &processor);

    processor.pluginState.updateGains();
    EXPECT_EQ (s.volumeGain, 1.0f);
    EXPECT_EQ (s.directGain, 1.0f);
    EXPECT_EQ (s.roomGain, 1.0f);
}

TEST (PluginState, GainLaw)
{
    BinauralAudioProcessor processor;
    auto& s = processor.pluginState;

    s.reverbTrim = 0;
    s.updateGains();
    EXPECT_FLOAT_EQ (s.directGain, 1.0f);
    EXPECT_FLOAT_EQ (s.roomGain, 0.1f);

    s.reverbTrim = 32;
    s.updateGains();
    EXPECT_FLOAT_EQ (s.directGain, 0.1f);
    EXPECT_FLOAT_EQ (s.roomGain, 1.0f);

    s.loudspeakers = Zeph::Loudspeakers::nearfield;
    s.updateGains();
    EXPECT_FLOAT_EQ (s.directGain, 0.1f);
    EXPECT_FLOAT_EQ (s.roomGain, 0.630957f);

    s.reverbTrim = 5;
    s.updateGains();
    EXPECT_FLOAT_EQ (s.roomGain, dbGain (-8.0f) * 0.630957f);
    EXPECT_FLOAT_EQ (s.directGain, 1.0f);

    s.volumeTrim = 0;
    s.updateGains();
    EXPECT_FLOAT_EQ (s.volumeGain, 0.1f);
    s.volumeTrim = 32;
    s.updateGains();
    EXPECT_FLOAT_EQ (s.volumeGain, dbGain (3.0f));
    s.volumeTrim = 15;
    s.updateGains();
    EXPECT_FLOAT_EQ (s.volumeGain, dbGain (-5.5f));
}

TEST (SoloMuteRecord, Audibility)
{
    SoloMuteRecord r;
    r.set (3, soloed);
    r.set (7, muted);
    EXPECT_EQ (r.anySolo.load(), 1);
    EXPECT_TRUE (r.sounds (3));
    EXPECT_FALSE (r.sounds (5));
    EXPECT_FALSE (r.sounds (7));

    r.set (3, normal);
    EXPECT_EQ (r.anySolo.load(), 0);
    EXPECT_TRUE (r.sounds (3));
    EXPECT_TRUE (r.sounds (5));
    EXPECT_FALSE (r.sounds (7));

    r.set (7, soloed); // a soloed channel sounds even alone
    EXPECT_TRUE (r.sounds (7));
    EXPECT_FALSE (r.sounds (3));
}
