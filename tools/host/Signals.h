#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

namespace VbHost
{
// Test signals that differ per channel, so that channel mix-ups show.
namespace Signals
{
// Channel c: a sine of (c + 1) * baseHz plus a small offset of its own.
float sample (int channel, int index, double sampleRate, double baseHz = 97.0);

// numChannels x numSamples of sample().
juce::AudioBuffer<float> make (int numChannels, int numSamples, double sampleRate, double baseHz = 97.0);
} // namespace Signals

struct ChannelLevel
{
    float peak = 0.0f;
    float rms = 0.0f;
};

// Peak and RMS of every channel.
std::vector<ChannelLevel> measureLevels (const juce::AudioBuffer<float>& buffer);

// Largest absolute difference between two buffers over their common channels
// and samples; +infinity when their shapes differ.
float maxDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b);
} // namespace VbHost
