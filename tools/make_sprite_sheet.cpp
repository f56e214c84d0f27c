// Draws the head buttons' sprite sheet: a 440 by 180 RGBA PNG with the settings
// symbol (a gear) and the two connection symbols (a plug in its socket, and the
// plug pulled out) at display scales 3, 1.5 and 1, for dark and light themes.
//
//   make_sprite_sheet trackerui/images/mini_tile.png
//   make_sprite_sheet --check trackerui/images/mini_tile.png   (exit 1 if it differs)

#include "trackerui/SpriteSheet.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>

namespace
{
using HeadPanel::SpriteImage;
using HeadPanel::SpriteScale;

constexpr juce::uint32 darkThemeInk = 0xffe8e8e8;  // light symbols for dark backgrounds
constexpr juce::uint32 lightThemeInk = 0xff282828; // dark symbols for light backgrounds

float scaleFactor (SpriteScale scale)
{
    return scale == SpriteScale::three ? 3.0f : scale == SpriteScale::oneAndHalf ? 1.5f : 1.0f;
}

// A gear of eight teeth with a hole, 26 units across at scale 1.
juce::Path gear (juce::Point<float> centre, float s)
{
    juce::Path path;
    constexpr int teeth = 8;
    const float outer = 13.0f * s, inner = 10.0f * s;
    const float step = juce::MathConstants<float>::twoPi / (float) teeth;

    for (int i = 0; i < teeth; ++i)
    {
        const float a = (float) i * step;
        const float corners[] { a - 0.30f * step, a - 0.18f * step, a + 0.18f * step, a + 0.30f * step };
        const float radii[] { inner, outer, outer, inner };
        for (int k = 0; k < 4; ++k)
        {
            const auto p = centre.getPointOnCircumference (radii[k], corners[k]);
            if (i == 0 && k == 0)
                path.startNewSubPath (p);
            else
                path.lineTo (p);
        }
        path.addCentredArc (centre.x, centre.y, inner, inner, 0.0f, a + 0.30f * step, a + 0.70f * step);
    }
    path.closeSubPath();
    path.addEllipse (centre.x - 4.5f * s, centre.y - 4.5f * s, 9.0f * s, 9.0f * s);
    path.setUsingNonZeroWinding (false);
    return path;
}

// A plug and its socket on one cable, 20 units square at scale 1. Pulled out,
// the two halves stand apart with a break between them.
void drawConnection (juce::Graphics& g, juce::Rectangle<float> area, float s, bool pulledOut)
{
    const auto c = area.getCentre();
    const float gap = pulledOut ? 3.0f * s : 0.0f;
    const float cable = 1.6f * s;

    // Cables to the left and right edges.
    g.fillRect (juce::Rectangle<float> (area.getX() + 1.0f * s, c.y - cable / 2, 5.0f * s - gap, cable));
    g.fillRect (juce::Rectangle<float> (c.x + 4.0f * s + gap, c.y - cable / 2, area.getRight() - c.x - 5.0f * s - gap, cable));

    // Plug body with two pins, and the socket.
    g.fillRoundedRectangle (juce::Rectangle<float> (c.x - 5.0f * s - gap, c.y - 3.5f * s, 4.0f * s, 7.0f * s), 1.0f * s);
    g.fillRect (juce::Rectangle<float> (c.x - 1.0f * s - gap, c.y - 2.5f * s, 2.0f * s, 1.2f * s));
    g.fillRect (juce::Rectangle<float> (c.x - 1.0f * s - gap, c.y + 1.3f * s, 2.0f * s, 1.2f * s));
    g.fillRoundedRectangle (juce::Rectangle<float> (c.x + 1.0f * s + gap, c.y - 4.0f * s, 3.5f * s, 8.0f * s), 1.0f * s);

    if (pulledOut)
    {
        // A slash through the break.
        g.drawLine (c.x - 2.5f * s, c.y + 6.0f * s, c.x + 2.5f * s, c.y - 6.0f * s, 1.2f * s);
    }
}

void drawSprite (juce::Graphics& g, const juce::Image& sheet, SpriteImage image, bool dark, SpriteScale scale)
{
    // The scale 1 settings rectangle is clipped by the sheet: draw into what is left.
    const auto area = HeadPanel::spriteRectangle (image, dark, scale).getIntersection (sheet.getBounds()).toFloat();
    const float s = scaleFactor (scale);

    const juce::Graphics::ScopedSaveState state (g);
    g.reduceClipRegion (area.toNearestInt());
    g.setColour (juce::Colour (dark ? darkThemeInk : lightThemeInk));

    if (image == SpriteImage::settings)
        g.fillPath (gear (area.getCentre(), s));
    else
        drawConnection (g, area, s, image == SpriteImage::connectAlternative);
}

juce::Image drawSheet()
{
    juce::Image sheet (juce::Image::ARGB, HeadPanel::spriteSheetWidth, HeadPanel::spriteSheetHeight, true,
                       juce::SoftwareImageType());
    juce::Graphics g (sheet);
    for (auto image : { SpriteImage::settings, SpriteImage::connectMain, SpriteImage::connectAlternative })
        for (bool dark : { true, false })
            for (auto scale : { SpriteScale::three, SpriteScale::oneAndHalf, SpriteScale::one })
                drawSprite (g, sheet, image, dark, scale);
    return sheet;
}

// Whether the PNG file holds the pixels drawn here, as a PNG stores them.
bool fileMatches (const juce::File& file, const juce::Image& drawn)
{
    juce::MemoryOutputStream png;
    juce::PNGImageFormat().writeImageToStream (drawn, png);
    const auto expected = juce::ImageFileFormat::loadFrom (png.getData(), png.getDataSize());
    const auto stored = juce::ImageFileFormat::loadFrom (file);
    if (! stored.isValid() || stored.getBounds() != expected.getBounds())
        return false;
    for (int y = 0; y < expected.getHeight(); ++y)
        for (int x = 0; x < expected.getWidth(); ++x)
            if (stored.getPixelAt (x, y) != expected.getPixelAt (x, y))
                return false;
    return true;
}
} // namespace

int main (int argc, char** argv)
{
    const bool check = argc == 3 && juce::String (argv[1]) == "--check";
    if (argc != 2 && ! check)
    {
        std::cerr << "usage: make_sprite_sheet [--check] FILE.png\n";
        return 2;
    }

    const juce::File file (juce::File::getCurrentWorkingDirectory().getChildFile (argv[argc - 1]));
    const auto sheet = drawSheet();

    if (check)
    {
        if (fileMatches (file, sheet))
            return 0;
        std::cerr << file.getFullPathName() << " is not what make_sprite_sheet draws\n";
        return 1;
    }

    file.deleteFile();
    juce::FileOutputStream out (file);
    if (! out.openedOk() || ! juce::PNGImageFormat().writeImageToStream (sheet, out))
    {
        std::cerr << "cannot write " << file.getFullPathName() << "\n";
        return 1;
    }
    return 0;
}
