#pragma once

#include "plugin/editor/FaderScale.h"

#include <juce_gui_basics/juce_gui_basics.h>

// A horizontal 33-step fader that fills from the left, with a dB read-out
// under the end of the fill. Mouse changes reach the listener at once;
// repaints wait for a 30 ms timer.
class FaderBar : public juce::Component,
                 private juce::Timer
{
public:
    using Mode = FaderScale::Mode;

    class Listener
    {
    public:
        virtual ~Listener() = default;
        // The position changed by the mouse; read it with getPosition().
        virtual void faderChanged() = 0;
    };

    static constexpr int repaintDelayMs = 30;

    explicit FaderBar (Listener* listenerToUse);
    ~FaderBar() override;

    // A new mode also resets the position to that mode's 0 dB step.
    void setMode (Mode newMode);
    // Ignores values above 32; tells no listener.
    void setPosition (uint8_t value);

    uint8_t getPosition() const noexcept { return position; }
    Mode getMode() const noexcept { return mode; }
    bool isHovering() const noexcept { return hover; }
    bool isDragging() const noexcept { return dragging; }
    bool isRepaintPending() const noexcept { return repaintPending; }

    void mouseMove (const juce::MouseEvent& event) override;
    void mouseExit (const juce::MouseEvent& event) override;
    void mouseDown (const juce::MouseEvent& event) override;
    void mouseDrag (const juce::MouseEvent& event) override;
    void mouseUp (const juce::MouseEvent& event) override;
    void paint (juce::Graphics& g) override;

private:
    void timerCallback() override;
    void requestRepaint();
    // Moves to the step under x, if any, and tells the listener.
    void moveTo (float x);

    Listener* listener;
    bool repaintPending = false;
    bool hover = false;
    bool dragging = false;
    uint8_t position = 0;
    Mode mode = Mode::none;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FaderBar)
};
