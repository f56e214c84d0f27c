#include "UiTesting.h"
#include "trackerui/ConfigPanel.h"

#include <gtest/gtest.h>

using namespace UiTesting;
using ConfigPanel::LabelStyle;

namespace
{
struct Click
{
    bool isTextButton;
    int index;
    bool state;
    bool operator== (const Click& o) const { return isTextButton == o.isTextButton && index == o.index && state == o.state; }
};

struct RecordingPanel : ConfigPanel::BasePanel
{
    using BasePanel::BasePanel;
    void click (bool isTextButton, int index, bool state) override { clicks.push_back ({ isTextButton, index, state }); }
    std::vector<Click> clicks;
};

// A panel with a heading, a radio pair, a plain toggle and a text button.
struct SmallPanel : RecordingPanel
{
    explicit SmallPanel (const juce::String& panelTitle) : RecordingPanel (panelTitle, &DarkTheme)
    {
        juce::Point<int> position (4, panelTitle.isEmpty() ? 2 : 22);
        addLabel (position, "Heading", LabelStyle::heading);
        addToggle (position, "A", 1);
        addToggle (position, "B", 1);
        addToggle (position, "Plain", -1);
        auto* button = textButtons.add (new juce::TextButton ("Go"));
        button->addListener (this);
        addAndMakeVisible (button);
        addLabel (position, "status", LabelStyle::status);
        setSize (width, position.y);
        setTheme (&DarkTheme);
    }
};
} // namespace

TEST (ConfigPanel, RowsAdvanceTheInsertionPoint)
{
    SmallPanel panel ("Title");
    EXPECT_EQ (panel.labels[0]->getBounds(), juce::Rectangle<int> (4, 22, 244, 28));
    EXPECT_EQ (panel.labels[0]->getName(), "0");
    EXPECT_TRUE (panel.labels[0]->getFont().isBold());
    EXPECT_FLOAT_EQ (panel.labels[0]->getFont().getHeight(), 15.5f);
    EXPECT_EQ (panel.toggles[0]->getBounds(), juce::Rectangle<int> (22, 53, 228, 22));
    EXPECT_EQ (panel.toggles[2]->getBounds(), juce::Rectangle<int> (22, 105, 228, 22));
    EXPECT_EQ (panel.labels[1]->getBounds(), juce::Rectangle<int> (4, 131, 244, 24));
    EXPECT_EQ (panel.labels[1]->getName(), "2");
    EXPECT_FALSE (panel.labels[1]->getFont().isBold());
    EXPECT_EQ (panel.getHeight(), 158);
    EXPECT_EQ (panel.toggles[0]->getRadioGroupId(), 1);
    EXPECT_EQ (panel.toggles[2]->getRadioGroupId(), 0);
}

TEST (ConfigPanel, ClicksReachTheHookByIndex)
{
    SmallPanel panel ({});
    panel.setEnabled (true);

    panel.toggles[1]->setToggleState (true, juce::sendNotificationSync);
    panel.toggles[0]->setToggleState (true, juce::sendNotificationSync); // switches B off first
    panel.toggles[2]->setToggleState (true, juce::sendNotificationSync);
    panel.textButtons[0]->triggerClick();
    pumpUntil ([&] { return panel.clicks.size() >= 5; });

    juce::TextButton stranger ("elsewhere");
    panel.buttonClicked (&stranger);
    juce::ToggleButton strangeToggle;
    strangeToggle.setToggleState (true, juce::dontSendNotification);
    panel.buttonClicked (&strangeToggle);
    panel.buttonClicked (nullptr);

    const std::vector<Click> expected { { false, 1, true },  { false, 1, false }, { false, 0, true }, { false, 2, true },
                                        { true, 0, false },  { true, -1, false }, { false, -1, true } };
    EXPECT_EQ (panel.clicks, expected);
}

