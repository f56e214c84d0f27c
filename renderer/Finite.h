#pragma once

#include "renderer/Biquad.h"

#include <cstdint>
#include <cstring>

// Checks that keep NaN and infinity out of the renderer's state. The scans
// look at the exponent bits only, so they cost a few integer operations per
// sample and never change a finite value.
namespace Zeph::Finite
{
inline uint32_t magnitudeBits (float x) noexcept
{
    uint32_t bits;
    std::memcpy (&bits, &x, sizeof bits);
    return bits & 0x7fffffffu;
}

constexpr uint32_t infinityBits = 0x7f800000u; // and above: infinity or NaN

inline bool isFinite (float x) noexcept
{
    return magnitudeBits (x) < infinityBits;
}

// Whether all n samples are finite.
bool allFinite (const float* x, int32_t n) noexcept;

// Copies n samples, each that is not finite as silence; true when there was
// one. One pass: the check rides along with the copy.
bool copyAsFinite (const float* source, float* destination, int32_t n) noexcept;

// Every non-finite sample of n becomes silence.
inline void zeroNonFinite (float* x, int32_t n) noexcept
{
    for (int32_t i = 0; i < n; ++i)
        if (! isFinite (x[i]))
            x[i] = 0.0f;
}

// Replaces every non-finite sample with silence; true when there was one.
inline bool silenceNonFinite (float* x, int32_t n) noexcept
{
    if (allFinite (x, n))
        return false;
    zeroNonFinite (x, n);
    return true;
}

inline bool isFinite (const BiquadContext& c) noexcept
{
    return isFinite (c.s1) && isFinite (c.s2);
}

// Zeroes the filter memories of a chain if any of them is not finite; true
// when it did.
inline bool resetIfNonFinite (BiquadContext* contexts, int count) noexcept
{
    bool finite = true;
    for (int k = 0; k < count; ++k)
        finite = finite && isFinite (contexts[k]);
    if (finite)
        return false;
    for (int k = 0; k < count; ++k)
        contexts[k] = BiquadContext {};
    return true;
}
} // namespace Zeph::Finite
