#pragma once

#include "renderer/Biquad.h"

#include <atomic>
#include <cstdint>

namespace Zeph
{
// What one compile hands to the renderer: the values that follow the head.
struct RayUpdate
{
    float gain = 0.5f;
    float targetDelay = 0.0f;
    BiquadCoefficients coefficients[4]; // filters 1 to 4
};

// Triple buffer from the compiling thread to the audio thread: the writer
// never waits, the reader always takes the newest complete update, and no
// update is ever seen half written.
struct RayMailbox
{
    static constexpr uint8_t freshBit = 4;
    static constexpr uint8_t indexMask = 3;

    RayUpdate slots[3];
    std::atomic<uint8_t> middle { 1 }; // slot index, plus freshBit when unread
    uint8_t back = 2;                  // slot the writer fills next
    uint8_t front = 0;                 // slot the reader took last

    RayMailbox() = default;

    // Copies are for building rays only, never while two threads use them.
    RayMailbox (const RayMailbox& other) noexcept { *this = other; }
    RayMailbox& operator= (const RayMailbox& other) noexcept
    {
        for (int i = 0; i < 3; ++i)
            slots[i] = other.slots[i];
        middle.store (other.middle.load (std::memory_order_relaxed), std::memory_order_relaxed);
        back = other.back;
        front = other.front;
        return *this;
    }

    // Writer side: fill writeSlot(), then publish().
    RayUpdate& writeSlot() noexcept { return slots[back]; }

    void publish() noexcept
    {
        back = middle.exchange ((uint8_t) (back | freshBit), std::memory_order_acq_rel) & indexMask;
    }

    // Reader side: the newest unread update, or nullptr when there is none.
    const RayUpdate* take() noexcept
    {
        if ((middle.load (std::memory_order_relaxed) & freshBit) == 0)
            return nullptr;
        front = middle.exchange (front, std::memory_order_acq_rel) & indexMask;
        return &slots[front];
    }
};
} // namespace Zeph
