#include "renderer/RayBatch.h"

#include "renderer/Finite.h"
#include "renderer/VectorOps.h"

#include <algorithm>
#include <cstring>

namespace Zeph
{
namespace
{
constexpr int staticFilters = 2; // filters 0 and 1: the mask of 3 that static lanes stand for
constexpr int maxWidth = MovingLanes::maxLanes;

// The samples of a moving lane's scratch: the n + 3 its interpolation reads,
// one shift per 64 samples the delay can slew and two more, and a vector
// past the last run.
constexpr int32_t movingReadLength (int32_t n) noexcept
{
    return n + n / 64 + 2 * maxWidth + 8;
}

constexpr size_t scratchStride = (size_t) (RayBatch::maxBlock + Ray::scratchExtra);
constexpr size_t sourceStride = (size_t) (RayBatch::maxBlock + RayLanes::readSlack);
static_assert (movingReadLength (RayBatch::maxBlock) <= (int32_t) scratchStride, "a lane's scratch holds its read");
} // namespace

RayBatch::RayBatch()
    : wrapped ((size_t) RayLanes::maxLanes * sourceStride),
      silence (sourceStride, 0.0f),
      scratch ((size_t) maxWidth * scratchStride),
      interpolated ((size_t) maxWidth * sourceStride),
      changes ((size_t) MovingLanes::chunk),
      runStarts ((size_t) maxWidth * MovingLanes::chunk),
      rows ((size_t) 2 * MovingLanes::chunk * maxWidth),
      single ((size_t) 2 * maxBlock)
{
    useLaneWidths (RayKernels::widest(), std::min (RayKernels::widest(), 8));
    moving.changes = changes.data();
    moving.runStarts = runStarts.data();
    moving.indexRows = rows.data();
    moving.shiftRows = rows.data() + (size_t) MovingLanes::chunk * maxWidth;
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
    pair.left->renderAudio (settings, *pair.ring, left, scratch.data(), n, pair.gain);
    pair.right->renderAudio (settings, *pair.ring, right, scratch.data(), n, pair.gain);
    Vec::add (outL, left, outL, n);
    Vec::add (outR, right, outR, n);
}

void RayBatch::setStaticLane (int lane, Ray& ray, const Pair& pair, int32_t n) noexcept
{
    ray.takeUpdate();
    const FlexibleDelay& ring = *pair.ring;
    const int32_t start = ray.staticReadIndex (ring, n);
    const int32_t length = n + RayLanes::readSlack;
    if (start + length <= ring.size)
    {
        lanes.source[lane] = ring.buffer + start;
    }
    else
    {
        // The read wraps: made contiguous, as long as the ring allows.
        float* joined = wrapped.data() + (size_t) lane * sourceStride;
        for (int32_t done = 0, at = start; done < length;)
        {
            const int32_t part = std::min (length - done, ring.size - at);
            std::memcpy (joined + done, ring.buffer + at, sizeof (float) * (size_t) part);
            done += part;
            at = 0;
        }
        lanes.source[lane] = joined;
    }
    lanes.gain[lane] = pair.gain * ray.gain;
    loadFilters<staticFilters> (lane, ray);
}

void RayBatch::setMovingLane (int lane, Ray& ray, const Pair& pair, int32_t n) noexcept
{
    ray.takeUpdate();
    float* own = scratch.data() + (size_t) lane * scratchStride;
    const Ray::MovingRead read = ray.beginMovingRead (*pair.ring, own, n, pair.gain * ray.gain, movingReadLength (n));
    moving.phase[lane] = read.phase;
    moving.phaseStep[lane] = read.phaseStep;
    moving.scratch[lane] = own;
    moving.out[lane] = interpolated.data() + (size_t) lane * sourceStride;
    lanes.source[lane] = moving.out[lane];
    lanes.gain[lane] = 1.0f;
    loadFilters<Ray::numFilters> (lane, ray);
}

template <int numFilters>
void RayBatch::loadFilters (int lane, const Ray& ray) noexcept
{
    for (int f = 0; f < numFilters; ++f)
    {
        const BiquadCoefficients& c = ray.coefficients[f];
        lanes.coefficients[f][0][lane] = c.b0;
        lanes.coefficients[f][1][lane] = c.b1;
        lanes.coefficients[f][2][lane] = c.b2;
        lanes.coefficients[f][3][lane] = c.a1;
        lanes.coefficients[f][4][lane] = c.a2;
        lanes.contexts[f][0][lane] = ray.contexts[f].s1;
        lanes.contexts[f][1][lane] = ray.contexts[f].s2;
    }
}

// A lane without a ray: silence through filters that pass nothing.
void RayBatch::clearLane (int lane, int numFilters) noexcept
{
    lanes.source[lane] = silence.data();
    lanes.gain[lane] = 0.0f;
    for (int f = 0; f < numFilters; ++f)
    {
        for (auto& coefficient : lanes.coefficients[f])
            coefficient[lane] = 0.0f;
        lanes.contexts[f][0][lane] = 0.0f;
        lanes.contexts[f][1][lane] = 0.0f;
    }
}

template <int numFilters>
void RayBatch::keepMemories (const Pair* const* group, int count, int width, uint32_t bad) noexcept
{
    const int half = width / 2;
    for (int p = 0; p < count; ++p)
    {
        const int left = (p / half) * width + p % half;
        keepMemories<numFilters> (*group[p]->left, left, bad);
        keepMemories<numFilters> (*group[p]->right, left + half, bad);
    }
}

template <int numFilters>
void RayBatch::keepMemories (Ray& ray, int lane, uint32_t bad) noexcept
{
    for (int f = 0; f < numFilters; ++f)
        ray.contexts[f] = { lanes.contexts[f][0][lane], lanes.contexts[f][1][lane] };
    if ((bad >> lane) & 1u)
        Finite::resetIfNonFinite (ray.contexts, Ray::numFilters);
}

void RayBatch::renderStaticGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept
{
    // Vector v holds pairs v * half .. v * half + half - 1.
    const int width = laneWidth();
    const int half = width / 2;
    const int vectors = count > half ? 2 : 1;
    const int counts[2] = { std::min (count, half), std::max (0, count - half) };
    for (int p = 0; p < vectors * half; ++p)
    {
        const int lane = (p / half) * width + p % half;
        if (p < count)
        {
            setStaticLane (lane, *group[p]->left, *group[p], n);
            setStaticLane (lane + half, *group[p]->right, *group[p], n);
        }
        else
        {
            clearLane (lane, staticFilters);
            clearLane (lane + half, staticFilters);
        }
    }

    const uint32_t bad = kernels->staticGroup (lanes, outL, outR, counts, n);
    keepMemories<staticFilters> (group, count, width, bad);
}

void RayBatch::renderMovingGroup (const Pair* const* group, int count, float* outL, float* outR, int32_t n) noexcept
{
    const int width = movingLaneWidth();
    const int half = width / 2;
    for (int p = 0; p < half; ++p)
    {
        if (p < count)
        {
            setMovingLane (p, *group[p]->left, *group[p], n);
            setMovingLane (p + half, *group[p]->right, *group[p], n);
            continue;
        }
        for (const int lane : { p, p + half })
        {
            clearLane (lane, Ray::numFilters);
            moving.phase[lane] = 0.0f;
            moving.phaseStep[lane] = 0.0f;
            moving.scratch[lane] = nullptr;
        }
    }

    movingKernels->interpolate (moving, n);
    const uint32_t bad = movingKernels->movingGroup (lanes, outL, outR, count, n);
    keepMemories<Ray::numFilters> (group, count, width, bad);
}
} // namespace Zeph
