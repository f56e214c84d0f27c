#include "trackerui/PlotColours.h"

#include "trackerui/HeadOutline.h"

namespace HeadPanel
{
juce::uint8 shadeChannel (juce::uint8 front, juce::uint8 back, float w) noexcept
{
    return (juce::uint8) (int) ((float) front * (1.0f - w) + (float) back * (1.0f - (1.0f - w)));
}

PlotColours::PlotColours (const Theme* themeToUse) : theme (themeToUse)
{
    const juce::Colour front (theme->lineFront), back (theme->lineBack);
    constexpr int last = PointPlanes::numPlanes - 1;

    for (int i = 0; i < PointPlanes::numPlanes; ++i)
    {
        lineWidths[i] = ((float) (last - i) * theme->lineWidthFront + (float) i * theme->lineWidthBack) / (float) last;

        const float w = ShadeCurve[i];
        lineColours[i] = juce::Colour (shadeChannel (front.getRed(), back.getRed(), w),
                                       shadeChannel (front.getGreen(), back.getGreen(), w),
                                       shadeChannel (front.getBlue(), back.getBlue(), w),
                                       shadeChannel (front.getAlpha(), back.getAlpha(), w));
    }
}
} // namespace HeadPanel
