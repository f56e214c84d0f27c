#include "renderer/InterpolationCoefficients.h"
#include "renderer/Ray.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

using Zeph::BiquadCoefficients;
using Zeph::BiquadContext;
using Zeph::FlexibleDelay;
using Zeph::Ray;
using Zeph::Settings;

namespace
{
constexpr int32_t ringSize = FlexibleDelay::defaultSize;
constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();

// Deterministic noise in [-0.5, 0.5) indexed by absolute sample time.
float noise (int64_t t)
{
    const uint32_t h = (uint32_t) ((uint64_t) t * 2654435761u) ^ 0x9e3779b9u;
    return (float) ((h * 2246822519u) >> 8) / 16777216.0f - 0.5f;
}

// A history ring fed with a known signal, with NaN guards on both sides so
// that any read outside the ring shows up in the output.
struct Source
{
    static constexpr int32_t guard = 4096;
    std::vector<float> storage = std::vector<float> ((size_t) (ringSize + 2 * guard), notANumber);
    FlexibleDelay ring;
    int64_t time = 0; // samples written so far
    float (*signal) (int64_t) = noise;

    explicit Source (int64_t startTime = 0, float (*sig) (int64_t) = noise) : signal (sig)
    {
        ring.buffer = storage.data() + guard;
        ring.size = ringSize;
        // Fill the whole ring, then align writePos with startTime.
        time = startTime - ringSize;
        ring.writePos = (int32_t) (((time % ringSize) + ringSize) % ringSize);
        write (ringSize);
    }

    void write (int32_t n)
    {
        std::vector<float> block ((size_t) n);
        for (int32_t i = 0; i < n; ++i)
            block[(size_t) i] = signal (time + i);
        ring.write (block.data(), n);
        time += n;
    }

    float at (int64_t t) const { return signal (t); }
};

struct Buffers
{
    std::vector<float> out, scratchStorage;
    float* scratch;
    explicit Buffers (int32_t n)
        : out ((size_t) std::max (n, 1), 12345.0f), scratchStorage ((size_t) (n + Ray::scratchExtra + 2 * 64), notANumber)
    {
        scratch = scratchStorage.data() + 64; // NaN on both sides of n + 144
    }
};

Ray movingRay (float current, float target, float gain = 0.5f)
{
    Ray ray (1, 0);
    ray.gain = gain;
    ray.currentDelay = current;
    ray.targetDelay = target;
    return ray;
}

Ray staticRay (float target, float gain = 0.5f)
{
    Ray ray (0, 1);
    ray.gain = gain;
    ray.targetDelay = target;
    return ray;
}

// Writes one block into the source and renders the ray over it.
std::vector<float> renderBlock (Ray& ray, Source& src, int32_t n, float callerGain = 1.0f, const Settings& s = {})
{
    src.write (n);
    Buffers b (n);
    ray.renderAudio (s, src.ring, b.out.data(), b.scratch, n, callerGain);
    b.out.resize ((size_t) n);
    return b.out;
}

// Catmull-Rom read at a delay of D + p/64 samples beyond the fixed 143,
// with the weights evaluated exactly.
double catmullRom (const Source& src, int64_t t, int64_t whole, int phase)
{
    const double u = 1.0 - phase / 64.0;
    const double w[4] = { 0.5 * (-u * u * u + 2 * u * u - u), 0.5 * (3 * u * u * u - 5 * u * u + 2),
                          0.5 * (-3 * u * u * u + 4 * u * u + u), 0.5 * (u * u * u - u * u) };
    double y = 0;
    for (int m = 0; m < 4; ++m)
        y += w[m] * src.at (t - 143 - whole - 2 + m);
    return y;
}

float ramp (int64_t t) { return 0.001f * (float) (t % 100000 - 50000); }
} // namespace

TEST (RayRender, ZeroLengthWritesNothing)
{
    Source src (50000);
    Ray ray = movingRay (10.0f, 90.0f);
    float out = 7.0f;
    ray.renderAudio ({}, src.ring, &out, nullptr, 0, 1.0f);
    EXPECT_EQ (out, 7.0f);
    EXPECT_EQ (ray.currentDelay, 10.0f);
}

