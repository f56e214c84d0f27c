#include "UiTesting.h"
#include "trackerui/HeadButton.h"

#include <gtest/gtest.h>

using namespace UiTesting;

namespace
{
struct ClickRecorder : HeadPanel::HeadButton::Listener
{
    void headButtonClick (int id) override { clicks.push_back (id); }
    std::vector<int> clicks;
};

// Notes each repaint the button's timer makes, and when.
struct WatchedButton : HeadPanel::HeadButton
{
    using HeadButton::HeadButton;

    void timerCallback() override
    {
        const bool pending = repaintPending;
        HeadButton::timerCallback();
        if (pending && ! repaintPending)
            repaints.push_back (juce::Time::getMillisecondCounterHiRes());
    }

    std::vector<double> repaints;
};

juce::Image solidImage (int w, int h, juce::Colour colour)
{
    juce::Image image (juce::Image::ARGB, w, h, true);
    image.clear (image.getBounds(), colour);
    return image;
}

constexpr juce::uint32 background = 0xff202020;
} // namespace

TEST (HeadButton, ClickFiresOnThePressOnly)
{
    ClickRecorder recorder;
    HeadPanel::HeadButton button (&recorder, &DarkTheme, 7, 52, 40, true);
    EXPECT_EQ (button.getWidth(), 52);
    EXPECT_EQ (button.getHeight(), 40);

    button.mouseDown (mouseEventFor (button));
    EXPECT_EQ (recorder.clicks, std::vector<int> { 7 });
    button.mouseUp (mouseEventFor (button));
    EXPECT_EQ (recorder.clicks, std::vector<int> { 7 });
}

TEST (HeadButton, QuickMovementsCostOneRepaintAfterTheLast)
{
    ManualClock clock;
    WatchedButton button (nullptr, &DarkTheme, 0, 52, 40, true);
    button.repaintDue.useClock (&clock);

    button.mouseEnter (mouseEventFor (button));
    clock.advanceUs (5000);
    pump (5);
    button.mouseExit (mouseEventFor (button));
    button.mouseEnter (mouseEventFor (button));

    // Nothing before the last movement's delay is over, however long the loop runs.
    clock.advanceUs (HeadPanel::HeadButton::repaintDelayMs * 1000 - 1);
    pump (30);
    EXPECT_TRUE (button.repaints.empty());

    clock.advanceUs (1);
    ASSERT_TRUE (pumpUntil ([&] { return ! button.repaints.empty(); }));
    pump (60);
    ASSERT_EQ (button.repaints.size(), 1u);
    EXPECT_FALSE (button.repaintPending);
}

TEST (HeadButton, HoverFillOnlyOnTheSettingsButtonAndNotAfterARelease)
{
    const auto highlight = blended (DarkTheme.highlight, background);
    const auto plain = juce::Colour (background);

    HeadPanel::HeadButton settings (nullptr, &DarkTheme, 0, 52, 40, true);
    HeadPanel::HeadButton connect (nullptr, &DarkTheme, 1, 20, 20, false);

    auto corner = [&] (HeadPanel::HeadButton& b) { return paintOver (b, plain).getPixelAt (1, 1); };

    EXPECT_TRUE (closeTo (corner (settings), plain));
    settings.mouseEnter (mouseEventFor (settings));
    EXPECT_TRUE (closeTo (corner (settings), highlight)) << corner (settings).toString();
    settings.mouseDown (mouseEventFor (settings));
    EXPECT_TRUE (closeTo (corner (settings), highlight));
    settings.mouseUp (mouseEventFor (settings));
    EXPECT_TRUE (closeTo (corner (settings), plain));

    connect.mouseEnter (mouseEventFor (connect));
    EXPECT_TRUE (closeTo (corner (connect), plain));
}

TEST (HeadButton, ImageIsFittedAndTakesOnlyTheOpacityOfTheThemeColour)
{
    const auto plain = juce::Colour (background);
    const auto white = juce::Colours::white;

    // Dimmed: the settings button draws at controlDim's opacity (0x50).
    HeadPanel::HeadButton settings (nullptr, &DarkTheme, 0, 52, 40, true);
    settings.mainImage = solidImage (156, 120, white); // a scale 3 image, drawn at a third
    auto image = paintOver (settings, plain);
    EXPECT_TRUE (closeTo (image.getPixelAt (26, 20), blended (0x50ffffff, background)))
        << image.getPixelAt (26, 20).toString();
    EXPECT_TRUE (closeTo (image.getPixelAt (1, 1), blended (0x50ffffff, background)));

    // Full opacity, the alternative image, centred: 20 wide in a 20 by 20 button.
    HeadPanel::HeadButton connect (nullptr, &DarkTheme, 1, 20, 20, false);
    connect.mainImage = solidImage (20, 20, juce::Colours::red);
    connect.altImage = solidImage (10, 20, juce::Colours::blue);
    connect.useAltImage = true;
    image = paintOver (connect, plain);
    EXPECT_EQ (image.getPixelAt (10, 10), juce::Colours::blue);
    EXPECT_EQ (image.getPixelAt (2, 10), plain);

    // No image: nothing drawn.
    connect.altImage = {};
    EXPECT_EQ (paintOver (connect, plain).getPixelAt (10, 10), plain);
}
