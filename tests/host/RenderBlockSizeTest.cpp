// The binaural render through the VST3 host does not depend on the host's block size.

#include "tests/host/HostFixture.h"

#include <cmath>

namespace
{
// Noise of its own on every channel for the first half, then silence, so that the
// reflections and the reverb play out inside the run.
juce::AudioBuffer<float> noiseThenSilence (int numChannels, int numSamples)
{
    juce::AudioBuffer<float> buffer (numChannels, numSamples);
    buffer.clear();
    for (int c = 0; c < numChannels; ++c)
    {
        juce::Random random (100 + c);
        for (int i = 0; i < numSamples / 2; ++i)
            buffer.setSample (c, i, 0.5f * (2.0f * random.nextFloat() - 1.0f));
    }
    return buffer;
}

// A fresh instance, prepared and then given the state, runs the input in blocks.
juce::AudioBuffer<float> renderInBlocks (const juce::String& state, const juce::AudioBuffer<float>& input, int blockSize)
{
    juce::String error;
    auto plugin = HostTesting::loadFresh (error);
    EXPECT_NE (plugin, nullptr) << error;
    if (plugin == nullptr)
        return {};
    const bool ok = plugin->prepare (48000.0, blockSize, input.getNumChannels(), 2, error);
    EXPECT_TRUE (ok) << error;
    if (! ok)
        return {};
    plugin->setPluginState (HostTesting::bytesOf (state));
    return plugin->process (input, blockSize, VbHost::ChannelOrder::host);
}

double energy (const juce::AudioBuffer<float>& buffer, int channel, int from, int to)
{
    double sum = 0.0;
    for (int i = from; i < to; ++i)
        sum += (double) buffer.getSample (channel, i) * buffer.getSample (channel, i);
    return sum;
}
} // namespace

class HostRenderBlocks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (HostTesting::bundlePath() == juce::File())
            GTEST_SKIP() << "this build makes no VST3 bundle";
    }
};

TEST_F (HostRenderBlocks, SameOutputForEveryBlockSize)
{
    // "Dolby 7.1.4" with all twelve channels, "Hall", "Nearfield", trims off centre.
    const auto state = HostTesting::stateText (false, 11, "", 2, 1, 24, 20);
    const auto input = noiseThenSilence (12, 16000);

    const auto reference = renderInBlocks (state, input, 512);
    ASSERT_EQ (reference.getNumChannels(), 2);
    for (int ear = 0; ear < 2; ++ear)
    {
        // The room keeps sounding after the input stops.
        EXPECT_GT (energy (reference, ear, 0, 8000), 1.0);
        EXPECT_GT (energy (reference, ear, 8000, 8400), 1.0e-3);
    }

    for (const int blockSize : { 1, 64, 735, 2048, 4096 })
    {
        const auto output = renderInBlocks (state, input, blockSize);
        ASSERT_EQ (output.getNumSamples(), reference.getNumSamples()) << "blocks of " << blockSize;
        for (int ear = 0; ear < 2; ++ear)
            for (int i = 0; i < output.getNumSamples(); ++i)
                ASSERT_EQ (output.getSample (ear, i), reference.getSample (ear, i))
                    << "blocks of " << blockSize << ", ear " << ear << ", sample " << i;
    }
}
