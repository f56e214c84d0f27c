#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace VbHost
{
// The built-in render signal: a short noise burst on every input channel in turn,
// each in a slot of its own with silence after it, so that every loudspeaker of a
// layout is heard alone.
struct BurstSequence
{
    static constexpr double burstSeconds = 0.25;
    static constexpr double fadeSeconds = 0.01;  // raised-cosine fade in and out
    static constexpr double silenceSeconds = 0.25; // after each burst
    static constexpr float level = 0.5f;         // peak of the noise

    int numChannels = 0;
    double sampleRate = 48000.0;

    int burstLength() const;
    int fadeLength() const;
    int slotLength() const; // one burst and the silence after it

    // First sample of the burst on the channel.
    int burstStart (int channel) const { return channel * slotLength(); }
    int totalLength() const { return numChannels * slotLength(); }

    // numChannels x totalLength(); the same for the same channel count and rate.
    juce::AudioBuffer<float> make() const;
};
} // namespace VbHost
