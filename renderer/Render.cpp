#include "renderer/Render.h"

#include "renderer/VectorOps.h"

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

void Render::reset() noexcept
{
    for (auto* ring : inputDelays)
        ring->clear();
    reverb.clear();
    eq.resetContexts();
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
