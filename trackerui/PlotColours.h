#pragma once

#include "trackerui/PointPlanes.h"
#include "trackerui/Theme.h"

namespace HeadPanel
{
// Colour and stroke width of each depth plane of the wireframe: plane 0 takes
// the theme's front values, plane 15 its back values, the planes between are
// shaded along ShadeCurve (colours) and evenly (widths).
struct PlotColours
{
    explicit PlotColours (const Theme* theme);

    const Theme* theme;
    juce::Colour lineColours[PointPlanes::numPlanes];
    float lineWidths[PointPlanes::numPlanes]; // in unit-head units
};

// One 8-bit channel between front (w = 0) and back (w = 1), truncated.
juce::uint8 shadeChannel (juce::uint8 front, juce::uint8 back, float w) noexcept;
} // namespace HeadPanel
