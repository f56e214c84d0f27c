#include "plugin/PluginProcessor.h"
#include "plugin/SavedState.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace
{
// Counts the listener calls a load makes, in order.
class CountingProcessor : public BinauralAudioProcessor
{
public:
    void layoutSettingsChanged() override
    {
        calls += "L";
        BinauralAudioProcessor::layoutSettingsChanged();
    }
    void gainSettingsChanged() override
    {
        calls += "G";
        BinauralAudioProcessor::gainSettingsChanged();
    }
    juce::String calls;
};

void load (BinauralAudioProcessor& p, const juce::String& text)
{
    p.setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
}

juce::String save (BinauralAudioProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block.toString();
}
} // namespace

TEST (SavedState, DefaultsAreTheSevenLines)
{
    BinauralAudioProcessor p;
    juce::MemoryBlock block;
    block.append ("xy", 2);
    p.getStateInformation (block);
    const juce::String expected = "Bypassed=False\r\nChannelProfile=1\r\nSoloMutes=--------\r\nRoom=1\r\n"
                                  "Loudspeakers=0\r\nVolumeTrim=26\r\nReverbTrim=16";
    EXPECT_EQ (block.getSize(), 2 + expected.length());
    EXPECT_EQ (block.toString(), "xy" + expected);
}

TEST (SavedState, BypassedValues)
{
    BinauralAudioProcessor p;
    for (auto v : { "true", "1", "T" })
    {
        load (p, "Bypassed=False");
        load (p, juce::String ("Bypassed=") + v);
        EXPECT_EQ (p.pluginState.bypassed.load(), 1) << v;
    }
    for (auto v : { "yes", "0", "", "False" })
    {
        load (p, "Bypassed=True");
        load (p, juce::String ("Bypassed=") + v);
        EXPECT_EQ (p.pluginState.bypassed.load(), 0) << v;
    }
}

TEST (SavedState, NumbersAreClamped)
{
    BinauralAudioProcessor p;
    load (p, "ChannelProfile=-3");
    EXPECT_EQ (p.pluginState.channelProfile, 0);
    load (p, "ChannelProfile=99");
    EXPECT_EQ (p.pluginState.channelProfile, 15);
    load (p, "ChannelProfile=7x");
    EXPECT_EQ (p.pluginState.channelProfile, 7);
    load (p, "ChannelProfile=99999999999999999999");
    EXPECT_EQ (p.pluginState.channelProfile, 15);
    load (p, "VolumeTrim=40\r\nReverbTrim=-1\r\nRoom=5\r\nLoudspeakers=2");
    EXPECT_EQ (p.pluginState.volumeTrim, 32);
    EXPECT_EQ (p.pluginState.reverbTrim, 0);
    EXPECT_EQ ((int) p.pluginState.room, 2);
    EXPECT_EQ (p.pluginState.loudspeakers, Zeph::Loudspeakers::nearfield);
    EXPECT_FLOAT_EQ (p.pluginState.roomGain, 0.1f * 0.630957f);
    EXPECT_FLOAT_EQ (p.renderSpec.roomGain.load(), 0.1f * 0.630957f);
    EXPECT_TRUE (p.renderSpec.loudspeakerEq.load());
    EXPECT_FALSE (p.renderSpec.hasDesk.load());
}

TEST (SavedState, SoloMutes)
{
    BinauralAudioProcessor p;
    p.pluginState.soloMutes.channelClass[4] = 1;
    load (p, "SoloMutes=-S-M");
    auto& sm = p.pluginState.soloMutes;
    EXPECT_EQ (sm.get (1), soloed);
    EXPECT_EQ (sm.get (3), muted);
    EXPECT_EQ (sm.anySolo.load(), 1);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ (sm.sounds (i), i == 1) << i;

    load (p, "SoloMutes=mmmmmmmmmmmmmmmmssss");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ (sm.get (i), muted);
    EXPECT_EQ (sm.anySolo.load(), 0);
}

TEST (SavedState, LineSyntax)
{
    BinauralAudioProcessor p;
    load (p, "  Room = 2  ");
    EXPECT_EQ ((int) p.pluginState.room, 2);
    load (p, "room=0");
    EXPECT_EQ ((int) p.pluginState.room, 2);
    load (p, "Room 0\n\n=Room=0\nVolumeTrim=3\nRoom=1\nRoom=0");
    EXPECT_EQ ((int) p.pluginState.room, 0); // the later value wins
    EXPECT_EQ (p.pluginState.volumeTrim, 3);

    BinauralAudioProcessor a, b;
    load (a, "Bypassed=True\r\nChannelProfile=11\r\nSoloMutes=-s\r\nRoom=2\r\nLoudspeakers=1\r\nVolumeTrim=3\r\nReverbTrim=30");
    load (b, "Bypassed=True\nChannelProfile=11\nSoloMutes=-s\nRoom=2\nLoudspeakers=1\nVolumeTrim=3\nReverbTrim=30");
    EXPECT_EQ (save (a), save (b));
    EXPECT_EQ (save (a), "Bypassed=True\r\nChannelProfile=11\r\nSoloMutes=-s----------\r\nRoom=2\r\n"
                         "Loudspeakers=1\r\nVolumeTrim=3\r\nReverbTrim=30");
}

