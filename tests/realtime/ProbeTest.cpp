// The counters themselves: a probe that never counts would pass every other test.
#include "RealtimeProbe.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
std::mutex mutex;
juce::CriticalSection section;

// Keeps the compiler from removing an allocation whose result is unused.
void keep (const void* p)
{
    asm volatile ("" : : "r"(p) : "memory");
}

// Four allocations, four frees, two mutex locks.
void allocateAndLock()
{
    int* one = new int (7);
    keep (one);
    delete one;

    float* many = new float[64];
    keep (many);
    delete[] many;

    void* raw = std::malloc (100);
    keep (raw);
    std::free (raw);

    void* zeroed = std::calloc (10, 10);
    keep (zeroed);
    std::free (zeroed);

    {
        const std::lock_guard<std::mutex> lock (mutex);
        keep (&mutex);
    }
    {
        const juce::ScopedLock lock (section);
        keep (&section);
    }
}
} // namespace

TEST (RealtimeProbe, CountsOnTheMarkedThread)
{
    if (! RealtimeProbe::available)
        GTEST_SKIP() << "allocation and lock counting is compiled out under the sanitizers";

    RealtimeProbe::reset();
    {
        RealtimeProbe::AudioThreadScope audioThread;
        EXPECT_TRUE (RealtimeProbe::isAudioThread());
        allocateAndLock();
    }
    const auto c = RealtimeProbe::counts();
    EXPECT_EQ (c.allocations, 4u);
    EXPECT_EQ (c.frees, 4u);
    EXPECT_EQ (c.mutexLocks, 2u);

    // Containers and aligned forms go through the same functions.
    RealtimeProbe::reset();
    {
        RealtimeProbe::AudioThreadScope audioThread;
        std::vector<float> v (1000, 1.0f);
        keep (v.data());
        std::string s (200, 'x');
        keep (s.data());
        struct alignas (64) Wide { float x[16]; };
        auto* w = new Wide();
        keep (w);
        delete w;
        void* p = nullptr;
        EXPECT_EQ (posix_memalign (&p, 32, 256), 0);
        keep (p);
        std::free (p);
    }
    EXPECT_EQ (RealtimeProbe::counts().allocations, 4u);
    EXPECT_EQ (RealtimeProbe::counts().frees, 4u);
}

TEST (RealtimeProbe, IgnoresUnmarkedThreads)
{
    if (! RealtimeProbe::available)
        GTEST_SKIP() << "allocation and lock counting is compiled out under the sanitizers";

    RealtimeProbe::reset();
    EXPECT_FALSE (RealtimeProbe::isAudioThread());
    allocateAndLock();
    EXPECT_EQ (RealtimeProbe::counts().total(), 0u);

    // The mark belongs to one thread: another thread's work is not counted
    // while this one is marked, and a thread that marks itself is.
    std::atomic<int> step { 0 };
    std::thread other ([&step] {
        while (step.load() == 0)
            std::this_thread::yield();
        allocateAndLock();
        step = 2;
    });
    {
        RealtimeProbe::AudioThreadScope audioThread;
        step = 1;
        while (step.load() != 2)
        {
        }
        EXPECT_EQ (RealtimeProbe::counts().total(), 0u);
    }
    other.join();

    std::thread marked ([] {
        RealtimeProbe::AudioThreadScope audioThread;
        allocateAndLock();
    });
    marked.join();
    EXPECT_EQ (RealtimeProbe::counts().allocations, 4u);
    EXPECT_EQ (RealtimeProbe::counts().mutexLocks, 2u);
}

TEST (RealtimeProbe, ScopesNest)
{
    EXPECT_FALSE (RealtimeProbe::isAudioThread());
    {
        RealtimeProbe::AudioThreadScope outer;
        {
            RealtimeProbe::AudioThreadScope inner;
            EXPECT_TRUE (RealtimeProbe::isAudioThread());
        }
        EXPECT_TRUE (RealtimeProbe::isAudioThread());
    }
    EXPECT_FALSE (RealtimeProbe::isAudioThread());
}
