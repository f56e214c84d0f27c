#include "renderer/Biquad.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

using Zeph::Biquad;
using Zeph::BiquadCoefficients;
using Zeph::BiquadContext;
using Zeph::BiquadDesigner;

namespace
{
constexpr double pi = 3.14159265358979323846;

BiquadDesigner::State makeState (int32_t type, float w0, float q, float amplitude, float gain = 1.0f)
{
    BiquadDesigner::State st;
    st.type = type;
    st.w0 = w0;
    st.q = q;
    st.amplitude = amplitude;
    st.gain = gain;
    return st;
}

BiquadCoefficients design (const BiquadDesigner::State& st)
{
    BiquadCoefficients c;
    BiquadDesigner::buildFromState (c, st);
    return c;
}

double magnitudeAt (const BiquadCoefficients& c, double w)
{
    const std::complex<double> z1 = std::polar (1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    const auto num = (double) c.b0 + (double) c.b1 * z1 + (double) c.b2 * z2;
    const auto den = 1.0 + (double) c.a1 * z1 + (double) c.a2 * z2;
    return std::abs (num / den);
}

bool isIdentity (const BiquadCoefficients& c)
{
    return c.b0 == 1.0f && c.b1 == 0.0f && c.b2 == 0.0f && c.a1 == 0.0f && c.a2 == 0.0f;
}

bool sameCoefficients (const BiquadCoefficients& x, const BiquadCoefficients& y)
{
    return x.b0 == y.b0 && x.b1 == y.b1 && x.b2 == y.b2 && x.a1 == y.a1 && x.a2 == y.a2;
}

std::vector<float> noise (size_t n, unsigned seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);
    std::vector<float> v (n);
    for (auto& x : v)
        x = dist (rng);
    return v;
}

float amplitudeForDb (float db) { return std::pow (10.0f, db / 40.0f); }
} // namespace

TEST (BiquadDesign, PeakAndShelvesAtUnityAreExactIdentity)
{
    for (int32_t type : { BiquadDesigner::peak, BiquadDesigner::highShelf, BiquadDesigner::lowShelf })
        for (float w0 : { 0.0f, 0.02f, 1.0f, 3.1415927f, 5.0f, std::numeric_limits<float>::quiet_NaN() })
            for (float q : { 0.0f, 0.22f, 1.0f, 40.0f })
            {
                BiquadCoefficients c { 0.3f, 0.2f, 0.1f, 0.4f, 0.5f };
                BiquadDesigner::buildFromState (c, makeState (type, w0, q, 1.0f, 1.0f));
                EXPECT_TRUE (isIdentity (c)) << "type " << type << " w0 " << w0 << " q " << q;
            }
}

TEST (BiquadDesign, PeakAtUnityAmplitudeWithHalfGainIsFlatHalf)
{
    const auto c = design (makeState (BiquadDesigner::peak, 0.7f, 2.0f, 1.0f, 0.5f));
    EXPECT_FALSE (isIdentity (c));
    EXPECT_NE (c.a1, 0.0f); // designed by the formula, not short-cut
    for (double w : { 0.0, 0.1, 0.7, 1.5, 3.0, pi })
        EXPECT_NEAR (magnitudeAt (c, w), 0.5, 1e-5) << "w " << w;
}

TEST (BiquadDesign, PassFiltersIgnoreAmplitude)
{
    for (int32_t type : { BiquadDesigner::lowPass, BiquadDesigner::highPass })
    {
        const auto plain = design (makeState (type, 0.3f, 0.7f, 1.0f, 0.8f));
        const auto boosted = design (makeState (type, 0.3f, 0.7f, 4.0f, 0.8f));
        EXPECT_TRUE (sameCoefficients (plain, boosted)) << "type " << type;
    }
}

TEST (BiquadDesign, UnknownTypeLeavesCoefficients)
{
    for (int32_t type : { -1, 5, 99 })
    {
        BiquadCoefficients c { 0.3f, 0.2f, 0.1f, 0.4f, 0.5f };
        BiquadDesigner::buildFromState (c, makeState (type, 0.5f, 1.0f, 2.0f, 0.5f));
        EXPECT_TRUE (sameCoefficients (c, { 0.3f, 0.2f, 0.1f, 0.4f, 0.5f }));
    }
}

