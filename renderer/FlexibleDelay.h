#pragma once

#include <cstdint>

namespace Zeph
{
// History ring of one input channel. The buffer is not owned.
struct FlexibleDelay
{
    static constexpr int32_t defaultSize = 20480;
    static constexpr int32_t maxSize = 1 << 17; // the longest ring of any kind: rates up to about 1.4 MHz

    float* buffer = nullptr;
    int32_t size = defaultSize;
    int32_t writePos = 0; // next write index; the newest sample sits at writePos - 1
    bool isClear = true;

    // Appends n samples (n <= size), wrapping at the end of the ring. A
    // sample that is not finite is written as silence.
    void write (const float* block, int32_t n) noexcept;

    // Zeroes the ring and rewinds it, unless it is already clear.
    void clear() noexcept;

    // Moves the ring onto new storage of newSize samples, keeping its newest
    // samples (as many as fit) and their delays.
    void moveTo (float* newBuffer, int32_t newSize) noexcept;
};

// Copies the newest samples of a ring (size samples, next write at writePos)
// into fresh storage of freshSize samples, oldest first, so that they end at
// its last index; the rest is zeroed. The fresh ring's write position is 0.
void moveRing (const float* ring, int32_t size, int32_t writePos, float* fresh, int32_t freshSize) noexcept;
} // namespace Zeph
