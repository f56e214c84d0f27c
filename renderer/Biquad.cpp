#include "renderer/Biquad.h"

#include "renderer/Units.h"

#include <algorithm>
#include <cmath>

namespace Zeph
{
namespace
{
// Limits that keep every design finite and its poles clear of the unit
// circle in single precision. Below minW0 cos(w0) is too close to 1 to be
// told apart from it (40 Hz at 500 kHz still lies above it); the Q of the
// poles is held at or below maxPoleQ.
constexpr float minW0 = 5.0e-4f;
constexpr float maxW0 = pi - 1.0e-3f;
constexpr float minPoleQ = 0.01f;
constexpr float maxPoleQ = 100.0f;
constexpr float maxShelfQ = 10.0f; // far above any useful slope
constexpr float minAmplitude = 0.01f; // -80 dB at a shelf's far end, -80 dB peak
constexpr float maxAmplitude = 100.0f;

void setIdentity (BiquadCoefficients& c, float gain) noexcept
{
    c.b0 = gain;
    c.b1 = 0.0f;
    c.b2 = 0.0f;
    c.a1 = 0.0f;
    c.a2 = 0.0f;
}

bool isKnownType (int32_t type) noexcept
{
    return type >= BiquadDesigner::peak && type <= BiquadDesigner::highPass;
}

bool allFiniteParameters (const BiquadDesigner::State& st) noexcept
{
    return std::isfinite (st.w0) && std::isfinite (st.q) && std::isfinite (st.amplitude)
           && std::isfinite (st.gain);
}

// Shelf alpha from the slope S: alpha = s/2 * sqrt((A + 1/A)(1/S - 1) + 2).
// The root is 1/Q of the shelf's poles; it is kept at or above 1/maxShelfQ,
// so a slope steeper than A allows cannot give a negative root.
float shelfAlpha (float s, float amplitude, float slope) noexcept
{
    const float inverseQSquared = (amplitude + 1.0f / amplitude) * (1.0f / slope - 1.0f) + 2.0f;
    const float floor = 1.0f / (maxShelfQ * maxShelfQ);
    return s / 2.0f * std::sqrt (std::max (inverseQSquared, floor));
}

void designPeak (BiquadCoefficients& out, float s, float c, float A, float g, float q) noexcept
{
    const float alpha = s / (2.0f * q);
    const float a0 = 1.0f + alpha / A;
    out.b0 = (1.0f + alpha * A) * g / a0;
    out.b1 = -2.0f * c * g / a0;
    out.b2 = (1.0f - alpha * A) * g / a0;
    out.a1 = -2.0f * c / a0;
    out.a2 = (1.0f - alpha / A) / a0;
}

void designHighShelf (BiquadCoefficients& out, float s, float c, float A, float g, float slope) noexcept
{
    const float alpha = shelfAlpha (s, A, slope);
    const float beta = 2.0f * std::sqrt (A) * alpha;
    const float a0 = (A + 1.0f) - (A - 1.0f) * c + beta;
    out.b0 = A * ((A + 1.0f) + (A - 1.0f) * c + beta) * g / a0;
    out.b1 = -2.0f * A * ((A - 1.0f) + (A + 1.0f) * c) * g / a0;
    out.b2 = A * ((A + 1.0f) + (A - 1.0f) * c - beta) * g / a0;
    out.a1 = 2.0f * ((A - 1.0f) - (A + 1.0f) * c) / a0;
    out.a2 = ((A + 1.0f) - (A - 1.0f) * c - beta) / a0;
}

void designLowShelf (BiquadCoefficients& out, float s, float c, float A, float g, float slope) noexcept
{
    const float alpha = shelfAlpha (s, A, slope);
    const float beta = 2.0f * std::sqrt (A) * alpha;
    const float a0 = (A + 1.0f) + (A - 1.0f) * c + beta;
    out.b0 = A * ((A + 1.0f) - (A - 1.0f) * c + beta) * g / a0;
    out.b1 = 2.0f * A * ((A - 1.0f) - (A + 1.0f) * c) * g / a0;
    out.b2 = A * ((A + 1.0f) - (A - 1.0f) * c - beta) * g / a0;
    out.a1 = -2.0f * ((A - 1.0f) + (A + 1.0f) * c) / a0;
    out.a2 = ((A + 1.0f) + (A - 1.0f) * c - beta) / a0;
}

void designLowPass (BiquadCoefficients& out, float s, float c, float g, float q) noexcept
{
    const float alpha = s / (2.0f * q);
    const float a0 = 1.0f + alpha;
    out.b0 = (1.0f - c) / 2.0f * g / a0;
    out.b1 = (1.0f - c) * g / a0;
    out.b2 = out.b0;
    out.a1 = -2.0f * c / a0;
    out.a2 = (1.0f - alpha) / a0;
}

void designHighPass (BiquadCoefficients& out, float s, float c, float g, float q) noexcept
{
    const float alpha = s / (2.0f * q);
    const float a0 = 1.0f + alpha;
    out.b0 = (1.0f + c) / 2.0f * g / a0;
    out.b1 = -(1.0f + c) * g / a0;
    out.b2 = out.b0;
    out.a1 = -2.0f * c / a0;
    out.a2 = (1.0f - alpha) / a0;
}

// True when both poles lie strictly inside the unit circle (the stability
// triangle), checked exactly on the stored single-precision values.
bool isStable (const BiquadCoefficients& c) noexcept
{
    const double a1 = c.a1;
    const double a2 = c.a2;
    return std::abs (a2) < 1.0 && std::abs (a1) < 1.0 + a2;
}

bool allFinite (const BiquadCoefficients& c) noexcept
{
    return std::isfinite (c.b0) && std::isfinite (c.b1) && std::isfinite (c.b2) && std::isfinite (c.a1)
           && std::isfinite (c.a2);
}

// One step of the transposed direct form II.
inline float tick (float x, float& s1, float& s2, const BiquadCoefficients& c) noexcept
{
    const float y = c.b0 * x + s1;
    s1 = c.b1 * x + s2 - c.a1 * y;
    s2 = c.b2 * x - c.a2 * y;
    return y;
}
} // namespace

void BiquadDesigner::buildFromState (BiquadCoefficients& coefficients, const State& st) noexcept
{
    if (! isKnownType (st.type))
        return;

    const bool peakOrShelf = st.type == peak || st.type == highShelf || st.type == lowShelf;
    if (peakOrShelf && st.amplitude == 1.0f && st.gain == 1.0f)
        return setIdentity (coefficients, 1.0f);

    if (! allFiniteParameters (st))
        return setIdentity (coefficients, 1.0f);

    const float g = st.gain;
    if (st.type == lowPass && st.w0 >= maxW0)
        return setIdentity (coefficients, g); // the whole band lies below the corner

    const float w0 = std::clamp (st.w0, minW0, maxW0);
    const float A = std::clamp (st.amplitude, minAmplitude, maxAmplitude);
    // A peak's poles have Q times A; every other kind's have Q (or the
    // shelf's own Q, limited in shelfAlpha).
    const float poleFactor = st.type == peak ? A : 1.0f;
    const float q = std::clamp (st.q, minPoleQ / std::min (poleFactor, 1.0f), maxPoleQ / std::max (poleFactor, 1.0f));
    const float s = std::sin (w0);
    const float c = std::cos (w0);

    BiquadCoefficients designed;
    switch (st.type)
    {
        case peak:      designPeak (designed, s, c, A, g, q); break;
        case highShelf: designHighShelf (designed, s, c, A, g, q); break;
        case lowShelf:  designLowShelf (designed, s, c, A, g, q); break;
        case lowPass:   designLowPass (designed, s, c, g, q); break;
        case highPass:  designHighPass (designed, s, c, g, q); break;
        default: break;
    }

    // Extreme combinations can still round onto or past the unit circle.
    if (allFinite (designed) && isStable (designed))
        coefficients = designed;
    else
        setIdentity (coefficients, g);
}

void Biquad::processInPlace (BiquadContext& context, const BiquadCoefficients& coefficients,
                             float* samples, uint32_t n) noexcept
{
    processOverwrite (context, coefficients, samples, samples, n);
}

void Biquad::processOverwrite (BiquadContext& context, const BiquadCoefficients& coefficients,
                               const float* input, float* output, uint32_t n) noexcept
{
    const BiquadCoefficients c = coefficients;
    float s1 = context.s1;
    float s2 = context.s2;

    for (uint32_t i = 0; i < n; ++i)
        output[i] = tick (input[i], s1, s2, c);

    context.s1 = s1;
    context.s2 = s2;
}
} // namespace Zeph
