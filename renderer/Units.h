#pragma once

#include <cmath>

// The engine's units: angles in degrees and radians, levels in dB.
namespace Zeph
{
constexpr float pi = 3.1415927f; // the float nearest to pi
constexpr float twoPi = 2.0f * pi;

inline float degreesToRadians (float degrees) noexcept { return degrees * pi / 180.0f; }
inline float radiansToDegrees (float radians) noexcept { return radians * 180.0f / pi; }

// The linear gain of a level: 10^(dB/20). Not juce::Decibels::decibelsToGain: its
// dB * 0.05f differs from dB / 20 in the last bit at some levels (-6.3 dB), changing the output.
inline float decibelsToGain (float dB) noexcept { return std::pow (10.0f, dB / 20.0f); }

// The linear gain of a level, where -60 dB and below mean off.
inline float levelToGain (float dB) noexcept { return dB <= -60.0f ? 0.0f : decibelsToGain (dB); }

// The amplitude A of a shelf or peak filter of the given gain: 10^(dB/40).
inline float filterAmplitude (float dB) noexcept { return std::pow (10.0f, dB / 40.0f); }
} // namespace Zeph
