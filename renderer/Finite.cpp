#include "renderer/Finite.h"

namespace Zeph::Finite
{
// Every input and output sample and every ray's filter memory passes through
// these scans: eight lanes where the processor has AVX2.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && ! defined(__SANITIZE_THREAD__)
 #define ZEPH_FINITE_SCAN __attribute__ ((target_clones ("avx2", "default")))
#else
 #define ZEPH_FINITE_SCAN
#endif

ZEPH_FINITE_SCAN
bool allFinite (const float* x, int32_t n) noexcept
{
    uint32_t bad = 0;
    for (int32_t i = 0; i < n; ++i)
        bad |= (uint32_t) (magnitudeBits (x[i]) >= infinityBits);
    return bad == 0;
}

ZEPH_FINITE_SCAN
bool copyAsFinite (const float* source, float* destination, int32_t n) noexcept
{
    uint32_t bad = 0;
    for (int32_t i = 0; i < n; ++i)
    {
        const float x = source[i];
        destination[i] = x;
        bad |= (uint32_t) (magnitudeBits (x) >= infinityBits);
    }
    if (bad == 0)
        return false;
    for (int32_t i = 0; i < n; ++i)
        if (! isFinite (destination[i]))
            destination[i] = 0.0f;
    return true;
}
} // namespace Zeph::Finite
