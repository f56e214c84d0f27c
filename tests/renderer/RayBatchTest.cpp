// RayBatch against Ray::renderAudio run pair after pair: the same output bits
// and the same ray state, at every lane width the processor has, for any
// block length, ring position, mix of static and moving rays, speed of the
// head and filter mask.
#include "renderer/vector/RayBatch.h"
#include "renderer/vector/VectorOps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using Zeph::FlexibleDelay;
using Zeph::Ray;
using Zeph::RayBatch;
using Zeph::Settings;

namespace
{
float noise (int64_t t)
{
    const uint32_t h = (uint32_t) ((uint64_t) t * 2654435761u) ^ 0x9e3779b9u;
    return (float) ((h * 2246822519u) >> 8) / 16777216.0f - 0.5f;
}

struct Ring
{
    std::vector<float> storage = std::vector<float> ((size_t) FlexibleDelay::defaultSize, 0.0f);
    FlexibleDelay ring;
    int64_t time = 0;

    explicit Ring (int32_t writePos)
    {
        ring.buffer = storage.data();
        ring.writePos = writePos;
        write (FlexibleDelay::defaultSize);
    }

    void write (int32_t n)
    {
        std::vector<float> block ((size_t) n);
        for (int32_t i = 0; i < n; ++i)
            block[(size_t) i] = noise (time + i);
        ring.write (block.data(), n);
        time += n;
    }
};

// Source positions around the head, some far enough to read deep into the ring.
void positionOf (int k, float* p)
{
    const float azimuth = 0.7f * (float) k;
    const float elevation = 0.3f * std::sin (1.3f * (float) k);
    const float distance = 1.2f + 9.0f * (float) ((k * 7) % 11) / 11.0f;
    p[0] = distance * std::sin (azimuth) * std::cos (elevation);
    p[1] = distance * std::cos (azimuth) * std::cos (elevation);
    p[2] = distance * std::sin (elevation);
}

// A pair of rays (left, right) compiled for source k; order 0 is moving.
struct RayPair
{
    Ray left { 0, 0 };
    Ray right { 1, 0 };
    int source = 0;

    RayPair (const Settings& settings, int k, uint8_t order) : left (0, order), right (1, order), source (k)
    {
        compile (settings, 0.0f, true);
    }

    void compile (const Settings& settings, float turn, bool force)
    {
        float p[3];
        positionOf (source, p);
        const float c = std::cos (turn), s = std::sin (turn);
        const float x = c * p[0] - s * p[1], y = s * p[0] + c * p[1];
        const float angle = left.order == 0 ? 0.0f : 10.0f + 8.0f * (float) (source % 9);
        left.compile (settings, x, y, p[2], angle, 1.5f, 0.8f, force);
        right.compile (settings, x, y, p[2], angle, 1.5f, 0.8f, force);
    }
};

struct Scene
{
    Settings settings;
    std::vector<RayPair> fast, reference;
    float gain = 0.7f;

    Scene (int numPairs, int movingEvery)
    {
        settings.setSampleRate (48000.0f);
        for (int k = 0; k < numPairs; ++k)
            fast.emplace_back (settings, k, (uint8_t) (movingEvery > 0 && k % movingEvery == 0 ? 0 : 1 + k % 2));
        reference = fast;
    }

