#pragma once

#include "renderer/EQ.h"
#include "renderer/FlexibleDelay.h"
#include "renderer/vector/RayBatch.h"
#include "renderer/RenderSpec.h"
#include "renderer/Reverb.h"
#include "renderer/Room.h"
#include "renderer/Settings.h"

#include <juce_audio_basics/juce_audio_basics.h>

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
    static constexpr int numReverbLines = Reverb::numLines;
    // Longer than any ray of any room: the farthest image source (86 ms) and
    // the ear's time difference.
    static constexpr float longestRayDelaySeconds = 0.09f;

    Render();

    // Input ring length for a rate: the longest ray delay, a block and the
    // moving rays' read margin, and never less than ringSize.
    static int32_t inputRingSizeFor (float sampleRate) noexcept;

    // Resizes the input rings and the reverb lines for the rate, keeping
    // what they hold. Allocates: call it where no audio runs (prepareToPlay).
    void sizeRingsFor (float sampleRate);

    // Input rings cleared, reverb lines cleared, equaliser contexts zeroed.
    void reset() noexcept;

    // Output samples that are not finite become silence; if there were any,
    // every reverb line whose state is no longer finite is cleared.
    // Audio thread, at the end of a block.
    void silenceNonFiniteOutput (float* outLeft, float* outRight, int32_t n) noexcept;

    // Adds the newest block of one channel to the outputs with its layout gains.
    void addSimpleDownmix (float* outLeft, float* outRight, const BlockSpec& spec, uint8_t channel) noexcept;

    Settings settings;
    juce::AudioBuffer<float> workBuffer;
    juce::AudioBuffer<float> historyBuffer;
    juce::AudioBuffer<float> reverbBuffers[numReverbLines];
    juce::AudioBuffer<float> silentBuffer;
    juce::OwnedArray<FlexibleDelay> inputDelays;
    Room room;
    Reverb reverb;
    EQ eq;

    // The processor renders the rays of a pass side by side through this
    // batch; with referenceRays set (tests) it renders them one at a time
    // with Ray::renderAudio instead.
    RayBatch rayBatch;
    bool referenceRays = false;
};

static_assert (RayBatch::maxBlock >= Render::maxBlock, "the ray batch holds a whole block");
} // namespace Zeph
