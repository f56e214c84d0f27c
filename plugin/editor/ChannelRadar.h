#pragma once

#include "plugin/editor/RadarModel.h"

#include <juce_gui_basics/juce_gui_basics.h>

// The loudspeakers of the current layout as numbered circles around the
// listener, tilted by dragging; clicks solo and mute channels in the record
// the renderer reads. The picture is drawn off-screen whenever it changes and
// shown 40 ms after the last change.
class ChannelRadar : public juce::Component,
                     private juce::Timer
{
public:
    static constexpr int repaintDelayMs = 40;

    ChannelRadar();
    ~ChannelRadar() override;

    // The layout shown (may be null); the channel count becomes its size.
    void setProfile (const Zeph::ChannelProfile* newProfile);
    // The record that clicks edit (may be null).
    void setSoloMutes (SoloMuteRecord* record);
    // The channels drawn, at most the layout's positions.
    void setNumChannels (uint8_t count);

    const juce::Image& getImage() const noexcept { return image; }
    const Radar::HitMap& getHitMap() const noexcept { return hitMap; }
    int getNumChannels() const noexcept { return numChannels; }
    int getHovered() const noexcept { return hovered; }
    float getViewAngle() const noexcept { return viewAngle; }
    bool isGroupMode() const noexcept { return groupMode != 0; }

    void mouseMove (const juce::MouseEvent& event) override;
    void mouseDown (const juce::MouseEvent& event) override;
    void mouseDrag (const juce::MouseEvent& event) override;
    void mouseUp (const juce::MouseEvent& event) override;
    void paint (juce::Graphics& g) override;

private:
    // Redraws the picture and the hit map and schedules a repaint.
    void makeImage();
    void drawChannel (juce::Graphics& g, int channel, const Radar::ScreenPoint& point);
    void drawNameTag (juce::Graphics& g, const Radar::ScreenPoint& point);
    void timerCallback() override;

    juce::Image image { juce::Image::ARGB, Radar::size, Radar::size, true };
    const Zeph::ChannelProfile* profile = nullptr;
    SoloMuteRecord* soloMutes = nullptr;
    Radar::HitMap hitMap {};
    int32_t pressX = 0;
    int32_t pressY = 0;
    float angleAtPress = Radar::maxAngle;
    uint8_t numChannels = 0;
    int8_t hovered = -1;
    float viewAngle = Radar::maxAngle;
    uint8_t groupMode = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ChannelRadar)
};
