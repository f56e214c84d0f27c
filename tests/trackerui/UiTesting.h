#pragma once

#include "trackerui/Deadline.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

// Helpers for components tested without a window: timers run through the
// message loop, mouse events are made up, painting goes into images.
namespace UiTesting
{
// Runs the message loop (timers, async messages) for about ms milliseconds.
inline void pump (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

// Runs the message loop until the condition holds; false on time-out, which
// is generous: on a busy machine any thread may stall for seconds.
inline bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 60000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    while (! condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        pump (2);
    }
    return true;
}

// A clock for deadlines that moves only when the test moves it, so that what a
// timer does no longer hangs on how long the message loop took.
class ManualClock : public Deadline::Clock
{
public:
    int64_t nowUs() const noexcept override { return us.load (std::memory_order_acquire); }
    void advanceUs (int64_t step) noexcept { us.fetch_add (step, std::memory_order_acq_rel); }

private:
    std::atomic<int64_t> us { 0 };
};

// Runs the message loop until every message posted so far has been handled.
inline bool flushMessages()
{
    auto done = std::make_shared<std::atomic<bool>> (false);
    juce::MessageManager::callAsync ([done] { *done = true; });
    return pumpUntil ([done] { return done->load(); });
}

inline juce::MouseEvent mouseEventFor (juce::Component& component, int numClicks = 1)
{
    const auto now = juce::Time::getCurrentTime();
    const juce::Point<float> centre (component.getWidth() / 2.0f, component.getHeight() / 2.0f);
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), centre, {}, 1.0f, 0.0f, 0.0f, 0.0f,
                             0.0f, &component, &component, now, centre, now, numClicks, false);
}

// What a press of the Escape key does to a dialog.
inline void pressEscape (juce::Component& dialog)
{
    dialog.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
}

// The component and its children painted over a plain background.
inline juce::Image paintOver (juce::Component& component, juce::Colour background)
{
    juce::Image image (juce::Image::ARGB, component.getWidth(), component.getHeight(), true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.fillAll (background);
    component.paintEntireComponent (g, true);
    return image;
}

// over blended onto an opaque under.
inline juce::Colour blended (juce::uint32 over, juce::uint32 under)
{
    return juce::Colour (under).overlaidWith (juce::Colour (over));
}

inline bool closeTo (juce::Colour a, juce::Colour b, int tolerance = 2)
{
    return std::abs (a.getRed() - b.getRed()) <= tolerance && std::abs (a.getGreen() - b.getGreen()) <= tolerance
           && std::abs (a.getBlue() - b.getBlue()) <= tolerance && std::abs (a.getAlpha() - b.getAlpha()) <= tolerance;
}

// How many pixels of the image, within area, are close to the colour.
inline int countPixels (const juce::Image& image, juce::Colour colour, juce::Rectangle<int> area, int tolerance = 2)
{
    area = area.getIntersection (image.getBounds());
    int count = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (closeTo (image.getPixelAt (x, y), colour, tolerance))
                ++count;
    return count;
}
} // namespace UiTesting
