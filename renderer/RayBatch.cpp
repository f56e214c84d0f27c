#include "renderer/RayBatch.h"

#include "renderer/Finite.h"
#include "renderer/VectorOps.h"

#include <algorithm>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__)
 #define ZEPH_RAY_LANES 1
 #include <immintrin.h>
 #if defined(__GNUC__) && ! defined(__clang__)
  #define ZEPH_RAY_LANES_AVX 1
 #else
  #define ZEPH_RAY_LANES_AVX 0
 #endif
#else
 #define ZEPH_RAY_LANES 0
 #define ZEPH_RAY_LANES_AVX 0
#endif

#if ZEPH_RAY_LANES
 #pragma GCC diagnostic push
 #pragma GCC diagnostic ignored "-Wpsabi"

// Four lanes: the x86-64 baseline.
namespace Zeph::RayKernelsSse
{
constexpr int W = 4;
using V = __m128;

inline V load (const float* p) noexcept { return _mm_loadu_ps (p); }
inline void store (float* p, V v) noexcept { _mm_storeu_ps (p, v); }

// v[j][l] becomes v[l][j].
inline void transposeSquare (V* v) noexcept
{
    _MM_TRANSPOSE4_PS (v[0], v[1], v[2], v[3]);
}

 #include "renderer/RayKernels.h"
} // namespace Zeph::RayKernelsSse

 #if ZEPH_RAY_LANES_AVX
  #pragma GCC push_options
  #pragma GCC target("avx")

// Eight lanes, chosen at run time. No FMA: every lane must round as the
// one-ray code does.
namespace Zeph::RayKernelsAvx
{
constexpr int W = 8;
using V = __m256;

inline V load (const float* p) noexcept { return _mm256_loadu_ps (p); }
inline void store (float* p, V v) noexcept { _mm256_storeu_ps (p, v); }

inline void transposeSquare (V* r) noexcept
{
    V t[8];
    for (int l = 0; l < 8; l += 2)
    {
        t[l] = _mm256_unpacklo_ps (r[l], r[l + 1]);     // l,l+1 of samples 0,1 | 4,5
        t[l + 1] = _mm256_unpackhi_ps (r[l], r[l + 1]); // l,l+1 of samples 2,3 | 6,7
    }
    V u[8];
    for (int h = 0; h < 8; h += 4)
    {
        u[h] = _mm256_shuffle_ps (t[h], t[h + 2], _MM_SHUFFLE (1, 0, 1, 0));     // sample 0 | 4
        u[h + 1] = _mm256_shuffle_ps (t[h], t[h + 2], _MM_SHUFFLE (3, 2, 3, 2)); // sample 1 | 5
        u[h + 2] = _mm256_shuffle_ps (t[h + 1], t[h + 3], _MM_SHUFFLE (1, 0, 1, 0)); // 2 | 6
        u[h + 3] = _mm256_shuffle_ps (t[h + 1], t[h + 3], _MM_SHUFFLE (3, 2, 3, 2)); // 3 | 7
    }
    for (int j = 0; j < 4; ++j)
    {
        r[j] = _mm256_permute2f128_ps (u[j], u[j + 4], 0x20);
        r[j + 4] = _mm256_permute2f128_ps (u[j], u[j + 4], 0x31);
    }
}

  #include "renderer/RayKernels.h"
} // namespace Zeph::RayKernelsAvx

  #pragma GCC pop_options
 #endif
 #pragma GCC diagnostic pop
#endif

