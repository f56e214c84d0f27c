#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>
#include <vector>

namespace VbHost
{
// What a host shows of a plug-in before and after loading it.
struct Identity
{
    juce::String name;
    juce::String vendor;
    juce::String version;
    juce::String category; // the VST3 subcategories, e.g. "Fx|Up-Downmix"
    bool isInstrument = false;
    bool acceptsMidi = false;
    bool producesMidi = false;
    bool isMidiEffect = false;
    double tailSeconds = 0.0;
    int latencySamples = 0;
};

struct BusInfo
{
    bool isInput = true;
    int index = 0;
    juce::String name;
    juce::AudioChannelSet layout;    // current layout
    juce::AudioChannelSet defaultLayout;
    bool enabled = false;
};

struct ParameterInfo
{
    int index = 0;
    juce::String id;   // the VST3 parameter id in decimal
    juce::String name;
    juce::String label;
    float defaultValue = 0.0f;
    int numSteps = 0;
    bool automatable = false;
    bool isBypass = false; // the one the host treats as the bypass switch
};

// The order of the channels handed to a hosted plug-in's processBlock() and process().
enum class ChannelOrder
{
    host, // VST3's own: channel k is speaker k of the bus's arrangement, as a DAW track or a WAV file holds them
    juce  // the order of JUCE's channel types, in which JUCE's hosting takes a buffer
};

// A VST3 plug-in loaded through JUCE's VST3 hosting, as a DAW would load it.
// Use on the message thread (creation, layouts, state); processing may run anywhere
// but not at the same time as a layout change.
class HostedPlugin
{
public:
    using BusesLayout = juce::AudioProcessor::BusesLayout;

    // Loads the first audio effect of the bundle. Null and a message on failure.
    static std::unique_ptr<HostedPlugin> load (const juce::File& bundle, juce::String& error,
                                               double sampleRate = 48000.0, int blockSize = 512);
    ~HostedPlugin();

    juce::AudioPluginInstance& instance() noexcept { return *plugin; }
    const juce::PluginDescription& description() const noexcept { return desc; }
    const juce::File& bundle() const noexcept { return bundleFile; }

    Identity identity() const;
    std::vector<BusInfo> buses() const;
    std::vector<ParameterInfo> parameters() const;
    juce::StringArray programs() const;

    // The widest bus a VST3 speaker arrangement can name.
    static constexpr int maxBusChannels = 33;

    // A layout a VST3 host can name for a channel count (0 = disabled bus);
    // above maxBusChannels a discrete set that no VST3 bus carries.
    static juce::AudioChannelSet channelSetFor (int numChannels);
    // One input and one output bus of the given widths.
    static BusesLayout layoutFor (int numInputs, int numOutputs);

    // Asks the plug-in whether it would accept the layout; changes nothing.
    // False for sets that no VST3 bus carries.
    bool isLayoutSupported (const BusesLayout& layout) const;

    // Releases, applies the layout and prepares. False and a message when refused
    // or when a set cannot travel through a VST3 bus.
    bool prepare (double sampleRate, int maxBlockSize, int numInputs, int numOutputs, juce::String& error);
    bool prepare (double sampleRate, int maxBlockSize, const BusesLayout& layout, juce::String& error);
    void release();
    bool isPrepared() const noexcept { return prepared; }

    int numInputs() const { return plugin->getTotalNumInputChannels(); }
    int numOutputs() const { return plugin->getTotalNumOutputChannels(); }

    // One host block in place: the first numInputs() channels hold the input,
    // the first numOutputs() channels hold the output afterwards, both in the given order.
    void processBlock (juce::AudioBuffer<float>& buffer, ChannelOrder order);

    // Feeds the input through in blocks of blockSize (the last may be shorter) and
    // returns the numOutputs() output channels, both in the given order. Output-only
    // channels of each host block start as outputFill.
    juce::AudioBuffer<float> process (const juce::AudioBuffer<float>& input, int blockSize, ChannelOrder order,
                                      float outputFill = 0.0f);

    // The host's own state blob (as a DAW stores it) and its restore.
    juce::MemoryBlock getState();
    void setState (const juce::MemoryBlock& state);

    // The plug-in's own state bytes inside the host's blob (framework trailer removed).
    juce::MemoryBlock getPluginState();
    void setPluginState (const juce::MemoryBlock& pluginBytes);

    // Sets the host bypass switch (the framework's "Bypass" parameter), if there is one.
    bool setHostBypass (bool shouldBypass);

private:
    HostedPlugin() = default;

    juce::File bundleFile;
    juce::PluginDescription desc;
    std::unique_ptr<juce::AudioPluginInstance> plugin;
    juce::MidiBuffer midi;
    bool prepared = false;
    // For each host-order channel of the prepared buses, its channel in JUCE's order.
    std::vector<int> inputOrder, outputOrder;
    juce::AudioBuffer<float> reordered;
};

// Normalises a bundle path (resolving "..") and checks that it looks like a
// VST3 bundle with a module binary. False and a message when it does not.
bool checkBundle (const juce::File& bundle, juce::String& error);
} // namespace VbHost
