// Saved states as a hostile host or a corrupt project hands them over. The
// first three bytes draw the rate, the input channel count, the block size and
// whether the text comes NUL-terminated (a negative size); the rest is the
// state. After loading, a few blocks render to finite output, and saving,
// loading and saving again gives the same text. One processor serves every
// input, as one instance serves a host that reloads projects.
#include "plugin/PluginProcessor.h"
#include "renderer/Finite.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace
{
constexpr double rates[] = { 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 352800.0, 384000.0 };
constexpr int blockSizes[] = { 1, 7, 64, 256 }; // short: the state is what is fuzzed
constexpr int numBlocks = 2;

struct Rig
{
    juce::ScopedJuceInitialiser_GUI juceInit;
    BinauralAudioProcessor processor;
    double rate = 0.0;
    int numInputs = 0;
};

Rig& rig()
{
    static Rig* r = new Rig(); // lives to the end of the process
    return *r;
}

void prepare (Rig& r, double rate, int numInputs)
{
    if (rate == r.rate && numInputs == r.numInputs)
        return;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numInputs));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    r.processor.setBusesLayout (layout);
    r.processor.prepareToPlay (rate, 4096);
    r.rate = rate;
    r.numInputs = numInputs;
}

juce::String save (BinauralAudioProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block.toString();
}

void load (BinauralAudioProcessor& p, const juce::String& text)
{
    p.setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    auto& r = rig();
    auto& p = r.processor;

    const double rate = rates[data[0] % 8];
    const int numInputs = 1 + data[1] % 18; // past the sixteen rings too
    const bool terminated = (data[2] & 1) != 0;
    const int blockSize = blockSizes[(data[2] >> 1) % 4];

    // A block of exactly the text's length (and its NUL), so that a read past
    // it is caught.
    std::vector<char> text (size - 3 + (terminated ? 1 : 0), 0);
    std::copy (data + 3, data + size, text.begin());
    p.setStateInformation (text.empty() ? nullptr : text.data(), terminated ? -1 : (int) text.size());
    prepare (r, rate, numInputs);

    juce::AudioBuffer<float> buffer (std::max (numInputs, 2), blockSize);
    juce::MidiBuffer midi;
    uint32_t noise = 12345u + (uint32_t) size;
    for (int block = 0; block < numBlocks; ++block)
    {
        for (int c = 0; c < buffer.getNumChannels(); ++c)
        {
            float* samples = buffer.getWritePointer (c);
            for (int i = 0; i < blockSize; ++i)
            {
                noise = noise * 1664525u + 1013904223u;
                samples[i] = (float) (noise >> 8) / 16777216.0f - 0.5f;
            }
        }
        p.processBlock (buffer, midi);
        for (int c = 0; c < 2; ++c)
            if (! Zeph::Finite::allFinite (buffer.getReadPointer (c), blockSize))
                __builtin_trap();
    }

    const auto saved = save (p);
    load (p, saved);
    if (save (p) != saved)
        __builtin_trap();
    return 0;
}
