#pragma once

#include <atomic>
#include <cstdint>

namespace Zeph
{
// Triple buffer from one writing thread to the audio thread: the writer never
// waits, the reader always takes the newest complete value, and no value is
// ever seen half written.
template <typename Value>
struct Mailbox
{
    static constexpr uint8_t freshBit = 4;
    static constexpr uint8_t indexMask = 3;

    Value slots[3] {};
    std::atomic<uint8_t> middle { 1 }; // slot index, plus freshBit when unread
    uint8_t back = 2;                  // slot the writer fills next
    uint8_t front = 0;                 // slot the reader took last

    Mailbox() = default;

    // Copies are for setting up owners only, never while two threads use them.
    Mailbox (const Mailbox& other) noexcept { *this = other; }
    Mailbox& operator= (const Mailbox& other) noexcept
    {
        for (int i = 0; i < 3; ++i)
            slots[i] = other.slots[i];
        middle.store (other.middle.load (std::memory_order_relaxed), std::memory_order_relaxed);
        back = other.back;
        front = other.front;
        return *this;
    }

    // Writer side: fill writeSlot(), then publish().
    Value& writeSlot() noexcept { return slots[back]; }

    void publish() noexcept
    {
        back = middle.exchange ((uint8_t) (back | freshBit), std::memory_order_acq_rel) & indexMask;
    }

    // Reader side: whether a value waits unread.
    bool hasFresh() const noexcept { return (middle.load (std::memory_order_relaxed) & freshBit) != 0; }

    // Reader side: the newest unread value, or nullptr when there is none.
    const Value* take() noexcept
    {
        if (! hasFresh())
            return nullptr;
        front = middle.exchange (front, std::memory_order_acq_rel) & indexMask;
        return &slots[front];
    }
};
} // namespace Zeph
