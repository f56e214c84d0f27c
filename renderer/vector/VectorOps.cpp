#include "renderer/vector/VectorOps.h"

#include "renderer/Finite.h"
#include "renderer/vector/TargetRegion.h"

#include <atomic>
#include <cstdint>

// Plain loops of whole vectors: four lanes (SSE2, the x86-64 baseline),
// eight (AVX) or sixteen (AVX-512, its tail masked), the widest the
// processor has chosen once. Every operation is elementwise and none fuses
// a multiply and an add, so every width gives the same samples.
#if defined(__x86_64__) && defined(__SSE2__)
 #define ZEPH_VEC_WIDE 1
 #include <immintrin.h>
#else
 #define ZEPH_VEC_WIDE 0
#endif

namespace Zeph::Vec
{
namespace
{
// The scalar steps, for the tails and for processors without vectors.
namespace Scalar
{
inline void clear (float* d, int from, int n) noexcept
{
    for (int i = from; i < n; ++i)
        d[i] = 0.0f;
}

inline void add (const float* a, const float* b, float* d, int from, int n) noexcept
{
    for (int i = from; i < n; ++i)
        d[i] = a[i] + b[i];
}

inline void multiply (const float* a, float s, float* d, int from, int n) noexcept
{
    for (int i = from; i < n; ++i)
        d[i] = a[i] * s;
}

inline void multiplyAdd (const float* a, float s, const float* b, float* d, int from, int n) noexcept
{
    for (int i = from; i < n; ++i)
    {
        const float product = a[i] * s;
        d[i] = product + b[i];
    }
}

inline bool nonFinite (float x) noexcept
{
    return ! Finite::isFinite (x);
}

inline bool copyFinite (const float* a, float* d, int from, int n) noexcept
{
    uint32_t bad = 0;
    for (int i = from; i < n; ++i)
    {
        d[i] = a[i];
        bad |= (uint32_t) nonFinite (a[i]);
    }
    return bad == 0;
}

inline bool allFinite (const float* a, int from, int n) noexcept
{
    uint32_t bad = 0;
    for (int i = from; i < n; ++i)
        bad |= (uint32_t) nonFinite (a[i]);
    return bad == 0;
}

void clear (float* d, int n) noexcept { clear (d, 0, n); }
void add (const float* a, const float* b, float* d, int n) noexcept { add (a, b, d, 0, n); }
void multiply (const float* a, float s, float* d, int n) noexcept { multiply (a, s, d, 0, n); }
void multiplyAdd (const float* a, float s, const float* b, float* d, int n) noexcept
{
    multiplyAdd (a, s, b, d, 0, n);
}
bool copyFinite (const float* a, float* d, int n) noexcept { return copyFinite (a, d, 0, n); }
bool allFinite (const float* a, int n) noexcept { return allFinite (a, 0, n); }

constexpr Operations operations { &clear, &add, &multiply, &multiplyAdd, &copyFinite, &allFinite };
} // namespace Scalar

#if ZEPH_VEC_WIDE
 #if ! defined(__clang__)
  #pragma GCC push_options
  #pragma GCC optimize("fp-contract=off", "no-tree-vectorize")
 #endif

namespace Sse
{
void clear (float* d, int n) noexcept
{
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps (d + i, _mm_setzero_ps());
    Scalar::clear (d, i, n);
}

void add (const float* a, const float* b, float* d, int n) noexcept
{
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps (d + i, _mm_add_ps (_mm_loadu_ps (a + i), _mm_loadu_ps (b + i)));
    Scalar::add (a, b, d, i, n);
}

void multiply (const float* a, float s, float* d, int n) noexcept
{
    const __m128 scale = _mm_set1_ps (s);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps (d + i, _mm_mul_ps (_mm_loadu_ps (a + i), scale));
    Scalar::multiply (a, s, d, i, n);
}

void multiplyAdd (const float* a, float s, const float* b, float* d, int n) noexcept
{
    const __m128 scale = _mm_set1_ps (s);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps (d + i, _mm_add_ps (_mm_mul_ps (_mm_loadu_ps (a + i), scale), _mm_loadu_ps (b + i)));
    Scalar::multiplyAdd (a, s, b, d, i, n);
}

// Lanes whose magnitude bits reach those of infinity.
inline __m128i nonFinite (__m128 x) noexcept
{
    const __m128i magnitude = _mm_and_si128 (_mm_castps_si128 (x), _mm_set1_epi32 (0x7fffffff));
    return _mm_cmpgt_epi32 (magnitude, _mm_set1_epi32 (0x7f7fffff));
}

bool copyFinite (const float* a, float* d, int n) noexcept
{
    __m128i bad = _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= n; i += 4)
    {
        const __m128 x = _mm_loadu_ps (a + i);
        _mm_storeu_ps (d + i, x);
        bad = _mm_or_si128 (bad, nonFinite (x));
    }
    const bool restFinite = Scalar::copyFinite (a, d, i, n); // copied whatever the vectors held
    return _mm_movemask_epi8 (bad) == 0 && restFinite;
}

bool allFinite (const float* a, int n) noexcept
{
    __m128i bad = _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= n; i += 4)
        bad = _mm_or_si128 (bad, nonFinite (_mm_loadu_ps (a + i)));
    return _mm_movemask_epi8 (bad) == 0 && Scalar::allFinite (a, i, n);
}

constexpr Operations operations { &clear, &add, &multiply, &multiplyAdd, &copyFinite, &allFinite };
} // namespace Sse

