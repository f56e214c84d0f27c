#include "tools/host/RenderSignal.h"

#include <cmath>

namespace VbHost
{
namespace
{
int samplesOf (double seconds, double sampleRate)
{
    return (int) std::lround (seconds * sampleRate);
}

// 0 at the burst's edges, rising to 1 over the fade.
float envelope (int index, int length, int fade)
{
    const int edge = std::min (index, length - 1 - index);
    if (edge >= fade)
        return 1.0f;
    return (float) (0.5 - 0.5 * std::cos (juce::MathConstants<double>::pi * (edge + 0.5) / fade));
}
} // namespace

int BurstSequence::burstLength() const
{
    return samplesOf (burstSeconds, sampleRate);
}

int BurstSequence::fadeLength() const
{
    return std::max (1, samplesOf (fadeSeconds, sampleRate));
}

int BurstSequence::slotLength() const
{
    return burstLength() + samplesOf (silenceSeconds, sampleRate);
}

juce::AudioBuffer<float> BurstSequence::make() const
{
    juce::AudioBuffer<float> buffer (numChannels, totalLength());
    buffer.clear();

    const int length = burstLength();
    const int fade = fadeLength();
    for (int channel = 0; channel < numChannels; ++channel)
    {
        juce::Random random (0x5eed + channel);
        auto* data = buffer.getWritePointer (channel, burstStart (channel));
        for (int i = 0; i < length; ++i)
            data[i] = level * (2.0f * random.nextFloat() - 1.0f) * envelope (i, length, fade);
    }
    return buffer;
}
} // namespace VbHost
