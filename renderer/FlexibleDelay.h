#pragma once

#include <cstdint>

namespace Zeph
{
// History ring of one input channel. The buffer is not owned.
struct FlexibleDelay
{
    static constexpr int32_t defaultSize = 20480;

    float* buffer = nullptr;
    int32_t size = defaultSize;
    int32_t writePos = 0; // next write index; the newest sample sits at writePos - 1
    bool isClear = true;

    // Appends n samples (n <= size), wrapping at the end of the ring.
    void write (const float* block, int32_t n) noexcept;

    // Zeroes the ring and rewinds it, unless it is already clear.
    void clear() noexcept;
};
} // namespace Zeph
