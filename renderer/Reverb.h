#pragma once

#include "renderer/Biquad.h"
#include "renderer/FlexibleDelay.h"
#include "renderer/Settings.h"

#include <cstdint>

namespace Zeph
{
struct Room;

// One line of the reverb: a shelving filter and a one-pole damping filter
// feeding a ring. The ring's storage is not owned.
struct ReverbDelay
{
    int32_t size = 0;
    int32_t writePos = 0;     // next write index, in [0, size)
    float* buffer = nullptr;
    BiquadCoefficients coefficients { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };
    BiquadContext context { 0.0f, 0.0f };
    float dampGain = 1.0f;    // 1 - a
    float dampCoeff = 0.0f;   // a
    float dampState = 0.0f;   // a * previous output

    // Binds the line to a ring of ringSize samples and puts it in its initial
    // state: identity filter, no damping, zeroed ring, write position 0.
    void bind (float* ring, int32_t ringSize) noexcept;

    // Filters n input samples into the ring at writePos and advances writePos.
    void writeIntoDelay (const float* input, int32_t n) noexcept;

    // Write position 0, ring zeroed, filter and damping states zero.
    void clear() noexcept;

    // Filter and damping states zero; ring and write position untouched.
    void resetFilterState() noexcept;

    // Moves the ring onto new storage of newSize samples, keeping its newest
    // samples (as many as fit); filters and states stay as they are.
    void moveTo (float* newRing, int32_t newSize) noexcept;

    // If the filter or damping state is no longer finite, zeroes it and
    // silences every sample of the ring that is not finite either.
    void recoverIfNonFinite() noexcept;

private:
    void writePart (const float* input, int32_t start, int32_t count) noexcept;
};

// Eight-line feed-forward reverb: the reflections' left and right sums, with
// some crossfeed, run through filtered delay lines and are mixed back with
// fixed signs. Nothing read from a line is written back.
struct Reverb
{
    static constexpr int numLines = 8;
    static constexpr int32_t tapsAt48k[numLines] = { 1031, 1359, 2043, 2431, 2865, 3338, 3833, 4445 };
    // Four times the tap plus 2048: room for 192 kHz with blocks of 2048.
    static constexpr int32_t lineSizes[numLines] = { 6172, 7484, 10220, 11772, 13508, 15400, 17380, 19828 };

    ReverbDelay delays[numLines];

    // Binds line d to its ring of lineSizes[d] samples and resets it.
    void bindLine (int line, float* ring) noexcept;

    // Ring length that line d needs at a rate: its tap plus the longest
    // block, and never less than lineSizes[d].
    static int32_t lineSizeFor (int line, float rateRatio, int32_t maxBlock) noexcept;

    // Designs the lines' filters and damping for the rate and the room's
    // geometry. Rings, write positions and filter states are not touched.
    void setSamplingFrequency (const Settings& settings, const Room& room) noexcept;
    void setSamplingFrequency (const Settings& settings, int32_t geometryIndex) noexcept;

    // Clears every line (write positions, rings and states).
    void clear() noexcept;

    // Zeroes every line's filter and damping state; rings stay.
    void resetFilterStates() noexcept;

    // The tap of a line, in samples, for a block of n samples: the 48 kHz tap
    // scaled by rateRatio and truncated, kept within what the ring holds.
    int32_t readTap (int line, float rateRatio, int32_t n) const noexcept;

    // The per-block step. outL and outR hold the block's reflections; the
    // reverb is added to them. work needs ten channels of n samples: 0 reads
    // as silence for a line without a ring, 8 and 9 take the line inputs.
    void process (float* outL, float* outR, int32_t n, float* const* work, float rateRatio,
                  int32_t geometryIndex, float reverbGainLeft, float reverbGainRight) noexcept;

    // writeIntoDelay of every line (even lines from inL, odd lines from
    // inR), the eight lines run side by side in one pass: step 2 of process,
    // and silence into every line while the spatialiser is off.
    void feedLines (const float* inL, const float* inR, int32_t n) noexcept;
};
} // namespace Zeph