ZEPH_TARGET_BEGIN ("avx")

namespace Avx
{
// Whole vectors of eight, then at most one of four, then single samples.
void clear (float* d, int n) noexcept
{
    int i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps (d + i, _mm256_setzero_ps());
    if (i + 4 <= n)
    {
        _mm_storeu_ps (d + i, _mm_setzero_ps());
        i += 4;
    }
    Scalar::clear (d, i, n);
}

void add (const float* a, const float* b, float* d, int n) noexcept
{
    int i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps (d + i, _mm256_add_ps (_mm256_loadu_ps (a + i), _mm256_loadu_ps (b + i)));
    if (i + 4 <= n)
    {
        _mm_storeu_ps (d + i, _mm_add_ps (_mm_loadu_ps (a + i), _mm_loadu_ps (b + i)));
        i += 4;
    }
    Scalar::add (a, b, d, i, n);
}

void multiply (const float* a, float s, float* d, int n) noexcept
{
    const __m256 scale = _mm256_set1_ps (s);
    int i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps (d + i, _mm256_mul_ps (_mm256_loadu_ps (a + i), scale));
    if (i + 4 <= n)
    {
        _mm_storeu_ps (d + i, _mm_mul_ps (_mm_loadu_ps (a + i), _mm256_castps256_ps128 (scale)));
        i += 4;
    }
    Scalar::multiply (a, s, d, i, n);
}

void multiplyAdd (const float* a, float s, const float* b, float* d, int n) noexcept
{
    const __m256 scale = _mm256_set1_ps (s);
    int i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps (d + i, _mm256_add_ps (_mm256_mul_ps (_mm256_loadu_ps (a + i), scale),
                                                _mm256_loadu_ps (b + i)));
    if (i + 4 <= n)
    {
        const __m128 product = _mm_mul_ps (_mm_loadu_ps (a + i), _mm256_castps256_ps128 (scale));
        _mm_storeu_ps (d + i, _mm_add_ps (product, _mm_loadu_ps (b + i)));
        i += 4;
    }
    Scalar::multiplyAdd (a, s, b, d, i, n);
}

// Lanes whose magnitude is not below infinity (NaN compares unordered).
inline __m256 nonFinite (__m256 x) noexcept
{
    const __m256 magnitude = _mm256_and_ps (x, _mm256_castsi256_ps (_mm256_set1_epi32 (0x7fffffff)));
    return _mm256_cmp_ps (magnitude, _mm256_set1_ps (__builtin_inff()), _CMP_NLT_UQ);
}

bool copyFinite (const float* a, float* d, int n) noexcept
{
    __m256 bad = _mm256_setzero_ps();
    int i = 0;
    for (; i + 8 <= n; i += 8)
    {
        const __m256 x = _mm256_loadu_ps (a + i);
        _mm256_storeu_ps (d + i, x);
        bad = _mm256_or_ps (bad, nonFinite (x));
    }
    const bool restFinite = Sse::copyFinite (a + i, d + i, n - i); // copied whatever the vectors held
    return _mm256_movemask_ps (bad) == 0 && restFinite;
}

bool allFinite (const float* a, int n) noexcept
{
    __m256 bad = _mm256_setzero_ps();
    int i = 0;
    for (; i + 8 <= n; i += 8)
        bad = _mm256_or_ps (bad, nonFinite (_mm256_loadu_ps (a + i)));
    return _mm256_movemask_ps (bad) == 0 && Sse::allFinite (a + i, n - i);
}

constexpr Operations operations { &clear, &add, &multiply, &multiplyAdd, &copyFinite, &allFinite };
} // namespace Avx

