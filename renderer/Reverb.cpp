#include "renderer/Reverb.h"

#include "renderer/Finite.h"
#include "renderer/Room.h"
#include "renderer/RoomPresets.h"
#include "renderer/vector/TargetRegion.h"
#include "renderer/Units.h"
#include "renderer/vector/VectorOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
 #define ZEPH_REVERB_AVX 1
 #include <immintrin.h>
#else
 #define ZEPH_REVERB_AVX 0
#endif

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

static_assert (ReverbTuning::numLines == Reverb::numLines, "a room tunes every line");

const ReverbTuning& tuningFor (int32_t geometryIndex) noexcept
{
    return roomPresetForGeometry (geometryIndex).reverb;
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
    const ReverbTuning& tuning = tuningFor (geometryIndex);

    for (int d = 0; d < numLines; ++d)
    {
        const LineFilter& filter = lineFilters[d];
        BiquadDesigner::State state;
        state.w0 = filter.frequency * settings.radiansPerSample;
        state.q = filter.slope;
        state.amplitude = filterAmplitude (filter.dB);
        state.gain = tuning.lineGain[d];
        state.type = filter.type;
        state.built = false;

        BiquadCoefficients designed { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };
        BiquadDesigner::buildFromState (designed, state);
        delays[d].coefficients = designed;

        const float a = std::exp (-tuning.dampCutoff[d] * settings.radiansPerSample);
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

// The biquad, then the damping, of every line over count samples (even lines
// from inL, odd lines from inR), each step as writeIntoDelay takes it; line
// d's output for sample i goes to out[i][d].
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

// Writes count filtered samples (out[i][d] for line d) into the rings.
void scatterLines (const float (*filtered)[Reverb::numLines], float* const* rings, int32_t count) noexcept
{
    for (int d = 0; d < Reverb::numLines; ++d)
        for (int32_t i = 0; i < count; ++i)
            rings[d][i] = filtered[i][d];
}

// outL += gainLeft * (r5 - r1 - r2 - r6) and outR += gainRight * (r3 - r0 -
// r4 - r7) for samples from to count, where rd is line d's read times readGain.
void mixLineSamples (const float* const* lines, float readGain, float gainLeft, float gainRight, float* outL,
                     float* outR, int32_t from, int32_t count) noexcept
{
    for (int32_t i = from; i < count; ++i)
    {
        float r[Reverb::numLines];
        for (int d = 0; d < Reverb::numLines; ++d)
            r[d] = lines[d][i] * readGain;
        outL[i] += gainLeft * (r[5] - r[1] - r[2] - r[6]);
        outR[i] += gainRight * (r[3] - r[0] - r[4] - r[7]);
    }
}

#if ZEPH_REVERB_AVX
ZEPH_TARGET_BEGIN ("avx")

// The same steps eight samples at a time, for processors with AVX.
namespace Avx
{
inline __m256 load (const LineVector& v) noexcept
{
    return _mm256_loadu_ps ((const float*) &v);
}

// Rows of eight samples' lines become rows of eight lines' samples.
  #include "renderer/vector/TransposeAvx.h"

// runLineFilters and scatterLines in one pass, eight samples of every line
// stored at a time.
void feedRings (LineFilters& f, const float* inL, const float* inR, float* const* rings, int32_t count) noexcept
{
    const __m256 b0 = load (f.b0), b1 = load (f.b1), b2 = load (f.b2), a1 = load (f.a1), a2 = load (f.a2);
    const __m256 dampGain = load (f.dampGain), dampCoeff = load (f.dampCoeff);
    __m256 s1 = load (f.s1), s2 = load (f.s2), dampState = load (f.dampState);

    int32_t i = 0;
    for (; i + 8 <= count; i += 8)
    {
        __m256 rows[8];
        for (int j = 0; j < 8; ++j)
        {
            const float l = inL[i + j], r = inR[i + j];
            const __m256 x = _mm256_setr_ps (l, r, l, r, l, r, l, r);
            const __m256 y = _mm256_add_ps (_mm256_mul_ps (b0, x), s1);
            s1 = _mm256_sub_ps (_mm256_add_ps (_mm256_mul_ps (b1, x), s2), _mm256_mul_ps (a1, y));
            s2 = _mm256_sub_ps (_mm256_mul_ps (b2, x), _mm256_mul_ps (a2, y));
            const __m256 damped = _mm256_add_ps (_mm256_mul_ps (dampGain, y), dampState);
            dampState = _mm256_mul_ps (damped, dampCoeff);
            rows[j] = damped;
        }
        transposeEight (rows);
        for (int d = 0; d < Reverb::numLines; ++d)
            _mm256_storeu_ps (rings[d] + i, rows[d]);
    }

    _mm256_storeu_ps ((float*) &f.s1, s1);
    _mm256_storeu_ps ((float*) &f.s2, s2);
    _mm256_storeu_ps ((float*) &f.dampState, dampState);
    if (i < count)
    {
        float filtered[8][Reverb::numLines];
        float* rest[Reverb::numLines];
        for (int d = 0; d < Reverb::numLines; ++d)
            rest[d] = rings[d] + i;
        runLineFilters (f, inL + i, inR + i, filtered, count - i);
        scatterLines (filtered, rest, count - i);
    }
}

void mixLines (const float* const* lines, float readGain, float gainLeft, float gainRight, float* outL, float* outR,
               int32_t count) noexcept
{
    const __m256 g = _mm256_set1_ps (readGain);
    const __m256 gl = _mm256_set1_ps (gainLeft), gr = _mm256_set1_ps (gainRight);
    int32_t i = 0;
    for (; i + 8 <= count; i += 8)
    {
        __m256 r[Reverb::numLines];
        for (int d = 0; d < Reverb::numLines; ++d)
            r[d] = _mm256_mul_ps (_mm256_loadu_ps (lines[d] + i), g);
        const __m256 left = _mm256_sub_ps (_mm256_sub_ps (_mm256_sub_ps (r[5], r[1]), r[2]), r[6]);
        const __m256 right = _mm256_sub_ps (_mm256_sub_ps (_mm256_sub_ps (r[3], r[0]), r[4]), r[7]);
        _mm256_storeu_ps (outL + i, _mm256_add_ps (_mm256_loadu_ps (outL + i), _mm256_mul_ps (gl, left)));
        _mm256_storeu_ps (outR + i, _mm256_add_ps (_mm256_loadu_ps (outR + i), _mm256_mul_ps (gr, right)));
    }
    mixLineSamples (lines, readGain, gainLeft, gainRight, outL, outR, i, count);
}
} // namespace Avx

ZEPH_TARGET_END

// Settled when the library loads, so the audio thread never waits on a
// first-use guard.
const bool hasAvx = (__builtin_cpu_init(), __builtin_cpu_supports ("avx") != 0);
#endif

void feedRings (LineFilters& f, const float* inL, const float* inR, float* const* rings, int32_t count) noexcept
{
#if ZEPH_REVERB_AVX
    if (hasAvx)
        return Avx::feedRings (f, inL, inR, rings, count);
#endif
    constexpr int32_t stretch = 64;
    float filtered[stretch][Reverb::numLines];
    float* at[Reverb::numLines];
    for (int32_t done = 0; done < count;)
    {
        const int32_t part = std::min (count - done, stretch);
        for (int d = 0; d < Reverb::numLines; ++d)
            at[d] = rings[d] + done;
        runLineFilters (f, inL + done, inR + done, filtered, part);
        scatterLines (filtered, at, part);
        done += part;
    }
}

void mixLines (const float* const* lines, float readGain, float gainLeft, float gainRight, float* outL, float* outR,
               int32_t count) noexcept
{
#if ZEPH_REVERB_AVX
    if (hasAvx)
        return Avx::mixLines (lines, readGain, gainLeft, gainRight, outL, outR, count);
#endif
    mixLineSamples (lines, readGain, gainLeft, gainRight, outL, outR, 0, count);
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

    // Runs up to the next wrap of any ring.
    for (int32_t done = 0; done < n;)
    {
        int32_t part = n - done;
        float* rings[numLines];
        for (int d = 0; d < numLines; ++d)
        {
            part = std::min (part, delays[d].size - delays[d].writePos);
            rings[d] = delays[d].buffer + delays[d].writePos;
        }

        feedRings (f, inL + done, inR + done, rings, part);
        for (auto& line : delays)
        {
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

    const ReverbTuning& tuning = tuningFor (geometryIndex);

    // 1. Crossfeed into the line inputs.
    float* inL = work[8];
    float* inR = work[9];
    const float k = tuning.crossfeed;
    for (int32_t i = 0; i < n; ++i)
    {
        inL[i] = outL[i] + k * outR[i];
        inR[i] = outR[i] + k * outL[i];
    }

    // 2. Feed: even lines from the left input, odd lines from the right.
    feedLines (inL, inR, n);

    // 3. Head weights.
    const float span = tuning.weightSpan;
    const float weightLeft = (span - reverbGainLeft) / span;
    const float weightRight = (span - reverbGainRight) / span;

    // 4. Read every line at its tap, scaled by the read gain, and 5. mix:
    // left hears lines 1, 2, 5 and 6, right hears lines 0, 3, 4 and 7. A
    // line without a ring reads silence.
    const float level = decibelsToGain (tuning.levelDb);
    const float gainLeft = level * weightLeft * 0.25f;
    const float gainRight = level * weightRight * 0.25f;
    const float* silence = nullptr;
    const float* lines[numLines];
    int32_t pos[numLines];
    for (int d = 0; d < numLines; ++d)
    {
        const ReverbDelay& line = delays[d];
        if (line.buffer == nullptr || line.size <= 0)
        {
            if (silence == nullptr)
                Vec::clear (work[0], n);
            silence = work[0];
            pos[d] = -1;
            continue;
        }
        const int32_t tap = readTap (d, rateRatio, n);
        pos[d] = (line.writePos - tap - n) % line.size;
        if (pos[d] < 0)
            pos[d] += line.size;
    }

    // A stretch at a time, up to the next wrap of any line.
    for (int32_t done = 0; done < n;)
    {
        int32_t part = n - done;
        for (int d = 0; d < numLines; ++d)
            if (pos[d] >= 0)
                part = std::min (part, delays[d].size - pos[d]);
        for (int d = 0; d < numLines; ++d)
            lines[d] = pos[d] >= 0 ? delays[d].buffer + pos[d] : silence + done;

        mixLines (lines, tuning.readGain, gainLeft, gainRight, outL + done, outR + done, part);
        for (int d = 0; d < numLines; ++d)
            if (pos[d] >= 0 && (pos[d] += part) == delays[d].size)
                pos[d] = 0;
        done += part;
    }
}
} // namespace Zeph