TEST (BiquadResponse, PeakReachesItsLevelAtTheCentre)
{
    for (float db : { -12.0f, -3.2f, 3.5f, 8.8f })
        for (float q : { 0.8f, 1.2f, 2.0f })
        {
            const float w0 = 2.0f * 3.1415927f * 7000.0f / 44100.0f;
            const auto c = design (makeState (BiquadDesigner::peak, w0, q, amplitudeForDb (db)));
            EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (c, w0)), db, 1e-3) << db << " dB, Q " << q;
            EXPECT_NEAR (magnitudeAt (c, 0.0), 1.0, 1e-4);
            EXPECT_NEAR (magnitudeAt (c, pi), 1.0, 1e-4);
        }
}

TEST (BiquadResponse, ShelvesReachHalfTheirLevelAtTheCorner)
{
    for (float db : { -11.5f, -4.2f, 2.5f, 6.0f })
        for (float slope : { 0.13f, 0.22f, 0.7f, 1.0f, 1.33f })
        {
            const float w0 = 2.0f * 3.1415927f * 1100.0f / 48000.0f;
            const auto high = design (makeState (BiquadDesigner::highShelf, w0, slope, amplitudeForDb (db)));
            const auto low = design (makeState (BiquadDesigner::lowShelf, w0, slope, amplitudeForDb (db)));
            EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (high, w0)), db / 2, 1e-3) << db << " dB, S " << slope;
            EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (low, w0)), db / 2, 1e-3) << db << " dB, S " << slope;
            EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (high, 0.0)), 0.0, 1e-3);
            EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (high, pi)), db, 2e-3);
            EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (low, 0.0)), db, 2e-3);
            EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (low, pi)), 0.0, 1e-3);
        }
}

TEST (BiquadResponse, PassFiltersHaveMagnitudeQAtTheCorner)
{
    for (float f : { 90.0f, 110.0f, 4000.0f, 16000.0f })
        for (float q : { 0.7f, 1.0f, 1.4f })
        {
            const float w0 = 2.0f * 3.1415927f * f / 48000.0f;
            const auto lp = design (makeState (BiquadDesigner::lowPass, w0, q, 1.0f));
            const auto hp = design (makeState (BiquadDesigner::highPass, w0, q, 1.0f));
            EXPECT_NEAR (magnitudeAt (lp, w0), q, 2e-3 * q) << f << " Hz, Q " << q;
            EXPECT_NEAR (magnitudeAt (hp, w0), q, 2e-3 * q) << f << " Hz, Q " << q;
            EXPECT_NEAR (magnitudeAt (lp, 0.0), 1.0, 1e-3);
            EXPECT_NEAR (magnitudeAt (lp, pi), 0.0, 1e-3);
            EXPECT_NEAR (magnitudeAt (hp, 0.0), 0.0, 1e-3);
            EXPECT_NEAR (magnitudeAt (hp, pi), 1.0, 1e-3);
        }
}

TEST (BiquadResponse, GainScalesEveryKind)
{
    const float w0 = 0.3f;
    for (int32_t type = 0; type <= 4; ++type)
    {
        const auto unit = design (makeState (type, w0, 0.9f, amplitudeForDb (5.0f), 1.0f));
        const auto half = design (makeState (type, w0, 0.9f, amplitudeForDb (5.0f), 0.5f));
        for (double w : { 0.05, 0.3, 1.0, 2.5 })
            EXPECT_NEAR (magnitudeAt (half, w), 0.5 * magnitudeAt (unit, w), 1e-5) << "type " << type;
        EXPECT_FLOAT_EQ (half.a1, unit.a1);
        EXPECT_FLOAT_EQ (half.a2, unit.a2);
    }
}

