#include "trackerui/SpriteSheet.h"

#include "HeadPanelImages.h"

namespace HeadPanel
{
namespace BinaryData
{
// The embedded sheet under the name the head panel knows it by.
static const char* const mini_tile_data_array = mini_tile_png;
static const size_t mini_tile_data_size = (size_t) mini_tile_pngSize;
} // namespace BinaryData

namespace
{
struct SpriteRow
{
    juce::Rectangle<int> dark[3];  // scale 3, 1.5, 1
    juce::Rectangle<int> light[3];
};

constexpr int scaleColumn (SpriteScale scale) noexcept
{
    return scale == SpriteScale::three ? 0 : scale == SpriteScale::oneAndHalf ? 1 : 2;
}

const SpriteRow& rowOf (SpriteImage image) noexcept
{
    static const SpriteRow settings {
        { { 0, 0, 156, 120 }, { 312, 0, 76, 60 }, { 390, 0, 52, 40 } },
        { { 156, 0, 156, 120 }, { 312, 60, 76, 60 }, { 390, 40, 52, 40 } }
    };
    static const SpriteRow connectMain {
        { { 0, 120, 60, 60 }, { 240, 120, 30, 30 }, { 300, 120, 20, 20 } },
        { { 120, 120, 60, 60 }, { 270, 120, 30, 30 }, { 320, 120, 20, 20 } }
    };
    static const SpriteRow connectAlternative {
        { { 60, 120, 60, 60 }, { 240, 150, 30, 30 }, { 300, 140, 20, 20 } },
        { { 180, 120, 60, 60 }, { 270, 150, 30, 30 }, { 320, 140, 20, 20 } }
    };

    switch (image)
    {
        case SpriteImage::settings: return settings;
        case SpriteImage::connectMain: return connectMain;
        case SpriteImage::connectAlternative: break;
    }
    return connectAlternative;
}
} // namespace

juce::Rectangle<int> spriteRectangle (SpriteImage image, bool darkImages, SpriteScale scale) noexcept
{
    const auto& row = rowOf (image);
    return (darkImages ? row.dark : row.light)[scaleColumn (scale)];
}

SpriteScale scaleForDpi (double dotsPerInch) noexcept
{
    if (dotsPerInch > 192.0)
        return SpriteScale::three;
    if (dotsPerInch > 96.0)
        return SpriteScale::oneAndHalf;
    return SpriteScale::one;
}

SpriteScale scaleForDisplay (const juce::Displays::Display* mainDisplay) noexcept
{
    return mainDisplay != nullptr ? scaleForDpi (mainDisplay->dpi) : SpriteScale::one;
}

SpriteScale scaleForMainDisplay()
{
    return scaleForDisplay (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay());
}

juce::Image loadSpriteSheet()
{
    return juce::ImageFileFormat::loadFrom (BinaryData::mini_tile_data_array, BinaryData::mini_tile_data_size);
}

juce::Image cutSprite (const juce::Image& sheet, juce::Rectangle<int> area)
{
    if (! sheet.isValid())
        return {};

    const auto clipped = area.getIntersection (sheet.getBounds());
    if (clipped.isEmpty())
        return {};

    // A clipped image shares the sheet's pixels; keep a copy of its own.
    return sheet.getClippedImage (clipped).createCopy();
}
} // namespace HeadPanel
