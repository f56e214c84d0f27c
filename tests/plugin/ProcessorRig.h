#pragma once

// A processor with sixteen discrete inputs and a stereo output, driven block
// by block, and a look at every state that a bad sample could poison.
#include "plugin/PluginProcessor.h"
#include "renderer/Finite.h"

#include <memory>

namespace ProcessorRig
{
// ThreadSanitizer runs these single-threaded renders many times slower and
// has nothing to find in them: tests run fewer cases under it.
#if defined(__SANITIZE_THREAD__)
constexpr bool underThreadSanitizer = true;
#elif defined(__has_feature)
 #if __has_feature(thread_sanitizer)
constexpr bool underThreadSanitizer = true;
 #else
constexpr bool underThreadSanitizer = false;
 #endif
#else
constexpr bool underThreadSanitizer = false;
#endif

constexpr int numInputs = 16;
constexpr int numLayouts = 16;
constexpr int numRooms = Zeph::numListeningRooms;

inline std::unique_ptr<BinauralAudioProcessor> makeProcessor (double rate)
{
    auto p = std::make_unique<BinauralAudioProcessor>();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numInputs));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    p->setBusesLayout (layout);
    p->prepareToPlay (rate, 512);
    return p;
}

inline void applyLayout (BinauralAudioProcessor& p, int layoutId, int room)
{
    p.pluginState.channelProfile = (uint8_t) layoutId;
    p.pluginState.room = (Zeph::ListeningRoom) room;
    p.layoutSettingsChanged();
}

// Whether every filter memory, ring sample and reverb state is finite.
inline bool allStatesFinite (BinauralAudioProcessor& p)
{
    using namespace Zeph::Finite;
    auto& r = p.render;
    r.rayBatch.returnHeldMemories(); // the static rays' memories are held in the batch's lanes
    for (auto* ring : r.inputDelays)
        if (! allFinite (ring->buffer, ring->size))
            return false;
    for (const auto& line : r.reverb.delays)
        if (! isFinite (line.context) || ! isFinite (line.dampState) || ! allFinite (line.buffer, line.size))
            return false;
    for (const auto& slot : r.eq.contexts)
        if (! isFinite (slot[0]) || ! isFinite (slot[1]))
            return false;
    for (auto& set : r.room.reflectionSets)
        for (auto* reflection : set)
            for (const auto* ray : { &reflection->left, &reflection->right })
                for (const auto& context : ray->contexts)
                    if (! isFinite (context))
                        return false;
    return true;
}
} // namespace ProcessorRig
