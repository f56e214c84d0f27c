#include "renderer/Biquad.h"

#include <algorithm>
#include <cmath>

namespace Zeph
{
namespace
{
constexpr float pi = 3.1415927f;

// Limits that keep every design finite and its poles inside the unit
// circle in single precision. Below minW0 cos(w0) is too close to 1 to be
// told apart from it; a Q of maxQ still leaves the poles clear of the circle.
constexpr float minW0 = 1.0e-3f;
constexpr float maxW0 = pi - 1.0e-3f;
constexpr float minQ = 1.0e-3f;
constexpr float maxQ = 1.0e3f;
constexpr float minAmplitude = 1.0e-4f;
constexpr float maxAmplitude = 1.0e4f;

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

bool allFinite (const BiquadDesigner::State& st) noexcept
{
    return std::isfinite (st.w0) && std::isfinite (st.q) && std::isfinite (st.amplitude)
           && std::isfinite (st.gain);
}

// Shelf alpha from the slope S: alpha = s/2 * sqrt((A + 1/A)(1/S - 1) + 2).
// The root is 1/Q of the shelf; it is kept at or above 1/maxQ so that a
// slope beyond the steepest one for A cannot give a negative root.
float shelfAlpha (float s, float amplitude, float slope) noexcept
{
    const float inverseQSquared = (amplitude + 1.0f / amplitude) * (1.0f / slope - 1.0f) + 2.0f;
    const float floor = 1.0f / (maxQ * maxQ);
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

    if (! allFinite (st))
        return setIdentity (coefficients, 1.0f);

    const float g = st.gain;
    if (st.type == lowPass && st.w0 >= maxW0)
        return setIdentity (coefficients, g); // the whole band lies below the corner

    const float w0 = std::clamp (st.w0, minW0, maxW0);
    const float q = std::clamp (st.q, minQ, maxQ);
    const float A = std::clamp (st.amplitude, minAmplitude, maxAmplitude);
    const float s = std::sin (w0);
    const float c = std::cos (w0);

    switch (st.type)
    {
        case peak:      designPeak (coefficients, s, c, A, g, q); break;
        case highShelf: designHighShelf (coefficients, s, c, A, g, q); break;
        case lowShelf:  designLowShelf (coefficients, s, c, A, g, q); break;
        case lowPass:   designLowPass (coefficients, s, c, g, q); break;
        case highPass:  designHighPass (coefficients, s, c, g, q); break;
        default: break;
    }
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
