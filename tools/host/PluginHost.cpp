#include "tools/host/PluginHost.h"

#include "vst3/Vst3ChannelOrder.h"
#include "tools/host/HostState.h"
#include "tools/host/Vst3Module.h"

namespace VbHost
{
namespace
{
// Speaker types that a VST3 speaker arrangement can carry, so that any count up
// to their number can travel through a VST3 bus.
const juce::AudioChannelSet::ChannelType vst3Speakers[] = {
    juce::AudioChannelSet::left, juce::AudioChannelSet::right, juce::AudioChannelSet::centre,
    juce::AudioChannelSet::LFE, juce::AudioChannelSet::leftSurround, juce::AudioChannelSet::rightSurround,
    juce::AudioChannelSet::leftCentre, juce::AudioChannelSet::rightCentre, juce::AudioChannelSet::centreSurround,
    juce::AudioChannelSet::leftSurroundSide, juce::AudioChannelSet::rightSurroundSide,
    juce::AudioChannelSet::topMiddle, juce::AudioChannelSet::topFrontLeft, juce::AudioChannelSet::topFrontCentre,
    juce::AudioChannelSet::topFrontRight, juce::AudioChannelSet::topRearLeft, juce::AudioChannelSet::topRearCentre,
    juce::AudioChannelSet::topRearRight, juce::AudioChannelSet::LFE2, juce::AudioChannelSet::leftSurroundRear,
    juce::AudioChannelSet::rightSurroundRear, juce::AudioChannelSet::proximityLeft,
    juce::AudioChannelSet::proximityRight, juce::AudioChannelSet::topSideLeft, juce::AudioChannelSet::topSideRight,
    juce::AudioChannelSet::bottomFrontLeft, juce::AudioChannelSet::bottomFrontCentre,
    juce::AudioChannelSet::bottomFrontRight, juce::AudioChannelSet::bottomSideLeft,
    juce::AudioChannelSet::bottomSideRight, juce::AudioChannelSet::bottomRearLeft,
    juce::AudioChannelSet::bottomRearCentre, juce::AudioChannelSet::bottomRearRight
};

// True when every channel of the set has a VST3 speaker, so a VST3 bus can carry it.
bool fitsVst3Bus (const juce::AudioChannelSet& set)
{
    for (const auto type : set.getChannelTypes())
        if (std::find (std::begin (vst3Speakers), std::end (vst3Speakers), type) == std::end (vst3Speakers))
            return false;
    return true;
}

bool fitsVst3Buses (const juce::AudioProcessor::BusesLayout& layout)
{
    for (const auto& set : layout.inputBuses)
        if (! fitsVst3Bus (set))
            return false;
    for (const auto& set : layout.outputBuses)
        if (! fitsVst3Bus (set))
            return false;
    return true;
}

std::unique_ptr<juce::PluginDescription> findEffect (juce::VST3PluginFormat& format, const juce::File& bundle)
{
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, bundle.getFullPathName());
    if (found.isEmpty())
        return {};
    return std::make_unique<juce::PluginDescription> (*found.getFirst());
}
} // namespace

static_assert (HostedPlugin::maxBusChannels == (int) std::size (vst3Speakers));

bool checkBundle (const juce::File& bundle, juce::String& error)
{
    if (! bundle.exists())
    {
        error = "no such bundle: " + bundle.getFullPathName();
        return false;
    }
    if (! bundle.isDirectory() || ! bundle.hasFileExtension ("vst3"))
    {
        error = "not a VST3 bundle (a directory ending in .vst3): " + bundle.getFullPathName();
        return false;
    }
    if (findModuleBinary (bundle) == juce::File())
    {
        error = "no module binary under " + bundle.getChildFile ("Contents").getFullPathName();
        return false;
    }
    return true;
}

std::unique_ptr<HostedPlugin> HostedPlugin::load (const juce::File& bundlePath, juce::String& error,
                                                  double sampleRate, int blockSize)
{
    const juce::File bundle (bundlePath.getFullPathName()); // resolves ".." and "."
    if (! checkBundle (bundle, error))
        return {};

    juce::VST3PluginFormat format;
    auto found = findEffect (format, bundle);
    if (found == nullptr)
    {
        error = "no VST3 plug-in class found in " + bundle.getFullPathName();
        return {};
    }

    juce::String creationError;
    auto instance = format.createInstanceFromDescription (*found, sampleRate, blockSize, creationError);
    if (instance == nullptr)
    {
        error = "cannot create the plug-in: " + (creationError.isEmpty() ? juce::String ("unknown error") : creationError);
        return {};
    }

    std::unique_ptr<HostedPlugin> hosted (new HostedPlugin());
    hosted->bundleFile = bundle;
    hosted->desc = *found;
    hosted->plugin = std::move (instance);
    return hosted;
}

