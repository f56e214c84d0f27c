#pragma once

#include "plugin/BlockRenderer.h"
#include "plugin/PluginState.h"
#include "plugin/RoomBuilder.h"
#include "renderer/Mailbox.h"
#include "renderer/Render.h"
#include "renderer/RenderSpec.h"
#include "vst3/Vst3ChannelOrder.h"

#include <juce_audio_processors/juce_audio_processors.h>

// The object the host talks to: buses, identity, state and the audio blocks.
// Its three threads each have a class of their own: the message thread's
// settings go to the room builder and into renderSpec, the MIDI input
// thread's head movements to the room builder, and the audio thread's blocks
// to the block renderer.
class BinauralAudioProcessor : public juce::AudioProcessor,
                               public PluginState::SettingsListener,
                               public HeadPanel::HeadListener, // HeadPanel::HeadPanel::Listener
                               public juce::VST3ClientExtensions
{
public:
    BinauralAudioProcessor();
    // Looks for head trackers on the given ports, which must outlive the processor.
    explicit BinauralAudioProcessor (Midi::MidiPorts& midiPorts);
    ~BinauralAudioProcessor() override;

    const juce::String getName() const override { return "Vontaleer Binaural"; }
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override {}
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }

    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;
    void setIHostApplication (Steinberg::FUnknown* hostApplication) override;

    virtual void layoutSettingsChanged() override;
    virtual void gainSettingsChanged() override;
    virtual void trackerChanged (const HeadMatrix& matrix) override;

    PluginState pluginState;
    Zeph::RenderSpec renderSpec;
    Zeph::Render render;

private:
    // Where the bus in force puts each host input channel, for the audio thread.
    void publishInputRouting();

    RoomBuilder roomBuilder { render };
    BlockRenderer blockRenderer { render, roomBuilder };

    // Set for a host that feeds the default input width whatever it sets: such a
    // host is followed at that width only. JUCE's wrapper names the host when
    // the host connects the controller, which Ardour does before it sets the
    // buses; a host connecting later is taken as any other.
    std::atomic<bool> hostFeedsDefaultInputWidth { false };
    // Where each host input channel sits in the buffer: set in prepareToPlay,
    // taken by the audio thread at its next block.
    Zeph::Mailbox<InputRouting> inputRoutingBox;
    InputRouting blockRouting;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BinauralAudioProcessor)
};
