#pragma once

#include <atomic>
#include <cstdint>

enum SoloMuteState : int32_t
{
    normal = 0,
    muted = 1,
    soloed = 2
};

// Solo and mute state of the 16 input channels. Edited on the message thread,
// read by the audio thread at every block, so the states are atomics.
struct SoloMuteRecord
{
    static constexpr int numChannels = 16;

    std::atomic<uint8_t> anySolo { 0 };
    std::atomic<int32_t> state[numChannels];
    uint8_t channelClass[numChannels]; // 0 front, 1 other horizontal, 2 elevated, 32 + i alone

    SoloMuteRecord() noexcept { reset(); }

    // anySolo 0, every state normal, channel i in a class of its own.
    void reset() noexcept
    {
        for (int i = 0; i < numChannels; ++i)
        {
            state[i].store (normal, std::memory_order_relaxed);
            channelClass[i] = (uint8_t) (32 + i);
        }
        anySolo.store (0, std::memory_order_relaxed);
    }

    SoloMuteState get (int channel) const noexcept
    {
        return (SoloMuteState) state[channel].load (std::memory_order_relaxed);
    }

    // Sets one state and recomputes anySolo from all sixteen.
    void set (int channel, SoloMuteState s) noexcept
    {
        state[channel].store (s, std::memory_order_relaxed);
        updateAnySolo();
    }

    void updateAnySolo() noexcept
    {
        uint8_t any = 0;
        for (auto& s : state)
            if (s.load (std::memory_order_relaxed) == soloed)
                any = 1;
        anySolo.store (any, std::memory_order_relaxed);
    }

    // A channel sounds when soloed, or when normal while nothing is soloed.
    bool sounds (int channel) const noexcept
    {
        const auto s = get (channel);
        return s == soloed || (s == normal && anySolo.load (std::memory_order_relaxed) == 0);
    }
};
