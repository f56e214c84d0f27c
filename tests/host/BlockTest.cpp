// Host block sizes and bus widths the plug-in must cope with.

#include "tests/host/HostFixture.h"

#include <cmath>

using HostTesting::HostTest;
using HostTesting::allFinite;
using HostTesting::stateText;

class HostBlocks : public HostTest
{
protected:
    // The same signal through fresh instances in host blocks of 512 and of blockSize.
    static void expectSameAs512 (const juce::String& state, int blockSize, float tolerance)
    {
        const auto input = VbHost::Signals::make (8, 20000, 48000.0);
        const auto reference = HostTesting::runFresh (state, input, 2, 512);
        const auto output = HostTesting::runFresh (state, input, 2, blockSize);

        ASSERT_TRUE (allFinite (output)) << "blocks of " << blockSize;
        EXPECT_LE (VbHost::maxDifference (output, reference), tolerance) << "blocks of " << blockSize;
        EXPECT_GT (VbHost::measureLevels (reference)[0].peak, 0.1f);
    }
};

TEST_F (HostBlocks, LongBlocksDownmixLikeShortOnes)
{
    for (const int blockSize : { 2048, 2049, 4096, 5000, 8192, 16384 })
        expectSameAs512 (stateText (true, 1, ""), blockSize, 0.0f);
}

TEST_F (HostBlocks, LongBlocksRenderLikeShortOnes)
{
    for (const int blockSize : { 64, 2048, 2049, 4096, 5000 })
        expectSameAs512 (stateText (false, 1, ""), blockSize, 1.0e-5f);
    for (const int blockSize : { 4096, 5000 })
        expectSameAs512 (stateText (false, 13, "", 2, 1, 20, 8), blockSize, 1.0e-5f);
}

TEST_F (HostBlocks, OddBlockSizesAndRates)
{
    setStateText (stateText (true, 0, ""));
    const auto input = VbHost::Signals::make (1, 6000, 96000.0);
    const auto reference = run (input, 2, 512, 96000.0);
    for (const int blockSize : { 1, 7, 333, 2047 })
    {
        const auto output = run (input, 2, blockSize, 96000.0);
        EXPECT_EQ (VbHost::maxDifference (output, reference), 0.0f) << "blocks of " << blockSize;
    }
}

TEST_F (HostBlocks, WideOutputKeepsTheInputBeyondTheFirstTwoChannels)
{
    // Output channels 2.. share storage with input channels 2..; the plug-in
    // writes only 0 and 1, so the rest come back as they went in.
    setStateText (stateText (true, 14, ""));
    const auto input = VbHost::Signals::make (6, 3000, 48000.0);
    const auto output = run (input, 6, 512);
    ASSERT_EQ (output.getNumChannels(), 6);

    for (int c = 2; c < 6; ++c)
        for (int i = 0; i < input.getNumSamples(); ++i)
            ASSERT_EQ (output.getSample (c, i), input.getSample (c, i)) << "channel " << c << " sample " << i;

    EXPECT_GT (VbHost::measureLevels (output)[0].peak, 0.0f);
}

TEST_F (HostBlocks, WideOutputChannelsWithoutInputAreSilent)
{
    // Run a wide input first so that the framework's scratch channels hold audio.
    setStateText (stateText (true, 1, ""));
    run (VbHost::Signals::make (8, 3000, 48000.0), 8, 512);

    const auto input = VbHost::Signals::make (2, 3000, 48000.0);
    const auto output = run (input, 8, 512, 48000.0, 0.5f);
    ASSERT_EQ (output.getNumChannels(), 8);

    const auto levels = VbHost::measureLevels (output);
    EXPECT_GT (levels[0].peak, 0.0f);
    EXPECT_GT (levels[1].peak, 0.0f);
    for (int c = 2; c < 8; ++c)
        EXPECT_EQ (levels[(size_t) c].peak, 0.0f) << "channel " << c;
}

TEST_F (HostBlocks, WideOutputMatchesStereoOutputOnTheFirstTwoChannels)
{
    setStateText (stateText (true, 11, "-s-m"));
    const auto input = VbHost::Signals::make (12, 3000, 48000.0);
    const auto stereo = run (input, 2, 512);
    const auto wide = run (input, 12, 512);

    juce::AudioBuffer<float> firstTwo (2, wide.getNumSamples());
    firstTwo.copyFrom (0, 0, wide, 0, 0, wide.getNumSamples());
    firstTwo.copyFrom (1, 0, wide, 1, 0, wide.getNumSamples());
    EXPECT_EQ (VbHost::maxDifference (firstTwo, stereo), 0.0f);
}

TEST_F (HostBlocks, NoInputChannelsRendersSilence)
{
    for (const bool bypassed : { true, false })
    {
        setStateText (stateText (bypassed, 1, ""));
        juce::AudioBuffer<float> none (0, 4096);
        const auto output = run (none, 2, 1024);
        ASSERT_EQ (output.getNumChannels(), 2);
        EXPECT_EQ (VbHost::measureLevels (output)[0].peak, 0.0f);
        EXPECT_EQ (VbHost::measureLevels (output)[1].peak, 0.0f);
    }
}
