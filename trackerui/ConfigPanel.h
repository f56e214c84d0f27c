#pragma once

#include "tracker/TrackerConnection.h"
#include "trackerui/Theme.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace ConfigPanel
{
// A label's height, font and colour.
enum class LabelStyle
{
    heading = 0, // 28 high, bold 15.5, Theme::headingText
    status = 2   // 24 high, plain 16, Theme::statusText
};

// Draws the tick box of a radio toggle as a ring with a dot when ticked. The
// ring takes the disabled-tick colour and the dot the tick colour, whatever the
// button's state.
class LookAndFeelRadio : public juce::LookAndFeel_V4
{
public:
    void drawTickBox (juce::Graphics& g, juce::Component& button, float x, float y, float w, float h,
                      bool ticked, bool isEnabled, bool isMouseOverButton, bool isButtonDown) override;
};

// The ring's and the dot's rectangles for a tick box; never of negative size.
juce::Rectangle<float> radioRing (float x, float y, float w, float h) noexcept;
juce::Rectangle<float> radioDot (float x, float y, float w, float h) noexcept;

// A 244-pixel column of labels, toggles and text buttons, laid out top down by
// a moving insertion point, coloured from a Theme, with an optional title strip.
// Subclasses see every button through click(), by its index in the order added.
class BasePanel : public juce::Component,
                  public juce::MultiTimer,
                  public juce::Button::Listener,
                  public Midi::TrackerConnection::PropertyListener
{
public:
    static constexpr int width = 244;
    static constexpr int repaintTimer = 0;
    static constexpr int repaintDelayMs = 16;

    BasePanel (const juce::String& title, const Theme* theme);
    ~BasePanel() override;

    // A button was pressed. index: its place in textButtons (isTextButton) or in
    // toggles, or -1 when it is in neither; state: the toggle's new state.
    virtual void click (bool isTextButton, int index, bool state) {}
    // The tracker the panel edits.
    virtual void trackerFocus (Midi::MidiScanner::Duplex* device, Tracker::Properties* record) {}
    void buttonClicked (juce::Button* button) override;
    // Enables or disables every button and toggle. Unlike juce::Component's, it
    // leaves the labels and the panel itself as they are.
    virtual void setEnabled (bool enabled);
    void timerCallback (int timerId) override;

    void paint (juce::Graphics& g) override;

    void setTheme (const Theme* themeToUse);
    void applyTheme();

    // Each advances position.y past what it added.
    juce::Label* addLabel (juce::Point<int>& position, const juce::String& text, LabelStyle style);
    juce::ToggleButton* addToggle (juce::Point<int>& position, const juce::String& text, int radioGroup);

    juce::String title;
    const Theme* theme;
    juce::OwnedArray<juce::Label> labels;
    juce::OwnedArray<juce::TextButton> textButtons;
    juce::OwnedArray<juce::ToggleButton> toggles;
    bool repaintRequested = false;
    LookAndFeelRadio radioLook;

    JUCE_DECLARE_NON_COPYABLE (BasePanel)
};
} // namespace ConfigPanel
