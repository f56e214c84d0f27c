#pragma once

#include <array>

// The faders' trim tables in dB, indexed 0..32.
inline constexpr std::array<float, 33> VolumeTrimDb {
    -20.0f, -19.0f, -18.0f, -17.0f, -16.0f, -15.0f, -14.0f, -13.0f, -12.0f, -11.0f, -10.0f,
    -9.0f, -8.0f, -7.0f, -6.0f, -5.5f, -5.0f, -4.5f, -4.0f, -3.5f, -3.0f, -2.5f, -2.0f,
    -1.5f, -1.0f, -0.5f, 0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 2.5f, 3.0f
};

inline constexpr std::array<float, 33> ReverbRatioDb {
    -20.0f, -17.5f, -15.0f, -12.5f, -10.0f, -8.0f, -7.0f, -6.0f, -5.0f, -4.0f, -3.0f,
    -2.5f, -2.0f, -1.5f, -1.0f, -0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
    0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f
};
