#pragma once

#include "plugin/PluginProcessor.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <cmath>

// One click per input channel, each in a time slot of its own, and the same input
// rendered by a processor made in this process, where channel k is loudspeaker k.
namespace SpeakerClicks
{
constexpr int clickOffset = 100; // samples into the slot

// numChannels x numSlots slots (by default one more than the channels); channel k
// clicks at the start of slot firstSlot + k.
inline juce::AudioBuffer<float> make (int numChannels, int slotLength, int firstSlot = 0, int numSlots = 0,
                                      float level = 0.5f)
{
    if (numSlots <= 0)
        numSlots = firstSlot + numChannels + 1;
    juce::AudioBuffer<float> clicks (numChannels, numSlots * slotLength);
    clicks.clear();
    for (int k = 0; k < numChannels; ++k)
        clicks.setSample (k, (firstSlot + k) * slotLength + clickOffset, level);
    return clicks;
}

// A fresh processor with a discrete input bus as wide as the input (discrete
// channels keep their order) and a stereo output, given the state and then
// prepared, runs the input in blocks; returns outputs 0 and 1.
inline juce::AudioBuffer<float> renderInProcess (const juce::String& stateText, const juce::AudioBuffer<float>& input,
                                                 double sampleRate, int blockSize)
{
    BinauralAudioProcessor processor;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (input.getNumChannels()));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    if (! processor.setBusesLayout (layout))
        return {};

    processor.setStateInformation (stateText.toRawUTF8(), (int) stateText.getNumBytesAsUTF8());
    processor.setRateAndBufferSizeDetails (sampleRate, blockSize);
    processor.prepareToPlay (sampleRate, blockSize);

    const int total = input.getNumSamples();
    const int width = std::max (2, input.getNumChannels());
    juce::AudioBuffer<float> output (2, total);
    juce::AudioBuffer<float> block (width, blockSize);
    juce::MidiBuffer midi;
    for (int start = 0; start < total; start += blockSize)
    {
        const int n = std::min (blockSize, total - start);
        block.setSize (width, n, false, false, true);
        block.clear();
        for (int c = 0; c < input.getNumChannels(); ++c)
            block.copyFrom (c, 0, input, c, start, n);
        processor.processBlock (block, midi);
        for (int c = 0; c < 2; ++c)
            output.copyFrom (c, start, block, c, 0, n);
    }
    processor.releaseResources();
    return output;
}

// Largest absolute difference between two stereo renders over samples [start, end).
inline float maxDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int start, int end)
{
    if (a.getNumChannels() < 2 || b.getNumChannels() < 2)
        return INFINITY;
    end = std::min ({ end, a.getNumSamples(), b.getNumSamples() });
    float worst = 0.0f;
    for (int c = 0; c < 2; ++c)
        for (int i = start; i < end; ++i)
            worst = std::max (worst, std::abs (a.getSample (c, i) - b.getSample (c, i)));
    return worst;
}

// Largest absolute sample of a stereo render over samples [start, end).
inline float peak (const juce::AudioBuffer<float>& a, int start, int end)
{
    float worst = 0.0f;
    end = std::min (end, a.getNumSamples());
    for (int c = 0; c < std::min (2, a.getNumChannels()); ++c)
        for (int i = start; i < end; ++i)
            worst = std::max (worst, std::abs (a.getSample (c, i)));
    return worst;
}
} // namespace SpeakerClicks
