#include "renderer/FlexibleDelay.h"

#include "renderer/Finite.h"

#include <algorithm>
#include <cstring>

namespace Zeph
{
void FlexibleDelay::write (const float* block, int32_t n) noexcept
{
    if (n <= 0)
        return;
    if (n > size)
    {
        block += n - size; // only the newest size samples can be kept
        n = size;
    }

    const int32_t w = writePos;
    if (w + n >= size)
    {
        const int32_t first = size - w;
        Finite::copyAsFinite (block, buffer + w, first);
        Finite::copyAsFinite (block + first, buffer, n - first);
        writePos = w + n - size;
    }
    else
    {
        Finite::copyAsFinite (block, buffer + w, n);
        writePos = w + n;
    }
    isClear = false;
}

void moveRing (float*& buffer, int32_t& size, int32_t& writePos, float* fresh, int32_t freshSize) noexcept
{
    const int32_t keep = buffer != nullptr && size > 0 ? std::min (size, freshSize) : 0;
    const int32_t zeroed = freshSize - keep;
    std::memset (fresh, 0, sizeof (float) * (size_t) zeroed);

    if (keep > 0)
    {
        // The newest keep samples end just before writePos, wrapping at size.
        int32_t start = writePos - keep;
        if (start < 0)
            start += size;
        const int32_t firstRun = std::min (keep, size - start);
        std::memcpy (fresh + zeroed, buffer + start, sizeof (float) * (size_t) firstRun);
        std::memcpy (fresh + zeroed + firstRun, buffer, sizeof (float) * (size_t) (keep - firstRun));
    }

    buffer = fresh;
    size = freshSize;
    writePos = 0;
}

void FlexibleDelay::moveTo (float* newBuffer, int32_t newSize) noexcept
{
    moveRing (buffer, size, writePos, newBuffer, newSize);
}

void FlexibleDelay::clear() noexcept
{
    if (isClear)
        return;
    writePos = 0;
    std::memset (buffer, 0, sizeof (float) * (size_t) size);
    isClear = true;
}
} // namespace Zeph
