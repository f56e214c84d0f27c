#include "renderer/InterpolationCoefficients.h"
#include "renderer/Ray.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <iterator>

using Zeph::BiquadCoefficients;
using Zeph::BiquadDesigner;
using Zeph::InterpolationCoefficients;
using Zeph::Ray;
using Zeph::Settings;

namespace
{
constexpr double degree = 3.14159265358979323846 / 180.0;
constexpr float earOffset = 0.0715f;

struct Position
{
    float x, y, z;
};

// A source seen from the right ear at the given lateral and polar angle.
Position fromRightEar (double lateral, double polar, double distance)
{
    const double side = distance * std::sin (lateral * degree);
    const double r = distance * std::cos (lateral * degree);
    return { (float) (side + earOffset), (float) (r * std::cos (polar * degree)), (float) (r * std::sin (polar * degree)) };
}

void compile (Ray& ray, const Settings& s, Position p, bool force, float angle = 0.0f, float gain = 1.0f)
{
    ray.compile (s, p.x, p.y, p.z, angle, 1.5f, gain, force);
}

Ray compiled (uint8_t ear, const Settings& s, Position p, float angle = 0.0f)
{
    Ray ray (ear, 0);
    compile (ray, s, p, true, angle);
    return ray;
}

bool same (const BiquadCoefficients& a, const BiquadCoefficients& b)
{
    return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
}

bool same (const BiquadDesigner::State& a, const BiquadDesigner::State& b)
{
    return a.w0 == b.w0 && a.q == b.q && a.amplitude == b.amplitude && a.gain == b.gain && a.type == b.type
           && a.built == b.built;
}

bool isIdentity (const BiquadCoefficients& c)
{
    return same (c, BiquadCoefficients { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f });
}

void expectSameDesigns (const Ray& a, const Ray& b)
{
    for (int k = 0; k < Ray::numFilters; ++k)
    {
        EXPECT_TRUE (same (a.designs[k].state, b.designs[k].state)) << "filter " << k;
        EXPECT_TRUE (same (a.designs[k].coefficients, b.designs[k].coefficients)) << "filter " << k;
        EXPECT_TRUE (same (a.coefficients[k], b.coefficients[k])) << "filter " << k;
    }
}

double magnitudeDb (const BiquadCoefficients& c, double w)
{
    const std::complex<double> z1 = std::polar (1.0, -w), z2 = z1 * z1;
    const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
    return 20.0 * std::log10 (std::abs ((b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2)));
}

float amplitudeForDb (double db) { return (float) std::pow (10.0, db / 40.0); }
} // namespace

// ---------------------------------------------------------------- tables

TEST (InterpolationTaps, CatmullRomWeightsRoundedToFiveDecimals)
{
    for (int p = 0; p < 64; ++p)
    {
        const double t = 1.0 - p / 64.0;
        const double w[4] = { 0.5 * (-t * t * t + 2 * t * t - t), 0.5 * (3 * t * t * t - 5 * t * t + 2),
                              0.5 * (-3 * t * t * t + 4 * t * t + t), 0.5 * (t * t * t - t * t) };
        for (int m = 0; m < 4; ++m)
            EXPECT_EQ (InterpolationCoefficients::taps[p][m], (float) (std::round (w[m] * 1e5) / 1e5))
                << "phase " << p << " tap " << m;
    }
}

TEST (InterpolationTaps, QuotedPhases)
{
    const float phase0[4] = { 0.0f, 0.0f, 1.0f, 0.0f };
    const float phase32[4] = { -0.0625f, 0.5625f, 0.5625f, -0.0625f };
    for (int m = 0; m < 4; ++m)
    {
        EXPECT_EQ (InterpolationCoefficients::taps[0][m], phase0[m]);
        EXPECT_EQ (InterpolationCoefficients::taps[32][m], phase32[m]);
    }
}

