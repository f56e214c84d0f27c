#include "plugin/editor/ChannelRadar.h"

namespace
{
const juce::Colour discColour { 0xff000000 };
const juce::Colour tagColour { 0xa0101010 };
constexpr float fontHeight = 12.0f;

// Shift, Ctrl and Alt as the framework last saw them.
Radar::ClickKeys keysHeld()
{
    const auto keys = juce::ModifierKeys::currentModifiers;
    return { keys.isShiftDown(), keys.isCtrlDown(), keys.isAltDown() };
}

bool altHeld()
{
    return keysHeld().alt;
}
} // namespace

ChannelRadar::ChannelRadar()
{
    setSize (Radar::size, Radar::size);
}

ChannelRadar::~ChannelRadar()
{
    stopTimer();
}

void ChannelRadar::setProfile (const Zeph::ChannelProfile* newProfile)
{
    profile = newProfile;
    numChannels = profile != nullptr ? (uint8_t) juce::jmin (profile->numPositions(), Radar::maxChannels) : 0;
    makeImage();
}

void ChannelRadar::setSoloMutes (SoloMuteRecord* record)
{
    soloMutes = record;
    makeImage();
}

void ChannelRadar::setNumChannels (uint8_t count)
{
    // With no layout there is nothing to cap against and nothing to draw.
    if (profile == nullptr)
    {
        numChannels = count;
        return;
    }
    const auto before = numChannels;
    numChannels = (uint8_t) juce::jmin<int> (count, profile->numPositions(), Radar::maxChannels);
    if (numChannels != before)
        makeImage();
}

void ChannelRadar::makeImage()
{
    if (profile == nullptr)
        return;

    const Radar::View view (viewAngle);
    const int count = juce::jmin<int> (numChannels, profile->numPositions(), Radar::maxChannels);
    Radar::ScreenPoint points[Radar::maxChannels];
    for (int i = 0; i < count; ++i)
        points[i] = Radar::project (*profile->positions[i], view);

    image.clear (image.getBounds());
    hitMap.fill (0);

    juce::Graphics g (image);
    const float d = 2.0f * Radar::scale;
    g.setColour (discColour);
    g.fillEllipse (Radar::centre - Radar::scale, Radar::centre - Radar::scale * view.sine, d, d * view.sine);
    g.drawEllipse (Radar::centre - Radar::scale, Radar::centre - Radar::scale * view.cosine, d, d * view.cosine, 2.0f);

    g.setFont (juce::Font (fontHeight));
    const auto order = Radar::drawOrder (points, count);
    for (int n = 0; n < count; ++n)
        drawChannel (g, order[(size_t) n], points[order[(size_t) n]]);

    if (hovered >= 0 && hovered < count)
        drawNameTag (g, points[hovered]);

    startTimer (repaintDelayMs);
}

void ChannelRadar::drawChannel (juce::Graphics& g, int channel, const Radar::ScreenPoint& point)
{
    const float r = Radar::radiusAt (point.depth);
    const juce::Rectangle<float> circle (point.x - r, point.y - r, 2.0f * r, 2.0f * r);
    const auto colours = Radar::circleColours (soloMutes, channel, hovered, groupMode != 0);

    g.setColour (colours.fill);
    g.fillEllipse (circle);
    g.setColour (juce::Colours::white);
    g.drawEllipse (circle, 2.0f);
    g.setColour (colours.text);
    g.drawText (juce::String (channel + 1), circle, juce::Justification::centred, false);

    Radar::stampHitMap (hitMap, point.x, point.y, (uint8_t) (channel + 1));
}

void ChannelRadar::drawNameTag (juce::Graphics& g, const Radar::ScreenPoint& point)
{
    const auto& name = profile->positions[hovered]->name;
    if (name.isEmpty())
        return;
    const juce::Rectangle<float> tag (point.x - 12.0f, point.y - 26.0f, 24.0f, 15.0f);
    g.setColour (tagColour);
    g.fillRect (tag);
    g.setColour (juce::Colours::white);
    g.drawText (name, tag, juce::Justification::centredTop, false);
}

void ChannelRadar::mouseMove (const juce::MouseEvent& event)
{
    const uint8_t group = altHeld() ? 1 : 0;
    const int under = Radar::channelAt (hitMap, event.x, event.y);
    if (group != groupMode || under != hovered)
    {
        groupMode = group;
        hovered = (int8_t) under;
        makeImage();
    }
}

void ChannelRadar::mouseDown (const juce::MouseEvent& event)
{
    pressX = event.x;
    pressY = event.y;
    angleAtPress = viewAngle;
}

void ChannelRadar::mouseDrag (const juce::MouseEvent& event)
{
    groupMode = altHeld() ? 1 : 0;
    viewAngle = Radar::dragAngle (angleAtPress, pressY, event.y);
    makeImage();
}

void ChannelRadar::mouseUp (const juce::MouseEvent&)
{
    // A channel that is no longer drawn (the layout or the channel count
    // changed under a still pointer) takes no clicks.
    if (hovered < 0 || hovered >= numChannels || soloMutes == nullptr)
        return;
    groupMode = altHeld() ? 1 : 0;
    Radar::applyClick (*soloMutes, hovered, keysHeld());
    makeImage();
}

void ChannelRadar::paint (juce::Graphics& g)
{
    g.fillAll (findColour (juce::ResizableWindow::backgroundColourId));
    g.drawImageAt (image, 0, 0);
}

void ChannelRadar::timerCallback()
{
    stopTimer();
    repaint();
}
