#pragma once

#include <cmath>
#include <cstdint>

namespace Zeph
{
// Constant data of the ray model: fractional-delay weights and the head
// tables read by lateral or polar angle.
struct InterpolationCoefficients
{
    static constexpr int numPhases = 64;
    static constexpr int numTaps = 4;

    // Catmull-Rom weights of points 0..3 at t = 1 - phase/64 between
    // points 1 and 2, rounded to five decimals.
    static const float taps[numPhases][numTaps];

    static const float polarPeakDb[37];            // polar -90..270, step 10
    static const float lateralPeakDb[19];          // lateral -90..90, step 10
    static const float lateralShelfDb[19];         // lateral -90..90, step 10
    static const uint8_t itdMicroseconds[37];      // lateral -90..90, step 5
    static const uint8_t itdExtraMicroseconds[37]; // lateral -90..90, step 5, times the rear factor

    // Reads table at fractional index x: linear inside, quadratic in the
    // first and last segments (half the segment's slope at the table's edge).
    // x is kept inside [0, N - 1].
    template <typename T, int N>
    static float lookup (const T (&table)[N], float x) noexcept
    {
        static_assert (N >= 3, "end segments need three entries");
        const int i = indexOf (x, N);
        const float v = clampIndex (x, N) - (float) i;
        const float t0 = (float) table[i];
        if (v == 0.0f)
            return t0;
        const float t1 = (float) table[i + 1];
        if (i == 0)
            return t0 + 0.5f * (t1 - t0) * (v * v + v);
        if (i == N - 2)
            return t0 + 0.5f * (t0 - t1) * (v * v - 3.0f * v);
        return t0 + v * (t1 - t0);
    }

    // Reads table at fractional index x, linear in every segment.
    template <typename T, int N>
    static float lookupLinear (const T (&table)[N], float x) noexcept
    {
        const int i = indexOf (x, N);
        const float v = clampIndex (x, N) - (float) i;
        const float t0 = (float) table[i];
        if (v == 0.0f)
            return t0;
        return t0 + v * ((float) table[i + 1] - t0);
    }

    static float clampIndex (float x, int n) noexcept
    {
        const float last = (float) (n - 1);
        if (! (x > 0.0f)) // also catches NaN
            return 0.0f;
        return x < last ? x : last;
    }

    static int indexOf (float x, int n) noexcept
    {
        return (int) std::floor (clampIndex (x, n));
    }
};
} // namespace Zeph