ZEPH_TARGET_END
ZEPH_TARGET_BEGIN ("avx512f")

namespace Avx512
{
// Whole vectors of sixteen, then one masked vector for the rest.
inline __mmask16 tailMask (int count) noexcept
{
    return (__mmask16) ((1u << count) - 1u);
}

void clear (float* d, int n) noexcept
{
    int i = 0;
    for (; i + 16 <= n; i += 16)
        _mm512_storeu_ps (d + i, _mm512_setzero_ps());
    if (i < n)
        _mm512_mask_storeu_ps (d + i, tailMask (n - i), _mm512_setzero_ps());
}

void add (const float* a, const float* b, float* d, int n) noexcept
{
    int i = 0;
    for (; i + 16 <= n; i += 16)
        _mm512_storeu_ps (d + i, _mm512_add_ps (_mm512_loadu_ps (a + i), _mm512_loadu_ps (b + i)));
    if (i < n)
    {
        const __mmask16 m = tailMask (n - i);
        _mm512_mask_storeu_ps (d + i, m, _mm512_add_ps (_mm512_maskz_loadu_ps (m, a + i),
                                                        _mm512_maskz_loadu_ps (m, b + i)));
    }
}

void multiply (const float* a, float s, float* d, int n) noexcept
{
    const __m512 scale = _mm512_set1_ps (s);
    int i = 0;
    for (; i + 16 <= n; i += 16)
        _mm512_storeu_ps (d + i, _mm512_mul_ps (_mm512_loadu_ps (a + i), scale));
    if (i < n)
    {
        const __mmask16 m = tailMask (n - i);
        _mm512_mask_storeu_ps (d + i, m, _mm512_mul_ps (_mm512_maskz_loadu_ps (m, a + i), scale));
    }
}

void multiplyAdd (const float* a, float s, const float* b, float* d, int n) noexcept
{
    const __m512 scale = _mm512_set1_ps (s);
    int i = 0;
    for (; i + 16 <= n; i += 16)
        _mm512_storeu_ps (d + i, _mm512_add_ps (_mm512_mul_ps (_mm512_loadu_ps (a + i), scale),
                                                _mm512_loadu_ps (b + i)));
    if (i < n)
    {
        const __mmask16 m = tailMask (n - i);
        const __m512 product = _mm512_mul_ps (_mm512_maskz_loadu_ps (m, a + i), scale);
        _mm512_mask_storeu_ps (d + i, m, _mm512_add_ps (product, _mm512_maskz_loadu_ps (m, b + i)));
    }
}

// Lanes whose magnitude bits reach those of infinity.
inline __mmask16 nonFinite (__m512 x) noexcept
{
    const __m512i magnitude = _mm512_and_epi32 (_mm512_castps_si512 (x), _mm512_set1_epi32 (0x7fffffff));
    return _mm512_cmpgt_epi32_mask (magnitude, _mm512_set1_epi32 (0x7f7fffff));
}

bool copyFinite (const float* a, float* d, int n) noexcept
{
    __mmask16 bad = 0;
    int i = 0;
    for (; i + 16 <= n; i += 16)
    {
        const __m512 x = _mm512_loadu_ps (a + i);
        _mm512_storeu_ps (d + i, x);
        bad |= nonFinite (x);
    }
    if (i < n)
    {
        const __mmask16 m = tailMask (n - i);
        const __m512 x = _mm512_maskz_loadu_ps (m, a + i);
        _mm512_mask_storeu_ps (d + i, m, x);
        bad |= nonFinite (x);
    }
    return bad == 0;
}

bool allFinite (const float* a, int n) noexcept
{
    __mmask16 bad = 0;
    int i = 0;
    for (; i + 16 <= n; i += 16)
        bad |= nonFinite (_mm512_loadu_ps (a + i));
    if (i < n)
        bad |= nonFinite (_mm512_maskz_loadu_ps (tailMask (n - i), a + i));
    return bad == 0;
}

constexpr Operations operations { &clear, &add, &multiply, &multiplyAdd, &copyFinite, &allFinite };
} // namespace Avx512

