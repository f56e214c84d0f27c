#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <optional>

// The arithmetic of the editor's 33-step faders: where a pointer lands, how
// far the bar fills and what its dB read-out says.
namespace FaderScale
{
inline constexpr int maxPosition = 32;
inline constexpr int barHeight = 13;
inline constexpr int readoutWidth = 52;
inline constexpr int readoutHeight = 16;

// Which table the read-out shows. `none` is a fader that has no mode yet.
enum class Mode : int32_t
{
    none = -1,
    reverbRatio = 0,
    volumeTrim = 2
};

// The 0 dB position of a mode.
uint8_t defaultPosition (Mode mode) noexcept;

// The position under a pointer at x on a bar `width` pixels wide; none left
// or right of the bar.
std::optional<uint8_t> positionAt (float x, int width) noexcept;

// Width of the filled part of the bar.
int fillWidth (int width, int position) noexcept;

// Left edge of the read-out box: centred under the end of the fill, kept inside the bar.
int readoutX (int width, int position) noexcept;

// The value the read-out shows, in dB, never negative zero.
float readoutDb (Mode mode, int position) noexcept;

// "-20.0 dB", "0.0 dB", "3.0 dB".
juce::String readoutText (Mode mode, int position);
} // namespace FaderScale
