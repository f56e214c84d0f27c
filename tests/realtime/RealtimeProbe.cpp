#include "RealtimeProbe.h"

#include <atomic>

#if VB_REALTIME_PROBE
 #include <dlfcn.h>
 #include <pthread.h>

 #include <cerrno>
 #include <cstddef>
 #include <cstdlib>
 #include <new>
#endif

namespace
{
// Constant-initialised, so reading it from inside malloc needs no TLS set-up call.
thread_local bool markedThread = false;

std::atomic<uint64_t> allocationCount { 0 };
std::atomic<uint64_t> freeCount { 0 };
std::atomic<uint64_t> lockCount { 0 };

#if VB_REALTIME_PROBE
inline void countAllocation() noexcept
{
    if (markedThread)
        allocationCount.fetch_add (1, std::memory_order_relaxed);
}

inline void countFree (const void* p) noexcept
{
    if (markedThread && p != nullptr)
        freeCount.fetch_add (1, std::memory_order_relaxed);
}

inline void countLock() noexcept
{
    if (markedThread)
        lockCount.fetch_add (1, std::memory_order_relaxed);
}
#endif
} // namespace

namespace RealtimeProbe
{
Counts counts() noexcept
{
    Counts c;
    c.allocations = allocationCount.load();
    c.frees = freeCount.load();
    c.mutexLocks = lockCount.load();
    return c;
}

void reset() noexcept
{
    allocationCount = 0;
    freeCount = 0;
    lockCount = 0;
}

bool isAudioThread() noexcept
{
    return markedThread;
}

AudioThreadScope::AudioThreadScope() noexcept : previous (markedThread)
{
    markedThread = true;
}

AudioThreadScope::~AudioThreadScope() noexcept
{
    markedThread = previous;
}
} // namespace RealtimeProbe

#if VB_REALTIME_PROBE

// ---- C allocation functions ------------------------------------------------
// They forward to glibc's own entry points rather than to dlsym(RTLD_NEXT),
// because dlsym itself allocates.
extern "C"
{
void* __libc_malloc (size_t);
void* __libc_calloc (size_t, size_t);
void* __libc_realloc (void*, size_t);
void* __libc_memalign (size_t, size_t);
void __libc_free (void*);

void* malloc (size_t size)
{
    countAllocation();
    return __libc_malloc (size);
}

void* calloc (size_t count, size_t size)
{
    countAllocation();
    return __libc_calloc (count, size);
}

void* realloc (void* p, size_t size)
{
    countAllocation();
    return __libc_realloc (p, size);
}

void free (void* p)
{
    countFree (p);
    __libc_free (p);
}

void* memalign (size_t alignment, size_t size)
{
    countAllocation();
    return __libc_memalign (alignment, size);
}

void* aligned_alloc (size_t alignment, size_t size)
{
    countAllocation();
    return __libc_memalign (alignment, size);
}

int posix_memalign (void** out, size_t alignment, size_t size)
{
    countAllocation();
    if (alignment % sizeof (void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* p = __libc_memalign (alignment, size);
    if (p == nullptr)
        return ENOMEM;
    *out = p;
    return 0;
}

// ---- Mutexes ------------------------------------------------------------------
// std::mutex, juce::CriticalSection and the C++ runtime all end up here.
using MutexFunction = int (*) (pthread_mutex_t*);

static MutexFunction nextMutexFunction (std::atomic<MutexFunction>& slot, const char* name) noexcept
{
    MutexFunction f = slot.load (std::memory_order_acquire);
    if (f == nullptr)
    {
        f = reinterpret_cast<MutexFunction> (dlsym (RTLD_NEXT, name));
        if (f == nullptr)
            abort();
        slot.store (f, std::memory_order_release);
    }
    return f;
}

static std::atomic<MutexFunction> nextLock { nullptr };
static std::atomic<MutexFunction> nextTryLock { nullptr };

int pthread_mutex_lock (pthread_mutex_t* mutex) noexcept
{
    countLock();
    return nextMutexFunction (nextLock, "pthread_mutex_lock") (mutex);
}

int pthread_mutex_trylock (pthread_mutex_t* mutex) noexcept
{
    countLock();
    return nextMutexFunction (nextTryLock, "pthread_mutex_trylock") (mutex);
}
} // extern "C"

// ---- C++ allocation functions ---------------------------------------------------
namespace
{
void* allocate (std::size_t size, std::size_t alignment, bool nothrow)
{
    countAllocation();
    if (size == 0)
        size = 1;
    for (;;)
    {
        void* p = alignment <= alignof (std::max_align_t) ? __libc_malloc (size) : __libc_memalign (alignment, size);
        if (p != nullptr)
            return p;
        auto handler = std::get_new_handler();
        if (handler == nullptr)
        {
            if (nothrow)
                return nullptr;
            throw std::bad_alloc();
        }
        handler();
    }
}

void release (void* p) noexcept
{
    countFree (p);
    __libc_free (p);
}

void* allocateNothrow (std::size_t size, std::size_t alignment) noexcept
{
    try
    {
        return allocate (size, alignment, true);
    }
    catch (...)
    {
        return nullptr;
    }
}

constexpr std::size_t plain = alignof (std::max_align_t);
} // namespace

void* operator new (std::size_t size) { return allocate (size, plain, false); }
void* operator new[] (std::size_t size) { return allocate (size, plain, false); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept { return allocateNothrow (size, plain); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept { return allocateNothrow (size, plain); }
void* operator new (std::size_t size, std::align_val_t a) { return allocate (size, (std::size_t) a, false); }
void* operator new[] (std::size_t size, std::align_val_t a) { return allocate (size, (std::size_t) a, false); }
void* operator new (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocateNothrow (size, (std::size_t) a);
}
void* operator new[] (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocateNothrow (size, (std::size_t) a);
}

void operator delete (void* p) noexcept { release (p); }
void operator delete[] (void* p) noexcept { release (p); }
void operator delete (void* p, const std::nothrow_t&) noexcept { release (p); }
void operator delete[] (void* p, const std::nothrow_t&) noexcept { release (p); }
void operator delete (void* p, std::size_t) noexcept { release (p); }
void operator delete[] (void* p, std::size_t) noexcept { release (p); }
void operator delete (void* p, std::align_val_t) noexcept { release (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { release (p); }
void operator delete (void* p, std::align_val_t, const std::nothrow_t&) noexcept { release (p); }
void operator delete[] (void* p, std::align_val_t, const std::nothrow_t&) noexcept { release (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { release (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { release (p); }

#endif // VB_REALTIME_PROBE
