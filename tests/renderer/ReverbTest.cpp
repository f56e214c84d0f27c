#include "renderer/Reverb.h"
#include "renderer/Room.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
constexpr int numLines = Zeph::Reverb::numLines;
constexpr int workLength = 2192;

// A reverb over its own rings and work buffer.
struct ReverbRig
{
    explicit ReverbRig (float fs, int32_t geometry = 0)
    {
        settings.setSampleRate (fs);
        for (int d = 0; d < numLines; ++d)
        {
            rings[d].assign ((size_t) Zeph::Reverb::lineSizes[d], 0.0f);
            reverb.bindLine (d, rings[d].data());
        }
        for (int c = 0; c < 10; ++c)
        {
            work[c].assign (workLength, 0.0f);
            workPointers[c] = work[c].data();
        }
        geometryIndex = geometry;
        reverb.setSamplingFrequency (settings, geometryIndex);
    }

    // Runs the whole signal through process in blocks; returns the outputs.
    void run (std::vector<float>& left, std::vector<float>& right, int block,
              float gainLeft = 0.0f, float gainRight = 0.0f)
    {
        const int total = (int) left.size();
        for (int offset = 0; offset < total; offset += block)
        {
            const int n = std::min (block, total - offset);
            reverb.process (left.data() + offset, right.data() + offset, n, workPointers,
                            settings.rateRatio, geometryIndex, gainLeft, gainRight);
        }
    }

    Zeph::Settings settings;
    Zeph::Reverb reverb;
    int32_t geometryIndex = 0;
    std::vector<float> rings[numLines];
    std::vector<float> work[10];
    float* workPointers[10] {};
};

// Constants of the lines, written out independently of the implementation.
struct LineSpec
{
    int32_t type;
    float frequency, slope, dB;
};
const LineSpec lineSpecs[numLines] = {
    { 1, 1100, 0.32f, -1.9f }, { 1, 1100, 0.32f, -1.9f }, { 2, 334, 0.18f, -4.2f },
    { 2, 334, 0.18f, -4.2f }, { 2, 547, 0.22f, -4.4f }, { 2, 547, 0.22f, -4.4f },
    { 2, 480, 0.13f, -3.7f }, { 2, 270, 0.13f, -3.7f },
};
const float lineGain0[numLines] = { 1.3066f, 1.3066f, 1.2649f, 1.2649f, 1.2232f, 1.2232f, 1.3066f, 1.2788f };
const float lineGain3[numLines] = { 1.3818f, 1.3818f, 1.3377f, 1.3377f, 1.2936f, 1.2936f, 1.3818f, 1.3524f };
const float cutoff0[numLines] = { 7249.9995f, 6833.333f, 6416.6665f, 6000, 5666.6665f, 5333.333f, 4916.6665f, 4666.6665f };
const float cutoff3[numLines] = { 8700, 8200, 7700, 7200, 6800, 6400, 5900, 5600 };

// Impulse response of one line's shelf and damping, length samples.
std::vector<float> lineResponse (int d, float fs, float lineGain, float cutoff, int length)
{
    Zeph::BiquadDesigner::State state;
    state.w0 = lineSpecs[d].frequency * (2.0f * 3.14159265358979f / fs);
    state.q = lineSpecs[d].slope;
    state.amplitude = std::pow (10.0f, lineSpecs[d].dB / 40.0f);
    state.gain = lineGain;
    state.type = lineSpecs[d].type;
    Zeph::BiquadCoefficients c { 1, 0, 0, 0, 0 };
    Zeph::BiquadDesigner::buildFromState (c, state);

    const double a = std::exp (-(double) cutoff * 2.0 * 3.14159265358979 / fs);
    std::vector<float> h ((size_t) length, 0.0f);
    double s1 = 0, s2 = 0, damp = 0;
    for (int i = 0; i < length; ++i)
    {
        const double x = (i == 0) ? 1.0 : 0.0;
        const double y = c.b0 * x + s1;
        s1 = c.b1 * x + s2 - c.a1 * y;
        s2 = c.b2 * x - c.a2 * y;
        damp = (1.0 - a) * y + a * damp;
        h[(size_t) i] = (float) damp;
    }
    return h;
}