namespace
{
// Both poles strictly inside the unit circle, evaluated without rounding.
bool isStable (const BiquadCoefficients& c)
{
    return std::abs ((double) c.a2) < 1.0 && std::abs ((double) c.a1) < 1.0 + (double) c.a2;
}

bool allFinite (const BiquadCoefficients& c)
{
    return std::isfinite (c.b0) && std::isfinite (c.b1) && std::isfinite (c.b2) && std::isfinite (c.a1)
           && std::isfinite (c.a2);
}

// Share of the impulse response's energy in the last stretch of a long run.
double tailEnergy (const BiquadCoefficients& c)
{
    std::vector<float> x (40000, 0.0f);
    x[0] = 1.0f;
    BiquadContext ctx;
    Biquad::processInPlace (ctx, c, x.data(), (uint32_t) x.size());
    double tail = 0, total = 0;
    for (size_t i = 0; i < x.size(); ++i)
    {
        total += (double) x[i] * x[i];
        if (i >= x.size() - 1000)
            tail += (double) x[i] * x[i];
    }
    return total > 0 ? tail / total : 0.0;
}
} // namespace

TEST (BiquadDegenerate, NeverNaNOrUnstable)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float pif = 3.1415927f;
    struct Case
    {
        float w0, q, amplitude, gain;
    };
    const Case cases[] = {
        { 0.3f, 0.0f, 2.0f, 1.0f },   { 0.3f, -1.0f, 2.0f, 1.0f },  { 0.3f, 2.0f, 0.0f, 1.0f },
        { 0.3f, 2.0f, -1.0f, 1.0f },  { 0.3f, 100.0f, 4.0f, 1.0f }, { 0.3f, 1e9f, 0.5f, 1.0f },
        { 0.0f, 1.0f, 2.0f, 1.0f },   { -1.0f, 1.0f, 2.0f, 1.0f },  { 1e-6f, 1.0f, 2.0f, 1.0f },
        { pif, 1.4f, 2.0f, 1.0f },    { 1.2f * pif, 1.4f, 2.0f, 1.0f }, { 7.0f, 1.0f, 2.0f, 1.0f },
        { nan, 1.0f, 2.0f, 1.0f },    { 0.3f, nan, 2.0f, 1.0f },    { 0.3f, 1.0f, inf, 1.0f },
        { 0.3f, 1.0f, 2.0f, nan },    { 0.3f, inf, 2.0f, 1.0f },    { 0.3f, 1.0f, 1e12f, 1.0f },
    };
    for (int32_t type = 0; type <= 4; ++type)
        for (const auto& k : cases)
        {
            const auto c = design (makeState (type, k.w0, k.q, k.amplitude, k.gain));
            SCOPED_TRACE (testing::Message() << "type " << type << " w0 " << k.w0 << " q " << k.q << " A "
                                             << k.amplitude << " g " << k.gain);
            EXPECT_TRUE (allFinite (c));
            EXPECT_TRUE (isStable (c)) << c.a1 << " " << c.a2;
            EXPECT_LT (tailEnergy (c), 1e-6);
        }
}

TEST (BiquadDegenerate, LowPassAtOrBeyondNyquistPassesTheBand)
{
    // A 16 kHz low-pass at 32 kHz and at 22.05 kHz.
    for (float fs : { 32000.0f, 22050.0f })
    {
        const float w0 = (2.0f * 3.1415927f / fs) * 16000.0f;
        const auto c = design (makeState (BiquadDesigner::lowPass, w0, 1.4f, 1.0f, 0.75f));
        EXPECT_FLOAT_EQ (c.b0, 0.75f);
        EXPECT_EQ (c.b1, 0.0f);
        EXPECT_EQ (c.b2, 0.0f);
        EXPECT_EQ (c.a1, 0.0f);
        EXPECT_EQ (c.a2, 0.0f);
    }
}

TEST (BiquadDegenerate, HighPassNearNyquistStaysStable)
{
    const auto c = design (makeState (BiquadDesigner::highPass, 3.1415927f, 1.4f, 1.0f));
    EXPECT_TRUE (allFinite (c));
    EXPECT_TRUE (isStable (c));
}

