#pragma once

#include "RealtimeProbe.h"

#include "plugin/PluginProcessor.h"

#include <cmath>
#include <memory>

// One prepared processor and a preallocated buffer. Every block is filled with
// input before the audio-thread mark is set, and checked after it is cleared,
// so only processBlock itself runs marked.
struct RealtimeRig
{
    static constexpr int maxBlock = 4096;

    RealtimeRig (int numInputs, double sampleRate = 48000.0) : numIn (numInputs)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numInputs));
        layout.outputBuses.add (juce::AudioChannelSet::stereo());
        processor->setBusesLayout (layout);
        processor->prepareToPlay (sampleRate, 512);
        buffer.setSize (juce::jmax (numInputs, 2), maxBlock);
    }

    PluginState& state() { return processor->pluginState; }

    void setLayout (int id, int room)
    {
        state().channelProfile = (uint8_t) id;
        state().room = (Zeph::ListeningRoom) room;
        processor->layoutSettingsChanged();
    }

    void setTrims (int volumeTrim, int reverbTrim, int loudspeakers)
    {
        state().volumeTrim = (uint8_t) volumeTrim;
        state().reverbTrim = (uint8_t) reverbTrim;
        state().loudspeakers = (Zeph::Loudspeakers) loudspeakers;
        state().updateGains();
        processor->gainSettingsChanged();
    }

    void loadState (const juce::String& text)
    {
        processor->setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
    }

    // Renders one block of n samples with the calling thread marked as the audio thread.
    void renderBlock (int n)
    {
        for (int c = 0; c < numIn; ++c)
        {
            float* data = buffer.getWritePointer (c);
            for (int i = 0; i < n; ++i)
                data[i] = inputSample (c, time + i);
        }
        juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), buffer.getNumChannels(), n);
        {
            RealtimeProbe::AudioThreadScope audioThread;
            processor->processBlock (block, midi);
        }
        time += n;
        ++blocksRendered;

        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < n; ++i)
                if (! std::isfinite (block.getSample (c, i)))
                {
                    ++nonFiniteBlocks;
                    return;
                }
    }

    void renderBlocks (int count, int n)
    {
        for (int b = 0; b < count; ++b)
            renderBlock (n);
    }

    // Each channel its own tone; loud enough to drive every path.
    static float inputSample (int channel, int64_t t)
    {
        return 0.3f * std::sin (0.013f * (float) (channel + 1) * (float) (t % 100000));
    }

    std::unique_ptr<BinauralAudioProcessor> processor = std::make_unique<BinauralAudioProcessor>();
    juce::AudioBuffer<float> buffer;
    juce::MidiBuffer midi;
    int numIn;
    int64_t time = 0;
    int blocksRendered = 0;
    int nonFiniteBlocks = 0;
};

// A head orientation turned by yaw about the vertical axis and pitch about the
// left-right axis, as a row-major rotation matrix.
inline void headRotation (float yaw, float pitch, float* m)
{
    const float cy = std::cos (yaw), sy = std::sin (yaw);
    const float cp = std::cos (pitch), sp = std::sin (pitch);
    // Rz(yaw) * Rx(pitch)
    const float r[9] = { cy, -sy * cp, sy * sp,
                         sy, cy * cp, -cy * sp,
                         0.0f, sp, cp };
    for (int i = 0; i < 9; ++i)
        m[i] = r[i];
}