namespace Zeph
{
namespace
{
constexpr int staticFilters = 2; // filters 0 and 1: the mask of 3 that static lanes stand for
}

RayBatch::RayBatch()
    : movingInput ((size_t) maxBlock * maxLanes),
      wrapped ((size_t) maxLanes * maxBlock),
      silence ((size_t) maxBlock, 0.0f),
      scratch ((size_t) (maxBlock + Ray::scratchExtra)),
      single ((size_t) 2 * maxBlock)
{
#if ZEPH_RAY_LANES_AVX
    __builtin_cpu_init();
    wide = __builtin_cpu_supports ("avx") != 0;
#endif
}

int RayBatch::laneCount() const noexcept
{
#if ZEPH_RAY_LANES_AVX
    if (wide)
        return 8;
#endif
    return ZEPH_RAY_LANES ? 4 : 0;
}

void RayBatch::add (Ray& left, Ray& right, const FlexibleDelay& ring, float gain) noexcept
{
    if (numPairs < maxPairs)
        pairs[numPairs++] = { &left, &right, &ring, gain };
}

void RayBatch::render (const Settings& settings, float* outL, float* outR, int32_t n) noexcept
{
    const int count = numPairs;
    numPairs = 0;
    if (n <= 0 || n > maxBlock)
    {
        for (int p = 0; p < count; ++p)
        {
            pairs[p].left->takeUpdate();
            pairs[p].right->takeUpdate();
        }
        return;
    }

    // Pairs are rendered and added in queue order, a group of consecutive
    // pairs of one kind at a time, so every output sample is summed in the
    // same order as one ray pair after another would sum it.
    const int half = laneCount() / 2;
    const bool staticInLanes = (settings.filterMask & 0x1f) == 3;
    const Pair* group[maxLanes / 2];
    const int staticCapacity = 2 * half; // pairs per group
    const int movingCapacity = half;
    int grouped = 0;
    bool groupMoving = false;

    auto flush = [&] {
        if (grouped > 0)
        {
            if (groupMoving)
                renderMovingGroup (group, grouped, outL, outR, n);
            else
                renderStaticGroup (group, grouped, outL, outR, n);
        }
        grouped = 0;
    };

    for (int p = 0; p < count; ++p)
    {
        const Pair& pair = pairs[p];
        const bool moving = pair.left->order == 0;
        const bool fits = half > 0 && pair.ring->buffer != nullptr && pair.ring->size > 0
                          && moving == (pair.right->order == 0) && (moving || staticInLanes);
        if (! fits)
        {
            flush();
            renderSingly (settings, pair, outL, outR, n);
            continue;
        }

        if (grouped > 0 && moving != groupMoving)
            flush();
        groupMoving = moving;
        group[grouped++] = &pair;
        if (grouped == (moving ? movingCapacity : staticCapacity))
            flush();
    }
    flush();
}

void RayBatch::renderSingly (const Settings& settings, const Pair& pair, float* outL, float* outR, int32_t n) noexcept
{
    float* left = single.data();
    float* right = single.data() + maxBlock;
    pair.left->renderAudio (settings, *pair.ring, left, scratch.data(), n, pair.gain);
    pair.right->renderAudio (settings, *pair.ring, right, scratch.data(), n, pair.gain);
    Vec::add (outL, left, outL, n);
    Vec::add (outR, right, outR, n);
}

void RayBatch::setLane (int lane, Ray* ray, float gain, int numFilters) noexcept
{
    lanes.gain[lane] = gain;
    for (int f = 0; f < numFilters; ++f)
    {
        const BiquadCoefficients c = ray != nullptr ? ray->coefficients[f] : BiquadCoefficients {};
        const BiquadContext s = ray != nullptr ? ray->contexts[f] : BiquadContext {};
        lanes.coefficients[f][0][lane] = c.b0;
        lanes.coefficients[f][1][lane] = c.b1;
        lanes.coefficients[f][2][lane] = c.b2;
        lanes.coefficients[f][3][lane] = c.a1;
        lanes.coefficients[f][4][lane] = c.a2;
        lanes.contexts[f][0][lane] = s.s1;
        lanes.contexts[f][1][lane] = s.s2;
    }
}

bool RayBatch::keepLane (int lane, Ray* ray, int numFilters) noexcept
{
    uint32_t bad = 0;
    for (int f = 0; f < numFilters; ++f)
    {
        const float s1 = lanes.contexts[f][0][lane];
        const float s2 = lanes.contexts[f][1][lane];
        ray->contexts[f].s1 = s1;
        ray->contexts[f].s2 = s2;
        bad |= (uint32_t) (Finite::magnitudeBits (s1) >= Finite::infinityBits)
               | (uint32_t) (Finite::magnitudeBits (s2) >= Finite::infinityBits);
    }
    return bad == 0;
}

void RayBatch::renderStaticGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept
{
    // Up to two vectors; vector v holds pairs v * half .. v * half + half - 1.
    const int width = laneCount();
    const int half = width / 2;
    const int vectors = count > half ? 2 : 1;
    const int counts[2] = { std::min (count, half), std::max (0, count - half) };
    Ray* rays[maxLanes] {};

    for (int lane = 0; lane < vectors * width; ++lane)
    {
        const int v = lane / width;
        const int inVector = lane % width;
        const int p = inVector % half;
        if (p >= counts[v])
        {
            lanes.source[lane] = silence.data();
            setLane (lane, nullptr, 0.0f, staticFilters);
            continue;
        }

        const Pair& pair = *group[v * half + p];
        Ray* ray = inVector < half ? pair.left : pair.right;
        ray->takeUpdate();
        const FlexibleDelay& ring = *pair.ring;
        const int32_t start = ray->staticReadIndex (ring, n);
        if (start + n <= ring.size)
        {
            lanes.source[lane] = ring.buffer + start;
        }
        else
        {
            float* joined = wrapped.data() + (size_t) lane * maxBlock;
            const int32_t first = ring.size - start;
            std::memcpy (joined, ring.buffer + start, sizeof (float) * (size_t) first);
            std::memcpy (joined + first, ring.buffer, sizeof (float) * (size_t) (n - first));
            lanes.source[lane] = joined;
        }
        setLane (lane, ray, pair.gain * ray->gain, staticFilters);
        rays[lane] = ray;
    }

#if ZEPH_RAY_LANES
 #if ZEPH_RAY_LANES_AVX
    if (width == 8)
    {
        if (vectors == 2)
            RayKernelsAvx::staticGroup<2> (lanes, outL, outR, counts, n);
        else
            RayKernelsAvx::staticGroup<1> (lanes, outL, outR, counts, n);
    }
    else
 #endif
    {
        if (vectors == 2)
            RayKernelsSse::staticGroup<2> (lanes, outL, outR, counts, n);
        else
            RayKernelsSse::staticGroup<1> (lanes, outL, outR, counts, n);
    }
#endif

    for (int lane = 0; lane < vectors * width; ++lane)
        if (rays[lane] != nullptr && ! keepLane (lane, rays[lane], staticFilters))
            Finite::resetIfNonFinite (rays[lane]->contexts, staticFilters);
}

void RayBatch::renderMovingGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept
{
    const int width = laneCount();
    const int half = width / 2;
    Ray* rays[maxLanes] {};

    for (int lane = 0; lane < width; ++lane)
    {
        const int p = lane % half;
        if (p >= count)
        {
            for (int32_t i = 0; i < n; ++i)
                movingInput[(size_t) i * (size_t) width + (size_t) lane] = 0.0f;
            setLane (lane, nullptr, 0.0f, Ray::numFilters);
            continue;
        }

        const Pair& pair = *group[p];
        Ray* ray = lane < half ? pair.left : pair.right;
        ray->takeUpdate();
        const float g = pair.gain * ray->gain;
        ray->readMoving (*pair.ring, scratch.data(), n, g, movingInput.data() + lane, width);
        setLane (lane, ray, g, Ray::numFilters);
        rays[lane] = ray;
    }

#if ZEPH_RAY_LANES
 #if ZEPH_RAY_LANES_AVX
    if (width == 8)
        RayKernelsAvx::movingGroup (lanes, movingInput.data(), outL, outR, count, n);
    else
 #endif
        RayKernelsSse::movingGroup (lanes, movingInput.data(), outL, outR, count, n);
#endif

    for (int lane = 0; lane < width; ++lane)
        if (rays[lane] != nullptr && ! keepLane (lane, rays[lane], Ray::numFilters))
            Finite::resetIfNonFinite (rays[lane]->contexts, Ray::numFilters);
}
} // namespace Zeph