TEST (RayRender, StaticRayRoundsItsDelayHalfAwayFromZero)
{
    struct Case
    {
        float target;
        int64_t heard;
    };
    for (const Case c : { Case { 10.5f, 155 }, Case { 10.49f, 154 }, Case { 0.0f, 144 }, Case { -10.5f, 133 },
                          Case { 300.2f, 444 }, Case { 0.49999997f, 144 }, Case { -0.49999997f, 144 },
                          Case { 2.5f, 147 }, Case { 8388607.5f, 20480 - 256 } })
    {
        Source src (60000);
        Ray ray = staticRay (c.target, 0.25f);
        const auto out = renderBlock (ray, src, 256, 2.0f);
        for (int32_t i = 0; i < 256; ++i)
            ASSERT_EQ (out[(size_t) i], 0.5f * src.at (src.time - 256 + i - c.heard)) << c.target << " at " << i;
        EXPECT_EQ (ray.currentDelay, 0.0f);
    }
}

TEST (RayRender, StaticReadWindowWrapsAroundTheRing)
{
    // writePos ends at 50 after the block, so the window starts before index 0.
    Source src (3 * (int64_t) ringSize + 50 - 256);
    Ray ray = staticRay (10.0f);
    const auto out = renderBlock (ray, src, 256);
    ASSERT_EQ (src.ring.writePos, 50);
    for (int32_t i = 0; i < 256; ++i)
        ASSERT_EQ (out[(size_t) i], 0.5f * src.at (src.time - 256 + i - 154)) << i;
}

TEST (RayRender, StaticRayRunsOnlyTheMaskedFilters)
{
    Settings s;
    Ray ray (1, 1);
    ray.compile (s, 1.0f, -0.5f, 0.8f, 45.0f, 1.5f, 1.0f, true);
    for (int k = 0; k < Ray::numFilters; ++k)
        ASSERT_NE (ray.coefficients[k].a1, 0.0f) << "filter " << k << " should not be flat";

    Source src (40000);
    const Ray before = ray;
    const auto out = renderBlock (ray, src, 128, 1.0f, s);

    for (int k : { 0, 1 })
        EXPECT_NE (ray.contexts[k].s1, 0.0f) << k;
    for (int k : { 2, 3, 4 })
    {
        EXPECT_EQ (ray.contexts[k].s1, 0.0f) << k;
        EXPECT_EQ (ray.contexts[k].s2, 0.0f) << k;
    }

    // Same as reading the ring and running filters 0 and 1 by hand.
    std::vector<float> expected (128);
    const int64_t heard = (int64_t) std::round (before.targetDelay) + 144;
    for (int32_t i = 0; i < 128; ++i)
        expected[(size_t) i] = before.gain * src.at (src.time - 128 + i - heard);
    BiquadContext c0, c1;
    Zeph::Biquad::processInPlace (c0, before.coefficients[0], expected.data(), 128);
    Zeph::Biquad::processInPlace (c1, before.coefficients[1], expected.data(), 128);
    EXPECT_EQ (out, expected);

    // Another mask picks other filters.
    Ray other = before;
    s.filterMask = 0x14;
    renderBlock (other, src, 64, 1.0f, s);
    for (int k = 0; k < Ray::numFilters; ++k)
        EXPECT_EQ (other.contexts[k].s1 != 0.0f, k == 2 || k == 4) << k;
}

TEST (RayRender, MovingRayRunsAllFiveFiltersWhateverTheMask)
{
    Settings s;
    s.filterMask = 0;
    Ray ray (0, 0);
    ray.compile (s, 1.0f, -0.5f, 0.8f, 45.0f, 1.5f, 1.0f, true);
    Source src (40000);
    renderBlock (ray, src, 64, 1.0f, s);
    for (int k = 0; k < Ray::numFilters; ++k)
        EXPECT_NE (ray.contexts[k].s1, 0.0f) << k;
}

