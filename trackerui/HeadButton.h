#pragma once

#include "trackerui/Deadline.h"
#include "trackerui/Theme.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace HeadPanel
{
// A small image button of the head panel. It reports a click as soon as the
// mouse is pressed, shows a hover fill if asked to, and repaints through a
// 16 ms one-shot timer so that quick mouse movements cost one repaint.
class HeadButton : public juce::Component,
                   public juce::Timer
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void headButtonClick (int id) = 0;
    };

    static constexpr int repaintDelayMs = 16;

    HeadButton (Listener* listener, const Theme* theme, int id, int width, int height, bool hoverHighlight);
    ~HeadButton() override = default;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void paint (juce::Graphics& g) override;
    void timerCallback() override;

    // Schedules a repaint 16 ms from now (a pending one is pushed back).
    void scheduleRepaint();

    Listener* listener;
    const Theme* theme;
    juce::Image mainImage;
    juce::Image altImage;
    int id;
    bool hover = false;
    bool useAltImage = false;
    bool hoverHighlight;
    bool repaintPending = false;
    Deadline repaintDue;

private:
    JUCE_DECLARE_NON_COPYABLE (HeadButton)
};
} // namespace HeadPanel
