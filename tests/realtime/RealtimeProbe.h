#pragma once

#include <cstdint>

// Counts heap allocations, frees and mutex locks made by threads that are
// marked as the audio thread. The program replaces the global allocation
// functions and pthread_mutex_lock to do so.
//
// The sanitizers intercept the same functions, so under them the
// replacements are compiled out and `available` is false.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
 #define VB_REALTIME_PROBE 0
#elif defined(__has_feature)
 #if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
  #define VB_REALTIME_PROBE 0
 #endif
#endif
#ifndef VB_REALTIME_PROBE
 #define VB_REALTIME_PROBE 1
#endif

namespace RealtimeProbe
{
inline constexpr bool available = VB_REALTIME_PROBE != 0;

struct Counts
{
    uint64_t allocations = 0; // operator new (all forms), malloc, calloc, realloc, aligned forms
    uint64_t frees = 0;       // operator delete (all forms), free
    uint64_t mutexLocks = 0;  // pthread_mutex_lock, pthread_mutex_trylock

    uint64_t total() const noexcept { return allocations + frees + mutexLocks; }
};

// Totals over all marked threads since the last reset.
Counts counts() noexcept;
void reset() noexcept;

// Whether the calling thread is marked.
bool isAudioThread() noexcept;

// Marks the calling thread for the lifetime of the scope (scopes nest).
class AudioThreadScope
{
public:
    AudioThreadScope() noexcept;
    ~AudioThreadScope() noexcept;

    AudioThreadScope (const AudioThreadScope&) = delete;
    AudioThreadScope& operator= (const AudioThreadScope&) = delete;

private:
    bool previous;
};
} // namespace RealtimeProbe
