#pragma once

#include "renderer/Biquad.h"
#include "renderer/Settings.h"

#include <cstdint>

namespace Zeph
{
// The fixed equaliser of the binaural output: seven biquad slots in two
// stages, each run on the left and the right output.
//   room stage:   slot 0 (40 Hz dip); slots 1 and 2 with the loudspeaker EQ
//   output stage: slots 3 to 6, only with the loudspeaker EQ
struct EQ
{
    static constexpr int numSlots = 7;

    BiquadCoefficients coefficients[numSlots] = {
        { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f }, { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f },
        { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f }, { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f },
        { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f }, { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f },
        { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f },
    };
    BiquadContext contexts[numSlots][2] = {}; // [slot][0 left, 1 right]

    // Designs the seven slots for the rate. The contexts are not touched.
    void setSamplingFrequency (const Settings& settings) noexcept;

    // Zeroes all fourteen contexts.
    void resetContexts() noexcept;

    // Slot 0, then slots 1 and 2 when loudspeakerEq is set.
    void roomStage (float* outL, float* outR, int32_t n, bool loudspeakerEq) noexcept;

    // Slots 3, 4, 5 and 6.
    void outputStage (float* outL, float* outR, int32_t n) noexcept;

    // The design state of a slot for a rate, as setSamplingFrequency uses it.
    static BiquadDesigner::State slotDesign (int slot, const Settings& settings) noexcept;

    // Whether a slot's design is usable at this rate. A slot whose frequency
    // reaches half the sample rate has no valid design and stays the identity.
    static bool slotFitsRate (int slot, const Settings& settings) noexcept;

private:
    // Slots first..first+count-1 in order on both outputs, in one pass: the
    // left and right filters of every slot run side by side, each exactly as
    // Biquad::processInPlace would run it over the block.
    template <int count>
    void runSlots (int first, float* outL, float* outR, int32_t n) noexcept;
};
} // namespace Zeph
