#pragma once

#include "renderer/Ray.h"

#include <cstdint>

namespace Zeph
{
// Rays laid side by side for the vector kernels of RayBatch, one ray per
// lane: per lane a source of n samples (and readSlack more that can be
// read), a gain and the filters' coefficients and memories.
struct RayLanes
{
    static constexpr int maxLanes = 32; // two vectors of sixteen
    static constexpr int32_t readSlack = 32; // samples a source holds past the block, read and left unused

    const float* source[maxLanes];
    float gain[maxLanes];
    float coefficients[Ray::numFilters][5][maxLanes]; // b0 b1 b2 a1 a2
    float contexts[Ray::numFilters][2][maxLanes];     // s1 s2
};

// The reads of moving rays, one vector of lanes: where each lane reads its
// ring and where its interpolation starts (Ray::MovingRead). The kernel
// scales readLength ring samples into each lane's scratch, follows every
// lane's phase sample by sample and interpolates each run of samples over
// which a lane's phase index and whole-sample shift hold still in one
// sweep; a lane whose runs are short, sample by sample.
struct MovingLanes
{
    static constexpr int maxLanes = 16;

    float phase[maxLanes];
    float phaseStep[maxLanes];
    float gain[maxLanes];
    const float* ring[maxLanes]; // null: a lane without a ray
    int32_t ringSize[maxLanes];
    int32_t start[maxLanes];     // ring index of the lane's first scratch sample
    float* scratch[maxLanes];    // readLength samples
    float* out[maxLanes];        // n samples and RayLanes::readSlack more
    int32_t readLength;
};

// The kernels of one vector width. The filter kernels add the lanes' output
// into outL (left rays) and outR (right rays) pair by pair and return a bit
// per lane whose filter memories are no longer finite.
struct RayKernels
{
    using StaticGroup = uint32_t (*) (RayLanes&, float* outL, float* outR, const int* counts, int32_t n) noexcept;
    using MovingGroup = uint32_t (*) (RayLanes&, Ray* const* rays, float* outL, float* outR, int count, int32_t n) noexcept;
    using Interpolate = void (*) (const MovingLanes&, int32_t n) noexcept;

    int width;         // lanes per vector: rays of half as many pairs, left rays in the lower half
    int staticVectors; // vectors of static rays run side by side, counts[v] pairs in vector v
    StaticGroup staticGroup;  // filters 0 and 1 after the gain
    MovingGroup movingGroup;  // all five filters of the rays in the lanes, no gain
    Interpolate interpolate;  // the moving reads into MovingLanes::out

    // The kernels of a width this build and this processor have, or null.
    static const RayKernels* forWidth (int width) noexcept;

    // The widest of them; 0 when there are none.
    static int widest() noexcept;
};
} // namespace Zeph
