// The saved state as a VST3 host stores and restores it.

#include "tests/host/HostFixture.h"
#include "tools/host/HostState.h"

using HostTesting::bytesOf;
using HostTesting::HostTest;
using HostTesting::stateText;
using HostTesting::textOf;

class HostSavedState : public HostTest
{
};

TEST_F (HostSavedState, FreshInstanceSavesTheDefaults)
{
    juce::String error;
    auto fresh = HostTesting::loadFresh (error);
    ASSERT_NE (fresh, nullptr) << error;
    EXPECT_EQ (textOf (fresh->getPluginState()),
               "Bypassed=False\r\nChannelProfile=1\r\nSoloMutes=--------\r\nRoom=1\r\n"
               "Loudspeakers=0\r\nVolumeTrim=26\r\nReverbTrim=16");
}

TEST_F (HostSavedState, HostBlobWrapsTheTextAndTheFrameworkTrailer)
{
    setStateText (stateText (false, 2, "-s-m", 0, 1, 3, 30));
    const auto blob = host().getState();

    juce::MemoryBlock stream;
    ASSERT_TRUE (VbHost::HostState::componentStream (blob, stream));
    EXPECT_TRUE (VbHost::HostState::hasFrameworkTrailer (stream));

    const auto expected = bytesOf (stateText (false, 2, "-s-m", 0, 1, 3, 30));
    ASSERT_GT (stream.getSize(), expected.getSize());
    EXPECT_EQ (std::memcmp (stream.getData(), expected.getData(), expected.getSize()), 0)
        << "the plug-in's own text comes first";
    EXPECT_EQ (VbHost::HostState::stripFrameworkTrailer (stream), expected);
}

TEST_F (HostSavedState, RoundTripsByteForByte)
{
    const juce::String states[] = {
        stateText (true, 0, "-"),
        stateText (false, 0, "s"),
        stateText (true, 1, "-s-m--ms"),
        stateText (false, 14, "mmmmmm", 2, 1, 0, 0),
        stateText (true, 2, "ssss", 0, 0, 32, 32),
        stateText (false, 4, "-m-m-m-m", 1, 1, 13, 5),
        stateText (true, 10, "s----------m", 2, 0, 31, 17),
        stateText (false, 13, "--------------", 0, 1, 26, 16),
        stateText (true, 15, "-sm-sm-sm-sm", 1, 0, 1, 31),
    };

    for (const auto& text : states)
    {
        host().setPluginState (bytesOf (text));
        EXPECT_EQ (host().getPluginState(), bytesOf (text)) << text;
    }
}

TEST_F (HostSavedState, EveryLayoutSavesOneLetterPerPosition)
{
    const std::pair<int, int> positions[] = { { 0, 1 }, { 1, 8 }, { 2, 4 }, { 3, 4 }, { 4, 8 }, { 5, 8 },
                                              { 6, 8 }, { 7, 10 }, { 8, 8 }, { 9, 8 }, { 10, 12 }, { 11, 12 },
                                              { 12, 12 }, { 13, 14 }, { 14, 6 }, { 15, 12 } };
    for (const auto& [id, count] : positions)
    {
        setStateText ("ChannelProfile=" + juce::String (id) + "\nSoloMutes=msmsmsmsmsmsmsms");
        const auto lines = juce::StringArray::fromLines (getStateText());
        ASSERT_EQ (lines.size(), 7) << id;
        EXPECT_EQ (lines[2], "SoloMutes=" + juce::String ("msmsmsmsmsmsmsms").substring (0, count)) << "layout " << id;
    }
}

TEST_F (HostSavedState, LoadsClampedAndLenientText)
{
    setStateText (stateText (false, 1, ""));
    setStateText ("Bypassed=t\nChannelProfile=99\nSoloMutes=-S-M\n  Room = 2  \nroom=0\nLoudspeakers=2\n"
                  "VolumeTrim=40\nReverbTrim=-1\nnonsense\n=5\nUnknown=3");
    EXPECT_EQ (getStateText(), stateText (true, 15, "-s-m--------", 2, 1, 32, 0));

    setStateText ("ChannelProfile=7x\rVolumeTrim=abc\rBypassed=yes");
    EXPECT_EQ (getStateText(), stateText (false, 7, "-s-m------", 2, 1, 0, 0));
}

TEST_F (HostSavedState, EmptyComponentStateChangesNothing)
{
    const auto text = stateText (true, 5, "--s-m---", 0, 1, 20, 10);
    setStateText (text);
    host().setPluginState ({});
    EXPECT_EQ (getStateText(), text);
}

TEST_F (HostSavedState, ProjectReloadIntoAnotherInstance)
{
    // A DAW stores the host blob and later hands it to a new instance.
    const auto text = stateText (true, 12, "s-m-s-m-s-m-", 2, 1, 7, 29);
    setStateText (text);
    const auto blob = host().getState();

    juce::String error;
    auto other = HostTesting::loadFresh (error);
    ASSERT_NE (other, nullptr) << error;
    other->setState (blob);
    EXPECT_EQ (textOf (other->getPluginState()), text);
    EXPECT_EQ (other->getState(), blob);
}

TEST_F (HostSavedState, StateLoadedWhileProcessingTakesEffect)
{
    juce::String error;
    setStateText (stateText (true, 0, "-"));
    ASSERT_TRUE (host().prepare (48000.0, 256, 1, 2, error)) << error;
    const auto input = VbHost::Signals::make (1, 1024, 48000.0);

    const auto before = host().process (input, 256, VbHost::ChannelOrder::host);
    setStateText (stateText (true, 0, "m"));
    const auto muted = host().process (input, 256, VbHost::ChannelOrder::host);
    setStateText (stateText (true, 0, "-", 1, 0, 0, 16));
    const auto quiet = host().process (input, 256, VbHost::ChannelOrder::host);
    host().release();

    EXPECT_GT (VbHost::measureLevels (before)[0].peak, 0.2f);
    EXPECT_EQ (VbHost::measureLevels (muted)[0].peak, 0.0f);
    EXPECT_NEAR (VbHost::measureLevels (quiet)[0].peak, 0.1f * VbHost::measureLevels (before)[0].peak, 1.0e-6f);
}