float sampleAt (const std::vector<float>& h, int i)
{
    return (i >= 0 && i < (int) h.size()) ? h[(size_t) i] : 0.0f;
}

float maxAbs (const std::vector<float>& v, size_t from = 0)
{
    float m = 0.0f;
    for (size_t i = from; i < v.size(); ++i)
        m = std::max (m, std::abs (v[i]));
    return m;
}
} // namespace

TEST (ReverbTaps, At48And441And96Kilohertz)
{
    ReverbRig rig (48000.0f);
    const int32_t at48[numLines] = { 1031, 1359, 2043, 2431, 2865, 3338, 3833, 4445 };
    const int32_t at441[numLines] = { 947, 1248, 1877, 2233, 2632, 3066, 3521, 4083 };

    Zeph::Settings s441;
    s441.setSampleRate (44100.0f);
    Zeph::Settings s96;
    s96.setSampleRate (96000.0f);
    EXPECT_EQ (rig.settings.rateRatio, 1.0f);

    for (int d = 0; d < numLines; ++d)
    {
        EXPECT_EQ (rig.reverb.readTap (d, 1.0f, 2048), at48[d]) << d;
        EXPECT_EQ (rig.reverb.readTap (d, s441.rateRatio, 2048), at441[d]) << d;
        EXPECT_EQ (rig.reverb.readTap (d, Zeph::Settings().rateRatio, 2048), at441[d]) << d;
        EXPECT_EQ (rig.reverb.readTap (d, s96.rateRatio, 2048), 2 * at48[d]) << d;
    }
}

TEST (ReverbTaps, EveryReadStaysInsideItsRing)
{
    ReverbRig rig (48000.0f);
    // Up to 192 kHz the rings hold every tap with blocks of 2048.
    for (int d = 0; d < numLines; ++d)
        EXPECT_EQ (rig.reverb.readTap (d, 4.0f, 2048), 4 * Zeph::Reverb::tapsAt48k[d]);

    // Beyond, the taps are held to what the ring can give for the block.
    const float ratios[] = { 4.0f, 4.5f, 8.0f, 16.0f, 1.0e9f, INFINITY, NAN };
    for (float ratio : ratios)
        for (int n : { 1, 2048, 2192 })
            for (int d = 0; d < numLines; ++d)
            {
                const int32_t tap = rig.reverb.readTap (d, ratio, n);
                EXPECT_GE (tap, 0);
                EXPECT_LE (tap + n, Zeph::Reverb::lineSizes[d]) << ratio << " " << n << " " << d;
            }
    EXPECT_EQ (rig.reverb.readTap (7, 8.0f, 2048), 19828 - 2048);
    EXPECT_EQ (rig.reverb.readTap (0, 0.0f, 2048), 0);
}

TEST (ReverbTaps, ImpulseAt384KilohertzStaysFinite)
{
    ReverbRig rig (384000.0f);
    std::vector<float> left (60000, 0.0f), right (60000, 0.0f);
    left[100] = 1.0f;
    rig.run (left, right, 2048);
    for (size_t i = 0; i < left.size(); ++i)
        ASSERT_TRUE (std::isfinite (left[i]) && std::isfinite (right[i])) << i;
    // The longest line is heard at its clamped tap.
    EXPECT_GT (maxAbs (right, 100 + 19828 - 2048), 0.0f);
}

