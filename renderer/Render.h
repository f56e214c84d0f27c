#pragma once

#include "renderer/FlexibleDelay.h"
#include "renderer/RenderSpec.h"
#include "renderer/Settings.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>

namespace Zeph
{
// The renderer's working state: scratch, history rings and reverb storage.
struct Render
{
    static constexpr int maxBlock = 2048;
    static constexpr int scratchLength = maxBlock + 144;
    static constexpr int numWorkChannels = 10;
    static constexpr int numInputRings = 16;
    static constexpr int ringSize = FlexibleDelay::defaultSize;
    static constexpr int numReverbLines = 8;
    static constexpr std::array<int, numReverbLines> reverbLineSizes { 6172, 7484, 10220, 11772, 13508, 15400, 17380, 19828 };

    Render();

    // Adds the newest block of one channel to the outputs with its layout gains.
    void addSimpleDownmix (float* outLeft, float* outRight, const RenderSpec& spec, uint8_t channel) noexcept;

    Settings settings;
    juce::AudioBuffer<float> workBuffer;
    juce::AudioBuffer<float> historyBuffer;
    juce::AudioBuffer<float> reverbBuffers[numReverbLines];
    juce::AudioBuffer<float> silentBuffer;
    juce::OwnedArray<FlexibleDelay> inputDelays;
};
} // namespace Zeph
