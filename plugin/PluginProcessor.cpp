#include "plugin/PluginProcessor.h"

#include "plugin/PluginEditor.h"
#include "plugin/SavedState.h"
#include "renderer/VectorOps.h"

#if defined(__SSE__) || defined(_M_X64)
 #include <xmmintrin.h>
#endif

namespace
{
// Flush-to-zero and denormals-are-zero for the lifetime of one block.
class ScopedFlushToZero
{
public:
#if defined(__SSE__) || defined(_M_X64)
    ScopedFlushToZero() noexcept : saved (_mm_getcsr()) { _mm_setcsr (saved | 0x8040u); }
    ~ScopedFlushToZero() noexcept { _mm_setcsr (saved); }

private:
    unsigned int saved;
#else
private:
    juce::ScopedNoDenormals noDenormals;
#endif
};
} // namespace

BinauralAudioProcessor::BinauralAudioProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      pluginState (this, this)
{
    layoutSettingsChanged();
    gainSettingsChanged();
    applyPendingBuild(); // no audio runs yet
}

BinauralAudioProcessor::~BinauralAudioProcessor() = default;

bool BinauralAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    if (layouts.outputBuses.isEmpty())
        return false;
    return layouts.getMainOutputChannels() > 1;
}

void BinauralAudioProcessor::prepareToPlay (double newSampleRate, int)
{
    bool rateChanged;
    {
        // The head hand-off and the room builder read the rate while they compile.
        const std::lock_guard<std::mutex> lock (roomMutex);
        sampleRate = newSampleRate;
        render.settings.setSampleRate ((float) sampleRate);
        rateChanged = compiledRate != sampleRate;
    }
    render.reverb.setSamplingFrequency (render.settings, render.room);
    render.eq.setSamplingFrequency (render.settings);

    for (auto* ring : render.inputDelays)
        ring->clear();
    render.reverb.resetFilterStates();
    render.eq.resetContexts();

    const auto n = (uint8_t) getMainBusNumInputChannels();
    renderSpec.numInputChannels = n;
    const auto shown = (uint8_t) juce::jmin<int> (n, Zeph::Render::numInputRings);
    if (shown != pluginState.numInputChannels.load())
    {
        pluginState.numInputChannels = shown;
        pluginState.settingsChanged = 1;
    }

    // Rays compiled at another rate would put every delay and filter in the
    // wrong place until the next layout change: rebuild them for this rate.
    if (rateChanged)
    {
        layoutSettingsChanged();
        applyPendingBuild(); // no audio runs while preparing
    }
}

void BinauralAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    ScopedFlushToZero ftz;

    // Only the first channels are ever touched: the input rings and outputs 0 and 1.
    constexpr int maxChannels = Zeph::Render::numInputRings;
    float* channels[maxChannels] = {};
    const int numChannels = juce::jmin (buffer.getNumChannels(), maxChannels);
    if (numChannels < 2)
        return;

    // Outputs with no input behind them arrive from the framework uncleared; keep
    // stale audio from reaching the host through them.
    for (int c = juce::jmax (2, getTotalNumInputChannels()); c < buffer.getNumChannels(); ++c)
        buffer.clear (c, 0, buffer.getNumSamples());

    const int total = buffer.getNumSamples();
    for (int offset = 0; offset < total; offset += Zeph::Render::maxBlock)
    {
        for (int c = 0; c < numChannels; ++c)
            channels[c] = buffer.getWritePointer (c, offset);
        renderSlice (channels, numChannels, juce::jmin (Zeph::Render::maxBlock, total - offset));
    }
}

void BinauralAudioProcessor::renderSlice (float* const* channels, int numChannels, int numSamples) noexcept
{
    renderSpec.numSamples = numSamples;
    takeBlockSpec (numSamples);
    applyPendingBuild();

    // Inputs go into the rings before anything writes the outputs, which share storage with them.
    const int numInputs = juce::jmin<int> (blockSpec.numInputChannels, numChannels);
    for (int k = 0; k < numInputs; ++k)
        render.inputDelays.getUnchecked (k)->write (channels[k], numSamples);

    float* outL = channels[0];
    float* outR = channels[1];
    if (pluginState.bypassed.load (std::memory_order_relaxed) != 0)
        renderDownmix (outL, outR);
    else
        renderSpatial (outL, outR);
}

void BinauralAudioProcessor::takeBlockSpec (int numSamples) noexcept
{
    constexpr auto relaxed = std::memory_order_relaxed;
    blockSpec.numInputChannels = renderSpec.numInputChannels;
    blockSpec.numSamples = numSamples;
    blockSpec.profile.store (renderSpec.currentProfile(), relaxed);
    blockSpec.soloMutes.store (renderSpec.currentSoloMutes(), relaxed);
    blockSpec.hasDesk.store (renderSpec.hasDesk.load (relaxed), relaxed);
    blockSpec.loudspeakerEq.store (renderSpec.loudspeakerEq.load (relaxed), relaxed);
    blockSpec.volumeGain.store (renderSpec.volumeGain.load (relaxed), relaxed);
    blockSpec.directGain.store (renderSpec.directGain.load (relaxed), relaxed);
    blockSpec.roomGain.store (renderSpec.roomGain.load (relaxed), relaxed);
}

void BinauralAudioProcessor::renderDownmix (float* outL, float* outR) noexcept
{
    const int n = blockSpec.numSamples;
    Zeph::Vec::clear (outL, n);
    Zeph::Vec::clear (outR, n);

    if (const auto* profile = blockSpec.currentProfile())
    {
        const int count = juce::jmin<int> ((uint8_t) profile->numPositions(), blockSpec.numInputChannels);
        for (int c = 0; c < count; ++c)
            render.addSimpleDownmix (outL, outR, blockSpec, (uint8_t) c);
    }

    // The lines keep running on silence so that what they hold dies away.
    const float* silence = render.silentBuffer.getReadPointer (0);
    for (auto& line : render.reverb.delays)
        line.writeIntoDelay (silence, n);
}

juce::AudioProcessorEditor* BinauralAudioProcessor::createEditor()
{
    return new BinauralAudioEditor (*this);
}

void BinauralAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto text = SavedState::write (pluginState);
    destData.append (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

void BinauralAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    SavedState::read (pluginState, SavedState::textFromData (data, sizeInBytes));
    pluginState.updateGains();
    gainSettingsChanged();
    layoutSettingsChanged();
    pluginState.settingsChanged = 1;
}
