#pragma once

#include "renderer/Biquad.h"
#include "renderer/Mailbox.h"

namespace Zeph
{
// What one compile hands to the renderer: the values that follow the head.
struct RayUpdate
{
    float gain = 0.5f;
    float targetDelay = 0.0f;
    BiquadCoefficients coefficients[4]; // filters 1 to 4
};

// From the compiling thread to the audio thread.
using RayMailbox = Mailbox<RayUpdate>;
} // namespace Zeph
