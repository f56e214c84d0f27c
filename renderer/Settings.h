#pragma once

#include "renderer/Units.h"

#include <cstdint>

namespace Zeph
{
// Sample-rate constants shared by the whole renderer.
struct Settings
{
    int32_t filterMask = 3;                              // bit k lets head-model filter k run on static rays
    float radiansPerSample = twoPi / 44100.0f;                  // 2 pi / fs
    float samplesPerMicrosecond = 44100.0f / 1000000.0f; // fs / 10^6
    float samplesPerMetre = 44100.0f / 343.0f;           // fs / 343
    float rateRatio = 44100.0f / 48000.0f;               // fs / 48000

    // Recomputes the rate constants for fs; filterMask stays as it is.
    void setSampleRate (float fs) noexcept
    {
        radiansPerSample = twoPi / fs;
        samplesPerMicrosecond = fs / 1000000.0f;
        samplesPerMetre = fs / 343.0f;
        rateRatio = fs / 48000.0f;
    }
};
} // namespace Zeph
