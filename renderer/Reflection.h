#pragma once

#include "renderer/Ray.h"
#include "renderer/Settings.h"
#include "shared/HeadMatrix.h"

#include <cstdint>

namespace Zeph
{
// One sound path from a loudspeaker channel to the listener: the direct
// sound, an image source of the walls, or the desk or floor reflection.
// Only the direct sound follows the head; every other path stays put.
struct Reflection
{
    uint8_t channel = 0;       // input channel whose signal this path carries
    float position[3] {};      // metres from the head centre, before head rotation
    float angle = 0.0f;        // reflection angle in degrees (0 for the direct sound)
    float refDistance = 1.5f;  // a path of this length has no distance delay
    float gain = 1.0f;         // linear gain before the rays' 1/r law
    bool isDirect = false;     // order 0: head-tracked, moving rays
    bool isDeskReflection = false;
    bool isFloorReflection = false;
    Ray left;                  // ear 0
    Ray right;                 // ear 1

    Reflection (uint8_t channelIndex, uint8_t order, const float (&sourcePosition)[3],
                float reflectionAngle, float pathGain) noexcept;

    // Brings both rays up to date. The direct sound is compiled at its
    // position turned by the head matrix (if any), with the caller's force;
    // any other path is compiled only when force is set.
    void compile (const HeadMatrix* headMatrix, const Settings& settings, bool force) noexcept;
};
} // namespace Zeph
