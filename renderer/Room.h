#pragma once

#include "renderer/Reflection.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <cstdint>

namespace Zeph
{
// All reflections of the current layout, twice over: the audio thread renders
// the active set while the room builder fills the other one, then publishes
// it; the audio thread flips to the new set at its next swap check.
//
// The active index, the swap flag and the reset flag live in one atomic word,
// so no thread can see them half-changed:
// - the builder claims the inactive set (cancelling a swap the audio thread has
//   not taken yet, so it can never flip to a set being rebuilt), fills it, and
//   publishes it with the swap and reset flags raised (release);
// - the audio thread takes the reset at the start of a block, and flips only
//   to a set whose reset it has taken, so the new set always starts from
//   cleared rings and filter states.
struct Room
{
    using ReflectionSet = juce::OwnedArray<Reflection>;

    static constexpr uint32_t activeBit = 1u;
    static constexpr uint32_t swapBit = 2u;
    static constexpr uint32_t resetBit = 4u;

    // Where the audio thread's first pass over the reflections stands: the channel
    // whose reflections it walks, and the index in the active set one past the
    // last of them it took. Only that walk writes and reads them.
    uint8_t curChannel = 0;
    int32_t curReflection = 0;
    ReflectionSet reflectionSets[2];
    int32_t geometryIndex = 0;    // room geometry, read by the reverb
    std::atomic<float> reverbGainLeft { 0.7071f };
    std::atomic<float> reverbGainRight { 0.7071f };

    uint8_t activeSet() const noexcept { return (uint8_t) (state.load (std::memory_order_acquire) & activeBit); }
    bool swapPending() const noexcept { return (state.load (std::memory_order_acquire) & swapBit) != 0; }

    ReflectionSet& activeReflections() noexcept { return reflectionSets[activeSet()]; }
    const ReflectionSet& activeReflections() const noexcept { return reflectionSets[activeSet()]; }
    ReflectionSet& inactiveReflections() noexcept { return reflectionSets[1 - activeSet()]; }

    // Builder: cancels a swap not yet taken and returns the set that is now
    // safe to rebuild. Only one builder runs at a time.
    ReflectionSet& claimInactiveSet() noexcept;

    // Builder: hands the filled inactive set to the audio thread.
    void publishInactiveSet() noexcept;

    // Audio thread, at the start of a block: whether a new build's clears are due.
    bool takePendingReset() noexcept;

    // Audio thread: whether the next swap check would flip the sets. Only the
    // audio thread flips, and a build published after this test also raises
    // the reset flag, which holds the flip off until the next block.
    bool swapDue() const noexcept
    {
        return (state.load (std::memory_order_acquire) & (swapBit | resetBit)) == swapBit;
    }

    // Audio thread, the swap check: flips to a pending set whose reset was
    // taken, and returns the set to render.
    ReflectionSet& takePendingSwap() noexcept;

private:
    std::atomic<uint32_t> state { 0 };
};
} // namespace Zeph