TEST (BiquadProcess, IdentityCopiesAndKeepsContextAtZero)
{
    const auto input = noise (37, 1);
    const BiquadCoefficients identity;
    EXPECT_TRUE (isIdentity (identity));

    BiquadContext ctxA;
    std::vector<float> out (input.size(), 99.0f);
    Biquad::processOverwrite (ctxA, identity, input.data(), out.data(), (uint32_t) input.size());
    EXPECT_EQ (out, input);
    EXPECT_EQ (ctxA.s1, 0.0f);
    EXPECT_EQ (ctxA.s2, 0.0f);

    BiquadContext ctxB;
    auto inPlace = input;
    Biquad::processInPlace (ctxB, identity, inPlace.data(), (uint32_t) inPlace.size());
    EXPECT_EQ (inPlace, input);
    EXPECT_EQ (ctxB.s1, 0.0f);
    EXPECT_EQ (ctxB.s2, 0.0f);
}

TEST (BiquadProcess, ImpulseGivesB0First)
{
    for (int32_t type = 0; type <= 4; ++type)
    {
        const auto c = design (makeState (type, 0.4f, 0.8f, amplitudeForDb (-4.0f), 0.9f));
        std::vector<float> x (8, 0.0f);
        x[0] = 1.0f;
        BiquadContext ctx;
        Biquad::processInPlace (ctx, c, x.data(), 8);
        EXPECT_EQ (x[0], c.b0) << "type " << type;
    }
}

TEST (BiquadProcess, SplitBlocksMatchOneBlock)
{
    const auto c = design (makeState (BiquadDesigner::peak, 0.25f, 1.1f, amplitudeForDb (7.0f), 0.8f));
    for (uint32_t n : { 1u, 2u, 7u, 64u, 101u })
    {
        const auto input = noise (n, n);
        BiquadContext whole;
        std::vector<float> expected (n);
        Biquad::processOverwrite (whole, c, input.data(), expected.data(), n);

        for (uint32_t k = 0; k <= n; ++k)
        {
            BiquadContext split;
            auto buf = input;
            Biquad::processInPlace (split, c, buf.data(), k);
            Biquad::processInPlace (split, c, buf.data() + k, n - k);
            EXPECT_EQ (buf, expected) << "n " << n << " k " << k;
            EXPECT_EQ (split.s1, whole.s1);
            EXPECT_EQ (split.s2, whole.s2);
        }
    }
}

TEST (BiquadProcess, OverwriteLeavesInputAndMatchesInPlace)
{
    const auto c = design (makeState (BiquadDesigner::lowShelf, 0.05f, 0.18f, amplitudeForDb (-4.2f)));
    const auto input = noise (257, 3);
    auto copy = input;
    std::vector<float> out (input.size());
    BiquadContext a, b;
    Biquad::processOverwrite (a, c, input.data(), out.data(), (uint32_t) input.size());
    Biquad::processInPlace (b, c, copy.data(), (uint32_t) copy.size());
    EXPECT_EQ (out, copy);
    EXPECT_EQ (input, noise (257, 3));
}

TEST (BiquadProcess, FollowsTheDifferenceEquation)
{
    // y[i] = b0 x[i] + b1 x[i-1] + b2 x[i-2] - a1 y[i-1] - a2 y[i-2]
    const auto c = design (makeState (BiquadDesigner::highShelf, 0.6f, 0.7f, amplitudeForDb (-8.0f), 1.2f));
    const auto x = noise (500, 9);
    auto y = x;
    BiquadContext ctx;
    Biquad::processInPlace (ctx, c, y.data(), (uint32_t) y.size());

    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < x.size(); ++i)
    {
        const double r = c.b0 * x[i] + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
        EXPECT_NEAR (y[i], r, 1e-4) << i;
        x2 = x1;
        x1 = x[i];
        y2 = y1;
        y1 = r;
    }
}

TEST (BiquadProcess, ZeroLengthDoesNothing)
{
    const auto c = design (makeState (BiquadDesigner::peak, 0.25f, 1.1f, 2.0f));
    BiquadContext ctx { 0.25f, -0.5f };
    float x = 3.0f;
    Biquad::processInPlace (ctx, c, &x, 0);
    Biquad::processOverwrite (ctx, c, &x, &x, 0);
    EXPECT_EQ (x, 3.0f);
    EXPECT_EQ (ctx.s1, 0.25f);
    EXPECT_EQ (ctx.s2, -0.5f);
}