ZEPH_TARGET_END
 #if ! defined(__clang__)
  #pragma GCC pop_options
 #endif

const Operations& chooseOperations() noexcept
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports ("avx512f"))
        return Avx512::operations;
    if (__builtin_cpu_supports ("avx"))
        return Avx::operations;
    return Sse::operations;
}

const Operations* operationsOfWidth (int lanes) noexcept
{
    __builtin_cpu_init();
    if (lanes == 4)
        return &Sse::operations;
    if (lanes == 8 && __builtin_cpu_supports ("avx"))
        return &Avx::operations;
    if (lanes == 16 && __builtin_cpu_supports ("avx512f"))
        return &Avx512::operations;
    return nullptr;
}
#else
const Operations& chooseOperations() noexcept
{
    return Scalar::operations;
}

const Operations* operationsOfWidth (int) noexcept
{
    return nullptr;
}
#endif

// Chosen on the first call; every thread that races there chooses alike.
std::atomic<const Operations*> chosenOperations { nullptr };

__attribute__ ((noinline, cold)) const Operations& choose() noexcept
{
    const Operations& operations = chooseOperations();
    chosenOperations.store (&operations, std::memory_order_relaxed);
    return operations;
}

inline const Operations& chosen() noexcept
{
    const Operations* operations = chosenOperations.load (std::memory_order_relaxed);
    return operations != nullptr ? *operations : choose();
}
} // namespace

const Operations* operationsForWidth (int lanes) noexcept
{
    return lanes == 1 ? &Scalar::operations : operationsOfWidth (lanes);
}

void clear (float* d, int n) noexcept
{
    if (n > 0)
        chosen().clear (d, n);
}

void add (const float* a, const float* b, float* d, int n) noexcept
{
    if (n > 0)
        chosen().add (a, b, d, n);
}

void multiply (const float* a, float s, float* d, int n) noexcept
{
    if (n > 0)
        chosen().multiply (a, s, d, n);
}

void multiplyAdd (const float* a, float s, const float* b, float* d, int n) noexcept
{
    if (n > 0)
        chosen().multiplyAdd (a, s, b, d, n);
}

bool copyFinite (const float* a, float* d, int n) noexcept
{
    return n <= 0 || chosen().copyFinite (a, d, n);
}

bool allFinite (const float* a, int n) noexcept
{
    return n <= 0 || chosen().allFinite (a, n);
}
} // namespace Zeph::Vec