HostedPlugin::~HostedPlugin()
{
    release();
    plugin.reset();
}

Identity HostedPlugin::identity() const
{
    Identity id;
    id.name = plugin->getName();
    id.vendor = desc.manufacturerName;
    id.version = desc.version;
    id.category = desc.category;
    id.isInstrument = desc.isInstrument;
    id.acceptsMidi = plugin->acceptsMidi();
    id.producesMidi = plugin->producesMidi();
    id.isMidiEffect = plugin->isMidiEffect();
    id.tailSeconds = plugin->getTailLengthSeconds();
    id.latencySamples = plugin->getLatencySamples();
    return id;
}

std::vector<BusInfo> HostedPlugin::buses() const
{
    std::vector<BusInfo> result;
    for (const bool isInput : { true, false })
    {
        for (int i = 0; i < plugin->getBusCount (isInput); ++i)
        {
            const auto* bus = plugin->getBus (isInput, i);
            BusInfo info;
            info.isInput = isInput;
            info.index = i;
            info.name = bus->getName();
            info.layout = bus->getCurrentLayout();
            info.defaultLayout = bus->getDefaultLayout();
            info.enabled = bus->isEnabled();
            result.push_back (info);
        }
    }
    return result;
}

std::vector<ParameterInfo> HostedPlugin::parameters() const
{
    std::vector<ParameterInfo> result;
    const auto* bypass = plugin->getBypassParameter();
    const auto& params = plugin->getParameters();
    for (int i = 0; i < params.size(); ++i)
    {
        const auto* p = params[i];
        ParameterInfo info;
        info.index = i;
        if (const auto* hosted = plugin->getHostedParameter (i))
            info.id = hosted->getParameterID();
        info.name = p->getName (128);
        info.label = p->getLabel();
        info.defaultValue = p->getDefaultValue();
        info.numSteps = p->getNumSteps();
        info.automatable = p->isAutomatable();
        info.isBypass = (p == bypass);
        result.push_back (info);
    }
    return result;
}

juce::StringArray HostedPlugin::programs() const
{
    juce::StringArray names;
    for (int i = 0; i < plugin->getNumPrograms(); ++i)
        names.add (plugin->getProgramName (i));
    return names;
}

juce::AudioChannelSet HostedPlugin::channelSetFor (int numChannels)
{
    switch (numChannels)
    {
        case 0:  return juce::AudioChannelSet::disabled();
        case 1:  return juce::AudioChannelSet::mono();
        case 2:  return juce::AudioChannelSet::stereo();
        case 6:  return juce::AudioChannelSet::create5point1();
        case 8:  return juce::AudioChannelSet::create7point1();
        case 10: return juce::AudioChannelSet::create5point1point4();
        case 12: return juce::AudioChannelSet::create7point1point4();
        default: break;
    }

    if (numChannels > maxBusChannels)
        return juce::AudioChannelSet::discreteChannels (numChannels);

    juce::Array<juce::AudioChannelSet::ChannelType> types;
    for (int i = 0; i < numChannels; ++i)
        types.add (vst3Speakers[i]);
    return juce::AudioChannelSet::channelSetWithChannels (types);
}

HostedPlugin::BusesLayout HostedPlugin::layoutFor (int numInputs, int numOutputs)
{
    BusesLayout layout;
    layout.inputBuses.add (channelSetFor (numInputs));
    layout.outputBuses.add (channelSetFor (numOutputs));
    return layout;
}

bool HostedPlugin::isLayoutSupported (const BusesLayout& layout) const
{
    return fitsVst3Buses (layout) && plugin->checkBusesLayoutSupported (layout);
}

void HostedPlugin::release()
{
    if (prepared && plugin != nullptr)
        plugin->releaseResources();
    prepared = false;
}