TEST (ReverbNetwork, ImpulseOnTheLeftReachesLinesSignsDelaysAndScale)
{
    const float fs = 48000.0f;
    ReverbRig rig (fs, 0);
    const int total = 24000;
    const int start = 15000; // late enough for the shorter rings to have wrapped
    std::vector<float> left ((size_t) total, 0.0f), right ((size_t) total, 0.0f);
    left[(size_t) start] = 1.0f;
    rig.run (left, right, 333);

    const float k = 0.47f;
    const float scale = 1.39f * std::pow (10.0f, -3.0f / 20.0f) / 4.0f;
    std::vector<float> h[numLines];
    for (int d = 0; d < numLines; ++d)
        h[d] = lineResponse (d, fs, lineGain0[d], cutoff0[d], total);

    const int32_t tap[numLines] = { 1031, 1359, 2043, 2431, 2865, 3338, 3833, 4445 };
    for (int i = 0; i < total; ++i)
    {
        const int t = i - start;
        const float expectedLeft = (t == 0 ? 1.0f : 0.0f)
            + scale * (k * sampleAt (h[5], t - tap[5]) - k * sampleAt (h[1], t - tap[1]) - sampleAt (h[2], t - tap[2]) - sampleAt (h[6], t - tap[6]));
        const float expectedRight =
            scale * (k * sampleAt (h[3], t - tap[3]) - sampleAt (h[0], t - tap[0]) - sampleAt (h[4], t - tap[4]) - k * sampleAt (h[7], t - tap[7]));
        ASSERT_NEAR (left[(size_t) i], expectedLeft, 1.0e-6f) << i;
        ASSERT_NEAR (right[(size_t) i], expectedRight, 1.0e-6f) << i;
    }

    // Nothing before the first arrival on either side, then each line's first sample.
    EXPECT_EQ (maxAbs (std::vector<float> (left.begin() + start + 1, left.begin() + start + 1359)), 0.0f);
    EXPECT_EQ (maxAbs (std::vector<float> (right.begin(), right.begin() + start + 1031)), 0.0f);
    EXPECT_NEAR (left[(size_t) (start + 1359)], -k * scale * h[1][0], 1.0e-7f);
    EXPECT_LT (left[(size_t) (start + 1359)], 0.0f);
    EXPECT_LT (right[(size_t) (start + 1031)], 0.0f);
    EXPECT_NEAR (right[(size_t) (start + 1031)], -scale * h[0][0], 1.0e-7f);
}

TEST (ReverbNetwork, GeometryRowsSetCrossfeedReadGainAndLevel)
{
    struct Row
    {
        int32_t geometry;
        float crossfeed, readGain, levelDb;
        const float* gains;
        const float* cutoffs;
    };
    const Row rows[] = { { 0, 0.47f, 1.39f, -3.0f, lineGain0, cutoff0 }, { 3, 0.34f, 1.47f, 0.0f, lineGain3, cutoff3 } };

    for (const auto& row : rows)
    {
        ReverbRig rig (48000.0f, row.geometry);
        std::vector<float> left (2000, 0.0f), right (2000, 0.0f);
        left[0] = 1.0f;
        rig.run (left, right, 256);

        const float scale = row.readGain * std::pow (10.0f, row.levelDb / 20.0f) / 4.0f;
        const auto h0 = lineResponse (0, 48000.0f, row.gains[0], row.cutoffs[0], 1);
        const auto h1 = lineResponse (1, 48000.0f, row.gains[1], row.cutoffs[1], 1);
        EXPECT_NEAR (right[1031], -scale * h0[0], 1.0e-6f) << row.geometry;
        EXPECT_NEAR (left[1359], -row.crossfeed * scale * h1[0], 1.0e-6f) << row.geometry;
    }
}

