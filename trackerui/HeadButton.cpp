#include "trackerui/HeadButton.h"

namespace HeadPanel
{
HeadButton::HeadButton (Listener* listenerToUse, const Theme* themeToUse, int buttonId, int width, int height,
                        bool withHoverHighlight)
    : listener (listenerToUse), theme (themeToUse), id (buttonId), hoverHighlight (withHoverHighlight)
{
    setSize (width, height);
}

void HeadButton::scheduleRepaint()
{
    repaintPending = true;
    repaintDue.startFromNow (repaintDelayMs);
    startTimer (repaintDelayMs);
}

void HeadButton::mouseEnter (const juce::MouseEvent&)
{
    hover = true;
    scheduleRepaint();
}

void HeadButton::mouseExit (const juce::MouseEvent&)
{
    hover = false;
    scheduleRepaint();
}

// The highlight stays off after a click until the mouse leaves and comes back.
void HeadButton::mouseUp (const juce::MouseEvent&)
{
    hover = false;
    scheduleRepaint();
}

void HeadButton::mouseDown (const juce::MouseEvent&)
{
    if (listener != nullptr)
        listener->headButtonClick (id);
}

void HeadButton::timerCallback()
{
    if (repaintDue.restartIfEarly (*this))
        return;

    stopTimer();
    if (repaintPending)
    {
        repaintPending = false;
        repaint();
    }
}

void HeadButton::paint (juce::Graphics& g)
{
    if (hoverHighlight && hover)
        g.fillAll (juce::Colour (theme->highlight));

    // Only the colour's opacity counts: images keep their own colours.
    g.setColour (juce::Colour (hoverHighlight ? theme->controlDim : theme->controlText));

    const auto& image = useAltImage ? altImage : mainImage;
    if (image.isValid())
        g.drawImageWithin (image, 0, 0, getWidth(), getHeight(), juce::RectanglePlacement::centred, false);
}
} // namespace HeadPanel
