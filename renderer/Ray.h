#pragma once

#include "renderer/Biquad.h"
#include "renderer/FlexibleDelay.h"
#include "renderer/InterpolationCoefficients.h"
#include "renderer/RayMailbox.h"
#include "renderer/Settings.h"

#include <algorithm>
#include <cstdint>

namespace Zeph
{
// The path from one source to one ear: gain, delay and five head-model
// filters (0 reflection-angle shelf, 1 lateral shelf, 2 lateral peak,
// 3 front/back shelf, 4 polar peak).
//
// Threads: a compile with force writes every field directly and must not
// overlap a render of the same ray (the room builder compiles a set that is
// not being rendered). A compile without force (head movement) may overlap
// renderAudio: it writes only `designs` and hands gain, targetDelay and the
// coefficients of filters 1 to 4 over through `mailbox`; the next
// renderAudio (or takeUpdate) copies them into the fields below.
struct Ray
{
    static constexpr int numFilters = 5;
    static constexpr int32_t staticReadOffset = 144; // extra delay of static rays
    static constexpr int32_t movingReadOffset = 143; // extra delay of moving rays
    static constexpr int32_t scratchExtra = 144;     // scratch holds n + scratchExtra samples

    struct Design
    {
        BiquadCoefficients coefficients;
        BiquadDesigner::State state;
    };

    float gain = 0.5f;   // source gain / distance from the ear
    uint8_t order = 0;   // reflection order; nonzero makes the ray static
    uint8_t ear = 0;     // 0 left, 1 right
    float currentDelay = 0.0f; // samples, where the ray is being rendered
    float targetDelay = 0.0f;  // samples, what the last compile asked for
    Design designs[numFilters];
    BiquadContext contexts[numFilters];
    BiquadCoefficients coefficients[numFilters]; // what rendering uses

    RayMailbox mailbox;

    // The RayBatch lane that holds this ray's filter memories 0 and 1 instead
    // of `contexts` (see RayBatch), or -1. Audio thread only.
    int32_t heldLane = -1;

    Ray() = default;
    Ray (uint8_t earIndex, uint8_t reflectionOrder) noexcept : order (reflectionOrder), ear (earIndex) {}

    // Computes gain, delay and filter designs for a source at (x, y, z)
    // metres from the head centre (+x right, +y front, +z up). angle is the
    // reflection angle in degrees, refDistance the distance without delay,
    // sourceGain the source's linear gain. force jumps delay and filters to
    // their targets and updates filter 0; without it the delay is slewed by
    // renderAudio and the filters glide half-way per compile.
    void compile (const Settings& settings, float x, float y, float z, float angle,
                  float refDistance, float sourceGain, bool force) noexcept;

    // Writes n samples of this ray into out (overwriting it): the ring read
    // at the ray's delay, times callerGain and `gain`, through the filters.
    // n is the block just written into the ring. scratch must hold
    // n + scratchExtra samples (moving rays only) and not overlap out.
    // Audio thread only: no allocation, no locks.
    void renderAudio (const Settings& settings, const FlexibleDelay& ring, float* out,
                      float* scratch, int32_t n, float callerGain) noexcept;

    // Copies the newest compile without force into gain, targetDelay and
    // coefficients 1 to 4. Called by renderAudio; audio thread only.
    void takeUpdate() noexcept
    {
        if (mailbox.hasFresh())
            takeFreshUpdate();
    }

    // Where a moving ray's interpolation starts and how fast its phase
    // (64 per sample of delay) moves; the whole-sample shift starts at 0.
    // Its scratch sample j is ring sample start + j, times the gain (start
    // lies in the ring, the samples after it wrap).
    struct MovingRead
    {
        float phase;
        float phaseStep;
        int32_t start;
    };

    // The reading steps of renderAudio, for renderers that run the filters
    // of many rays side by side (RayBatch):
    // - static rays: the ring index of the first of the n samples to read;
    // - moving rays: startMovingRead slews currentDelay toward targetDelay
    //   and returns where the read starts; readMoving scales n +
    //   scratchExtra ring samples by g into scratch from there and
    //   interpolates n samples into out. n > 0, a ring with storage.
    int32_t staticReadIndex (const FlexibleDelay& ring, int32_t n) const noexcept
    {
        return staticReadIndex (roundedDelay (targetDelay), ring, n);
    }

    // A static ray's delay in whole samples: the target delay rounded half
    // away from zero (saturated; NaN as the shortest). Kept within what the
    // ring holds, it gives the same read as rounding the kept delay would.
    static int32_t roundedDelay (float delay) noexcept
    {
        if (! (delay > -2147483648.0f)) // also NaN
            return INT32_MIN;
        if (delay >= 2147483648.0f)
            return INT32_MAX;
        const double d = delay; // d plus or minus one half is exact
        return (int32_t) (d >= 0.0 ? d + 0.5 : d - 0.5);
    }

    // The ring index of the first of the n samples read at a rounded delay.
    static int32_t staticReadIndex (int32_t delay, const FlexibleDelay& ring, int32_t n) noexcept
    {
        const int32_t shortest = -staticReadOffset; // the block just written
        const int32_t longest = std::max (shortest, ring.size - n - staticReadOffset);
        const int32_t d = std::clamp (delay, shortest, longest);
        const int32_t index = ring.writePos - n - d - staticReadOffset; // at least writePos - size
        return index < 0 ? index + ring.size : index;
    }

    MovingRead startMovingRead (const FlexibleDelay& ring, int32_t n) noexcept;
    void readMoving (const FlexibleDelay& ring, float* scratch, int32_t n, float g, float* out) noexcept;

    // The interpolation of readMoving: n samples from the scaled ring
    // samples in scratch, sample by sample.
    static void interpolateMoving (const float* scratch, float* out, int32_t n, MovingRead read) noexcept
    {
        using Table = InterpolationCoefficients;
        const float dp = read.phaseStep;
        float phase = read.phase;
        int p = (int) phase;
        int k = 0;
        for (int32_t i = 0; i < n; ++i)
        {
            const float* w = Table::taps[p];
            const float* s = scratch + i - k;
            out[i] = s[0] * w[0] + s[1] * w[1] + s[2] * w[2] + s[3] * w[3];

            phase += dp;
            p = (int) phase;
            if (p >= Table::numPhases)
            {
                p -= Table::numPhases;
                phase -= (float) Table::numPhases;
                ++k;
            }
            else if (p < 0)
            {
                p += Table::numPhases;
                phase += (float) Table::numPhases;
                --k;
            }
        }
    }

private:
    void takeFreshUpdate() noexcept;
};
} // namespace Zeph