TEST (ReverbNetwork, HeadWeightsScaleEachSide)
{
    std::vector<float> inputLeft (7000, 0.0f), inputRight (7000, 0.0f);
    std::mt19937 random (7);
    std::uniform_real_distribution<float> noise (-1.0f, 1.0f);
    for (int i = 0; i < 500; ++i)
    {
        inputLeft[(size_t) i] = noise (random);
        inputRight[(size_t) i] = noise (random);
    }

    ReverbRig neutral (48000.0f, 0), turned (48000.0f, 0);
    auto l0 = inputLeft, r0 = inputRight, l1 = inputLeft, r1 = inputRight;
    neutral.run (l0, r0, 512, 0.0f, 0.0f);
    turned.run (l1, r1, 512, 1.0f, -1.0f); // head turned: first row (0, 1, 0)

    double wetLeft0 = 0, wetLeft1 = 0, wetRight0 = 0, wetRight1 = 0;
    for (size_t i = 0; i < l0.size(); ++i)
    {
        const float dryL = inputLeft[i], dryR = inputRight[i];
        if (std::abs (l0[i] - dryL) > 1.0e-4f)
        {
            EXPECT_NEAR ((l1[i] - dryL) / (l0[i] - dryL), 4.05f / 5.05f, 1.0e-3f) << i;
        }
        if (std::abs (r0[i] - dryR) > 1.0e-4f)
        {
            EXPECT_NEAR ((r1[i] - dryR) / (r0[i] - dryR), 6.05f / 5.05f, 1.0e-3f) << i;
        }
        wetLeft0 += std::abs (l0[i] - dryL);
        wetLeft1 += std::abs (l1[i] - dryL);
        wetRight0 += std::abs (r0[i] - dryR);
        wetRight1 += std::abs (r1[i] - dryR);
    }
    EXPECT_NEAR (wetLeft1 / wetLeft0, 4.05 / 5.05, 1.0e-4);
    EXPECT_NEAR (wetRight1 / wetRight0, 6.05 / 5.05, 1.0e-4);
}

TEST (ReverbDelayLine, WriteWrapsAtTheEndOfTheRing)
{
    std::vector<float> ring (6172, 0.0f);
    Zeph::ReverbDelay line;
    line.bind (ring.data(), 6172);
    std::fill (ring.begin(), ring.end(), 7.0f); // never read by a write

    std::vector<float> input (200);
    for (int i = 0; i < 200; ++i)
        input[(size_t) i] = (float) (i + 1);

    line.writePos = 6000;
    line.writeIntoDelay (input.data(), 200);
    EXPECT_EQ (line.writePos, 28);
    for (int i = 0; i < 172; ++i)
        ASSERT_EQ (ring[(size_t) (6000 + i)], (float) (i + 1));
    for (int i = 0; i < 28; ++i)
        ASSERT_EQ (ring[(size_t) i], (float) (173 + i));
    EXPECT_EQ (ring[28], 7.0f);
    EXPECT_EQ (ring[5999], 7.0f);

    // A block that ends exactly at the end leaves the write position at 0.
    line.writePos = 6072;
    line.writeIntoDelay (input.data(), 100);
    EXPECT_EQ (line.writePos, 0);
    EXPECT_EQ (ring[6171], 100.0f);
    EXPECT_EQ (ring[0], 173.0f);
}

TEST (ReverbDelayLine, FiltersCarryOnAcrossTheWrap)
{
    ReverbRig rig (48000.0f, 2);
    const Zeph::ReverbDelay& designed = rig.reverb.delays[0];

    std::vector<float> wrapped (6172), straight (6172);
    Zeph::ReverbDelay a, b;
    a.bind (wrapped.data(), 6172);
    b.bind (straight.data(), 6172);
    for (auto* line : { &a, &b })
    {
        line->coefficients = designed.coefficients;
        line->dampGain = designed.dampGain;
        line->dampCoeff = designed.dampCoeff;
    }

    std::vector<float> input (300);
    std::mt19937 random (3);
    std::uniform_real_distribution<float> noise (-1.0f, 1.0f);
    for (auto& x : input)
        x = noise (random);

    a.writePos = 6100;
    a.writeIntoDelay (input.data(), 150);
    a.writeIntoDelay (input.data() + 150, 150);
    b.writeIntoDelay (input.data(), 300);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ (wrapped[(size_t) ((6100 + i) % 6172)], straight[(size_t) i]) << i;
    EXPECT_EQ (a.dampState, b.dampState);
    EXPECT_EQ (a.context.s1, b.context.s1);
    EXPECT_EQ (a.context.s2, b.context.s2);
}

