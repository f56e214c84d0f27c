#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <cstdint>
#include <vector>

namespace Steinberg
{
class FUnknown;
}

// A VST3 host sends a bus's channels in the order of the speakers in its
// arrangement; the framework's VST3 layer hands them to processBlock sorted by
// JUCE's channel types instead, which differs for several named layouts (7.1,
// 7.1.2, 7.1.4, 9.1.6). JUCE's VST3 hosting reorders the same way on its side.
namespace Vst3ChannelOrder
{
// For each host channel k of a bus with this layout, the framework buffer's
// channel that carries it; the identity when the framework's own mapping is no
// permutation of the set's channels (discrete sets, which no VST3 host sets).
std::vector<int> bufferChannels (const juce::AudioChannelSet& set);

// Whether the host, known by its VST3 host-application name, hands every block
// over with as many input channels as the input bus had by default, whatever
// narrower arrangement it set (Ardour 7 does, for the channels a track leaves
// unconnected). The framework's VST3 layer turns such blocks into silence.
bool feedsDefaultInputWidth (Steinberg::FUnknown* hostApplication);
} // namespace Vst3ChannelOrder

// Where the processor finds each of the first host input channels in its buffer.
struct InputRouting
{
    static constexpr int maxChannels = 16; // the input rings

    int numChannels = 0; // host channels routed: the bus's, at most maxChannels
    std::array<uint8_t, maxChannels> bufferChannel {};

    static InputRouting forBus (const juce::AudioChannelSet& set);
};
