#pragma once

// When the direct sound of a loudspeaker reaches each ear, by the ray model
// worked out here on its own (not read back from the renderer).

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace RayArrival
{
// Interaural delay tables in microseconds over the lateral angle -90..90 in steps of 5.
inline constexpr std::array<float, 37> itdMicroseconds { 202, 183, 162, 146, 131, 119, 108, 100, 90, 79, 70, 60, 50,
                                                         41,  34,  27,  22,  19,  15,  13,  11,  9,  7,  6,  5,
                                                         4,   3,   3,   2,   2,   2,   1,   1,   1,  0,  0,  0 };
inline constexpr std::array<float, 37> itdExtraMicroseconds { 0, 1, 2, 3, 5, 7, 9, 11, 13, 14, 13, 11, 9,
                                                              7, 5, 3, 2, 1 };

inline constexpr float pi = 3.1415927f;
inline constexpr float earOffset = 0.0715f;      // metres from the head's centre
inline constexpr float referenceDistance = 1.5f; // a path this long has no distance delay
inline constexpr float speedOfSound = 343.0f;
inline constexpr float fixedDelay = 4.0f;        // samples, part of the ray's delay
inline constexpr float readOffset = 143.0f;      // samples a moving ray adds when reading

// Table lookup with quadratic end segments and linear inner ones.
inline float lookUp (const std::array<float, 37>& table, float x)
{
    const int last = (int) table.size() - 1;
    const int i = std::min ((int) std::floor (x), last);
    const float v = x - (float) i;
    if (v == 0.0f)
        return table[(size_t) i];
    if (i == 0)
        return table[0] + 0.5f * (table[1] - table[0]) * (v * v + v);
    if (i == last - 1)
        return table[(size_t) i] + 0.5f * (table[(size_t) i] - table[(size_t) last]) * (v * v - 3.0f * v);
    return table[(size_t) i] + v * (table[(size_t) i + 1] - table[(size_t) i]);
}

// Samples from the loudspeaker's signal to its direct sound in one ear (0 left, 1 right),
// for a loudspeaker at the given direction and distance and a head that looks ahead.
inline double expectedArrival (float azimuth, float elevation, float distance, int ear, double sampleRate)
{
    const float a = azimuth * pi / 180.0f, e = elevation * pi / 180.0f;
    float x = std::sin (a) * std::cos (e) * distance;
    const float y = std::cos (a) * std::cos (e) * distance;
    const float z = std::sin (e) * distance;

    // The left ear's frame is the mirror image of the right ear's.
    if (ear == 0)
        x = -x;
    x -= earOffset;

    const float d = std::sqrt (x * x + y * y + z * z);
    const float lateral = std::asin (x / d) * 180.0f / pi;
    const float polar = std::atan2 (z, y) * 180.0f / pi;
    const float front = std::cos (polar * pi / 180.0f) * std::cos (lateral * pi / 180.0f);
    const float rear = front < 0.0f ? 1.0f : 1.0f - front;

    const float u = (lateral + 90.0f) / 5.0f;
    const float microseconds = lookUp (itdMicroseconds, u) + lookUp (itdExtraMicroseconds, u) * rear;
    const double distanceDelay = (d - referenceDistance) * sampleRate / speedOfSound;
    return distanceDelay + microseconds * sampleRate / 1.0e6 + fixedDelay + readOffset;
}

// The first sample of the ear's output above a fifth of its peak before the reflections.
inline int onset (const juce::AudioBuffer<float>& output, int ear, int from, int to)
{
    to = std::min (to, output.getNumSamples());
    float peak = 0.0f;
    for (int i = from; i < to; ++i)
        peak = std::max (peak, std::abs (output.getSample (ear, i)));
    for (int i = from; i < to; ++i)
        if (std::abs (output.getSample (ear, i)) > 0.2f * peak)
            return i;
    return -1;
}
} // namespace RayArrival