TEST (RayRender, MovingRayAtWholeDelayReproducesTheRing)
{
    Source src (70000);
    Ray ray = movingRay (37.0f, 37.0f);
    for (int32_t n : { 1, 64, 2048, 333 })
    {
        const auto out = renderBlock (ray, src, n, 3.0f);
        for (int32_t i = 0; i < n; ++i)
            ASSERT_EQ (out[(size_t) i], 1.5f * src.at (src.time - n + i - 180)) << "n " << n << " i " << i;
        EXPECT_EQ (ray.currentDelay, 37.0f);
    }
}

TEST (RayRender, MovingRayReadsBetweenSamples)
{
    for (float delay : { 37.5f, 37.25f, 0.75f })
    {
        Source src (70000);
        Ray ray = movingRay (delay, delay, 1.0f);
        const auto out = renderBlock (ray, src, 512);
        const int64_t whole = (int64_t) delay;
        const int phase = (int) ((delay - (float) whole) * 64.0f);
        for (int32_t i = 0; i < 512; ++i)
            ASSERT_NEAR (out[(size_t) i], catmullRom (src, src.time - 512 + i, whole, phase), 2e-5) << delay << " " << i;
    }
    // On a straight line the interpolator is exact: 37.25 + 143 samples late.
    Source line (50000, ramp);
    Ray ray = movingRay (37.25f, 37.25f, 1.0f);
    const auto out = renderBlock (ray, line, 256);
    for (int32_t i = 0; i < 256; ++i)
        ASSERT_NEAR (out[(size_t) i], 0.001 * (line.time - 256 + i - 180.25 - 50000), 2e-5) << i;
}

TEST (RayRender, SlewingRayWalksThePhasesInOrder)
{
    // From 10 toward 100 with 2048 samples: 1/64 sample more per sample.
    Source src (90000);
    Ray ray = movingRay (10.0f, 100.0f, 1.0f);
    const auto out = renderBlock (ray, src, 2048);
    for (int32_t i = 0; i < 2048; ++i)
    {
        const int64_t whole = 10 + i / 64;
        ASSERT_NEAR (out[(size_t) i], catmullRom (src, src.time - 2048 + i, whole, i % 64), 2e-5) << i;
    }
    EXPECT_EQ (ray.currentDelay, 42.0f);

    // And back down: 1/64 sample less per sample.
    Ray down = movingRay (50.0f, 0.0f, 1.0f);
    const auto back = renderBlock (down, src, 2048);
    for (int32_t i = 1; i < 2048; ++i)
    {
        const int steps = 64 * 50 - i; // delay in 64ths
        ASSERT_NEAR (back[(size_t) i], catmullRom (src, src.time - 2048 + i, steps / 64, steps % 64), 2e-5) << i;
    }
    EXPECT_EQ (down.currentDelay, 18.0f);
}

TEST (RayRender, GlideFollowsTheDelayOnALine)
{
    // Uneven phase steps: the heard delay stays within a 64th below the line.
    Source src (49000, ramp);
    const float cur = 10.3f, target = 20.7f;
    Ray ray = movingRay (cur, target, 1.0f);
    const auto out = renderBlock (ray, src, 2048);
    for (int32_t i = 0; i < 2048; ++i)
    {
        const double exact = cur + (target - cur) * i / 2048.0;
        const double heard = (src.at (src.time - 2048 + i) - out[(size_t) i]) / 0.001 - 143.0;
        ASSERT_GT (heard, exact - 1.0 / 64 - 0.03) << i;
        ASSERT_LT (heard, exact + 0.03) << i;
    }
    EXPECT_NEAR (ray.currentDelay, target, 1e-5);
}

