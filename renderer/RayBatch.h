#pragma once

#include "renderer/FlexibleDelay.h"
#include "renderer/Ray.h"
#include "renderer/Settings.h"

#include <cstdint>
#include <vector>

namespace Zeph
{
// Renders many ray pairs side by side. Each ray is one lane of a vector
// (the left rays of a group in the lower half of the lanes, the right rays in
// the upper half), so the filters of independent rays run together instead
// of one latency-bound chain at a time. Every ray computes exactly what
// Ray::renderAudio computes and is left in the same state, and the rays are
// added into the outputs in queue order, so the outputs are those of
// rendering and adding one pair after another.
//
// Pairs whose rays the lanes do not cover (a filter mask other than 3 on a
// static ray, a ring without storage, left and right of different kinds) are
// rendered with Ray::renderAudio.
//
// Audio thread only: the buffers are allocated by the constructor.
struct RayBatch
{
    static constexpr int maxPairs = 224; // 14 positions x 15 reflections, and then some
    static constexpr int maxBlock = 2048;
    static constexpr int maxLanes = 16; // two vectors of eight for static rays

    struct Pair
    {
        Ray* left;
        Ray* right;
        const FlexibleDelay* ring;
        float gain;
    };

    // The lanes of one group as the kernels read them: per lane a source, a
    // gain and the five filters' coefficients and contexts.
    struct Lanes
    {
        const float* source[maxLanes];     // static rays: n raw ring samples
        float gain[maxLanes];
        float coefficients[Ray::numFilters][5][maxLanes]; // b0 b1 b2 a1 a2
        float contexts[Ray::numFilters][2][maxLanes];     // s1 s2
    };

    RayBatch();

    // Vectors of eight lanes (AVX) where the processor has them, else four
    // (SSE2). Static rays run two vectors side by side, moving rays one.
    // Tests clear it to run the four-lane kernels.
    bool wide = false;

    bool empty() const noexcept { return numPairs == 0; }
    bool full() const noexcept { return numPairs == maxPairs; }

    // Queues the two rays of one path; the caller makes room with render()
    // when full(). The rays must stay alive until render().
    void add (Ray& left, Ray& right, const FlexibleDelay& ring, float gain) noexcept;

    // Renders every queued pair over n <= maxBlock samples (the block just
    // written into the rings), adds the left rays into outL and the right
    // rays into outR, and empties the queue.
    void render (const Settings& settings, float* outL, float* outR, int32_t n) noexcept;

private:
    Pair pairs[maxPairs];
    int numPairs = 0;

    Lanes lanes;
    std::vector<float> movingInput; // n x lanes, interleaved
    std::vector<float> wrapped;     // per lane, a ring read that wraps, made contiguous
    std::vector<float> silence;
    std::vector<float> scratch;
    std::vector<float> single;      // left and right of a pair rendered one ray at a time

    int laneCount() const noexcept;
    void renderSingly (const Settings& settings, const Pair& pair, float* outL, float* outR, int32_t n) noexcept;
    void renderStaticGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept;
    void renderMovingGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept;
    // Loads or stores the first numFilters filters of a lane (ray null: a
    // silent lane).
    void setLane (int lane, Ray* ray, float gain, int numFilters) noexcept;
    // keepLane returns false when a memory it stored is not finite; the
    // caller then resets that ray.
    bool keepLane (int lane, Ray* ray, int numFilters) noexcept;
};
} // namespace Zeph
