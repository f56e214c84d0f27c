#pragma once

#include "plugin/PluginState.h"
#include "renderer/Render.h"
#include "renderer/RenderSpec.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <mutex>

// The object the host talks to: buses, identity, state and the audio blocks.
class BinauralAudioProcessor : public juce::AudioProcessor,
                               public PluginState::SettingsListener,
                               public HeadPanel::HeadPanel::Listener
{
public:
    BinauralAudioProcessor();
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

    virtual void layoutSettingsChanged() override;
    virtual void gainSettingsChanged() override;
    virtual void trackerChanged (const HeadMatrix& matrix) override;

    PluginState pluginState;
    Zeph::RenderSpec renderSpec;
    Zeph::Render render;

private:
    // Room builder steps.
    const HeadMatrix* currentHeadMatrix() const;
    void writeChannelClasses (const Zeph::ChannelProfile& profile);
    void buildReflections (Zeph::Room::ReflectionSet& set, const Zeph::ChannelProfile& profile,
                           Zeph::ListeningRoom room, const HeadMatrix* matrix);
    void setReverbWeights (const HeadMatrix* matrix) noexcept;

    // Audio thread.
    void renderSlice (float* const* channels, int numChannels, int numSamples) noexcept;
    void applyPendingBuild() noexcept;
    void takeBlockSpec (int numSamples) noexcept;
    void renderDownmix (float* outL, float* outR) noexcept;
    void renderSpatial (float* outL, float* outR) noexcept;
    void renderRoomReflections (float* outL, float* outR, const Zeph::ChannelProfile& profile, int numChannels,
                                const SoloMuteRecord& soloMutes, bool hasDesk, float gain) noexcept;
    void renderDirectSound (float* outL, float* outR, const Zeph::ChannelProfile& profile, int numChannels,
                            const SoloMuteRecord& soloMutes, float gain) noexcept;
    void renderRayPair (Zeph::Reflection& reflection, float* outL, float* outR, float gain) noexcept;
    void queueRayPair (Zeph::Reflection& reflection, float* outL, float* outR, float gain) noexcept;
    void renderQueuedRays (float* outL, float* outR) noexcept;
    Zeph::Room::ReflectionSet& swapCheck (float* outL, float* outR) noexcept;

    // Serialises the room builder with the head hand-off (message and MIDI threads, never audio).
    std::mutex roomMutex;
    // Geometry of the newest build, taken over by the audio thread with the build's clears.
    std::atomic<int32_t> pendingGeometry { 0 };
    // The rate in force, and the one the reflection sets were compiled at
    // (both guarded by roomMutex).
    double sampleRate = 44100.0;
    double compiledRate = 0.0;
    // The audio thread's copy of renderSpec for the block in hand, so that a
    // setting changed in mid-block (a smaller layout, say) cannot be half seen.
    Zeph::RenderSpec blockSpec;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BinauralAudioProcessor)
};
