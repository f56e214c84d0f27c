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

// Moves a ring (buffer of size samples, next write at writePos) onto fresh
// storage of freshSize samples: its newest samples, oldest first, end at the
// last index, the rest is zeroed, and the write position becomes 0.
void moveRing (float*& buffer, int32_t& size, int32_t& writePos, float* fresh, int32_t freshSize) noexcept;
} // namespace Zeph