TEST (RayRender, SlewLimitArrivesInTheFourthBlock)
{
    Source src (100000);
    Ray up = movingRay (50.0f, 150.0f);
    const float expectedUp[] = { 82.0f, 114.0f, 146.0f, 150.0f, 150.0f };
    for (float e : expectedUp)
    {
        renderBlock (up, src, 2048);
        EXPECT_EQ (up.currentDelay, e);
    }

    Ray down = movingRay (150.0f, 50.0f);
    const float expectedDown[] = { 118.0f, 86.0f, 54.0f, 50.0f };
    for (float e : expectedDown)
    {
        renderBlock (down, src, 2048);
        EXPECT_EQ (down.currentDelay, e);
    }

    Ray small = movingRay (50.0f, 150.0f);
    renderBlock (small, src, 64);
    EXPECT_EQ (small.currentDelay, 51.0f);
}

TEST (RayRender, MovingReadWindowWrapsAroundTheRing)
{
    // writePos ends at 20 after the block: the window starts near the ring's end.
    for (float delay : { 0.0f, 12.5f, 40.0f })
    {
        Source src (3 * (int64_t) ringSize + 20 - 512);
        Ray ray = movingRay (delay, delay, 1.0f);
        const auto out = renderBlock (ray, src, 512);
        ASSERT_EQ (src.ring.writePos, 20);
        const int64_t whole = (int64_t) delay;
        const int phase = (int) ((delay - (float) whole) * 64.0f);
        for (int32_t i = 0; i < 512; ++i)
            ASSERT_NEAR (out[(size_t) i], catmullRom (src, src.time - 512 + i, whole, phase), 2e-5) << delay << " " << i;
    }
    // And while slewing across the wrap.
    Source src (5 * (int64_t) ringSize + 700 - 2048);
    Ray ray = movingRay (10.0f, 100.0f, 1.0f);
    const auto out = renderBlock (ray, src, 2048);
    for (int32_t i = 0; i < 2048; ++i)
        ASSERT_NEAR (out[(size_t) i], catmullRom (src, src.time - 2048 + i, 10 + i / 64, i % 64), 2e-5) << i;
}

TEST (RayRender, DelaysBeyondTheRingAreClamped)
{
    const int32_t n = 512;
    {
        Source src (200000);
        Ray ray = staticRay (1.0e9f);
        const auto out = renderBlock (ray, src, n);
        for (int32_t i = 0; i < n; ++i)
            ASSERT_EQ (out[(size_t) i], 0.5f * src.at (src.time - n + i - (ringSize - n))) << i;
    }
    {
        Source src (200000);
        Ray ray = movingRay (1.0e9f, 1.0e9f);
        const auto out = renderBlock (ray, src, n);
        for (int32_t i = 0; i < n; ++i)
            ASSERT_EQ (out[(size_t) i], 0.5f * src.at (src.time - n + i - (ringSize - n - 2))) << i;
        EXPECT_EQ (ray.currentDelay, (float) (ringSize - n - 145));
    }
    {
        Source src (200000);
        Ray ray = movingRay (-5.0f, -20.0f);
        const auto out = renderBlock (ray, src, n);
        for (int32_t i = 0; i < n; ++i)
            ASSERT_EQ (out[(size_t) i], 0.5f * src.at (src.time - n + i - 143)) << i;
        EXPECT_EQ (ray.currentDelay, 0.0f);
    }
    for (Ray ray : { staticRay (notANumber), movingRay (notANumber, notANumber), movingRay (0.0f, notANumber),
                      staticRay (-1.0e9f) })
    {
        Source src (200000);
        const auto out = renderBlock (ray, src, n);
        for (float v : out)
            ASSERT_TRUE (std::isfinite (v));
        EXPECT_TRUE (std::isfinite (ray.currentDelay));
    }
}

TEST (RayRender, SlewingNeverReadsOutsideTheScratch)
{
    for (int32_t n : { 1, 7, 64, 1000, 2048 })
        for (float cur : { 0.0f, 0.99f, 17.3f, 63.98f })
            for (float target : { 0.0f, cur + 1000.0f, cur - 0.4f, cur + 0.01f })
            {
                Source src (300000);
                Ray ray = movingRay (cur, target);
                for (int block = 0; block < 3; ++block)
                {
                    const auto out = renderBlock (ray, src, n);
                    for (float v : out)
                        ASSERT_TRUE (std::isfinite (v)) << n << " " << cur << " " << target;
                }
            }
}