TEST (HeadTables, HoldTheGivenValues)
{
    const float polar[] = { -2.4f, -3.2f, -3.5f, -3.4f, -3.0f, -2.6f, -2.0f, -1.4f, -0.7f, 0.0f, 2.2f, 5.0f, 7.0f,
                            8.1f,  8.8f,  8.2f,  6.3f,  4.6f,  4.0f,  4.0f,  4.4f,  6.2f,  7.0f, 7.2f, 6.4f, 3.2f,
                            1.4f,  0.0f,  -0.4f, -0.6f, -0.8f, -1.0f, -1.2f, -1.4f, -1.6f, -1.9f, -2.4f };
    const float lateralPeak[] = { -2.25f, -2.25f, -2.15f, -1.95f, -1.65f, -1.35f, -1.0f, -0.65f, -0.35f, 0.0f,
                                  0.35f,  0.75f,  1.15f,  1.5f,   2.0f,   2.45f,  2.95f, 3.35f,  3.8f };
    const float lateralShelf[] = { -11.5f, -10.4f, -8.9f, -7.2f, -5.5f, -3.8f, -2.4f, -1.5f, -0.7f, 0.0f,
                                   0.5f,   1.1f,   1.5f,  1.8f,  2.1f,  2.3f,  2.5f,  2.6f,  2.6f };
    const int itd[] = { 202, 183, 162, 146, 131, 119, 108, 100, 90, 79, 70, 60, 50, 41, 34, 27, 22, 19, 15,
                        13,  11,  9,   7,   6,   5,   4,   3,   3,  2,  2,  2,  1,  1,  1,  0,  0,  0 };
    const int extra[] = { 0, 1, 2, 3, 5, 7, 9, 11, 13, 14, 13, 11, 9, 7, 5, 3, 2, 1 };

    ASSERT_EQ (std::size (InterpolationCoefficients::polarPeakDb), std::size (polar));
    ASSERT_EQ (std::size (InterpolationCoefficients::lateralPeakDb), std::size (lateralPeak));
    ASSERT_EQ (std::size (InterpolationCoefficients::lateralShelfDb), std::size (lateralShelf));
    ASSERT_EQ (std::size (InterpolationCoefficients::itdMicroseconds), std::size (itd));
    ASSERT_EQ (std::size (InterpolationCoefficients::itdExtraMicroseconds), 37u);

    for (size_t i = 0; i < std::size (polar); ++i)
        EXPECT_EQ (InterpolationCoefficients::polarPeakDb[i], polar[i]) << i;
    for (size_t i = 0; i < std::size (lateralPeak); ++i)
    {
        EXPECT_EQ (InterpolationCoefficients::lateralPeakDb[i], lateralPeak[i]) << i;
        EXPECT_EQ (InterpolationCoefficients::lateralShelfDb[i], lateralShelf[i]) << i;
    }
    for (size_t i = 0; i < 37; ++i)
    {
        EXPECT_EQ (InterpolationCoefficients::itdMicroseconds[i], itd[i]) << i;
        EXPECT_EQ (InterpolationCoefficients::itdExtraMicroseconds[i], i < std::size (extra) ? extra[i] : 0) << i;
    }
}

TEST (TableLookup, WholeIndexesReadTheEntries)
{
    using T = InterpolationCoefficients;
    for (int i = 0; i < 37; ++i)
    {
        EXPECT_EQ (T::lookup (T::itdMicroseconds, (float) i), (float) T::itdMicroseconds[i]);
        EXPECT_EQ (T::lookupLinear (T::polarPeakDb, (float) i), T::polarPeakDb[i]);
    }
    for (int i = 0; i < 19; ++i)
        EXPECT_EQ (T::lookup (T::lateralShelfDb, (float) i), T::lateralShelfDb[i]);
}

TEST (TableLookup, FirstSegmentIsQuadratic)
{
    using T = InterpolationCoefficients;
    // Lateral angle -87.5: 202 + 0.5 (183 - 202)(0.25 + 0.5).
    EXPECT_EQ (T::lookup (T::itdMicroseconds, 0.5f), 194.875f);
    EXPECT_NEAR (T::lookup (T::itdMicroseconds, 0.25f), 202.0f - 9.5f * 0.3125f, 1e-4);
    EXPECT_NEAR (T::lookup (T::itdMicroseconds, 0.9999f), 183.0f, 0.01f);
    // Half the segment's slope at the edge, one and a half times at the inner end.
    const float h = 1e-3f;
    EXPECT_NEAR ((T::lookup (T::itdMicroseconds, h) - 202.0f) / h, 0.5f * -19.0f, 0.05f);
    EXPECT_NEAR ((183.0f - T::lookup (T::itdMicroseconds, 1.0f - h)) / h, 1.5f * -19.0f, 0.05f);
}

