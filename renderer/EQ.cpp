#include "renderer/EQ.h"

#include "renderer/Finite.h"
#include "renderer/Units.h"

#include <cmath>

// SSE2, the x86-64 baseline, runs the left and right filters in one vector.
#if defined(__x86_64__) && defined(__SSE2__)
 #define ZEPH_EQ_PAIRS 1
 #include <immintrin.h>
#else
 #define ZEPH_EQ_PAIRS 0
#endif

namespace Zeph
{
namespace
{
constexpr int32_t peak = 0;
constexpr int32_t highShelf = 1;
constexpr int32_t lowPass = 3;
constexpr int32_t highPass = 4;

struct SlotSpec
{
    int32_t type;
    float frequency;     // Hz
    float q;             // Q, or the slope of a shelf
    float dB;            // gain of a peak or shelf
};

constexpr SlotSpec slots[EQ::numSlots] = {
    { peak, 40.0f, 2.0f, -6.0f },
    { highPass, 110.0f, 1.0f, 0.0f },
    { lowPass, 4000.0f, 0.7f, 0.0f },
    { highShelf, 2500.0f, 0.54f, 2.5f },
    { peak, 4100.0f, 1.0f, 3.5f },
    { highPass, 90.0f, 1.4f, 0.0f },
    { lowPass, 16000.0f, 1.4f, 0.0f },
};

// Designs closer to half the sample rate than this collapse in single precision.
constexpr float maxW0 = 0.999f * pi;

constexpr BiquadCoefficients identity { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };
} // namespace

BiquadDesigner::State EQ::slotDesign (int slot, const Settings& settings) noexcept
{
    const SlotSpec& spec = slots[slot];
    BiquadDesigner::State state;
    state.w0 = settings.radiansPerSample * spec.frequency;
    state.q = spec.q;
    state.amplitude = filterAmplitude (spec.dB);
    state.gain = 1.0f;
    state.type = spec.type;
    state.built = false;
    return state;
}

bool EQ::slotFitsRate (int slot, const Settings& settings) noexcept
{
    const float w0 = settings.radiansPerSample * slots[slot].frequency;
    return w0 > 0.0f && w0 < maxW0; // false for NaN too
}

void EQ::setSamplingFrequency (const Settings& settings) noexcept
{
    for (int slot = 0; slot < numSlots; ++slot)
    {
        BiquadCoefficients designed = identity;
        if (slotFitsRate (slot, settings))
            BiquadDesigner::buildFromState (designed, slotDesign (slot, settings));
        coefficients[slot] = designed;
    }
}

void EQ::resetContexts() noexcept
{
    for (auto& slot : contexts)
        for (auto& context : slot)
            context = BiquadContext { 0.0f, 0.0f };
}

template <int count>
void EQ::runSlots (int first, float* outL, float* outR, int32_t n) noexcept
{
#if ZEPH_EQ_PAIRS
    // The left and right filters of a slot side by side in the two low lanes.
    __m128 b0[count], b1[count], b2[count], a1[count], a2[count], s1[count], s2[count];
    for (int k = 0; k < count; ++k)
    {
        const BiquadCoefficients& c = coefficients[first + k];
        b0[k] = _mm_set1_ps (c.b0);
        b1[k] = _mm_set1_ps (c.b1);
        b2[k] = _mm_set1_ps (c.b2);
        a1[k] = _mm_set1_ps (c.a1);
        a2[k] = _mm_set1_ps (c.a2);
        s1[k] = _mm_setr_ps (contexts[first + k][0].s1, contexts[first + k][1].s1, 0.0f, 0.0f);
        s2[k] = _mm_setr_ps (contexts[first + k][0].s2, contexts[first + k][1].s2, 0.0f, 0.0f);
    }

    // One step of the transposed direct form II, as Biquad computes it.
    for (int32_t i = 0; i < n; ++i)
    {
        __m128 x = _mm_unpacklo_ps (_mm_load_ss (outL + i), _mm_load_ss (outR + i));
        for (int k = 0; k < count; ++k)
        {
            const __m128 y = _mm_add_ps (_mm_mul_ps (b0[k], x), s1[k]);
            s1[k] = _mm_sub_ps (_mm_add_ps (_mm_mul_ps (b1[k], x), s2[k]), _mm_mul_ps (a1[k], y));
            s2[k] = _mm_sub_ps (_mm_mul_ps (b2[k], x), _mm_mul_ps (a2[k], y));
            x = y;
        }
        _mm_store_ss (outL + i, x);
        _mm_store_ss (outR + i, _mm_shuffle_ps (x, x, _MM_SHUFFLE (1, 1, 1, 1)));
    }

    for (int k = 0; k < count; ++k)
    {
        alignas (16) float state1[4], state2[4];
        _mm_store_ps (state1, s1[k]);
        _mm_store_ps (state2, s2[k]);
        contexts[first + k][0] = BiquadContext { state1[0], state2[0] };
        contexts[first + k][1] = BiquadContext { state1[1], state2[1] };
    }
#else
    BiquadCoefficients c[count];
    BiquadContext left[count];
    BiquadContext right[count];
    for (int k = 0; k < count; ++k)
    {
        c[k] = coefficients[first + k];
        left[k] = contexts[first + k][0];
        right[k] = contexts[first + k][1];
    }

    // One step of the transposed direct form II, as Biquad computes it.
    auto step = [] (float x, BiquadContext& s, const BiquadCoefficients& f) noexcept {
        const float y = f.b0 * x + s.s1;
        s.s1 = f.b1 * x + s.s2 - f.a1 * y;
        s.s2 = f.b2 * x - f.a2 * y;
        return y;
    };

    for (int32_t i = 0; i < n; ++i)
    {
        float l = outL[i];
        float r = outR[i];
        for (int k = 0; k < count; ++k)
        {
            l = step (l, left[k], c[k]);
            r = step (r, right[k], c[k]);
        }
        outL[i] = l;
        outR[i] = r;
    }

    for (int k = 0; k < count; ++k)
    {
        contexts[first + k][0] = left[k];
        contexts[first + k][1] = right[k];
    }
#endif
    Finite::resetIfNonFinite (&contexts[first][0], 2 * count);
}

void EQ::roomStage (float* outL, float* outR, int32_t n, bool loudspeakerEq) noexcept
{
    if (n <= 0)
        return;
    if (loudspeakerEq)
        runSlots<3> (0, outL, outR, n);
    else
        runSlots<1> (0, outL, outR, n);
}

void EQ::outputStage (float* outL, float* outR, int32_t n) noexcept
{
    if (n <= 0)
        return;
    runSlots<numSlots - 3> (3, outL, outR, n);
}
} // namespace Zeph
