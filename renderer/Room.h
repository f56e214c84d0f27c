#pragma once

#include "renderer/Reflection.h"

#include <juce_core/juce_core.h>

#include <cstdint>

namespace Zeph
{
// All reflections of the current layout, twice over: the audio thread renders
// the active set while the room builder fills the other one, then raises
// swapPending; the audio thread flips to the new set at its next swap check.
struct Room
{
    using ReflectionSet = juce::OwnedArray<Reflection>;

    uint8_t curChannel = 0;       // the audio thread's reflection walk: channel
    int32_t curReflection = 0;    // and index in the active set
    ReflectionSet reflectionSets[2];
    uint8_t activeSet = 0;        // the set the audio thread renders
    int32_t geometryIndex = 0;    // room geometry, read by the reverb
    bool swapPending = false;     // a complete new set waits in the other slot
    float reverbGainLeft = 0.7071f;
    float reverbGainRight = 0.7071f;

    ReflectionSet& activeReflections() noexcept { return reflectionSets[activeSet]; }
    const ReflectionSet& activeReflections() const noexcept { return reflectionSets[activeSet]; }

    // The set the room builder may clear and fill.
    ReflectionSet& inactiveReflections() noexcept { return reflectionSets[1 - activeSet]; }

    // The audio thread's swap check: takes a pending set over.
    void takePendingSwap() noexcept;
};
} // namespace Zeph
