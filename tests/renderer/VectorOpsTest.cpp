#include "renderer/Finite.h"
#include "renderer/vector/RayLanes.h"
#include "renderer/vector/VectorOps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace
{
using Zeph::Vec::Operations;

// Every width this processor runs, with its name for the messages.
std::vector<std::pair<int, const Operations*>> widths()
{
    std::vector<std::pair<int, const Operations*>> found;
    for (const int lanes : { 1, 4, 8, 16 })
        if (const auto* ops = Zeph::Vec::operationsForWidth (lanes))
            found.emplace_back (lanes, ops);
    return found;
}

std::vector<float> randomSamples (size_t count, unsigned seed)
{
    std::mt19937 random (seed);
    std::uniform_real_distribution<float> value (-2.0f, 2.0f);
    std::vector<float> samples (count);
    for (auto& x : samples)
        x = value (random);
    return samples;
}

constexpr float guard = 12345.0f; // past the end: must stay untouched
} // namespace

// The wide kernels are built in whichever compiler built them: each width is
// there exactly when the processor runs its instructions.
TEST (VectorOps, EveryWidthTheProcessorRunsIsBuiltIn)
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    struct Width { int lanes; bool runs; };
    const Width table[] = { { 4, true },
                            { 8, __builtin_cpu_supports ("avx") != 0 },
                            { 16, __builtin_cpu_supports ("avx512f") != 0 } };
    for (const auto& w : table)
    {
        EXPECT_EQ (Zeph::Vec::operationsForWidth (w.lanes) != nullptr, w.runs) << w.lanes << " lanes of vector operations";
        EXPECT_EQ (Zeph::RayKernels::forWidth (w.lanes) != nullptr, w.runs) << w.lanes << " lanes of ray kernels";
    }
#else
    GTEST_SKIP() << "vectors are built for x86-64 only";
#endif
}

TEST (VectorOps, EveryWidthGivesTheScalarSamplesAndWritesNothingPastTheEnd)
{
    ASSERT_GE (widths().size(), 2u) << "plain loops and SSE at least";
    const float s = 0.7f;
    for (const auto& [lanes, ops] : widths())
        for (int n = 0; n <= 41; ++n)
            for (const int offset : { 0, 1, 3 }) // unaligned starts
            {
                const auto a = randomSamples ((size_t) (n + offset), (unsigned) n);
                const auto b = randomSamples ((size_t) (n + offset), (unsigned) n + 100);
                std::vector<float> d ((size_t) (n + offset + 1), guard);
                const float* pa = a.data() + offset;
                const float* pb = b.data() + offset;
                float* pd = d.data() + offset;
                SCOPED_TRACE (testing::Message() << lanes << " lanes, n " << n << ", offset " << offset);

                ops->add (pa, pb, pd, n);
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ (pd[i], pa[i] + pb[i]);
                ops->multiply (pa, s, pd, n);
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ (pd[i], pa[i] * s);
                ops->multiplyAdd (pa, s, pb, pd, n);
                for (int i = 0; i < n; ++i)
                {
                    const float product = pa[i] * s; // rounded before the add: no fused step
                    ASSERT_EQ (pd[i], product + pb[i]);
                }
                EXPECT_TRUE (ops->copyFinite (pa, pd, n));
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ (pd[i], pa[i]);
                EXPECT_TRUE (ops->allFinite (pa, n));
                ops->clear (pd, n);
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ (pd[i], 0.0f);
                ASSERT_EQ (pd[n], guard);
            }
}

TEST (VectorOps, InPlaceAddAndMultiplyAdd)
{
    for (const auto& [lanes, ops] : widths())
    {
        const int n = 37;
        const auto a = randomSamples ((size_t) n, 1);
        auto d = randomSamples ((size_t) n, 2);
        const auto before = d;
        ops->add (d.data(), a.data(), d.data(), n);
        ops->multiplyAdd (a.data(), 0.3f, d.data(), d.data(), n);
        for (int i = 0; i < n; ++i)
        {
            const float sum = before[(size_t) i] + a[(size_t) i];
            const float product = a[(size_t) i] * 0.3f;
            ASSERT_EQ (d[(size_t) i], product + sum) << lanes << " lanes, sample " << i;
        }
    }
}

TEST (VectorOps, NonFiniteFoundAtEveryPlaceAndStillCopied)
{
    const float bad[] = { std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN() };
    const float good[] = { std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                           std::numeric_limits<float>::denorm_min(), -0.0f };
    for (const auto& [lanes, ops] : widths())
        for (const int n : { 1, 5, 8, 13, 16, 35 })
            for (int at = 0; at < n; ++at)
            {
                SCOPED_TRACE (testing::Message() << lanes << " lanes, n " << n << ", at " << at);
                for (const float x : good)
                {
                    std::vector<float> a ((size_t) n, 1.0f), d ((size_t) n, 0.0f);
                    a[(size_t) at] = x;
                    EXPECT_TRUE (ops->allFinite (a.data(), n));
                    EXPECT_TRUE (ops->copyFinite (a.data(), d.data(), n));
                }
                for (const float x : bad)
                {
                    std::vector<float> a ((size_t) n, 1.0f), d ((size_t) n, 0.0f);
                    a[(size_t) at] = x;
                    EXPECT_FALSE (ops->allFinite (a.data(), n));
                    EXPECT_FALSE (ops->copyFinite (a.data(), d.data(), n));
                    // Every sample copied, the bad one too.
                    ASSERT_EQ (std::memcmp (d.data(), a.data(), sizeof (float) * (size_t) n), 0);
                }
            }
}

TEST (VectorOps, CopyAsFiniteSilencesOnlyTheBadSamples)
{
    std::vector<float> a (21, 0.25f), d (21, 9.0f);
    a[3] = std::numeric_limits<float>::quiet_NaN();
    a[20] = -std::numeric_limits<float>::infinity();
    EXPECT_TRUE (Zeph::Finite::copyAsFinite (a.data(), d.data(), 21));
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ (d[(size_t) i], (i == 3 || i == 20) ? 0.0f : 0.25f) << i;
    EXPECT_FALSE (Zeph::Finite::copyAsFinite (d.data(), a.data(), 21));
}
