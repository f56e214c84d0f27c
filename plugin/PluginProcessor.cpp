#include "plugin/PluginProcessor.h"

#include "plugin/editor/PluginEditor.h"
#include "plugin/SavedState.h"
#include "renderer/Finite.h"
#include "renderer/vector/VectorOps.h"
#include "trackerui/HeadPanel.h"

static_assert (InputRouting::maxChannels == Zeph::Render::numInputRings, "every routed channel has an input ring");

namespace
{
// The input bus a host sees first: the first 16 speakers of VST3's speaker list
// (arrangement 0xffff), whose order the framework keeps. Hosts that never offer more
// input channels than this bus reports (Ardour) then run one instance with all of a
// track's channels instead of one per channel pair.
juce::AudioChannelSet defaultInputLayout()
{
    using Set = juce::AudioChannelSet;
    return Set::channelSetWithChannels ({ Set::left, Set::right, Set::centre, Set::LFE, Set::leftSurround,
                                          Set::rightSurround, Set::leftCentre, Set::rightCentre, Set::centreSurround,
                                          Set::leftSurroundSide, Set::rightSurroundSide, Set::topMiddle,
                                          Set::topFrontLeft, Set::topFrontCentre, Set::topFrontRight,
                                          Set::topRearLeft });
}
} // namespace

BinauralAudioProcessor::BinauralAudioProcessor() : BinauralAudioProcessor (Midi::MidiPorts::system())
{
}

BinauralAudioProcessor::BinauralAudioProcessor (Midi::MidiPorts& midiPorts)
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", defaultInputLayout(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      pluginState (this, this, midiPorts)
{
    layoutSettingsChanged();
    gainSettingsChanged();
    blockRenderer.applyPendingBuild(); // no audio runs yet
    publishInputRouting();
}

BinauralAudioProcessor::~BinauralAudioProcessor()
{
    // The head panel outlives the renderer (it sits in pluginState): from here on
    // no orientation may reach the processor.
    pluginState.headPanel->setListener (nullptr);
}

bool BinauralAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    if (layouts.outputBuses.isEmpty())
        return false;
    if (hostFeedsDefaultInputWidth.load() && ! layouts.inputBuses.isEmpty()
        && layouts.inputBuses.getReference (0) != defaultInputLayout())
        return false;
    return layouts.getMainOutputChannels() > 1;
}

void BinauralAudioProcessor::setIHostApplication (Steinberg::FUnknown* hostApplication)
{
    hostFeedsDefaultInputWidth = Vst3ChannelOrder::feedsDefaultInputWidth (hostApplication);
}

void BinauralAudioProcessor::prepareToPlay (double newSampleRate, int)
{
    const bool rateChanged = roomBuilder.setSampleRate (newSampleRate);
    render.sizeRingsFor ((float) newSampleRate);
    blockRenderer.prepare();

    const auto n = (uint8_t) getMainBusNumInputChannels();
    renderSpec.numInputChannels = n;
    publishInputRouting();
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
        blockRenderer.applyPendingBuild(); // no audio runs while preparing
    }
}

// The framework's VST3 layer hands the input channels over in its own order;
// the rings take them back in the host's order, so that host channel k is
// loudspeaker k of the layout.
void BinauralAudioProcessor::publishInputRouting()
{
    const auto* bus = getBus (true, 0);
    inputRoutingBox.writeSlot() = bus != nullptr && bus->isEnabled() ? InputRouting::forBus (bus->getCurrentLayout())
                                                                      : InputRouting();
    inputRoutingBox.publish();
}

void BinauralAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    // Flush-to-zero and denormals-are-zero for the block, the caller's mode restored after.
    juce::ScopedNoDenormals noDenormals;

    if (const auto* fresh = inputRoutingBox.take())
        blockRouting = *fresh;

    const int numChannels = buffer.getNumChannels();
    if (numChannels < 2)
        return;

    // Outputs with no input behind them arrive from the framework uncleared; keep
    // stale audio from reaching the host through them.
    for (int c = juce::jmax (2, getTotalNumInputChannels()); c < numChannels; ++c)
        buffer.clear (c, 0, buffer.getNumSamples());
    // Those with an input behind them pass it on, but never a NaN or an infinity.
    const int passedOn = juce::jmin (getTotalNumInputChannels(), getTotalNumOutputChannels(), buffer.getNumChannels());
    for (int c = 2; c < passedOn; ++c)
        Zeph::Finite::silenceNonFinite (buffer.getWritePointer (c), buffer.getNumSamples());

    const int total = buffer.getNumSamples();
    for (int offset = 0; offset < total; offset += Zeph::Render::maxBlock)
    {
        // A channel the buffer does not hold is heard as silence, never read from elsewhere.
        const float* inputs[InputRouting::maxChannels] = {};
        for (int k = 0; k < blockRouting.numChannels; ++k)
        {
            const int channel = blockRouting.bufferChannel[(size_t) k];
            inputs[k] = channel < numChannels ? buffer.getReadPointer (channel, offset)
                                              : render.silentBuffer.getReadPointer (0);
        }
        const int n = juce::jmin (Zeph::Render::maxBlock, total - offset);
        blockRenderer.renderBlock (inputs, blockRouting.numChannels, buffer.getWritePointer (0, offset),
                                   buffer.getWritePointer (1, offset), renderSpec.snapshot (n),
                                   pluginState.bypassed.load (std::memory_order_relaxed) != 0);
    }
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
    SavedState::read (pluginState, data, sizeInBytes);
    pluginState.updateGains();
    gainSettingsChanged();
    layoutSettingsChanged();
    pluginState.settingsChanged = 1;
}

//==============================================================================
void BinauralAudioProcessor::layoutSettingsChanged()
{
    const auto head = pluginState.headPanel->currentHeadMatrix();
    const auto* profile = pluginState.currentProfile();
    if (profile != nullptr)
        RoomBuilder::writeChannelClasses (*profile, pluginState.soloMutes);
    roomBuilder.build (profile, pluginState.room, head ? &*head : nullptr);

    renderSpec.profile.store (profile, std::memory_order_release);
    renderSpec.soloMutes.store (&pluginState.soloMutes, std::memory_order_release);
    renderSpec.hasDesk.store (Zeph::roomPreset (pluginState.room).hasDesk, std::memory_order_relaxed);
}

void BinauralAudioProcessor::gainSettingsChanged()
{
    renderSpec.loudspeakerEq.store (Zeph::loudspeakerPreset (pluginState.loudspeakers).equaliser,
                                    std::memory_order_relaxed);
    renderSpec.volumeGain.store (pluginState.volumeGain, std::memory_order_relaxed);
    renderSpec.directGain.store (pluginState.directGain, std::memory_order_relaxed);
    renderSpec.roomGain.store (pluginState.roomGain, std::memory_order_relaxed);
}

void BinauralAudioProcessor::trackerChanged (const HeadMatrix& matrix)
{
    roomBuilder.turnHead (matrix);
}
