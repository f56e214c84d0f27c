#include "renderer/vector/RayBatch.h"

#include "renderer/Finite.h"
#include "renderer/vector/VectorOps.h"

#include <algorithm>
#include <cstring>

namespace Zeph
{
namespace
{
constexpr int staticFilters = 2; // filters 0 and 1: the mask of 3 that static lanes stand for
constexpr int maxWidth = MovingLanes::maxLanes;

// The samples of a moving lane's scratch: the n + 3 its interpolation reads,
// one shift per 64 samples the phase can move and two more, and a vector
// of `width` lanes past the last run, with room to spare.
constexpr int32_t movingReadLength (int32_t n, int width) noexcept
{
    return n + n / 64 + width + 8;
}

constexpr size_t scratchStride = (size_t) (RayBatch::maxBlock + Ray::scratchExtra);
constexpr size_t sourceStride = (size_t) (RayBatch::maxBlock + RayLanes::readSlack);
static_assert (movingReadLength (RayBatch::maxBlock, maxWidth) <= (int32_t) scratchStride, "a lane's scratch holds its read");
} // namespace

RayBatch::RayBatch()
    : wrapped ((size_t) RayLanes::maxLanes * sourceStride),
      silence (sourceStride, 0.0f),
      scratch ((size_t) maxWidth * scratchStride),
      interpolated ((size_t) maxWidth * sourceStride),
      single ((size_t) 2 * maxBlock)
{
    useLaneWidths (RayKernels::widest(), std::min (RayKernels::widest(), 8));
    for (int lane = 0; lane < maxWidth; ++lane)
    {
        moving.scratch[lane] = scratch.data() + (size_t) lane * scratchStride;
        moving.out[lane] = interpolated.data() + (size_t) lane * sourceStride;
    }
}

void RayBatch::render (const Settings& settings, float* outL, float* outR, int32_t n) noexcept
{
    const int count = numPairs;
    numPairs = 0;
    if (n <= 0 || n > maxBlock)
    {
        keptEveryPair = false;
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
    const bool staticInLanes = (settings.filterMask & 0x1f) == 3;
    const int staticCapacity = kernels != nullptr ? kernels->staticVectors * laneWidth() / 2 : 0;
    const int movingCapacity = movingLaneWidth() / 2;
    const Pair* group[RayLanes::maxLanes / 2];
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
        const bool isMoving = pair.left->order == 0;
        const bool fits = (isMoving ? movingCapacity : staticCapacity) > 0 && pair.ring->buffer != nullptr
                          && pair.ring->size > 0 && isMoving == (pair.right->order == 0) && (isMoving || staticInLanes);
        if (! fits)
        {
            flush();
            renderSingly (settings, pair, outL, outR, n);
            continue;
        }

        if (grouped > 0 && isMoving != groupMoving)
            flush();
        groupMoving = isMoving;
        group[grouped++] = &pair;
        if (grouped == (isMoving ? movingCapacity : staticCapacity))
            flush();
    }
    flush();
}

void RayBatch::renderSingly (const Settings& settings, const Pair& pair, float* outL, float* outR, int32_t n) noexcept
{
    float* left = single.data();
    float* right = single.data() + maxBlock;
    keptEveryPair = false;
    returnMemoriesOf (*pair.left);
    returnMemoriesOf (*pair.right);
    pair.left->renderAudio (settings, *pair.ring, left, scratch.data(), n, pair.gain);
    pair.right->renderAudio (settings, *pair.ring, right, scratch.data(), n, pair.gain);
    Vec::add (outL, left, outL, n);
    Vec::add (outR, right, outR, n);
}

void RayBatch::useLaneWidths (int staticWidth, int movingWidth) noexcept
{
    // The lanes are laid out anew for the widths.
    returnHeldMemories();
    forgetKeptLanes();
    kernels = RayKernels::forWidth (staticWidth);
    movingKernels = RayKernels::forWidth (movingWidth);
}

void RayBatch::returnHeldMemories() noexcept
{
    for (auto& kept : keptLanes)
        for (Ray* ray : kept.held)
            if (ray != nullptr)
                returnHeld (*ray);
}

void RayBatch::forgetKeptLanes() noexcept
{
    ++generation;
    for (auto& kept : keptLanes)
        for (int lane = 0; lane < RayLanes::maxLanes; ++lane)
        {
            kept.held[lane] = nullptr;
            emptyKeptLane (kept, lane);
        }
}

// A ray's heldLane may be stale (a copy of a held ray, or a ray of a set
// forgotten since): only the lane that names the ray as held holds it.
void RayBatch::returnHeld (Ray& ray) noexcept
{
    const int index = ray.heldLane / RayLanes::maxLanes;
    const int lane = ray.heldLane % RayLanes::maxLanes;
    ray.heldLane = -1;
    if (index >= (int) keptLanes.size())
        return;
    KeptLanes& kept = keptLanes[(size_t) index];
    if (kept.held[lane] != &ray)
        return;
    for (int f = 0; f < staticFilters; ++f)
        ray.contexts[f] = { kept.lanes.contexts[f][0][lane], kept.lanes.contexts[f][1][lane] };
    kept.held[lane] = nullptr;
}

void RayBatch::holdMemories (int keptIndex, int lane, Ray& ray) noexcept
{
    KeptLanes& kept = keptLanes[(size_t) keptIndex];
    if (kept.held[lane] != nullptr)
        returnHeld (*kept.held[lane]);
    returnMemoriesOf (ray);
    loadMemories (kept.lanes, lane, ray);
    kept.held[lane] = &ray;
    ray.heldLane = keptIndex * RayLanes::maxLanes + lane;
}

// A lane without a ray; what it held goes back first.
void RayBatch::emptyKeptLane (KeptLanes& kept, int lane) noexcept
{
    if (kept.held[lane] != nullptr)
        returnHeld (*kept.held[lane]);
    kept.loaded[lane] = nullptr;
    clearLane (kept.lanes, lane);
}

void RayBatch::setStaticLane (int keptIndex, int lane, Ray& ray, const Pair& pair, int32_t n) noexcept
{
    KeptLanes& kept = keptLanes[(size_t) keptIndex];
    RayLanes& target = kept.lanes;
    const bool sameRay = kept.loaded[lane] == &ray;
    if (! sameRay || ! (kept.pairGains[lane] == pair.gain))
    {
        if (! sameRay)
        {
            ray.takeUpdate();
            kept.loaded[lane] = &ray;
            kept.delays[lane] = Ray::roundedDelay (ray.targetDelay);
            loadCoefficients (target, lane, ray);
        }
        kept.pairGains[lane] = pair.gain;
        target.gain[lane] = pair.gain * ray.gain;
    }
    if (kept.held[lane] != &ray)
        holdMemories (keptIndex, lane, ray);
    kept.rings[lane] = pair.ring;
    setStaticSource (kept, lane, n);
}

// Where a kept lane reads the n samples of this block.
inline void RayBatch::setStaticSource (KeptLanes& kept, int lane, int32_t n) noexcept
{
    const FlexibleDelay& ring = *kept.rings[lane];
    const int32_t start = Ray::staticReadIndex (kept.delays[lane], ring, n);
    if (start + n + RayLanes::readSlack <= ring.size)
        kept.lanes.source[lane] = ring.buffer + start;
    else
        kept.lanes.source[lane] = joinWrappedRead (lane, ring, start, n);
}

// A read that wraps, made contiguous, as long as the ring allows.
const float* RayBatch::joinWrappedRead (int lane, const FlexibleDelay& ring, int32_t start, int32_t n) noexcept
{
    const int32_t length = n + RayLanes::readSlack;
    float* joined = wrapped.data() + (size_t) lane * sourceStride;
    for (int32_t done = 0, at = start; done < length;)
    {
        const int32_t part = std::min (length - done, ring.size - at);
        std::memcpy (joined + done, ring.buffer + at, sizeof (float) * (size_t) part);
        done += part;
        at = 0;
    }
    return joined;
}

void RayBatch::setMovingLane (int lane, Ray& ray, const Pair& pair, int32_t n) noexcept
{
    ray.takeUpdate();
    const Ray::MovingRead read = ray.startMovingRead (*pair.ring, n);
    moving.phase[lane] = read.phase;
    moving.phaseStep[lane] = read.phaseStep;
    moving.gain[lane] = pair.gain * ray.gain;
    moving.ring[lane] = pair.ring->buffer;
    moving.ringSize[lane] = pair.ring->size;
    moving.start[lane] = read.start;
    lanes.source[lane] = moving.out[lane];
}

void RayBatch::loadCoefficients (RayLanes& target, int lane, const Ray& ray) noexcept
{
    for (int f = 0; f < staticFilters; ++f)
    {
        const BiquadCoefficients& c = ray.coefficients[f];
        target.coefficients[f][0][lane] = c.b0;
        target.coefficients[f][1][lane] = c.b1;
        target.coefficients[f][2][lane] = c.b2;
        target.coefficients[f][3][lane] = c.a1;
        target.coefficients[f][4][lane] = c.a2;
    }
}

void RayBatch::loadMemories (RayLanes& target, int lane, const Ray& ray) noexcept
{
    for (int f = 0; f < staticFilters; ++f)
    {
        target.contexts[f][0][lane] = ray.contexts[f].s1;
        target.contexts[f][1][lane] = ray.contexts[f].s2;
    }
}

// A lane without a ray: silence through filters that pass nothing.
void RayBatch::clearLane (RayLanes& target, int lane) noexcept
{
    target.source[lane] = silence.data();
    target.gain[lane] = 0.0f;
    for (int f = 0; f < staticFilters; ++f)
    {
        for (auto& coefficient : target.coefficients[f])
            coefficient[lane] = 0.0f;
        target.contexts[f][0][lane] = 0.0f;
        target.contexts[f][1][lane] = 0.0f;
    }
}

// A lane whose filter memories are no longer finite: the ray's whole chain
// starts again from silence, as Ray::renderAudio would have it.
void RayBatch::resetNonFiniteHeld (int keptIndex, uint32_t bad) noexcept
{
    KeptLanes& kept = keptLanes[(size_t) keptIndex];
    for (; bad != 0; bad &= bad - 1)
    {
        const int lane = __builtin_ctz (bad);
        Ray* ray = kept.held[lane];
        if (ray == nullptr)
            continue;
        returnHeld (*ray);
        Finite::resetIfNonFinite (ray->contexts, Ray::numFilters);
        holdMemories (keptIndex, lane, *ray);
    }
}

void RayBatch::renderStaticGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept
{
    // Past the kept groups of a block, the last is shared: it gives its
    // lanes up every time.
    const int keptIndex = std::min (nextKept++, numKept - 1);
    KeptLanes& kept = keptLanes[(size_t) keptIndex];
    if (keptIndex == numKept - 1)
    {
        keptEveryPair = false;
        for (int lane = 0; lane < RayLanes::maxLanes; ++lane)
            emptyKeptLane (kept, lane);
    }

    // Vector v holds pairs v * half .. v * half + half - 1.
    const int width = laneWidth();
    const int half = width / 2;
    const int vectors = count > half ? 2 : 1;
    kept.counts[0] = std::min (count, half);
    kept.counts[1] = std::max (0, count - half);
    for (int v = 0; v < vectors; ++v)
        for (int q = 0; q < half; ++q)
        {
            const int p = v * half + q;
            const int lane = v * width + q;
            if (p < count)
            {
                setStaticLane (keptIndex, lane, *group[p]->left, *group[p], n);
                setStaticLane (keptIndex, lane + half, *group[p]->right, *group[p], n);
                continue;
            }
            for (const int empty : { lane, lane + half })
                if (kept.loaded[empty] != nullptr || kept.lanes.source[empty] != silence.data())
                    emptyKeptLane (kept, empty);
        }

    renderKeptGroup (keptIndex, outL, outR, n);
}

void RayBatch::renderKeptGroup (int keptIndex, float* outL, float* outR, int32_t n) noexcept
{
    KeptLanes& kept = keptLanes[(size_t) keptIndex];
    const uint32_t bad = kernels->staticGroup (kept.lanes, outL, outR, kept.counts, n);
    if (bad != 0)
        resetNonFiniteHeld (keptIndex, bad);
}

void RayBatch::replayKeptGroups (int groups, float* outL, float* outR, int32_t n) noexcept
{
    if (n <= 0 || n > maxBlock || kernels == nullptr)
        return;
    const int width = laneWidth();
    const int half = width / 2;
    nextKept = groups;
    for (int g = 0; g < groups; ++g)
    {
        KeptLanes& kept = keptLanes[(size_t) g];
        for (int v = 0; v < 2; ++v)
            for (int q = 0; q < kept.counts[v]; ++q)
                for (const int lane : { v * width + q, v * width + q + half })
                {
                    if (kept.held[lane] != kept.loaded[lane])
                        holdMemories (g, lane, *kept.loaded[lane]);
                    setStaticSource (kept, lane, n);
                }
        renderKeptGroup (g, outL, outR, n);
    }
}

void RayBatch::renderMovingGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept
{
    const int width = movingLaneWidth();
    const int half = width / 2;
    Ray* rays[maxWidth];
    for (int p = 0; p < half; ++p)
    {
        if (p < count)
        {
            rays[p] = group[p]->left;
            rays[p + half] = group[p]->right;
            setMovingLane (p, *rays[p], *group[p], n);
            setMovingLane (p + half, *rays[p + half], *group[p], n);
            continue;
        }
        for (const int lane : { p, p + half })
        {
            rays[lane] = nullptr;
            lanes.source[lane] = silence.data();
            moving.phase[lane] = 0.0f;
            moving.phaseStep[lane] = 0.0f;
            moving.ring[lane] = nullptr;
        }
    }

    moving.readLength = movingReadLength (n, width);
    movingKernels->interpolate (moving, n);
    // A ray whose filter memories are no longer finite starts again from
    // silence, as Ray::renderAudio would have it.
    for (uint32_t bad = movingKernels->movingGroup (lanes, rays, outL, outR, count, n); bad != 0; bad &= bad - 1)
        if (Ray* ray = rays[__builtin_ctz (bad)])
            Finite::resetIfNonFinite (ray->contexts, Ray::numFilters);
}
} // namespace Zeph
