#include "renderer/Finite.h"

#include "renderer/VectorOps.h"

namespace Zeph::Finite
{
bool allFinite (const float* x, int32_t n) noexcept
{
    return Vec::allFinite (x, n);
}

bool copyAsFinite (const float* source, float* destination, int32_t n) noexcept
{
    if (Vec::copyFinite (source, destination, n))
        return false;
    for (int32_t i = 0; i < n; ++i)
        if (! isFinite (destination[i]))
            destination[i] = 0.0f;
    return true;
}
} // namespace Zeph::Finite
