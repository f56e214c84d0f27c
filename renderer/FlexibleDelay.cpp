#include "renderer/FlexibleDelay.h"

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
        std::memcpy (buffer + w, block, sizeof (float) * (size_t) first);
        std::memcpy (buffer, block + first, sizeof (float) * (size_t) (n - first));
        writePos = w + n - size;
    }
    else
    {
        std::memcpy (buffer + w, block, sizeof (float) * (size_t) n);
        writePos = w + n;
    }
    isClear = false;
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
