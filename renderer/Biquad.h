#pragma once

#include <cstdint>

namespace Zeph
{
// Coefficients of one second-order section, normalised so that a0 = 1.
// The filter subtracts a1 and a2. Default-constructed as the identity.
struct BiquadCoefficients
{
    float b0 = 1.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
    float a1 = 0.0f;
    float a2 = 0.0f;
};

// Running state of one biquad (transposed direct form II); zero at rest.
struct BiquadContext
{
    float s1 = 0.0f;
    float s2 = 0.0f;
};

struct BiquadDesigner
{
    enum Type : int32_t
    {
        peak = 0,
        highShelf = 1,
        lowShelf = 2,
        lowPass = 3,
        highPass = 4
    };

    // Design parameters of one biquad.
    struct State
    {
        float w0 = 0.02f;       // centre or corner frequency, radians per sample
        float q = 1.0f;         // Q (peak, low-pass, high-pass) or shelf slope S
        float amplitude = 1.0f; // A = 10^(dB/40)
        float gain = 1.0f;      // linear factor on b0, b1 and b2
        int32_t type = peak;
        bool built = false;     // kept by the caller; the designer ignores it
    };

    // Writes the coefficients for the given parameters. Unknown types leave
    // the coefficients untouched. Degenerate parameters are made safe:
    // non-finite values give the identity; w0, Q (or S) and A are held in
    // ranges whose poles stay inside the unit circle (w0 in (0, pi), A
    // within +-80 dB); a low-pass whose corner lies at or beyond half the
    // sample rate passes the band (times the gain); any design that would
    // still round onto the unit circle becomes the gain alone.
    static void buildFromState (BiquadCoefficients& coefficients, const State& state) noexcept;
};

struct Biquad
{
    // Filters n samples in place; the context carries over to the next call.
    static void processInPlace (BiquadContext& context, const BiquadCoefficients& coefficients,
                                float* samples, uint32_t n) noexcept;

    // Filters n samples from input into output (input is left as it is).
    static void processOverwrite (BiquadContext& context, const BiquadCoefficients& coefficients,
                                  const float* input, float* output, uint32_t n) noexcept;
};
} // namespace Zeph
