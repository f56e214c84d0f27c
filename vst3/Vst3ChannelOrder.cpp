#include "vst3/Vst3ChannelOrder.h"

#include <juce_audio_processors/juce_audio_processors.h>

// The framework's own mapping, so that undoing it can never drift from what its
// VST3 layer does.
#define JUCE_VST3HEADERS_INCLUDE_HEADERS_ONLY 1
#include <juce_audio_processors/format_types/juce_VST3Headers.h>
#include <juce_audio_processors/utilities/juce_FlagCache.h>
#include <juce_audio_processors/format_types/juce_VST3Common.h>

#include <algorithm>
#include <numeric>

namespace Vst3ChannelOrder
{
namespace
{
bool isPermutation (std::vector<int> order)
{
    std::sort (order.begin(), order.end());
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] != (int) i)
            return false;
    return true;
}
} // namespace

std::vector<int> bufferChannels (const juce::AudioChannelSet& set)
{
    std::vector<int> order ((size_t) set.size());
    std::iota (order.begin(), order.end(), 0);
    const juce::ChannelMapping mapping (set);
    if (mapping.size() != order.size())
        return order;

    std::vector<int> mapped (order.size());
    for (size_t k = 0; k < mapped.size(); ++k)
        mapped[k] = mapping.getJuceChannelForVst3Channel ((int) k);
    return isPermutation (mapped) ? mapped : order;
}

bool feedsDefaultInputWidth (Steinberg::FUnknown* hostApplication)
{
    void* object = nullptr;
    if (hostApplication == nullptr
        || hostApplication->queryInterface (Steinberg::Vst::IHostApplication::iid, &object) != Steinberg::kResultOk
        || object == nullptr)
        return false;

    auto* host = static_cast<Steinberg::Vst::IHostApplication*> (object);
    Steinberg::Vst::String128 name {};
    const bool named = host->getName (name) == Steinberg::kResultOk;
    host->release();
    name[127] = 0;
    return named && juce::String (juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (name)))
                        .startsWithIgnoreCase ("Ardour");
}
} // namespace Vst3ChannelOrder

InputRouting InputRouting::forBus (const juce::AudioChannelSet& set)
{
    const auto order = Vst3ChannelOrder::bufferChannels (set);
    InputRouting routing;
    routing.numChannels = std::min ((int) order.size(), maxChannels);
    for (int k = 0; k < routing.numChannels; ++k)
        routing.bufferChannel[(size_t) k] = (uint8_t) order[(size_t) k];
    return routing;
}
