#include "renderer/InterpolationCoefficients.h"
#include "renderer/vector/RayLanes.h"
#include "renderer/vector/TargetRegion.h"

#include <cstdint>
#include <initializer_list>

// The kernels of RayKernels.h for four lanes (SSE2, the x86-64 baseline),
// eight (AVX) and sixteen (AVX-512), the wider ones chosen at run time. None
// of them may fuse a multiply and an add: every lane must round as the
// one-ray code does.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__)
 #define ZEPH_RAY_LANES 1
 #include <immintrin.h>
#else
 #define ZEPH_RAY_LANES 0
#endif

#if ZEPH_RAY_LANES
 #pragma GCC diagnostic push
 #pragma GCC diagnostic ignored "-Wpsabi"

namespace Zeph::RayKernelsSse
{
constexpr int W = 4;
constexpr int staticVectors = 2;
using V = __m128;
using M = __m128;

inline V load (const float* p) noexcept { return _mm_loadu_ps (p); }
inline void store (float* p, V v) noexcept { _mm_storeu_ps (p, v); }
inline V broadcast (float x) noexcept { return _mm_set1_ps (x); }

// v[j][l] becomes v[l][j].
inline void transposeSquare (V* v) noexcept
{
    _MM_TRANSPOSE4_PS (v[0], v[1], v[2], v[3]);
}

// Phases lie far inside the range of 32-bit integers.
inline V truncate (V x) noexcept { return _mm_cvtepi32_ps (_mm_cvttps_epi32 (x)); }
inline M atLeast (V a, V b) noexcept { return _mm_cmpge_ps (a, b); }
inline M below (V a, V b) noexcept { return _mm_cmplt_ps (a, b); }
inline M differ (V a, V b) noexcept { return _mm_cmpneq_ps (a, b); }
inline V where (M m, V value) noexcept { return _mm_and_ps (m, value); }
inline uint32_t bits (M m) noexcept { return (uint32_t) _mm_movemask_ps (m); }
inline uint32_t nonFinite (V x) noexcept
{
    const V magnitude = _mm_and_ps (x, _mm_castsi128_ps (_mm_set1_epi32 (0x7fffffff)));
    return bits (_mm_cmpnlt_ps (magnitude, broadcast (__builtin_inff())));
}

 #include "renderer/vector/RayKernels.h"

constexpr RayKernels kernels { W, staticVectors, &staticGroup, &movingGroup, &interpolate };
} // namespace Zeph::RayKernelsSse

ZEPH_TARGET_BEGIN ("avx")

namespace Zeph::RayKernelsAvx
{
constexpr int W = 8;
constexpr int staticVectors = 2;
using V = __m256;
using M = __m256;

inline V load (const float* p) noexcept { return _mm256_loadu_ps (p); }
inline void store (float* p, V v) noexcept { _mm256_storeu_ps (p, v); }
inline V broadcast (float x) noexcept { return _mm256_set1_ps (x); }