TEST (RayRender, RenderPicksUpTheLatestCompile)
{
    Settings s;
    Ray ray (1, 0);
    ray.compile (s, 2.0f, 0.0f, 0.0f, 0.0f, 1.5f, 1.0f, true);
    const float start = ray.currentDelay;
    ray.compile (s, -2.0f, 0.5f, 0.0f, 0.0f, 1.5f, 1.0f, false);
    EXPECT_EQ (ray.currentDelay, start);

    Source src (80000);
    renderBlock (ray, src, 64, 1.0f, s);
    EXPECT_GT (ray.targetDelay, start + 5.0f);
    EXPECT_EQ (ray.currentDelay, start + 1.0f); // slewed by 64/64
    for (int k = 1; k < Ray::numFilters; ++k)
        EXPECT_EQ (ray.coefficients[k].b0, ray.designs[k].coefficients.b0);
}

namespace
{
struct Snapshot
{
    float gain, targetDelay;
    BiquadCoefficients c[4];

    bool operator== (const Snapshot& o) const
    {
        if (gain != o.gain || targetDelay != o.targetDelay)
            return false;
        for (int k = 0; k < 4; ++k)
            if (c[k].b0 != o.c[k].b0 || c[k].b1 != o.c[k].b1 || c[k].b2 != o.c[k].b2 || c[k].a1 != o.c[k].a1
                || c[k].a2 != o.c[k].a2)
                return false;
        return true;
    }
};

Snapshot renderSide (const Ray& ray)
{
    Snapshot s { ray.gain, ray.targetDelay, {} };
    for (int k = 0; k < 4; ++k)
        s.c[k] = ray.coefficients[k + 1];
    return s;
}
} // namespace

TEST (RayRender, HeadMovementsRaceRenderingWithoutTearing)
{
    const Settings settings;
    const int compiles = 3000;
    const auto position = [] (int i) {
        const float a = 0.002f * (float) i;
        return std::array<float, 3> { 2.0f * std::sin (a), 2.0f * std::cos (a), 0.3f * std::sin (3.0f * a) };
    };

    Ray ray (1, 0);
    const auto p0 = position (0);
    ray.compile (settings, p0[0], p0[1], p0[2], 0.0f, 1.5f, 1.0f, true);

    // Every state the renderer may legally see, in order.
    std::vector<Snapshot> legal { renderSide (ray) };
    Ray model = ray;
    for (int i = 1; i <= compiles; ++i)
    {
        const auto p = position (i);
        model.compile (settings, p[0], p[1], p[2], 0.0f, 1.5f, 1.0f, false);
        model.takeUpdate();
        legal.push_back (renderSide (model));
    }

    Source src (100000);
    std::atomic<bool> done { false };
    std::thread head ([&] {
        for (int i = 1; i <= compiles; ++i)
        {
            const auto p = position (i);
            ray.compile (settings, p[0], p[1], p[2], 0.0f, 1.5f, 1.0f, false);
        }
        done.store (true, std::memory_order_release);
    });

    size_t seen = 0;
    int blocks = 0, torn = 0;
    std::vector<float> out (64), scratch (64 + Ray::scratchExtra);
    auto renderOne = [&] {
        src.write (64);
        ray.renderAudio (settings, src.ring, out.data(), scratch.data(), 64, 1.0f);
        const Snapshot now = renderSide (ray);
        size_t j = seen;
        while (j < legal.size() && ! (legal[j] == now))
            ++j;
        if (j == legal.size())
            ++torn;
        else
            seen = j;
        ++blocks;
    };
    while (! done.load (std::memory_order_acquire))
        renderOne();
    head.join();
    renderOne();

    EXPECT_EQ (torn, 0);
    EXPECT_EQ (seen, legal.size() - 1) << "the last compile must arrive";
    EXPECT_GT (blocks, 0);
}
