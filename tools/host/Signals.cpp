#include "tools/host/Signals.h"

#include <cmath>
#include <limits>

namespace VbHost
{
namespace Signals
{
float sample (int channel, int index, double sampleRate, double baseHz)
{
    const double phase = 2.0 * juce::MathConstants<double>::pi * baseHz * (channel + 1) * index / sampleRate;
    return (float) (0.25 * std::sin (phase) + 0.01 * (channel + 1));
}

juce::AudioBuffer<float> make (int numChannels, int numSamples, double sampleRate, double baseHz)
{
    juce::AudioBuffer<float> buffer (numChannels, numSamples);
    for (int c = 0; c < numChannels; ++c)
    {
        auto* data = buffer.getWritePointer (c);
        for (int i = 0; i < numSamples; ++i)
            data[i] = sample (c, i, sampleRate, baseHz);
    }
    return buffer;
}
} // namespace Signals

std::vector<ChannelLevel> measureLevels (const juce::AudioBuffer<float>& buffer)
{
    std::vector<ChannelLevel> levels;
    const int n = buffer.getNumSamples();
    for (int c = 0; c < buffer.getNumChannels(); ++c)
    {
        const auto* data = buffer.getReadPointer (c);
        double sum = 0.0;
        float peak = 0.0f;
        for (int i = 0; i < n; ++i)
        {
            peak = std::max (peak, std::abs (data[i]));
            sum += (double) data[i] * data[i];
        }
        levels.push_back ({ peak, n > 0 ? (float) std::sqrt (sum / n) : 0.0f });
    }
    return levels;
}

float maxDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return std::numeric_limits<float>::infinity();

    float worst = 0.0f;
    for (int c = 0; c < a.getNumChannels(); ++c)
        for (int i = 0; i < a.getNumSamples(); ++i)
            worst = std::max (worst, std::abs (a.getSample (c, i) - b.getSample (c, i)));
    return worst;
}
} // namespace VbHost