TEST (SavedState, EmptyTextStillNotifies)
{
    CountingProcessor p;
    p.calls = {};
    p.pluginState.volumeTrim = 0; // changed behind the gains' back
    p.setStateInformation (nullptr, 0);
    EXPECT_EQ (p.calls, "GL");
    EXPECT_EQ (p.pluginState.settingsChanged.load(), 1);
    EXPECT_FLOAT_EQ (p.pluginState.volumeGain, 0.1f);

    const char nulFirst[] = { 0, 'R', 'o', 'o', 'm', '=', '0' };
    p.setStateInformation (nulFirst, (int) sizeof (nulFirst));
    EXPECT_EQ ((int) p.pluginState.room, 1);

    const char* terminated = "Room=0";
    p.setStateInformation (terminated, -1);
    EXPECT_EQ ((int) p.pluginState.room, 0);
    EXPECT_EQ (p.calls, "GLGLGL");
}

TEST (SavedState, FourPositionLayoutWritesFourLetters)
{
    BinauralAudioProcessor p;
    load (p, "ChannelProfile=2\nSoloMutes=smsm-s");
    EXPECT_TRUE (save (p).contains ("\r\nSoloMutes=smsm\r\n"));
}

TEST (SavedState, RandomTextLeavesAValidState)
{
    BinauralAudioProcessor p;
    juce::Random random (1234);
    const char alphabet[] = "BypassedChannelProfileSoloMutesRoomLoudspeakersVolumeTrimReverbTrim=\r\n -+0123456789smtTx\xc3\xa9";
    for (int round = 0; round < 300; ++round)
    {
        std::string text;
        const int length = random.nextInt (200);
        for (int i = 0; i < length; ++i)
            text += alphabet[random.nextInt ((int) sizeof (alphabet) - 1)];
        p.setStateInformation (text.data(), (int) text.size());
        const auto& s = p.pluginState;
        ASSERT_LE (s.channelProfile, 15);
        ASSERT_LE ((int) s.room, 2);
        ASSERT_LE ((int) s.loudspeakers, 1);
        ASSERT_LE (s.volumeTrim, 32);
        ASSERT_LE (s.reverbTrim, 32);
        ASSERT_LE (s.bypassed.load(), 1);
        ASSERT_TRUE (std::isfinite (s.volumeGain) && std::isfinite (s.roomGain) && std::isfinite (s.directGain));
        ASSERT_NE (p.renderSpec.currentProfile(), nullptr);
    }
}

namespace
{
// Loads the bytes from a heap block of exactly their length, so that any read
// past them is caught by the address sanitiser.
void loadBytes (BinauralAudioProcessor& p, const std::string& bytes, int size)
{
    std::vector<char> block (bytes.begin(), bytes.end());
    p.setStateInformation (block.empty() ? nullptr : block.data(), size);
}
} // namespace

// A line that is not well-formed UTF-8 sets nothing; its neighbours still apply.
TEST (SavedState, InvalidUtf8LinesSetNothing)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        bool terminated; // passed with a negative size
        int room;        // expected after loading over Room=1
        SoloMuteState channel0; // expected after loading over SoloMutes=m
    };
    const std::string nul (1, '\0');
    const Case cases[] = {
        { "truncated lead byte at the end", "SoloMutes=a\xff", false, 1, muted },
        { "lone F0, NUL-terminated", "Room=2\r\nSoloMutes=s\xf0" + nul, true, 2, muted },
        { "lone F0 alone", "\xf0" + nul, true, 1, muted },
        { "overlong NUL, NUL-terminated", "\xf0\x80\x80\x80Room=2\r\nSoloMutes=s" + nul, true, 1, soloed },
        { "truncated three-byte form", "Room=0\nSoloMutes=s\xe2\x82", false, 0, muted },
        { "overlong slash", "Room=\xc0\xaf" "2\nSoloMutes=-", false, 1, normal },
        { "surrogate", "SoloMutes=s\xed\xa0\x80\nRoom=2", false, 2, muted },
        { "past U+10FFFF", "Room=\xf4\x90\x80\x80\r\nRoom=0", false, 0, muted },
        { "continuation without lead", "SoloMutes=\x80s\nRoom=2", false, 2, muted },
        { "valid two-byte letter", "SoloMutes=\xc3\xa9s", false, 1, normal },
        { "valid four-byte letter", "SoloMutes=\xf0\x9f\x8e\xa7m\rRoom=2", false, 2, normal },
        { "text ends at a NUL", "Room=0" + nul + "Room=2", false, 0, muted },
    };

    for (const auto& c : cases)
    {
        BinauralAudioProcessor p;
        load (p, "Room=1\nSoloMutes=m");
        loadBytes (p, c.bytes, c.terminated ? -1 : (int) c.bytes.size());
        EXPECT_EQ ((int) p.pluginState.room, c.room) << c.name;
        EXPECT_EQ (p.pluginState.soloMutes.get (0), c.channel0) << c.name;
    }
}

TEST (SavedState, Utf8Validation)
{
    const std::pair<std::string, bool> cases[] = {
        { "", true }, { "Room=2", true }, { "\xc3\xa9", true }, { "\xe2\x82\xac", true },
        { "\xf0\x9f\x8e\xa7", true }, { "\xef\xbf\xbf", true }, { "\xf4\x8f\xbf\xbf", true },
        { "\xff", false }, { "\xc3", false }, { "\xc1\xbf", false }, { "\xe0\x9f\xbf", false },
        { "\xed\xa0\x80", false }, { "\xf0\x8f\xbf\xbf", false }, { "\xf4\x90\x80\x80", false },
        { "\xf5\x80\x80\x80", false }, { "\xe2\x28\xa1", false }, { "a\x80", false },
    };
    for (const auto& [bytes, valid] : cases)
        EXPECT_EQ (SavedState::isValidUtf8 (bytes.data(), bytes.size()), valid) << juce::String::toHexString (bytes.data(), (int) bytes.size());
}
