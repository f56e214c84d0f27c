#pragma once

#include "tools/host/Vst3Module.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <memory>

namespace VbHost
{
// One plug-in instance driven through the VST3 interfaces alone, in the order a
// DAW that is not built on JUCE uses them: component and controller created and
// connected, speaker arrangements set, processing set up, buses and component
// activated, then process() block by block. Channels travel in the host's own
// order (the order of the speakers in the arrangement); nothing maps them.
// Use from one thread; the module must outlive the instance.
class Vst3Instance
{
public:
    static constexpr const char* defaultHostName = "vbhost (plain VST3)";

    // hostName is what the plug-in reads from IHostApplication::getName.
    static std::unique_ptr<Vst3Instance> create (Vst3Module& module, juce::String& error,
                                                 const juce::String& hostName = defaultHostName);
    ~Vst3Instance();

    // Channel count and arrangement of the main audio bus of a direction.
    int busChannels (bool isInput) const;
    uint64_t busArrangement (bool isInput) const;

    // Proposes one arrangement for the main input and one for the main output
    // (while stopped); true when the component accepts both.
    bool setArrangements (uint64_t input, uint64_t output);

    // The component's state stream, and its restore (also handed to the controller).
    juce::MemoryBlock getState();
    bool setState (const juce::MemoryBlock& state);

    // Sets up processing, activates the main buses and the component, starts processing.
    bool start (double sampleRate, int maxBlockSize, juce::String& error);
    void stop();
    bool isRunning() const noexcept { return running; }

    // One block: the inputs and outputs of the main buses, in arrangement order.
    bool processBlock (const float* const* inputs, int numInputs, float* const* outputs, int numOutputs,
                       int numSamples);

    // The whole input (one channel per input speaker) in blocks of blockSize;
    // returns the output bus's channels. False from any block leaves the rest silent.
    juce::AudioBuffer<float> process (const juce::AudioBuffer<float>& input, int blockSize);

private:
    struct Interfaces;

    explicit Vst3Instance (const juce::String& hostName);

    std::unique_ptr<Interfaces> vst;
    bool running = false;
    int maxBlock = 0;

    JUCE_DECLARE_NON_COPYABLE (Vst3Instance)
};

// Channels of a VST3 speaker arrangement (its set bits).
int channelCount (uint64_t arrangement);
} // namespace VbHost
