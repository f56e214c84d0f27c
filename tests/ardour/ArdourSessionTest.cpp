// The bundle in a headless Ardour 7 session, on tracks of 2, 6 and 12 channels
// with its state in the session: exported, saved, reloaded and exported again.

#include "tests/common/SpeakerClicks.h"
#include "tools/host/ArdourSession.h"
#include "tools/host/RenderJob.h"
#include "tools/host/RenderWav.h"

#include <gtest/gtest.h>

namespace
{
constexpr int slot = 12000; // a quarter second
constexpr int tailSlots = 4;
constexpr float tolerance = 1.0e-6f;

struct TrackCase
{
    const char* name;
    int width;
    int layoutId;
};

// Every click has a slot of its own across the whole session: the stereo track's
// first, then the 6-channel track's, then the 12-channel track's.
const TrackCase trackCases[] = {
    { "Stereo", 2, 1 },   // "ITU-R 5.1 / Dolby 5.1.2", two channels as before
    { "Surround", 6, 1 }, // "ITU-R 5.1 / Dolby 5.1.2"
    { "Height", 12, 11 }, // "Dolby 7.1.4"
};

juce::String stateFor (int layoutId)
{
    return "Bypassed=False\r\nChannelProfile=" + juce::String (layoutId)
           + "\r\nSoloMutes=\r\nRoom=1\r\nLoudspeakers=0\r\nVolumeTrim=26\r\nReverbTrim=16";
}

juce::File bundlePath()
{
#ifdef VB_VST3_BUNDLE
    return juce::File (juce::String (VB_VST3_BUNDLE));
#else
    return {};
#endif
}

struct Scene
{
    std::vector<VbHost::ArdourTrack> tracks;
    std::vector<int> firstSlots;
    juce::AudioBuffer<float> expected; // the tracks rendered in process, summed as the master bus does
};

Scene makeScene()
{
    Scene scene;
    int totalSlots = tailSlots;
    for (const auto& c : trackCases)
        totalSlots += c.width;

    scene.expected.setSize (2, totalSlots * slot);
    scene.expected.clear();
    int firstSlot = 0;
    for (const auto& c : trackCases)
    {
        auto audio = SpeakerClicks::make (c.width, slot, firstSlot, totalSlots);
        const auto rendered = SpeakerClicks::renderInProcess (stateFor (c.layoutId), audio, VbHost::ArdourSession::sampleRate, 1024);
        for (int ch = 0; ch < 2; ++ch)
            scene.expected.addFrom (ch, 0, rendered, ch, 0, rendered.getNumSamples());
        scene.tracks.push_back ({ c.name, stateFor (c.layoutId), std::move (audio) });
        scene.firstSlots.push_back (firstSlot);
        firstSlot += c.width;
    }
    return scene;
}

juce::AudioBuffer<float> readExport (const juce::File& wav)
{
    juce::AudioBuffer<float> samples;
    VbHost::Wav::Format format;
    juce::String error;
    EXPECT_TRUE (VbHost::Wav::readFile (wav, samples, format, error)) << error;
    EXPECT_EQ (format.numChannels, 2);
    EXPECT_EQ (format.sampleRate, VbHost::ArdourSession::sampleRate);
    return samples;
}

void expectOneInstancePerTrack (const VbHost::ArdourSession& session, const char* phase)
{
    for (const auto& c : trackCases)
    {
        VbHost::ArdourSession::PluginInsert insert;
        juce::String error;
        ASSERT_TRUE (session.readInsert (c.name, insert, error)) << phase << ": " << error;
        EXPECT_EQ (insert.instances, 1) << phase << ": " << c.name;
        EXPECT_EQ (insert.inputs, c.width) << phase << ": " << c.name;

        const auto text = juce::String::fromUTF8 (static_cast<const char*> (insert.pluginState.getData()),
                                                  (int) insert.pluginState.getSize());
        EXPECT_EQ (VbHost::stateValue (text, "ChannelProfile"), juce::String (c.layoutId)) << phase << ": " << c.name;
        EXPECT_EQ (VbHost::stateValue (text, "Bypassed"), "False") << phase << ": " << c.name;
        EXPECT_EQ (VbHost::stateValue (text, "Room"), "1") << phase << ": " << c.name;
    }
}
} // namespace