TEST (TableLookup, LastSegmentIsQuadratic)
{
    using T = InterpolationCoefficients;
    // 3.35 + 0.5 (3.35 - 3.8)(0.25 - 1.5)
    EXPECT_NEAR (T::lookup (T::lateralPeakDb, 17.5f), 3.63125f, 1e-5);
    EXPECT_NEAR (T::lookup (T::lateralPeakDb, 17.9999f), 3.8f, 1e-3);
    EXPECT_EQ (T::lookup (T::lateralPeakDb, 18.0f), 3.8f);
    const float h = 1e-3f;
    EXPECT_NEAR ((T::lookup (T::lateralPeakDb, 17.0f + h) - 3.35f) / h, 1.5f * 0.45f, 0.01f);
    EXPECT_NEAR ((3.8f - T::lookup (T::lateralPeakDb, 18.0f - h)) / h, 0.5f * 0.45f, 0.01f);
}

TEST (TableLookup, InnerSegmentsAndPolarTableAreLinear)
{
    using T = InterpolationCoefficients;
    EXPECT_FLOAT_EQ (T::lookup (T::itdMicroseconds, 10.25f), 67.5f);
    EXPECT_FLOAT_EQ (T::lookup (T::lateralShelfDb, 1.5f), -9.65f);
    EXPECT_FLOAT_EQ (T::lookupLinear (T::polarPeakDb, 0.5f), -2.8f);
    EXPECT_FLOAT_EQ (T::lookupLinear (T::polarPeakDb, 35.5f), -2.15f);
}

TEST (TableLookup, ContinuousOverTheWholeTable)
{
    using T = InterpolationCoefficients;
    const float h = 1e-4f;
    for (float x = 0.0f; x < 36.0f; x += 0.05f)
    {
        EXPECT_NEAR (T::lookup (T::itdMicroseconds, x), T::lookup (T::itdMicroseconds, x + h), 0.01f) << x;
        EXPECT_NEAR (T::lookup (T::itdExtraMicroseconds, x), T::lookup (T::itdExtraMicroseconds, x + h), 0.01f) << x;
        EXPECT_NEAR (T::lookupLinear (T::polarPeakDb, x), T::lookupLinear (T::polarPeakDb, x + h), 0.01f) << x;
        if (x < 18.0f)
        {
            EXPECT_NEAR (T::lookup (T::lateralPeakDb, x), T::lookup (T::lateralPeakDb, x + h), 0.01f) << x;
        }
    }
}

TEST (TableLookup, IndexesOutsideTheTableAreClamped)
{
    using T = InterpolationCoefficients;
    EXPECT_EQ (T::lookup (T::itdMicroseconds, -3.0f), 202.0f);
    EXPECT_EQ (T::lookup (T::itdMicroseconds, 36.00001f), 0.0f);
    EXPECT_EQ (T::lookup (T::lateralShelfDb, 50.0f), 2.6f);
    EXPECT_EQ (T::lookup (T::lateralShelfDb, std::nanf ("")), -11.5f);
    EXPECT_EQ (T::lookupLinear (T::polarPeakDb, 36.5f), -2.4f);
}

// ---------------------------------------------------------------- compile

TEST (RayModel, NewRayIsNeutral)
{
    const Ray ray (1, 2);
    EXPECT_EQ (ray.gain, 0.5f);
    EXPECT_EQ (ray.ear, 1);
    EXPECT_EQ (ray.order, 2);
    EXPECT_EQ (ray.currentDelay, 0.0f);
    EXPECT_EQ (ray.targetDelay, 0.0f);
    for (int k = 0; k < Ray::numFilters; ++k)
    {
        EXPECT_TRUE (isIdentity (ray.designs[k].coefficients));
        EXPECT_TRUE (isIdentity (ray.coefficients[k]));
        EXPECT_TRUE (same (ray.designs[k].state, BiquadDesigner::State { 0.02f, 1.0f, 1.0f, 1.0f, 0, false }));
        EXPECT_EQ (ray.contexts[k].s1, 0.0f);
        EXPECT_EQ (ray.contexts[k].s2, 0.0f);
    }
}