  #include "renderer/vector/TransposeAvx.h"

inline void transposeSquare (V* r) noexcept
{
    transposeEight (r);
}

inline V truncate (V x) noexcept { return _mm256_round_ps (x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
inline M atLeast (V a, V b) noexcept { return _mm256_cmp_ps (a, b, _CMP_GE_OQ); }
inline M below (V a, V b) noexcept { return _mm256_cmp_ps (a, b, _CMP_LT_OQ); }
inline M differ (V a, V b) noexcept { return _mm256_cmp_ps (a, b, _CMP_NEQ_UQ); }
inline V where (M m, V value) noexcept { return _mm256_and_ps (m, value); }
inline uint32_t bits (M m) noexcept { return (uint32_t) _mm256_movemask_ps (m); }
inline uint32_t nonFinite (V x) noexcept
{
    const V magnitude = _mm256_and_ps (x, _mm256_castsi256_ps (_mm256_set1_epi32 (0x7fffffff)));
    return bits (_mm256_cmp_ps (magnitude, broadcast (__builtin_inff()), _CMP_NLT_UQ));
}

  #include "renderer/vector/RayKernels.h"

constexpr RayKernels kernels { W, staticVectors, &staticGroup, &movingGroup, &interpolate };
} // namespace Zeph::RayKernelsAvx

ZEPH_TARGET_END
ZEPH_TARGET_BEGIN ("avx512f")
 #if ! defined(__clang__)
  #pragma GCC optimize("fp-contract=off")
  // GCC 12 warns about the undefined vectors inside its own AVX-512 shuffles.
  #pragma GCC diagnostic ignored "-Wuninitialized"
  #pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
 #endif

namespace Zeph::RayKernelsAvx512
{
constexpr int W = 16;
constexpr int staticVectors = 2;
using V = __m512;
using M = __mmask16;

inline V load (const float* p) noexcept { return _mm512_loadu_ps (p); }
inline void store (float* p, V v) noexcept { _mm512_storeu_ps (p, v); }
inline V broadcast (float x) noexcept { return _mm512_set1_ps (x); }

inline void transposeSquare (V* r) noexcept
{
    V t[16];
    for (int l = 0; l < 16; l += 2)
    {
        t[l] = _mm512_unpacklo_ps (r[l], r[l + 1]);
        t[l + 1] = _mm512_unpackhi_ps (r[l], r[l + 1]);
    }
    // u[h + c], in its 128-bit block b: column 4b + c of rows h..h+3.
    V u[16];
    for (int h = 0; h < 16; h += 4)
    {
        u[h] = _mm512_shuffle_ps (t[h], t[h + 2], _MM_SHUFFLE (1, 0, 1, 0));
        u[h + 1] = _mm512_shuffle_ps (t[h], t[h + 2], _MM_SHUFFLE (3, 2, 3, 2));
        u[h + 2] = _mm512_shuffle_ps (t[h + 1], t[h + 3], _MM_SHUFFLE (1, 0, 1, 0));
        u[h + 3] = _mm512_shuffle_ps (t[h + 1], t[h + 3], _MM_SHUFFLE (3, 2, 3, 2));
    }
    // Column 4b + c gathers block b of u[c], u[4 + c], u[8 + c] and u[12 + c].
    for (int c = 0; c < 4; ++c)
    {
        const V low01 = _mm512_shuffle_f32x4 (u[c], u[4 + c], _MM_SHUFFLE (1, 0, 1, 0));
        const V low23 = _mm512_shuffle_f32x4 (u[c], u[4 + c], _MM_SHUFFLE (3, 2, 3, 2));
        const V high01 = _mm512_shuffle_f32x4 (u[8 + c], u[12 + c], _MM_SHUFFLE (1, 0, 1, 0));
        const V high23 = _mm512_shuffle_f32x4 (u[8 + c], u[12 + c], _MM_SHUFFLE (3, 2, 3, 2));
        r[c] = _mm512_shuffle_f32x4 (low01, high01, _MM_SHUFFLE (2, 0, 2, 0));
        r[4 + c] = _mm512_shuffle_f32x4 (low01, high01, _MM_SHUFFLE (3, 1, 3, 1));
        r[8 + c] = _mm512_shuffle_f32x4 (low23, high23, _MM_SHUFFLE (2, 0, 2, 0));
        r[12 + c] = _mm512_shuffle_f32x4 (low23, high23, _MM_SHUFFLE (3, 1, 3, 1));
    }
}

inline V truncate (V x) noexcept { return _mm512_roundscale_ps (x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
inline M atLeast (V a, V b) noexcept { return _mm512_cmp_ps_mask (a, b, _CMP_GE_OQ); }
inline M below (V a, V b) noexcept { return _mm512_cmp_ps_mask (a, b, _CMP_LT_OQ); }
inline M differ (V a, V b) noexcept { return _mm512_cmp_ps_mask (a, b, _CMP_NEQ_UQ); }
inline V where (M m, V value) noexcept { return _mm512_maskz_mov_ps (m, value); }
inline uint32_t bits (M m) noexcept { return (uint32_t) m; }
inline uint32_t nonFinite (V x) noexcept
{
    return bits (_mm512_cmp_ps_mask (_mm512_abs_ps (x), broadcast (__builtin_inff()), _CMP_NLT_UQ));
}

  #include "renderer/vector/RayKernels.h"

constexpr RayKernels kernels { W, staticVectors, &staticGroup, &movingGroup, &interpolate };
} // namespace Zeph::RayKernelsAvx512

ZEPH_TARGET_END
 #pragma GCC diagnostic pop
#endif

namespace Zeph
{
namespace
{
#if ZEPH_RAY_LANES
// What this processor (and its operating system) lets run.
struct Support
{
    bool avx = false;
    bool avx512 = false;

    Support() noexcept
    {
        __builtin_cpu_init();
        avx = __builtin_cpu_supports ("avx") != 0;
        avx512 = __builtin_cpu_supports ("avx512f") != 0;
    }
};

const Support& support() noexcept
{
    static const Support s;
    return s;
}
#endif
} // namespace

const RayKernels* RayKernels::forWidth (int width) noexcept
{
#if ZEPH_RAY_LANES
    if (width == RayKernelsSse::W)
        return &RayKernelsSse::kernels;
    if (width == RayKernelsAvx::W && support().avx)
        return &RayKernelsAvx::kernels;
    if (width == RayKernelsAvx512::W && support().avx512)
        return &RayKernelsAvx512::kernels;
#endif
    (void) width;
    return nullptr;
}

int RayKernels::widest() noexcept
{
    for (const int width : { 16, 8, 4 })
        if (forWidth (width) != nullptr)
            return width;
    return 0;
}
} // namespace Zeph