TEST (ReverbDelayLine, NewLineAndClears)
{
    std::vector<float> ring (100, 3.0f);
    Zeph::ReverbDelay line;
    line.bind (ring.data(), 100);
    EXPECT_EQ (line.writePos, 0);
    EXPECT_EQ (line.coefficients.b0, 1.0f);
    EXPECT_EQ (line.coefficients.a1, 0.0f);
    EXPECT_EQ (line.dampGain, 1.0f);
    EXPECT_EQ (line.dampCoeff, 0.0f);
    EXPECT_EQ (maxAbs (ring), 0.0f);

    line.dampCoeff = 0.5f;
    line.dampGain = 0.5f;
    const float ones[10] = { 1, 1, 1, 1, 1, 1, 1, 1, 1, 1 };
    line.writeIntoDelay (ones, 10);
    line.resetFilterState();
    EXPECT_EQ (line.dampState, 0.0f);
    EXPECT_EQ (line.writePos, 10);
    EXPECT_GT (ring[5], 0.0f);

    line.clear();
    EXPECT_EQ (line.writePos, 0);
    EXPECT_EQ (maxAbs (ring), 0.0f);
}

TEST (ReverbDesign, RedesignKeepsRingsPositionsAndStates)
{
    ReverbRig rig (48000.0f, 0);
    std::vector<float> left (3000, 0.5f), right (3000, -0.25f);
    rig.run (left, right, 512);

    const auto rings = rig.rings[4];
    const auto pos = rig.reverb.delays[4].writePos;
    const auto context = rig.reverb.delays[4].context;
    const auto damp = rig.reverb.delays[4].dampState;
    const auto before = rig.reverb.delays[4].coefficients;

    Zeph::Settings s96;
    s96.setSampleRate (96000.0f);
    Zeph::Room room;
    room.geometryIndex = 3;
    rig.reverb.setSamplingFrequency (s96, room);

    EXPECT_EQ (rig.rings[4], rings);
    EXPECT_EQ (rig.reverb.delays[4].writePos, pos);
    EXPECT_EQ (rig.reverb.delays[4].context.s1, context.s1);
    EXPECT_EQ (rig.reverb.delays[4].dampState, damp);
    EXPECT_NE (rig.reverb.delays[4].coefficients.b0, before.b0);

    // The room overload reads the room's geometry.
    Zeph::Reverb direct;
    direct.setSamplingFrequency (s96, 3);
    for (int d = 0; d < numLines; ++d)
    {
        EXPECT_EQ (direct.delays[d].coefficients.b0, rig.reverb.delays[d].coefficients.b0);
        EXPECT_EQ (direct.delays[d].dampCoeff, rig.reverb.delays[d].dampCoeff);
        EXPECT_NEAR (direct.delays[d].dampCoeff, std::exp (-cutoff3[d] * 2.0f * 3.1415927f / 96000.0f), 1.0e-6f);
        EXPECT_FLOAT_EQ (direct.delays[d].dampGain, 1.0f - direct.delays[d].dampCoeff);
    }
}