TEST (RayModel, MedianPlaneSourceGivesIdenticalEars)
{
    const Settings s;
    for (Position p : { Position { 0, 2, 0 }, Position { 0, -1.5f, 1 }, Position { 0, 0.5f, -2 } })
    {
        const Ray left = compiled (0, s, p, 20.0f);
        const Ray right = compiled (1, s, p, 20.0f);
        EXPECT_EQ (left.targetDelay, right.targetDelay);
        EXPECT_EQ (left.gain, right.gain);
        expectSameDesigns (left, right);
    }
}

TEST (RayModel, MirroredSourceSwapsTheEars)
{
    const Settings s;
    const Position p { 1.2f, 0.7f, -0.4f }, mirrored { -1.2f, 0.7f, -0.4f };
    const Ray right = compiled (1, s, p);
    const Ray left = compiled (0, s, mirrored);
    EXPECT_EQ (left.targetDelay, right.targetDelay);
    expectSameDesigns (left, right);
}

TEST (RayModel, SourceOnTheRight)
{
    const Settings s;
    const Position p { 2.0f, 0.0f, 0.0f };
    const Ray left = compiled (0, s, p);
    const Ray right = compiled (1, s, p);

    // Right ear: 1.9285 m, lateral +90, no interaural delay.
    EXPECT_NEAR (right.targetDelay, (1.9285f - 1.5f) * s.samplesPerMetre + 4.0f, 1e-3);
    // Left ear: 2.0715 m, lateral -90, 202 us.
    EXPECT_NEAR (left.targetDelay, (2.0715f - 1.5f) * s.samplesPerMetre + 202.0f * s.samplesPerMicrosecond + 4.0f, 1e-3);
    EXPECT_NEAR (left.targetDelay - right.targetDelay, 0.143f * s.samplesPerMetre + 202.0f * s.samplesPerMicrosecond, 1e-3);
    EXPECT_NEAR (right.gain, 1.0f / 1.9285f, 1e-6);
    EXPECT_NEAR (left.gain, 1.0f / 2.0715f, 1e-6);
    // Lateral shelf at the table's ends: -11.5 dB far side, +2.6 dB near side.
    EXPECT_NEAR (left.designs[1].state.amplitude, amplitudeForDb (-11.5), 1e-5);
    EXPECT_NEAR (right.designs[1].state.amplitude, amplitudeForDb (2.6), 1e-5);
}

TEST (RayModel, LateralMinus87_5UsesTheFirstSegment)
{
    const Settings s;
    const Ray ray = compiled (1, s, fromRightEar (-87.5, 0.0, 2.0));
    const float rear = 1.0f - (float) std::cos (87.5 * degree);
    const float extra = 0.5f * 1.0f * 0.75f; // first segment of itdExtraMicroseconds
    const float expected = 0.5f * s.samplesPerMetre + (194.875f + extra * rear) * s.samplesPerMicrosecond + 4.0f;
    EXPECT_NEAR (ray.targetDelay, expected, 2e-3);
    EXPECT_EQ (ray.currentDelay, ray.targetDelay);
}

TEST (RayModel, RearFactorWeighsTheExtraDelay)
{
    const Settings s;
    // Lateral -45 (index 9): 79 us plus up to 14 us extra.
    const Ray front = compiled (1, s, fromRightEar (-45.0, 0.0, 2.0));
    const Ray behind = compiled (1, s, fromRightEar (-45.0, 180.0, 2.0));
    const float base = 0.5f * s.samplesPerMetre + 4.0f;
    const float c = (float) std::cos (45.0 * degree);
    EXPECT_NEAR (front.targetDelay, base + (79.0f + 14.0f * (1.0f - c)) * s.samplesPerMicrosecond, 2e-3);
    EXPECT_NEAR (behind.targetDelay, base + (79.0f + 14.0f) * s.samplesPerMicrosecond, 2e-3);

    // Straight ahead of the ear: front factor 1, nothing extra.
    const Ray ahead = compiled (1, s, fromRightEar (-5.0, 0.0, 2.0));
    EXPECT_NEAR (ahead.targetDelay, base + (19.0f + 1.0f * (1.0f - (float) std::cos (5.0 * degree))) * s.samplesPerMicrosecond, 2e-3);
}

