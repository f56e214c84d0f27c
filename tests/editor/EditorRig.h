#pragma once

#include "plugin/editor/PluginEditor.h"
#include "plugin/PluginProcessor.h"
#include "tests/trackerui/UiTesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace EditorTesting
{
// A mouse event at (x, y) in the component's own coordinates.
inline juce::MouseEvent mouseAt (juce::Component& component, float x, float y)
{
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), { x, y },
                             juce::ModifierKeys::currentModifiers, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &component,
                             &component, now, { x, y }, now, 1, false);
}

// Runs the message loop until the condition holds; false on timeout, which
// is generous: on a busy machine any thread may stall for seconds.
inline bool dispatchUntil (const std::function<bool()>& done, int timeoutMs = 60000)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }
    return true;
}

using UiTesting::flushMessages;

// Clicks a button as the user would and waits until the click is handled.
inline void clickButton (juce::Button& button)
{
    button.triggerClick();
    ASSERT_TRUE (flushMessages());
}

// Holds the framework's current modifier keys for one scope.
class HeldKeys
{
public:
    explicit HeldKeys (int flags) : saved (juce::ModifierKeys::currentModifiers)
    {
        juce::ModifierKeys::currentModifiers = juce::ModifierKeys (flags);
    }
    ~HeldKeys() { juce::ModifierKeys::currentModifiers = saved; }

private:
    juce::ModifierKeys saved;
};

// Stands in for the processor as the settings listener and records the calls.
class RecordingListener : public PluginState::SettingsListener
{
public:
    void layoutSettingsChanged() override { calls.push_back ("layout"); }
    void gainSettingsChanged() override { calls.push_back ("gain"); }
    std::vector<std::string> calls;
};

// The component painted into an image of its own size.
inline juce::Image paintedImage (juce::Component& component)
{
    juce::Image image (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
    juce::Graphics g (image);
    component.paintEntireComponent (g, true);
    return image;
}

inline uint32_t argbAt (const juce::Image& image, int x, int y)
{
    return image.getPixelAt (x, y).getARGB();
}

// A processor with the given input width, prepared at 48 kHz.
inline std::unique_ptr<BinauralAudioProcessor> makeProcessor (int numInputs, int blockSize = 512)
{
    auto p = std::make_unique<BinauralAudioProcessor>();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numInputs));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    EXPECT_TRUE (p->setBusesLayout (layout));
    p->prepareToPlay (48000.0, blockSize);
    return p;
}

inline std::unique_ptr<BinauralAudioEditor> openEditor (BinauralAudioProcessor& p)
{
    return std::unique_ptr<BinauralAudioEditor> (static_cast<BinauralAudioEditor*> (p.createEditor()));
}

// Waits for the layout list's notification that fills the radar.
inline bool waitForRadar (BinauralAudioEditor& editor)
{
    return dispatchUntil ([&] { return editor.getRadar().getNumChannels() > 0; });
}

// Moves the pointer to the centre of a channel's circle in the radar.
inline void hoverChannel (ChannelRadar& radar, const Zeph::ChannelProfile& profile, int channel)
{
    const auto point = Radar::project (*profile.positions[channel], Radar::View (radar.getViewAngle()));
    radar.mouseMove (mouseAt (radar, point.x, point.y));
}

// Presses and releases where the pointer is.
inline void clickRadar (ChannelRadar& radar)
{
    radar.mouseDown (mouseAt (radar, 0, 0));
    radar.mouseUp (mouseAt (radar, 0, 0));
}
} // namespace EditorTesting
