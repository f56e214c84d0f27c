#include "plugin/editor/FaderBar.h"

namespace
{
const juce::Colour enabledColour { 0xfff0f0f0 };
const juce::Colour disabledColour { 0xffa8a8a8 };
constexpr float hoverOpacity = 0.16f;
} // namespace

FaderBar::FaderBar (Listener* listenerToUse) : listener (listenerToUse) {}

FaderBar::~FaderBar()
{
    stopTimer();
}

void FaderBar::setMode (Mode newMode)
{
    if (newMode == mode)
        return;
    mode = newMode;
    position = FaderScale::defaultPosition (mode);
}

void FaderBar::setPosition (uint8_t value)
{
    if (value > FaderScale::maxPosition || value == position)
        return;
    position = value;
    requestRepaint();
}

void FaderBar::requestRepaint()
{
    repaintPending = true;
    startTimer (repaintDelayMs);
}

void FaderBar::moveTo (float x)
{
    const auto next = FaderScale::positionAt (x, getWidth());
    if (! next || *next == position)
        return;
    position = *next;
    if (listener != nullptr)
        listener->faderChanged();
    requestRepaint();
}

void FaderBar::mouseMove (const juce::MouseEvent& event)
{
    const auto p = event.position;
    const bool inside = p.x >= 0 && p.y >= 0 && p.x < (float) getWidth() && p.y < (float) FaderScale::barHeight;
    if (inside != hover)
    {
        requestRepaint();
        hover = inside;
    }
}

void FaderBar::mouseExit (const juce::MouseEvent&)
{
    if (hover)
    {
        hover = false;
        requestRepaint();
    }
}

void FaderBar::mouseDown (const juce::MouseEvent& event)
{
    const auto p = event.position;
    if (! isEnabled() || p.x >= (float) getWidth() || p.x < 0 || p.y < 0)
    {
        dragging = false;
        return;
    }
    dragging = p.y < (float) FaderScale::barHeight;
    if (dragging)
        moveTo (p.x);
}

void FaderBar::mouseDrag (const juce::MouseEvent& event)
{
    if (dragging)
        moveTo (event.position.x);
}

void FaderBar::mouseUp (const juce::MouseEvent&)
{
    dragging = false;
}

void FaderBar::paint (juce::Graphics& g)
{
    const int width = getWidth();
    const bool enabled = isEnabled();
    g.setColour (enabled ? enabledColour : disabledColour);

    g.drawRect (0, 0, width, FaderScale::barHeight, 1);
    g.fillRect (0, 0, FaderScale::fillWidth (width, position), FaderScale::barHeight);

    g.setFont (juce::Font (13.0f));
    g.drawText (FaderScale::readoutText (mode, position),
                FaderScale::readoutX (width, position), FaderScale::barHeight,
                FaderScale::readoutWidth, FaderScale::readoutHeight, juce::Justification::centred, false);

    if (hover && enabled)
    {
        g.setOpacity (hoverOpacity);
        g.fillRect (0, 0, width, FaderScale::barHeight);
    }
}

void FaderBar::timerCallback()
{
    stopTimer();
    if (! repaintPending)
        return;
    const juce::MessageManagerLock lock;
    repaintPending = false;
    repaint();
}