TEST (RayModel, GainFollowsTheInverseDistance)
{
    const Settings s;
    Ray ray (1, 0);
    compile (ray, s, fromRightEar (10.0, 30.0, 3.0), true, 0.0f, 0.6f);
    EXPECT_NEAR (ray.gain, 0.2f, 1e-6);
}

TEST (RayModel, SourceAtTheEarStaysFinite)
{
    const Settings s;
    Ray ray (1, 0);
    compile (ray, s, { earOffset, 0.0f, 0.0f }, true);
    EXPECT_TRUE (std::isfinite (ray.gain));
    EXPECT_TRUE (std::isfinite (ray.targetDelay));
    for (const auto& c : ray.coefficients)
        EXPECT_TRUE (std::isfinite (c.b0) && std::isfinite (c.b1) && std::isfinite (c.a1) && std::isfinite (c.a2));
}

TEST (RayModel, ReflectionAngleFilter)
{
    const Settings s;
    const Position p = fromRightEar (20.0, 10.0, 2.0);
    for (float angle : { 0.0f, 7.5f })
    {
        const Ray ray = compiled (1, s, p, angle);
        EXPECT_EQ (ray.designs[0].state.amplitude, 1.0f);
        EXPECT_TRUE (isIdentity (ray.coefficients[0]));
    }

    const Ray steep = compiled (1, s, p, 88.5f);
    const auto& st = steep.designs[0].state;
    EXPECT_EQ (st.type, BiquadDesigner::highShelf);
    EXPECT_EQ (st.w0, s.radiansPerSample * 1400.0f);
    EXPECT_EQ (st.q, 0.22f);
    EXPECT_EQ (st.gain, 1.0f);
    EXPECT_NEAR (st.amplitude, amplitudeForDb (-10.0), 1e-6);
    EXPECT_NEAR (magnitudeDb (steep.coefficients[0], 3.14159265358979), -10.0, 1e-3);

    const Ray middle = compiled (1, s, p, 30.0f);
    EXPECT_NEAR (middle.designs[0].state.amplitude, amplitudeForDb (-22.5 / 8.1), 1e-6);
}

namespace
{
struct Expected
{
    double lateral, polar;
    float shelfDb, lateralPeakDb, lateralPeakQ, frontSlope, polarQ;
};
} // namespace

TEST (RayModel, HeadModelFilterTargets)
{
    const Settings s;
    const Expected cases[] = {
        { 0.0, 0.0, 0.0f, 0.0f, 0.8f, 1.33f, 0.85f },
        { -50.0, 150.0, -5.5f, -1.65f, 1.2f, 0.8f, 0.85f },
        { 30.0, -60.0, 1.5f, 1.15f, 0.8f, 0.8f, 1.1f },
    };
    for (const auto& e : cases)
    {
        SCOPED_TRACE (testing::Message() << "lateral " << e.lateral << " polar " << e.polar);
        const Ray ray = compiled (1, s, fromRightEar (e.lateral, e.polar, 2.0));
        const auto* d = ray.designs;

        EXPECT_EQ (d[1].state.type, BiquadDesigner::highShelf);
        EXPECT_EQ (d[2].state.type, BiquadDesigner::peak);
        EXPECT_EQ (d[3].state.type, BiquadDesigner::highShelf);
        EXPECT_EQ (d[4].state.type, BiquadDesigner::peak);
        EXPECT_EQ (d[1].state.w0, s.radiansPerSample * 4500.0f);
        EXPECT_EQ (d[2].state.w0, s.radiansPerSample * 7000.0f);
        EXPECT_EQ (d[3].state.w0, s.radiansPerSample * 11000.0f);
        EXPECT_EQ (d[4].state.w0, s.radiansPerSample * 7000.0f);
        for (int k = 0; k < Ray::numFilters; ++k)
            EXPECT_EQ (d[k].state.gain, 1.0f);

        EXPECT_EQ (d[1].state.q, 0.7f);
        EXPECT_NEAR (d[1].state.amplitude, amplitudeForDb (e.shelfDb), 1e-5);
        EXPECT_EQ (d[2].state.q, e.lateralPeakQ);
        EXPECT_NEAR (d[2].state.amplitude, amplitudeForDb (e.lateralPeakDb), 1e-5);

        const double c = std::cos (e.polar * degree) * std::cos (e.lateral * degree);
        EXPECT_EQ (d[3].state.q, e.frontSlope);
        EXPECT_NEAR (d[3].state.amplitude, amplitudeForDb (3.5 * c * c * c - 1.3), 1e-5);

        const double polarIndex = (e.polar + 90.0) / 10.0;
        double polarDb = 0.92 * std::abs (std::cos (e.lateral * degree))
                         * InterpolationCoefficients::polarPeakDb[(int) std::lround (polarIndex)];
        if (polarDb < 0)
            polarDb *= 0.6;
        EXPECT_EQ (d[4].state.q, e.polarQ);
        EXPECT_NEAR (d[4].state.amplitude, amplitudeForDb (polarDb), 1e-5);

        for (int k = 1; k < Ray::numFilters; ++k)
        {
            BiquadCoefficients c2;
            BiquadDesigner::buildFromState (c2, d[k].state);
            EXPECT_TRUE (same (c2, ray.coefficients[k])) << "filter " << k;
            EXPECT_TRUE (d[k].state.built);
        }
    }
    // A level of exactly 0 dB takes the first Q and gives a flat filter.
    const Ray ahead = compiled (1, s, { earOffset, 2.0f, 0.0f });
    EXPECT_TRUE (isIdentity (ahead.coefficients[1]));
    EXPECT_TRUE (isIdentity (ahead.coefficients[2]));
}