// Every Ardour program runs in the session's own folders, and without Ardour 7.3's
// AVX-512 mixing, which overruns the export buffer's heap block.
TEST (ArdourSession, ProgramsRunInTheSessionsFoldersWithoutAvx512Mixing)
{
    const auto work = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getChildFile ("vb-ardour-" + juce::String (juce::Random().nextInt64()));
    const VbHost::ArdourSession session (work, bundlePath());
    const auto environment = session.environment();

    const juce::StringArray expected {
        "HOME=" + work.getChildFile ("home").getFullPathName(),
        "XDG_CONFIG_HOME=" + work.getChildFile ("home/.config").getFullPathName(),
        "XDG_CACHE_HOME=" + work.getChildFile ("home/.cache").getFullPathName(),
        "XDG_DATA_HOME=" + work.getChildFile ("home/.local/share").getFullPathName(),
        "VST3_PATH=" + work.getChildFile ("vst3").getFullPathName(),
        "LD_LIBRARY_PATH=/usr/lib/ardour7",
        "ARDOUR_FPU_FLAGS=95", // AVX and FMA, no AVX-512F
    };
    for (const auto& variable : expected)
        EXPECT_TRUE (environment.contains (variable)) << variable;
    EXPECT_EQ (environment.size(), expected.size());
    work.deleteRecursively();
}

TEST (ArdourSession, EveryTrackChannelReachesItsLoudspeakerThroughExportSaveAndReload)
{
    if (bundlePath() == juce::File())
        GTEST_SKIP() << "this build makes no VST3 bundle";
    ASSERT_TRUE (VbHost::ArdourSession::isInstalled()) << "Ardour 7 is not installed (scripts/setup.sh installs it)";

    const auto work = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getChildFile ("vb-ardour-" + juce::String (juce::Random().nextInt64()));
    VbHost::ArdourSession session (work, bundlePath());
    const auto scene = makeScene();

    juce::String error;
    ASSERT_TRUE (session.create (scene.tracks, error)) << error;
    expectOneInstancePerTrack (session, "created");

    const auto first = work.getChildFile ("first.wav");
    ASSERT_TRUE (session.exportTo (first, error)) << error;
    const auto exported = readExport (first);
    ASSERT_EQ (exported.getNumSamples(), scene.expected.getNumSamples());

    for (size_t t = 0; t < scene.tracks.size(); ++t)
    {
        for (int k = 0; k < trackCases[t].width; ++k)
        {
            const int start = (scene.firstSlots[t] + k) * slot;
            EXPECT_LE (SpeakerClicks::maxDifference (exported, scene.expected, start, start + slot), tolerance)
                << trackCases[t].name << " channel " << k;
            EXPECT_GT (SpeakerClicks::peak (exported, start, start + slot), 0.01f) << trackCases[t].name << " channel " << k;
        }
    }

    ASSERT_TRUE (session.reloadAndSave (error)) << error;
    expectOneInstancePerTrack (session, "saved again");

    // Ardour sums the tracks into the master bus in an order that can change from
    // run to run, so far down the tails the last bit may differ.
    const auto second = work.getChildFile ("second.wav");
    ASSERT_TRUE (session.exportTo (second, error)) << error;
    EXPECT_LE (SpeakerClicks::maxDifference (readExport (second), exported, 0, exported.getNumSamples()), tolerance);

    if (! ::testing::Test::HasFailure())
        work.deleteRecursively();
    else
        ADD_FAILURE() << "Ardour's files are kept in " << work.getFullPathName();
}
