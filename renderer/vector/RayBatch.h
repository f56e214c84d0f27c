#pragma once

#include "renderer/FlexibleDelay.h"
#include "renderer/Ray.h"
#include "renderer/vector/RayLanes.h"
#include "renderer/Settings.h"

#include <cstdint>
#include <vector>

namespace Zeph
{
// Renders many ray pairs side by side. Each ray is one lane of a vector
// (the left rays of a group in the lower half of the lanes, the right rays in
// the upper half), so the filters of independent rays run together instead
// of one latency-bound chain at a time. Every ray computes exactly what
// Ray::renderAudio computes and is left in the same state (a static ray's
// filter memories once the batch hands them back, see below), and the rays
// are added into the outputs in queue order, so the outputs are those of
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

    struct Pair
    {
        Ray* left;
        Ray* right;
        const FlexibleDelay* ring;
        float gain;
    };

    RayBatch();

    // Lanes per vector for static and for moving rays: the widest the
    // processor has (see RayKernels), but at most eight for the moving rays
    // (a layout has up to 13 of their pairs: sixteen lanes would stand
    // idle); or a width the tests choose. 0 renders every pair singly.
    int laneWidth() const noexcept { return kernels != nullptr ? kernels->width : 0; }
    int movingLaneWidth() const noexcept { return movingKernels != nullptr ? movingKernels->width : 0; }
    void useLaneWidths (int staticWidth, int movingWidth) noexcept;
    void useLaneWidth (int width) noexcept { useLaneWidths (width, width); }

    bool empty() const noexcept { return numPairs == 0; }
    bool full() const noexcept { return numPairs == maxPairs; }

    // Queues the two rays of one path; the caller makes room with render()
    // when full(). The rays must stay alive until render().
    void add (Ray& left, Ray& right, const FlexibleDelay& ring, float gain) noexcept
    {
        if (numPairs < maxPairs)
            pairs[numPairs++] = { &left, &right, &ring, gain };
    }

    // Renders every queued pair over n <= maxBlock samples (the block just
    // written into the rings), adds the left rays into outL and the right
    // rays into outR, and empties the queue.
    void render (const Settings& settings, float* outL, float* outR, int32_t n) noexcept;

    // The batch keeps the lanes of its static groups from one block to the
    // next: a group of the same rays in the same lanes takes again only
    // where they read. A static ray's gain, delay and coefficients are fixed
    // once its set is built (its only update is the one its build
    // publishes), so a lane loads them when it takes a ray; its filter
    // memories stay in the lane between renders and go back into the ray
    // when another lane or the one-ray path takes it, or on
    // returnHeldMemories().
    //
    // startBlock() before the first render of a block, so that its groups
    // find their lanes again.
    void startBlock() noexcept
    {
        nextKept = 0;
        keptEveryPair = true;
    }

    // The static groups rendered since startBlock(), when every pair went
    // through a kept group of its own (-1 otherwise); and the same groups
    // rendered again, as they were, over the next block. The caller replays
    // only when it would queue the same pairs in the same order, and only
    // while keptGeneration() is what it was when the groups were rendered.
    int keptGroups() const noexcept { return keptEveryPair ? nextKept : -1; }
    uint32_t keptGeneration() const noexcept { return generation; }
    void replayKeptGroups (int groups, float* outL, float* outR, int32_t n) noexcept;

    // Puts every held filter memory back into its ray.
    void returnHeldMemories() noexcept;

    // Drops the kept lanes without touching their rays: after a flip, when
    // the retired set may be rebuilt at once.
    void forgetKeptLanes() noexcept;

    // Puts a ray's filter memories back if a lane holds them.
    void returnMemoriesOf (Ray& ray) noexcept
    {
        if (ray.heldLane >= 0)
            returnHeld (ray);
    }

private:
    const RayKernels* kernels = nullptr;
    const RayKernels* movingKernels = nullptr;
    Pair pairs[maxPairs];
    int numPairs = 0;

    // The lanes of one static group, kept from one render to the next.
    struct KeptLanes
    {
        RayLanes lanes;
        Ray* loaded[RayLanes::maxLanes];                // whose gain, delay and coefficients a lane has (null: none)
        Ray* held[RayLanes::maxLanes];                  // whose filter memories a lane holds (null: none)
        const FlexibleDelay* rings[RayLanes::maxLanes]; // the ring a lane read last
        float pairGains[RayLanes::maxLanes];
        int32_t delays[RayLanes::maxLanes];             // Ray::roundedDelay of the target
        int counts[2];                                  // pairs in each vector at the last render
    };

    static constexpr int numKept = maxPairs / 4 + 1; // a block's static groups (four pairs at least each), and one to share
    std::vector<KeptLanes> keptLanes = std::vector<KeptLanes> (numKept);
    int nextKept = 0;
    bool keptEveryPair = true;
    uint32_t generation = 0; // counts the times the kept lanes were forgotten

    RayLanes lanes; // the moving groups'
    MovingLanes moving;
    std::vector<float> wrapped;     // per lane, a static read that wraps, made contiguous
    std::vector<float> silence;
    std::vector<float> scratch;     // per moving lane, its scaled ring samples
    std::vector<float> interpolated; // per moving lane, its interpolated read
    std::vector<float> single;      // left and right of a pair rendered one ray at a time

    void renderSingly (const Settings& settings, const Pair& pair, float* outL, float* outR, int32_t n) noexcept;
    void renderStaticGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept;
    void renderMovingGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept;
    void setStaticLane (int keptIndex, int lane, Ray& ray, const Pair& pair, int32_t n) noexcept;
    void setStaticSource (KeptLanes& kept, int lane, int32_t n) noexcept;
    const float* joinWrappedRead (int lane, const FlexibleDelay& ring, int32_t start, int32_t n) noexcept;
    void renderKeptGroup (int keptIndex, float* outL, float* outR, int32_t n) noexcept;
    void holdMemories (int keptIndex, int lane, Ray& ray) noexcept;
    void returnHeld (Ray& ray) noexcept;
    void emptyKeptLane (KeptLanes& kept, int lane) noexcept;
    void setMovingLane (int lane, Ray& ray, const Pair& pair, int32_t n) noexcept;
    // A static lane's filters 0 and 1: cleared (silence through filters that
    // pass nothing), or loaded from a ray.
    void clearLane (RayLanes& target, int lane) noexcept;
    static void loadCoefficients (RayLanes& target, int lane, const Ray& ray) noexcept;
    static void loadMemories (RayLanes& target, int lane, const Ray& ray) noexcept;
    void resetNonFiniteHeld (int keptIndex, uint32_t bad) noexcept;
};
} // namespace Zeph