bool HostedPlugin::prepare (double sampleRate, int maxBlockSize, int ins, int outs, juce::String& error)
{
    return prepare (sampleRate, maxBlockSize, layoutFor (ins, outs), error);
}

bool HostedPlugin::prepare (double sampleRate, int maxBlockSize, const BusesLayout& layout, juce::String& error)
{
    release();

    if (! fitsVst3Buses (layout))
    {
        error = "a VST3 bus carries at most " + juce::String (maxBusChannels) + " channels of named speakers";
        return false;
    }

    if (! plugin->setBusesLayout (layout))
    {
        error = "the plug-in refuses " + juce::String (layout.getMainInputChannels()) + " in / "
                + juce::String (layout.getMainOutputChannels()) + " out";
        return false;
    }

    plugin->setRateAndBufferSizeDetails (sampleRate, maxBlockSize);
    plugin->prepareToPlay (sampleRate, maxBlockSize);
    inputOrder = Vst3ChannelOrder::bufferChannels (plugin->getChannelLayoutOfBus (true, 0));
    outputOrder = Vst3ChannelOrder::bufferChannels (plugin->getChannelLayoutOfBus (false, 0));
    prepared = true;
    return true;
}

void HostedPlugin::processBlock (juce::AudioBuffer<float>& buffer, ChannelOrder order)
{
    midi.clear();
    if (order == ChannelOrder::juce)
    {
        plugin->processBlock (buffer, midi);
        return;
    }

    // JUCE's hosting passes the buffer on in its own order: move each host channel
    // where it takes it, and the outputs back.
    const int numChannels = buffer.getNumChannels();
    const int n = buffer.getNumSamples();
    reordered.makeCopyOf (buffer, true);
    for (size_t k = 0; k < inputOrder.size() && (int) k < numChannels && inputOrder[k] < numChannels; ++k)
        reordered.copyFrom (inputOrder[k], 0, buffer, (int) k, 0, n);

    plugin->processBlock (reordered, midi);

    for (int c = 0; c < numChannels; ++c)
        buffer.copyFrom (c, 0, reordered, c, 0, n);
    for (size_t k = 0; k < outputOrder.size() && (int) k < numChannels && outputOrder[k] < numChannels; ++k)
        buffer.copyFrom ((int) k, 0, reordered, outputOrder[k], 0, n);
}

juce::AudioBuffer<float> HostedPlugin::process (const juce::AudioBuffer<float>& input, int blockSize, ChannelOrder order,
                                                float outputFill)
{
    const int ins = numInputs();
    const int outs = numOutputs();
    const int total = input.getNumSamples();
    blockSize = juce::jmax (1, blockSize);

    juce::AudioBuffer<float> output (outs, total);
    output.clear();
    juce::AudioBuffer<float> block (juce::jmax (ins, outs), blockSize);

    for (int start = 0; start < total; start += blockSize)
    {
        const int n = juce::jmin (blockSize, total - start);
        block.setSize (block.getNumChannels(), n, false, false, true);

        for (int ch = 0; ch < block.getNumChannels(); ++ch)
        {
            if (ch < ins && ch < input.getNumChannels())
                block.copyFrom (ch, 0, input, ch, start, n);
            else if (ch < ins)
                block.clear (ch, 0, n);
            else
                juce::FloatVectorOperations::fill (block.getWritePointer (ch), outputFill, n);
        }

        processBlock (block, order);

        for (int ch = 0; ch < outs; ++ch)
            output.copyFrom (ch, start, block, ch, 0, n);
    }
    return output;
}

juce::MemoryBlock HostedPlugin::getState()
{
    juce::MemoryBlock blob;
    plugin->getStateInformation (blob);
    return blob;
}

void HostedPlugin::setState (const juce::MemoryBlock& state)
{
    plugin->setStateInformation (state.getData(), (int) state.getSize());
}

juce::MemoryBlock HostedPlugin::getPluginState()
{
    return HostState::pluginBytes (getState());
}

void HostedPlugin::setPluginState (const juce::MemoryBlock& pluginBytes)
{
    setState (HostState::hostBlobFor (pluginBytes));
}

bool HostedPlugin::setHostBypass (bool shouldBypass)
{
    auto* bypass = plugin->getBypassParameter();
    if (bypass == nullptr)
        return false;
    bypass->setValueNotifyingHost (shouldBypass ? 1.0f : 0.0f);
    return true;
}
} // namespace VbHost