    void turnHead (float turn)
    {
        for (auto* set : { &fast, &reference })
            for (auto& pair : *set)
                if (pair.left.order == 0)
                    pair.compile (settings, turn, false);
    }
};

void expectSameState (const Ray& a, const Ray& b, const std::string& where)
{
    EXPECT_EQ (a.currentDelay, b.currentDelay) << where;
    for (int k = 0; k < Ray::numFilters; ++k)
    {
        EXPECT_EQ (a.contexts[k].s1, b.contexts[k].s1) << where << " filter " << k;
        EXPECT_EQ (a.contexts[k].s2, b.contexts[k].s2) << where << " filter " << k;
    }
}

// Renders blocks of n through the batch and pair after pair through the
// reference, turning the head between blocks; outputs must match bit for bit.
void compare (Scene& scene, Ring& ring, int32_t n, int width, int blocks, const std::string& where,
              float turnPerBlock = 0.4f)
{
    RayBatch batch;
    batch.useLaneWidth (width);
    ASSERT_EQ (batch.laneWidth(), width) << where;
    std::vector<float> fastL ((size_t) std::max (n, 1)), fastR ((size_t) std::max (n, 1));
    std::vector<float> refL (fastL.size()), refR (fastL.size()), rayOut (fastL.size());
    std::vector<float> scratch ((size_t) (n + Ray::scratchExtra));

    for (int b = 0; b < blocks; ++b)
    {
        scene.turnHead (turnPerBlock * (float) (b + 1));
        if (ring.ring.buffer != nullptr)
            ring.write (n);
        for (size_t i = 0; i < fastL.size(); ++i)
            fastL[i] = refL[i] = fastR[i] = refR[i] = 0.01f * (float) i; // what came before

        batch.startBlock();
        for (auto& pair : scene.fast)
            batch.add (pair.left, pair.right, ring.ring, scene.gain);
        batch.render (scene.settings, fastL.data(), fastR.data(), n);
        EXPECT_TRUE (batch.empty());

        for (auto& pair : scene.reference)
        {
            pair.left.renderAudio (scene.settings, ring.ring, rayOut.data(), scratch.data(), n, scene.gain);
            Zeph::Vec::add (refL.data(), rayOut.data(), refL.data(), n);
            pair.right.renderAudio (scene.settings, ring.ring, rayOut.data(), scratch.data(), n, scene.gain);
            Zeph::Vec::add (refR.data(), rayOut.data(), refR.data(), n);
        }

        for (int32_t i = 0; i < n; ++i)
        {
            ASSERT_EQ (fastL[(size_t) i], refL[(size_t) i]) << where << " block " << b << " sample " << i;
            ASSERT_EQ (fastR[(size_t) i], refR[(size_t) i]) << where << " block " << b << " sample " << i;
        }
        // The batch holds static rays' filter memories over blocks; now and
        // then they go back for the comparison.
        if (b % 3 != 2 && b != blocks - 1)
            continue;
        batch.returnHeldMemories();
        for (size_t p = 0; p < scene.fast.size(); ++p)
        {
            expectSameState (scene.fast[p].left, scene.reference[p].left, where + " left " + std::to_string (p));
            expectSameState (scene.fast[p].right, scene.reference[p].right, where + " right " + std::to_string (p));
        }
    }
}
} // namespace

// The lane widths this processor runs: four always, eight and sixteen where it can.
std::vector<int> laneWidths()
{
    std::vector<int> widths;
    for (const int width : { 4, 8, 16 })
        if (Zeph::RayKernels::forWidth (width) != nullptr)
            widths.push_back (width);
    return widths;
}

TEST (RayBatch, MatchesPairAfterPairForAnyLengthAndMix)
{
    // 0.4 rad a block slews the moving rays at full speed (a new phase every
    // sample); 0.003 lets a phase hold for runs of samples.
    for (const int width : laneWidths())
        for (const int32_t n : { 1, 3, 4, 7, 8, 13, 16, 32, 64, 333, 2048 })
            for (const int numPairs : { 1, 2, 3, 5, 9, 14, 17 })
                for (const int movingEvery : { 0, 1, 3 })
                    for (const float turn : { 0.4f, 0.003f })
                    {
                        if (movingEvery == 0 && turn != 0.4f)
                            continue;
                        Scene scene (numPairs, movingEvery);
                        Ring ring (FlexibleDelay::defaultSize - 100); // the reads wrap in the first blocks
                        compare (scene, ring, n, width, 3,
                                 "width " + std::to_string (width) + " n " + std::to_string (n) + " pairs "
                                     + std::to_string (numPairs) + " moving every " + std::to_string (movingEvery)
                                     + " turn " + std::to_string (turn),
                                 turn);
                    }
}

TEST (RayBatch, OtherFilterMasksAndEmptyRingsFallBackToSingleRays)
{
    for (const int mask : { 0, 1, 7, 31 })
    {
        Scene scene (6, 2);
        scene.settings.filterMask = mask;
        Ring ring (500);
        compare (scene, ring, 256, laneWidths().back(), 2, "mask " + std::to_string (mask));
    }

    Scene scene (3, 2);
    Ring ring (0);
    ring.ring.buffer = nullptr;
    compare (scene, ring, 64, laneWidths().back(), 1, "no ring storage");
}