TEST (RayModel, ForceBringsEveryParameterToItsTarget)
{
    const Settings s;
    const Position p1 = fromRightEar (-60.0, 20.0, 2.0), p2 = fromRightEar (40.0, 160.0, 3.0);
    Ray ray (1, 0);
    compile (ray, s, p1, true, 30.0f);
    compile (ray, s, p2, true, 60.0f);
    const Ray fresh = compiled (1, s, p2, 60.0f);
    expectSameDesigns (ray, fresh);
    EXPECT_EQ (ray.targetDelay, fresh.targetDelay);
    EXPECT_EQ (ray.currentDelay, fresh.targetDelay);
    EXPECT_EQ (ray.gain, fresh.gain);
}

TEST (RayModel, WithoutForceFiltersGlideHalfWay)
{
    const Settings s;
    const Position p1 = fromRightEar (-60.0, 20.0, 2.0), p2 = fromRightEar (40.0, 160.0, 3.0);
    Ray ray = compiled (1, s, p1);
    const Ray start = ray;
    const Ray goal = compiled (1, s, p2);

    compile (ray, s, p2, false);
    for (int k = 1; k < Ray::numFilters; ++k)
    {
        const auto& a = start.designs[k].state;
        const auto& b = goal.designs[k].state;
        const auto& now = ray.designs[k].state;
        EXPECT_EQ (now.w0, a.w0) << k;
        EXPECT_EQ (now.amplitude, a.amplitude + (b.amplitude - a.amplitude) * 0.5f) << k;
        EXPECT_EQ (now.q, a.q == b.q ? a.q : a.q + (b.q - a.q) * 0.5f) << k;
        BiquadCoefficients c;
        BiquadDesigner::buildFromState (c, now);
        EXPECT_TRUE (same (c, ray.designs[k].coefficients)) << k;
    }

    // The glide ends exactly on the targets, and then nothing moves.
    const auto arrived = [&] {
        for (int k = 1; k < Ray::numFilters; ++k)
            if (! same (ray.designs[k].state, goal.designs[k].state))
                return false;
        return true;
    };
    int compiles = 1;
    while (! arrived() && compiles < 100)
    {
        compile (ray, s, p2, false);
        ++compiles;
    }
    EXPECT_LT (compiles, 40);
    ray.takeUpdate();
    for (int k = 1; k < Ray::numFilters; ++k)
    {
        EXPECT_TRUE (same (ray.designs[k].state, goal.designs[k].state)) << k;
        EXPECT_TRUE (same (ray.coefficients[k], goal.coefficients[k])) << k;
    }
    const Ray settled = ray;
    compile (ray, s, p2, false);
    ray.takeUpdate();
    expectSameDesigns (ray, settled);
}