TEST (ReverbSilence, LinesFedSilenceForgetTheProgramme)
{
    ReverbRig rig (48000.0f, 2);
    std::vector<float> left (20000), right (20000);
    std::mt19937 random (11);
    std::uniform_real_distribution<float> noise (-1.0f, 1.0f);
    for (size_t i = 0; i < left.size(); ++i)
    {
        left[i] = noise (random);
        right[i] = noise (random);
    }
    rig.run (left, right, 512);

    // Spatialiser off: silence through every line, nothing read.
    const std::vector<float> silence (512, 0.0f);
    int32_t positions[numLines];
    for (int d = 0; d < numLines; ++d)
        positions[d] = rig.reverb.delays[d].writePos;
    const int blocks = 40; // 20480 samples, more than the longest ring
    for (int b = 0; b < blocks; ++b)
        for (auto& line : rig.reverb.delays)
            line.writeIntoDelay (silence.data(), 512);

    for (int d = 0; d < numLines; ++d)
    {
        EXPECT_EQ (rig.reverb.delays[d].writePos, (positions[d] + blocks * 512) % Zeph::Reverb::lineSizes[d]);
        // Only the filters' dying response is left: tiny, and fading toward the newest sample.
        const auto& ring = rig.rings[d];
        const int32_t size = Zeph::Reverb::lineSizes[d];
        const int32_t newest = rig.reverb.delays[d].writePos; // oldest sample sits here
        float oldest = 0.0f, latest = 0.0f;
        for (int32_t i = 0; i < 1000; ++i)
        {
            oldest = std::max (oldest, std::abs (ring[(size_t) ((newest + i) % size)]));
            latest = std::max (latest, std::abs (ring[(size_t) ((newest + size - 1 - i) % size)]));
        }
        EXPECT_LT (maxAbs (ring), 1.0e-5f) << d;
        EXPECT_LE (latest, oldest) << d;
    }

    // Switched back on with silent reflections: no earlier programme is heard.
    std::vector<float> quietLeft (10000, 0.0f), quietRight (10000, 0.0f);
    rig.run (quietLeft, quietRight, 512);
    EXPECT_LT (maxAbs (quietLeft), 1.0e-5f);
    EXPECT_LT (maxAbs (quietRight), 1.0e-5f);
}

TEST (ReverbNetwork, FeedsEveryLineAsWritingEachLineInTurnWould)
{
    // process feeds the eight lines in one pass; each line must end up exactly
    // as writeIntoDelay of its crossfed input leaves it, across ring wraps.
    for (const float fs : { 44100.0f, 96000.0f })
    {
        ReverbRig rig (fs, 2);
        ReverbRig single (fs, 2);
        const float crossfeed = 0.44f; // geometry 2
        std::mt19937 random (7);
        std::uniform_real_distribution<float> value (-0.5f, 0.5f);
        int64_t written = 0;
        for (const int n : { 1, 7, 2048, 333, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 64, 2048 })
        {
            std::vector<float> left ((size_t) n), right ((size_t) n), inL ((size_t) n), inR ((size_t) n);
            for (int i = 0; i < n; ++i)
            {
                left[(size_t) i] = value (random);
                right[(size_t) i] = value (random);
                inL[(size_t) i] = left[(size_t) i] + crossfeed * right[(size_t) i];
                inR[(size_t) i] = right[(size_t) i] + crossfeed * left[(size_t) i];
            }
            rig.run (left, right, n, 0.3f, -0.2f);
            for (int d = 0; d < numLines; ++d)
                single.reverb.delays[d].writeIntoDelay (d % 2 == 0 ? inL.data() : inR.data(), n);
            written += n;

            for (int d = 0; d < numLines; ++d)
            {
                const auto& a = rig.reverb.delays[d];
                const auto& b = single.reverb.delays[d];
                ASSERT_EQ (a.writePos, b.writePos) << "line " << d << " after " << written;
                ASSERT_EQ (a.context.s1, b.context.s1) << "line " << d << " after " << written;
                ASSERT_EQ (a.context.s2, b.context.s2) << "line " << d << " after " << written;
                ASSERT_EQ (a.dampState, b.dampState) << "line " << d << " after " << written;
                ASSERT_EQ (rig.rings[d], single.rings[d]) << "line " << d << " after " << written;
            }
        }
        EXPECT_GT (written, (int64_t) Zeph::Reverb::lineSizes[numLines - 1]) << "every ring wrapped";
    }
}
