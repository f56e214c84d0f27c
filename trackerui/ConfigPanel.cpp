#include "trackerui/ConfigPanel.h"

namespace ConfigPanel
{
namespace
{
struct StyleLook
{
    int height;
    float fontHeight;
    bool bold;
};

StyleLook lookOf (LabelStyle style) noexcept
{
    return style == LabelStyle::heading ? StyleLook { 28, 15.5f, true } : StyleLook { 24, 16.0f, false };
}

juce::uint32 colourOf (LabelStyle style, const Theme& theme) noexcept
{
    return style == LabelStyle::heading ? theme.headingText : theme.statusText;
}

constexpr int toggleIndent = 18;
constexpr int toggleWidth = 228;
constexpr int toggleHeight = 22;
constexpr int toggleStep = 26;
constexpr int labelGap = 3;
} // namespace

//==============================================================================
juce::Rectangle<float> radioRing (float x, float y, float w, float h) noexcept
{
    return { x + 0.5f, y + 0.5f, juce::jmax (w - 1.0f, 0.0f), juce::jmax (h - 1.0f, 0.0f) };
}

juce::Rectangle<float> radioDot (float x, float y, float w, float h) noexcept
{
    return { x + 5.5f, y + 5.5f, juce::jmax (w - 11.0f, 0.0f), juce::jmax (h - 11.0f, 0.0f) };
}

void LookAndFeelRadio::drawTickBox (juce::Graphics& g, juce::Component& button, float x, float y, float w, float h,
                                    bool ticked, bool, bool, bool)
{
    g.setColour (button.findColour (juce::ToggleButton::tickDisabledColourId));
    g.drawEllipse (radioRing (x, y, w, h), 1.0f);

    if (ticked)
    {
        g.setColour (button.findColour (juce::ToggleButton::tickColourId));
        g.fillEllipse (radioDot (x, y, w, h));
    }
}

//==============================================================================
BasePanel::BasePanel (const juce::String& panelTitle, const Theme* themeToUse)
    : title (panelTitle), theme (themeToUse)
{
    setOpaque (false);
}

BasePanel::~BasePanel()
{
    // The toggles must not outlive the look-and-feel they point to.
    for (auto* toggle : toggles)
        toggle->setLookAndFeel (nullptr);
}

void BasePanel::setTheme (const Theme* themeToUse)
{
    theme = themeToUse;
    applyTheme();

    if (! repaintRequested)
    {
        repaintRequested = true;
        startTimer (repaintTimer, repaintDelayMs);
    }
}

void BasePanel::applyTheme()
{
    for (auto* label : labels)
    {
        const auto style = (LabelStyle) label->getName().getIntValue();
        label->setColour (juce::Label::textColourId, juce::Colour (colourOf (style, *theme)));
    }

    radioLook.setColour (juce::ToggleButton::textColourId, juce::Colour (theme->controlText));
    radioLook.setColour (juce::ToggleButton::tickColourId, juce::Colour (theme->controlText));
    radioLook.setColour (juce::ToggleButton::tickDisabledColourId, juce::Colour (theme->controlDim));
}

juce::Label* BasePanel::addLabel (juce::Point<int>& position, const juce::String& text, LabelStyle style)
{
    const auto look = lookOf (style);
    auto* label = labels.add (new juce::Label (juce::String ((int) style), text));
    label->setBounds (position.x, position.y, width, look.height);
    label->setFont (juce::Font (look.fontHeight, look.bold ? juce::Font::bold : juce::Font::plain));
    position.y += look.height + labelGap;
    addAndMakeVisible (label);
    return label;
}

juce::ToggleButton* BasePanel::addToggle (juce::Point<int>& position, const juce::String& text, int radioGroup)
{
    auto* toggle = toggles.add (new juce::ToggleButton (text));
    if (radioGroup >= 0)
    {
        toggle->setRadioGroupId (radioGroup);
        toggle->setLookAndFeel (&radioLook);
    }
    toggle->setBounds (position.x + toggleIndent, position.y, toggleWidth, toggleHeight);
    toggle->addListener (this);
    position.y += toggleStep;
    addAndMakeVisible (toggle);
    return toggle;
}

void BasePanel::buttonClicked (juce::Button* button)
{
    if (button == nullptr)
        return;

    if (auto* textButton = dynamic_cast<juce::TextButton*> (button))
        click (true, textButtons.indexOf (textButton), false);
    else if (auto* toggle = dynamic_cast<juce::ToggleButton*> (button))
        click (false, toggles.indexOf (toggle), toggle->getToggleState());
}

void BasePanel::setEnabled (bool enabled)
{
    for (auto* button : textButtons)
        button->setEnabled (enabled);
    for (auto* toggle : toggles)
        toggle->setEnabled (enabled);
}

void BasePanel::timerCallback (int timerId)
{
    if (timerId != repaintTimer)
        return;

    repaintRequested = false;
    repaint();
    stopTimer (repaintTimer);
}

void BasePanel::paint (juce::Graphics& g)
{
    if (title.isEmpty())
        return;

    g.setColour (juce::Colour (theme->titleBar));
    g.fillRect (0, 2, width, 21);
    g.setColour (juce::Colour (theme->titleText));
    g.setFont (juce::Font (16.0f));
    g.drawText (title, juce::Rectangle<int> (8, 4, 200, 200), juce::Justification::topLeft, true);
}
} // namespace ConfigPanel
