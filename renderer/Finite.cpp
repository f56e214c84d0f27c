#include "renderer/Finite.h"

#include "renderer/vector/VectorOps.h"

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
    zeroNonFinite (destination, n);
    return true;
}
} // namespace Zeph::Finite
