#pragma once

#include <juce_events/juce_events.h>

#include <atomic>
#include <chrono>
#include <cstdint>

// When a one-shot timer is due. A juce::Timer that is started or restarted may
// fire early (its thread subtracts the time it slept before the start), so the
// callback asks how long is left and waits that out before it acts. Set from any
// thread, read on the message thread.
class Deadline
{
public:
    // Microseconds on a clock that never goes back.
    class Clock
    {
    public:
        virtual ~Clock() = default;
        virtual int64_t nowUs() const noexcept = 0;
    };

    // Reads the given clock from here on (null: the steady clock); it must outlive
    // every use of the deadline.
    void useClock (const Clock* newClock) noexcept { clock.store (newClock, std::memory_order_release); }

    void startFromNow (int milliseconds) noexcept
    {
        due.store (now() + milliseconds * 1000, std::memory_order_release);
    }

    // Whole milliseconds still to wait, rounded up; 0 once due.
    int remainingMs() const noexcept
    {
        const int64_t left = due.load (std::memory_order_acquire) - now();
        return left > 0 ? (int) ((left + 999) / 1000) : 0;
    }

    // In a timer callback: while the deadline is still ahead, restarts the timer
    // for the rest and returns true; the callback then waits for the next call.
    bool restartIfEarly (juce::Timer& timer) const
    {
        const int left = remainingMs();
        if (left > 0)
            timer.startTimer (left);
        return left > 0;
    }

    bool restartIfEarly (juce::MultiTimer& timer, int timerId) const
    {
        const int left = remainingMs();
        if (left > 0)
            timer.startTimer (timerId, left);
        return left > 0;
    }

private:
    int64_t now() const noexcept
    {
        if (const auto* c = clock.load (std::memory_order_acquire))
            return c->nowUs();
        using namespace std::chrono;
        return duration_cast<microseconds> (steady_clock::now().time_since_epoch()).count();
    }

    std::atomic<const Clock*> clock { nullptr };
    std::atomic<int64_t> due { 0 };
};
