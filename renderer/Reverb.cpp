#include "renderer/Reverb.h"

#include "renderer/Finite.h"
#include "renderer/Room.h"
#include "renderer/RoomPresets.h"
#include "renderer/Units.h"
#include "renderer/VectorOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Zeph
{
namespace
{
constexpr int32_t highShelf = 1;
constexpr int32_t lowShelf = 2;

// The shelving filter of each line.
struct LineFilter
{
    int32_t type;
    float frequency; // Hz
    float slope;
    float dB;
};

constexpr LineFilter lineFilters[Reverb::numLines] = {
    { highShelf, 1100.0f, 0.32f, -1.9f },
    { highShelf, 1100.0f, 0.32f, -1.9f },
    { lowShelf, 334.0f, 0.18f, -4.2f },
    { lowShelf, 334.0f, 0.18f, -4.2f },
    { lowShelf, 547.0f, 0.22f, -4.4f },
    { lowShelf, 547.0f, 0.22f, -4.4f },
    { lowShelf, 480.0f, 0.13f, -3.7f },
    { lowShelf, 270.0f, 0.13f, -3.7f },
};

// Everything that depends on the room geometry.
struct ReverbGeometry
{
    float lineGain[Reverb::numLines];    // linear gain of each line's filter
    float dampCutoff[Reverb::numLines];  // Hz
    float weightSpan;                    // X of the head weights
    float crossfeed;                     // k
    float readGain;
    float levelDb;
};

// One row per listening room, in the order of RoomPreset::reverbRow.
constexpr ReverbGeometry geometries[numListeningRooms] = {
    { { 1.3066f, 1.3066f, 1.2649f, 1.2649f, 1.2232f, 1.2232f, 1.3066f, 1.2788f },
      { 7249.9995f, 6833.333f, 6416.6665f, 6000.0f, 5666.6665f, 5333.333f, 4916.6665f, 4666.6665f },
      5.05f, 0.47f, 1.39f, -3.0f },
    { { 1.363f, 1.363f, 1.3195f, 1.3195f, 1.276f, 1.276f, 1.363f, 1.334f },
      { 8055.555f, 7592.592f, 7129.629f, 6666.6665f, 6296.296f, 5925.926f, 5462.963f, 5185.185f },
      4.75f, 0.44f, 1.45f, -2.7f },
    { { 1.3818f, 1.3818f, 1.3377f, 1.3377f, 1.2936f, 1.2936f, 1.3818f, 1.3524f },
      { 8700.0f, 8200.0f, 7700.0f, 7200.0f, 6800.0f, 6400.0f, 5900.0f, 5600.0f },
      4.6f, 0.34f, 1.47f, 0.0f },
};

const ReverbGeometry& geometryRow (int32_t geometryIndex) noexcept
{
    return geometries[reverbRowForGeometry (geometryIndex)];
}
} // namespace

//==============================================================================
void ReverbDelay::bind (float* ring, int32_t ringSize) noexcept
{
    buffer = ring;
    size = ringSize;
    coefficients = BiquadCoefficients { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };
    dampGain = 1.0f;
    dampCoeff = 0.0f;
    clear();
}

void ReverbDelay::writeIntoDelay (const float* input, int32_t n) noexcept
{
    if (buffer == nullptr || size <= 0)
        return;

    // Split at the end of the ring; the filters carry on across the parts.
    while (n > 0)
    {
        const int32_t part = std::min (n, size - writePos);
        writePart (input, writePos, part);
        writePos += part;
        if (writePos == size)
            writePos = 0;
        input += part;
        n -= part;
    }
    recoverIfNonFinite();
}

void ReverbDelay::writePart (const float* input, int32_t start, int32_t count) noexcept
{
    float* ring = buffer + start;
    Biquad::processOverwrite (context, coefficients, input, ring, (unsigned int) count);

    // One-pole low-pass y[i] = (1 - a) x[i] + a y[i-1], in place.
    for (int32_t i = 0; i < count; ++i)
    {
        const float y = dampGain * ring[i] + dampState;
        ring[i] = y;
        dampState = y * dampCoeff;
    }
}

void ReverbDelay::clear() noexcept
{
    writePos = 0;
    if (buffer != nullptr && size > 0)
        std::memset (buffer, 0, sizeof (float) * (size_t) size);
    resetFilterState();
}

void ReverbDelay::resetFilterState() noexcept
{
    context = BiquadContext { 0.0f, 0.0f };
    dampState = 0.0f;
}

void ReverbDelay::moveTo (float* newRing, int32_t newSize) noexcept
{
    moveRing (buffer, size, writePos, newRing, newSize);
}

void ReverbDelay::recoverIfNonFinite() noexcept
{
    // Once the damping state is not finite it stays so for the rest of the
    // block, so a finite state means nothing bad reached the ring.
    if (Finite::isFinite (context) && Finite::isFinite (dampState))
        return;
    resetFilterState();
    if (buffer != nullptr && size > 0)
        Finite::silenceNonFinite (buffer, size);
}

//==============================================================================
void Reverb::bindLine (int line, float* ring) noexcept
{
    delays[line].bind (ring, lineSizes[line]);
}

int32_t Reverb::lineSizeFor (int line, float rateRatio, int32_t maxBlock) noexcept
{
    const float largest = (float) (FlexibleDelay::maxSize - maxBlock);
    const float tap = rateRatio * (float) tapsAt48k[line]; // as readTap scales it
    if (! (tap > 0.0f))
        return lineSizes[line];
    const int32_t needed = (int32_t) std::min (tap, largest) + maxBlock;
    return std::max (lineSizes[line], needed);
}

void Reverb::setSamplingFrequency (const Settings& settings, const Room& room) noexcept
{
    setSamplingFrequency (settings, room.geometryIndex);
}

void Reverb::setSamplingFrequency (const Settings& settings, int32_t geometryIndex) noexcept
{
    const ReverbGeometry& geometry = geometryRow (geometryIndex);

    for (int d = 0; d < numLines; ++d)
    {
        const LineFilter& filter = lineFilters[d];
        BiquadDesigner::State state;
        state.w0 = filter.frequency * settings.radiansPerSample;
        state.q = filter.slope;
        state.amplitude = filterAmplitude (filter.dB);
        state.gain = geometry.lineGain[d];
        state.type = filter.type;
        state.built = false;

        BiquadCoefficients designed { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };
        BiquadDesigner::buildFromState (designed, state);
        delays[d].coefficients = designed;

        const float a = std::exp (-geometry.dampCutoff[d] * settings.radiansPerSample);
        delays[d].dampCoeff = a;
        delays[d].dampGain = 1.0f - a;
    }
}

void Reverb::clear() noexcept
{
    for (auto& line : delays)
        line.clear();
}

void Reverb::resetFilterStates() noexcept
{
    for (auto& line : delays)
        line.resetFilterState();
}

int32_t Reverb::readTap (int line, float rateRatio, int32_t n) const noexcept
{
    // Reading n samples that end tap samples ago needs tap + n <= size.
    const int32_t maxTap = std::max (0, delays[line].size - n);
    const float tap = rateRatio * (float) tapsAt48k[line];
    if (! (tap < (float) maxTap)) // also catches NaN
        return maxTap;
    if (tap <= 0.0f)
        return 0;
    return (int32_t) tap;
}

namespace
{
// The eight lines' filters side by side: line d in element d.
typedef float LineVector __attribute__ ((vector_size (32)));

struct LineFilters
{
    LineVector b0, b1, b2, a1, a2;
    LineVector s1, s2;
    LineVector dampGain, dampCoeff, dampState;
};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && ! defined(__SANITIZE_THREAD__)
 #define ZEPH_REVERB_LINES __attribute__ ((target_clones ("avx", "default")))
#else
 #define ZEPH_REVERB_LINES
#endif

// The biquad, then the damping, of every line over count samples (even lines
// from inL, odd lines from inR), each step as writeIntoDelay takes it; line
// d's output for sample i goes to out[i][d].
ZEPH_REVERB_LINES
void runLineFilters (LineFilters& f, const float* inL, const float* inR, float (*out)[Reverb::numLines],
                     int32_t count) noexcept
{
    LineVector s1 = f.s1, s2 = f.s2, dampState = f.dampState;
    for (int32_t i = 0; i < count; ++i)
    {
        const float l = inL[i], r = inR[i];
        const LineVector x = { l, r, l, r, l, r, l, r };
        const LineVector y = f.b0 * x + s1;
        s1 = f.b1 * x + s2 - f.a1 * y;
        s2 = f.b2 * x - f.a2 * y;
        const LineVector damped = f.dampGain * y + dampState;
        dampState = damped * f.dampCoeff;
        std::memcpy (out[i], &damped, sizeof damped);
    }
    f.s1 = s1;
    f.s2 = s2;
    f.dampState = dampState;
}
} // namespace

void Reverb::feedLines (const float* inL, const float* inR, int32_t n) noexcept
{
    for (const auto& line : delays)
        if (line.buffer == nullptr || line.size <= 0)
        {
            for (int d = 0; d < numLines; ++d)
                delays[d].writeIntoDelay ((d % 2 == 0) ? inL : inR, n);
            return;
        }

    static_assert (numLines == 8, "one element of a LineVector per line");
    LineFilters f;
    for (int d = 0; d < numLines; ++d)
    {
        const ReverbDelay& line = delays[d];
        f.b0[d] = line.coefficients.b0;
        f.b1[d] = line.coefficients.b1;
        f.b2[d] = line.coefficients.b2;
        f.a1[d] = line.coefficients.a1;
        f.a2[d] = line.coefficients.a2;
        f.s1[d] = line.context.s1;
        f.s2[d] = line.context.s2;
        f.dampGain[d] = line.dampGain;
        f.dampCoeff[d] = line.dampCoeff;
        f.dampState[d] = line.dampState;
    }

    // Runs up to the next wrap of any ring, a stretch at a time through the
    // filters and then into the rings.
    constexpr int32_t stretch = 64;
    float filtered[stretch][numLines];
    for (int32_t done = 0; done < n;)
    {
        int32_t part = std::min (n - done, stretch);
        for (const auto& line : delays)
            part = std::min (part, line.size - line.writePos);

        runLineFilters (f, inL + done, inR + done, filtered, part);
        for (int d = 0; d < numLines; ++d)
        {
            ReverbDelay& line = delays[d];
            float* ring = line.buffer + line.writePos;
            for (int32_t i = 0; i < part; ++i)
                ring[i] = filtered[i][d];
            line.writePos += part;
            if (line.writePos == line.size)
                line.writePos = 0;
        }
        done += part;
    }

    for (int d = 0; d < numLines; ++d)
    {
        delays[d].context = BiquadContext { f.s1[d], f.s2[d] };
        delays[d].dampState = f.dampState[d];
        delays[d].recoverIfNonFinite();
    }
}

void Reverb::process (float* outL, float* outR, int32_t n, float* const* work, float rateRatio,
                      int32_t geometryIndex, float reverbGainLeft, float reverbGainRight) noexcept
{
    if (n <= 0)
        return;

    const ReverbGeometry& geometry = geometryRow (geometryIndex);

    // 1. Crossfeed into the line inputs.
    float* inL = work[8];
    float* inR = work[9];
    const float k = geometry.crossfeed;
    for (int32_t i = 0; i < n; ++i)
    {
        inL[i] = outL[i] + k * outR[i];
        inR[i] = outR[i] + k * outL[i];
    }

    // 2. Feed: even lines from the left input, odd lines from the right.
    feedLines (inL, inR, n);

    // 3. Head weights.
    const float span = geometry.weightSpan;
    const float weightLeft = (span - reverbGainLeft) / span;
    const float weightRight = (span - reverbGainRight) / span;

    // 4. Read every line at its tap, scaled by the read gain.
    for (int d = 0; d < numLines; ++d)
    {
        const ReverbDelay& line = delays[d];
        if (line.buffer == nullptr || line.size <= 0)
        {
            Vec::clear (work[d], n);
            continue;
        }

        const int32_t tap = readTap (d, rateRatio, n);
        int32_t pos = (line.writePos - tap - n) % line.size;
        if (pos < 0)
            pos += line.size;

        for (int32_t done = 0; done < n;)
        {
            const int32_t part = std::min (n - done, line.size - pos);
            Vec::multiply (line.buffer + pos, geometry.readGain, work[d] + done, part);
            done += part;
            pos = 0;
        }
    }

    // 5. Mix: left hears lines 1, 2, 5 and 6, right hears lines 0, 3, 4 and 7.
    const float level = decibelsToGain (geometry.levelDb);
    const float gainLeft = level * weightLeft * 0.25f;
    const float gainRight = level * weightRight * 0.25f;
    const float* r0 = work[0];
    const float* r1 = work[1];
    const float* r2 = work[2];
    const float* r3 = work[3];
    const float* r4 = work[4];
    const float* r5 = work[5];
    const float* r6 = work[6];
    const float* r7 = work[7];
    for (int32_t i = 0; i < n; ++i)
    {
        outL[i] += gainLeft * (r5[i] - r1[i] - r2[i] - r6[i]);
        outR[i] += gainRight * (r3[i] - r0[i] - r4[i] - r7[i]);
    }
}
} // namespace Zeph
