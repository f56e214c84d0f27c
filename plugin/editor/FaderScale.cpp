#include "plugin/editor/FaderScale.h"

#include "plugin/TrimTables.h"

#include <algorithm>

namespace FaderScale
{
uint8_t defaultPosition (Mode mode) noexcept
{
    return mode == Mode::volumeTrim ? 26 : 16;
}

std::optional<uint8_t> positionAt (float x, int width) noexcept
{
    if (width <= 0)
        return std::nullopt;
    const float t = x / (float) width;
    if (! (t >= 0.0f && t <= 1.0f))
        return std::nullopt;
    return (uint8_t) std::min (maxPosition, (int) (t * (float) (maxPosition + 1)));
}

int fillWidth (int width, int position) noexcept
{
    return width * position / maxPosition;
}

int readoutX (int width, int position) noexcept
{
    constexpr int half = readoutWidth / 2;
    if (width * position < half * maxPosition)
        return 0;
    const int end = fillWidth (width, position);
    return end <= width - half ? end - half : width - readoutWidth;
}

float readoutDb (Mode mode, int position) noexcept
{
    const auto p = (size_t) std::clamp (position, 0, maxPosition);
    if (mode == Mode::volumeTrim)
        return VolumeTrimDb[p];

    // The reverb ratio reads as a balance: room cut below the middle, direct sound cut above it.
    const float directCut = ReverbRatioDb[(size_t) maxPosition - p];
    const float value = directCut != 0.0f ? -directCut : ReverbRatioDb[p];
    return value == 0.0f ? 0.0f : value;
}

juce::String readoutText (Mode mode, int position)
{
    return juce::String::formatted ("%.1f", (double) readoutDb (mode, position)) + " dB";
}
} // namespace FaderScale
