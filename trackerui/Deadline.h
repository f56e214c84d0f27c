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
    static int64_t now() noexcept
    {
        using namespace std::chrono;
        return duration_cast<microseconds> (steady_clock::now().time_since_epoch()).count();
    }

    std::atomic<int64_t> due { 0 };
};
