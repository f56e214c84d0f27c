#include "trackerui/SpriteSheet.h"

#include <gtest/gtest.h>

using HeadPanel::SpriteImage;
using HeadPanel::SpriteScale;

TEST (SpriteSheet, ScaleFollowsTheMainDisplaysDotsPerInch)
{
    const struct
    {
        double dpi;
        SpriteScale scale;
    } cases[] {
        { 384.0, SpriteScale::three },  { 192.01, SpriteScale::three }, { 192.0, SpriteScale::oneAndHalf },
        { 144.0, SpriteScale::oneAndHalf }, { 96.01, SpriteScale::oneAndHalf }, { 96.0, SpriteScale::one },
        { 72.0, SpriteScale::one },     { 0.0, SpriteScale::one },
    };
    for (const auto& c : cases)
        EXPECT_EQ (HeadPanel::scaleForDpi (c.dpi), c.scale) << c.dpi << " dpi";

    juce::Displays::Display display {};
    display.dpi = 200.0;
    EXPECT_EQ (HeadPanel::scaleForDisplay (&display), SpriteScale::three);
    EXPECT_EQ (HeadPanel::scaleForDisplay (nullptr), SpriteScale::one);
    // This machine's display list (empty without an X display) must not crash.
    const auto scale = HeadPanel::scaleForMainDisplay();
    EXPECT_TRUE (scale == SpriteScale::one || scale == SpriteScale::oneAndHalf || scale == SpriteScale::three);
}

TEST (SpriteSheet, EmbeddedSheetHoldsEveryImageAndNothingElse)
{
    const auto sheet = HeadPanel::loadSpriteSheet();
    ASSERT_TRUE (sheet.isValid());
    EXPECT_EQ (sheet.getWidth(), 440);
    EXPECT_EQ (sheet.getHeight(), 180);
    EXPECT_TRUE (sheet.hasAlphaChannel());

    juce::RectangleList<int> used;
    for (auto image : { SpriteImage::settings, SpriteImage::connectMain, SpriteImage::connectAlternative })
    {
        for (bool dark : { true, false })
        {
            for (auto scale : { SpriteScale::three, SpriteScale::oneAndHalf, SpriteScale::one })
            {
                const auto area = HeadPanel::spriteRectangle (image, dark, scale);
                used.add (area);

                // Some ink, of the variant's brightness.
                int inked = 0;
                for (int y = area.getY(); y < area.getBottom(); ++y)
                {
                    for (int x = area.getX(); x < juce::jmin (area.getRight(), 440); ++x)
                    {
                        const auto p = sheet.getPixelAt (x, y);
                        if (p.getAlpha() == 255)
                        {
                            ++inked;
                            EXPECT_EQ (p.getBrightness() > 0.5f, dark) << x << ", " << y;
                        }
                    }
                }
                EXPECT_GT (inked, area.getWidth() * area.getHeight() / 40) << area.toString();
            }
        }
    }

    int strayInk = 0;
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 440; ++x)
            if (! used.containsPoint ({ x, y }) && sheet.getPixelAt (x, y).getAlpha() != 0)
                ++strayInk;
    EXPECT_EQ (strayInk, 0);
}

TEST (SpriteSheet, CutImagesAreClippedToTheSheetAndOwnTheirPixels)
{
    auto sheet = HeadPanel::loadSpriteSheet();
    const struct
    {
        SpriteImage image;
        SpriteScale scale;
        int width, height;
    } cases[] {
        { SpriteImage::settings, SpriteScale::three, 156, 120 },
        { SpriteImage::settings, SpriteScale::oneAndHalf, 76, 60 },
        { SpriteImage::settings, SpriteScale::one, 50, 40 }, // its rectangle reaches past the edge
        { SpriteImage::connectMain, SpriteScale::oneAndHalf, 30, 30 },
        { SpriteImage::connectAlternative, SpriteScale::one, 20, 20 },
    };

    for (const auto& c : cases)
    {
        const auto area = HeadPanel::spriteRectangle (c.image, true, c.scale);
        const auto cut = HeadPanel::cutSprite (sheet, area);
        ASSERT_TRUE (cut.isValid());
        EXPECT_EQ (cut.getWidth(), c.width);
        EXPECT_EQ (cut.getHeight(), c.height);

        const auto before = cut.getPixelAt (c.width / 2, c.height / 2);
        sheet.setPixelAt (area.getX() + c.width / 2, area.getY() + c.height / 2, juce::Colours::red);
        EXPECT_EQ (cut.getPixelAt (c.width / 2, c.height / 2), before);
    }

    EXPECT_FALSE (HeadPanel::cutSprite ({}, { 0, 0, 10, 10 }).isValid());
    EXPECT_FALSE (HeadPanel::cutSprite (sheet, { 500, 0, 10, 10 }).isValid());
}
