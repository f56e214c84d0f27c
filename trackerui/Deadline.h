#pragma once

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

private:
    static int64_t now() noexcept
    {
        using namespace std::chrono;
        return duration_cast<microseconds> (steady_clock::now().time_since_epoch()).count();
    }

    std::atomic<int64_t> due { 0 };
};