TEST (RayBatch, ZeroLengthTakesUpdatesAndWritesNothing)
{
    Scene scene (2, 1);
    Ring ring (0);
    RayBatch batch;
    scene.turnHead (1.0f);
    const float before = scene.fast[0].left.targetDelay;
    for (auto& pair : scene.fast)
        batch.add (pair.left, pair.right, ring.ring, 1.0f);
    float outL = 5.0f, outR = 6.0f;
    batch.render (scene.settings, &outL, &outR, 0);
    EXPECT_EQ (outL, 5.0f);
    EXPECT_EQ (outR, 6.0f);
    EXPECT_TRUE (batch.empty());
    EXPECT_NE (scene.fast[0].left.targetDelay, before) << "the head movement was taken";
    EXPECT_EQ (scene.fast[0].left.currentDelay, scene.reference[0].left.currentDelay);
}

TEST (RayBatch, FillsUpToItsCapacity)
{
    Ray left (0, 1), right (1, 1);
    Ring ring (0);
    RayBatch batch;
    for (int p = 0; p < RayBatch::maxPairs; ++p)
    {
        EXPECT_FALSE (batch.full());
        batch.add (left, right, ring.ring, 1.0f);
    }
    EXPECT_TRUE (batch.full());
    batch.add (left, right, ring.ring, 1.0f); // ignored, not written past the end
    EXPECT_TRUE (batch.full());
}

TEST (RayBatch, MovingRaysWithMemoriesNoLongerFiniteStartAgainAsSingleRaysDo)
{
    const auto sameBits = [] (const std::vector<float>& a, const std::vector<float>& b) {
        return std::memcmp (a.data(), b.data(), sizeof (float) * a.size()) == 0;
    };
    for (const int width : laneWidths())
        for (const int32_t n : { 2, 64 })
        {
            const std::string where = "width " + std::to_string (width) + " n " + std::to_string (n);
            Scene scene (5, 1);
            for (auto* set : { &scene.fast, &scene.reference })
            {
                (*set)[1].left.contexts[3].s1 = std::numeric_limits<float>::quiet_NaN();
                (*set)[4].right.contexts[0].s2 = std::numeric_limits<float>::infinity();
            }
            Ring ring (700);
            RayBatch batch;
            batch.useLaneWidth (width);
            std::vector<float> fastL ((size_t) n), fastR ((size_t) n), refL ((size_t) n), refR ((size_t) n), rayOut ((size_t) n);
            std::vector<float> scratch ((size_t) (n + Ray::scratchExtra));
            for (int b = 0; b < 2; ++b)
            {
                ring.write (n);
                std::fill (fastL.begin(), fastL.end(), 0.0f);
                std::fill (fastR.begin(), fastR.end(), 0.0f);
                refL = fastL;
                refR = fastR;
                for (auto& pair : scene.fast)
                    batch.add (pair.left, pair.right, ring.ring, scene.gain);
                batch.render (scene.settings, fastL.data(), fastR.data(), n);
                for (auto& pair : scene.reference)
                {
                    pair.left.renderAudio (scene.settings, ring.ring, rayOut.data(), scratch.data(), n, scene.gain);
                    Zeph::Vec::add (refL.data(), rayOut.data(), refL.data(), n);
                    pair.right.renderAudio (scene.settings, ring.ring, rayOut.data(), scratch.data(), n, scene.gain);
                    Zeph::Vec::add (refR.data(), rayOut.data(), refR.data(), n);
                }
                EXPECT_TRUE (sameBits (fastL, refL) && sameBits (fastR, refR)) << where << " block " << b;
                EXPECT_EQ (std::isfinite (fastL[0]), b > 0) << where << " block " << b;
                for (size_t p = 0; p < scene.fast.size(); ++p)
                {
                    expectSameState (scene.fast[p].left, scene.reference[p].left, where + " left " + std::to_string (p));
                    expectSameState (scene.fast[p].right, scene.reference[p].right, where + " right " + std::to_string (p));
                }
            }
        }
}