TEST (ConfigPanel, ThemeColoursLabelsAndRadioTogglesOnly)
{
    SmallPanel panel ("Title");
    EXPECT_EQ (panel.labels[0]->findColour (juce::Label::textColourId).getARGB(), DarkTheme.headingText);
    EXPECT_EQ (panel.labels[1]->findColour (juce::Label::textColourId).getARGB(), DarkTheme.statusText);

    const auto radio = panel.toggles[0];
    EXPECT_EQ (radio->findColour (juce::ToggleButton::textColourId).getARGB(), DarkTheme.controlText);
    EXPECT_EQ (radio->findColour (juce::ToggleButton::tickColourId).getARGB(), DarkTheme.controlText);
    EXPECT_EQ (radio->findColour (juce::ToggleButton::tickDisabledColourId).getARGB(), DarkTheme.controlDim);

    juce::ToggleButton reference;
    for (auto id : { juce::ToggleButton::textColourId, juce::ToggleButton::tickColourId })
        EXPECT_EQ (panel.toggles[2]->findColour (id), reference.findColour (id));

    // Disabled: buttons grey out, labels keep their colours.
    panel.setEnabled (false);
    EXPECT_TRUE (panel.isEnabled());
    EXPECT_TRUE (panel.labels[0]->isEnabled());
    EXPECT_FALSE (panel.toggles[0]->isEnabled());
    EXPECT_FALSE (panel.textButtons[0]->isEnabled());
    EXPECT_EQ (panel.labels[0]->findColour (juce::Label::textColourId).getARGB(), DarkTheme.headingText);
}

TEST (ConfigPanel, TitleStripOrNothingAtAll)
{
    SmallPanel untitled ({});
    for (auto* child : untitled.getChildren())
        child->setVisible (false);
    juce::Image clear (juce::Image::ARGB, 244, 158, true);
    {
        juce::Graphics g (clear);
        untitled.paintEntireComponent (g, true);
    }
    EXPECT_EQ (countPixels (clear, juce::Colours::transparentBlack, clear.getBounds(), 0), 244 * 158);
    EXPECT_FALSE (untitled.isOpaque());

    SmallPanel titled ("Title");
    for (auto* child : titled.getChildren())
        child->setVisible (false);
    const auto image = paintOver (titled, juce::Colours::black);
    EXPECT_EQ (image.getPixelAt (230, 3).getARGB(), DarkTheme.titleBar);
    EXPECT_EQ (image.getPixelAt (230, 22).getARGB(), DarkTheme.titleBar);
    EXPECT_EQ (image.getPixelAt (230, 1), juce::Colours::black);
    EXPECT_EQ (image.getPixelAt (230, 23), juce::Colours::black);
    EXPECT_GT (countPixels (image, juce::Colour (DarkTheme.titleText), { 8, 4, 60, 19 }, 40), 5);
}

TEST (ConfigPanel, RadioTickBoxIgnoresTheButtonState)
{
    SmallPanel panel ({});
    auto& toggle = *panel.toggles[0];

    auto draw = [&] (bool ticked, bool enabled, bool highlighted, bool pressed)
    {
        juce::Image image (juce::Image::ARGB, 24, 24, true);
        juce::Graphics g (image);
        g.fillAll (juce::Colours::black);
        panel.radioLook.drawTickBox (g, toggle, 2, 2, 20, 20, ticked, enabled, highlighted, pressed);
        return image;
    };
    auto same = [] (const juce::Image& a, const juce::Image& b)
    {
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;
        return true;
    };

    const auto ticked = draw (true, true, false, false);
    EXPECT_TRUE (same (ticked, draw (true, false, false, false)));
    EXPECT_TRUE (same (ticked, draw (true, true, true, true)));
    EXPECT_FALSE (same (ticked, draw (false, true, false, false)));
    EXPECT_EQ (ticked.getPixelAt (12, 12).getARGB(), DarkTheme.controlText); // the dot
    EXPECT_TRUE (closeTo (draw (false, true, false, false).getPixelAt (12, 2), blended (DarkTheme.controlDim, 0xff000000), 40));

    EXPECT_EQ (ConfigPanel::radioRing (2, 3, 20, 16), juce::Rectangle<float> (2.5f, 3.5f, 19, 15));
    EXPECT_EQ (ConfigPanel::radioDot (2, 3, 20, 16), juce::Rectangle<float> (7.5f, 8.5f, 9, 5));
    EXPECT_EQ (ConfigPanel::radioDot (0, 0, 8, 8), juce::Rectangle<float> (5.5f, 5.5f, 0, 0));
    EXPECT_EQ (ConfigPanel::radioRing (0, 0, 0.5f, 0), juce::Rectangle<float> (0.5f, 0.5f, 0, 0));
}
