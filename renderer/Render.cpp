#include "renderer/Render.h"

#include "renderer/Finite.h"
#include "renderer/vector/VectorOps.h"

#include <algorithm>
#include <cmath>

namespace Zeph
{
Render::Render()
    : workBuffer (numWorkChannels, scratchLength),
      historyBuffer (numInputRings, ringSize),
      silentBuffer (1, scratchLength)
{
    for (int d = 0; d < numReverbLines; ++d)
        reverbBuffers[d].setSize (1, Reverb::lineSizes[d]);
    silentBuffer.clear();

    for (int d = 0; d < numReverbLines; ++d)
        reverb.bindLine (d, reverbBuffers[d].getWritePointer (0));
    reverb.setSamplingFrequency (settings, room);
    reverb.clear();

    eq.setSamplingFrequency (settings);

    for (int k = 0; k < numInputRings; ++k)
    {
        auto* ring = inputDelays.add (new FlexibleDelay());
        ring->buffer = historyBuffer.getWritePointer (k);
        ring->size = ringSize;
        ring->writePos = 0;
        ring->isClear = true;
        Vec::clear (ring->buffer, ringSize);
    }

    reset();
}

int32_t Render::inputRingSizeFor (float sampleRate) noexcept
{
    const double longest = std::ceil ((double) longestRayDelaySeconds * (double) sampleRate);
    const double needed = longest + maxBlock + Ray::scratchExtra + 2;
    if (! (needed > ringSize)) // also NaN
        return ringSize;
    return (int32_t) std::min (needed, (double) FlexibleDelay::maxSize);
}

void Render::sizeRingsFor (float sampleRate)
{
    const int32_t inputSize = inputRingSizeFor (sampleRate);
    if (inputSize != historyBuffer.getNumSamples())
    {
        juce::AudioBuffer<float> resized (numInputRings, inputSize);
        for (int k = 0; k < numInputRings; ++k)
            inputDelays.getUnchecked (k)->moveTo (resized.getWritePointer (k), inputSize);
        std::swap (historyBuffer, resized);
    }

    const float rateRatio = sampleRate / 48000.0f;
    for (int d = 0; d < numReverbLines; ++d)
    {
        const int32_t lineSize = Reverb::lineSizeFor (d, rateRatio, maxBlock);
        if (lineSize == reverbBuffers[d].getNumSamples())
            continue;
        juce::AudioBuffer<float> resized (1, lineSize);
        reverb.delays[d].moveTo (resized.getWritePointer (0), lineSize);
        std::swap (reverbBuffers[d], resized);
    }
}

void Render::reset() noexcept
{
    for (auto* ring : inputDelays)
        ring->clear();
    reverb.clear();
    eq.resetContexts();
}

void Render::silenceNonFiniteOutput (float* outLeft, float* outRight, int32_t n) noexcept
{
    const bool leftBad = Finite::silenceNonFinite (outLeft, n);
    const bool rightBad = Finite::silenceNonFinite (outRight, n);
    if (! (leftBad || rightBad))
        return;

    // Rare. The rays' and the equaliser's filters reset themselves, and the
    // reverb lines after every feed; this keeps a line that was not fed.
    for (auto& line : reverb.delays)
        line.recoverIfNonFinite();
}

void Render::addSimpleDownmix (float* outLeft, float* outRight, const BlockSpec& spec, uint8_t channel) noexcept
{
    const auto& p = *spec.profile->positions.getUnchecked (channel);
    if (p.type == silent)
        return;

    if (spec.soloMutes != nullptr && ! spec.soloMutes->sounds (channel))
        return;

    const auto& ring = *inputDelays.getUnchecked (channel);
    const int n = spec.numSamples;
    float* scratch0 = workBuffer.getWritePointer (0);
    float* scratch1 = workBuffer.getWritePointer (1);

    // The newest n samples end just before writePos; they wrap when writePos < n.
    int start = ring.writePos - n;
    if (start < 0)
        start += ring.size;
    const int firstRun = ring.writePos >= n ? n : ring.size - start;
    Vec::multiply (ring.buffer + start, p.gainLeft, scratch0, firstRun);
    Vec::multiply (ring.buffer + start, p.gainRight, scratch1, firstRun);
    if (firstRun < n)
    {
        Vec::multiply (ring.buffer, p.gainLeft, scratch0 + firstRun, n - firstRun);
        Vec::multiply (ring.buffer, p.gainRight, scratch1 + firstRun, n - firstRun);
    }

    Vec::multiplyAdd (scratch0, spec.volumeGain, outLeft, outLeft, n);
    Vec::multiplyAdd (scratch1, spec.volumeGain, outRight, outRight, n);
}
} // namespace Zeph