TEST (RayModel, WithoutForceFilterZeroAndCurrentDelayStay)
{
    const Settings s;
    const Position p1 = fromRightEar (-60.0, 20.0, 2.0), p2 = fromRightEar (40.0, 160.0, 3.0);
    Ray ray = compiled (1, s, p1, 88.5f);
    const Ray before = ray;
    const Ray goal = compiled (1, s, p2, 0.0f);

    compile (ray, s, p2, false, 0.0f);
    EXPECT_TRUE (same (ray.designs[0].state, before.designs[0].state));
    EXPECT_TRUE (same (ray.designs[0].coefficients, before.designs[0].coefficients));
    EXPECT_EQ (ray.currentDelay, before.currentDelay);

    // The renderer's fields change only when the audio side takes the update.
    EXPECT_EQ (ray.targetDelay, before.targetDelay);
    EXPECT_EQ (ray.gain, before.gain);
    ray.takeUpdate();
    EXPECT_EQ (ray.targetDelay, goal.targetDelay);
    EXPECT_EQ (ray.gain, goal.gain);
    EXPECT_EQ (ray.currentDelay, before.currentDelay);
    EXPECT_TRUE (same (ray.coefficients[0], before.coefficients[0]));
    for (int k = 1; k < Ray::numFilters; ++k)
        EXPECT_TRUE (same (ray.coefficients[k], ray.designs[k].coefficients)) << k;
}

TEST (RayModel, SamePositionWithoutForceChangesNothing)
{
    const Settings s;
    const Position p = fromRightEar (25.0, 100.0, 2.5);
    Ray ray = compiled (1, s, p, 40.0f);
    const Ray before = ray;
    compile (ray, s, p, false, 40.0f);
    ray.takeUpdate();
    expectSameDesigns (ray, before);
    EXPECT_EQ (ray.targetDelay, before.targetDelay);
    EXPECT_EQ (ray.currentDelay, before.currentDelay);
}

TEST (RayModel, FirstCompileWithoutForceDesignsFiltersOneToFour)
{
    const Settings s;
    Ray ray (0, 0);
    compile (ray, s, { 1.0f, 1.0f, 0.5f }, false, 50.0f);
    EXPECT_FALSE (ray.designs[0].state.built);
    EXPECT_TRUE (same (ray.designs[0].state, Ray().designs[0].state));
    const int32_t types[] = { 0, BiquadDesigner::highShelf, BiquadDesigner::peak, BiquadDesigner::highShelf,
                              BiquadDesigner::peak };
    for (int k = 1; k < Ray::numFilters; ++k)
    {
        EXPECT_EQ (ray.designs[k].state.type, types[k]);
        EXPECT_TRUE (ray.designs[k].state.built);
    }
}

TEST (RayModel, HandOverKeepsTheNewestCompile)
{
    const Settings s;
    Ray ray = compiled (1, s, fromRightEar (0.0, 0.0, 2.0));
    compile (ray, s, fromRightEar (30.0, 0.0, 2.0), false);
    compile (ray, s, fromRightEar (60.0, 0.0, 3.0), false);
    const Ray goal = compiled (1, s, fromRightEar (60.0, 0.0, 3.0));
    ray.takeUpdate();
    EXPECT_EQ (ray.targetDelay, goal.targetDelay);
    EXPECT_EQ (ray.gain, goal.gain);
    ray.targetDelay = 7.0f;
    ray.takeUpdate(); // nothing new
    EXPECT_EQ (ray.targetDelay, 7.0f);
}

TEST (RayModel, DelayFollowsTheSampleRate)
{
    Settings s48;
    s48.setSampleRate (48000.0f);
    Settings s96;
    s96.setSampleRate (96000.0f);
    const Position p = fromRightEar (-30.0, 45.0, 4.0);
    const Ray a = compiled (1, s48, p), b = compiled (1, s96, p);
    EXPECT_NEAR (b.targetDelay - 4.0f, 2.0f * (a.targetDelay - 4.0f), 1e-3);
    EXPECT_EQ (b.designs[2].state.w0, s96.radiansPerSample * 7000.0f);
}
