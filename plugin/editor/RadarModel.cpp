#include "plugin/editor/RadarModel.h"

#include <algorithm>
#include <cmath>

namespace Radar
{
namespace
{
constexpr uint32_t noRecordFill = 0xff505050;
constexpr uint32_t mutedFill = 0xffc04040;
constexpr uint32_t soloedFill = 0xffd0d000;
constexpr uint32_t silencedFill = 0xff323232; // normal while another channel is soloed
constexpr uint32_t normalFill = 0xff505050;
constexpr float highlightShare = 0.625f;

constexpr auto relaxed = std::memory_order_relaxed;
} // namespace

View::View (float angleDegrees) noexcept
{
    const float a = angleDegrees * 3.1415927f / 180.0f;
    sine = std::sin (a);
    cosine = std::cos (a);
}

ScreenPoint project (const Zeph::ChannelPos& p, const View& view) noexcept
{
    if (p.type == Zeph::ChannelType::silent || p.type == Zeph::ChannelType::lfe)
        return { parked, parked, 0.0f };

    const float depth = p.y * view.cosine - p.z * view.sine;
    const float k = (9.0f - depth) / 9.0f;
    return { centre + scale * p.x * k, centre - scale * (p.z * view.cosine + p.y * view.sine) * k, depth };
}

std::array<int, maxChannels> drawOrder (const ScreenPoint* points, int count) noexcept
{
    std::array<int, maxChannels> order {};
    std::array<bool, maxChannels> drawn {};
    count = std::clamp (count, 0, maxChannels);
    for (int n = 0; n < count; ++n)
    {
        int pick = 0;
        float farthest = -2.0f;
        for (int i = 0; i < count; ++i)
            if (! drawn[(size_t) i] && points[i].depth > farthest)
            {
                farthest = points[i].depth;
                pick = i;
            }
        drawn[(size_t) pick] = true;
        order[(size_t) n] = pick;
    }
    return order;
}

void stampHitMap (HitMap& map, float x, float y, uint8_t value) noexcept
{
    const int column = (int) x / cellSize;
    const int row = (int) y / cellSize;
    const int middle = row * cellsPerRow + column;
    for (const int offset : { -33, -32, -31, -1, 0, 1, 31, 32, 33 })
    {
        const int cell = middle + offset;
        if (cell >= 0 && cell < numCells)
            map[(size_t) cell] = value;
    }
}

int channelAt (const HitMap& map, int x, int y) noexcept
{
    if (x < 0 || y < 0 || x >= size || y >= size)
        return -1;
    return map[(size_t) ((y / cellSize) * cellsPerRow + x / cellSize)] - 1;
}

juce::Colour highlighted (juce::Colour fill) noexcept
{
    auto lighten = [] (uint8_t c) { return (uint8_t) (255.0f - (255.0f - (float) c) * highlightShare); };
    return juce::Colour (lighten (fill.getRed()), lighten (fill.getGreen()), lighten (fill.getBlue()), fill.getAlpha());
}

bool isHighlighted (const SoloMuteRecord& record, int channel, int hovered, bool groupMode) noexcept
{
    if (hovered < 0 || hovered >= maxChannels)
        return false;
    if (groupMode)
        return record.channelClass[channel] == record.channelClass[hovered];
    return channel == hovered;
}

CircleColours circleColours (const SoloMuteRecord* record, int channel, int hovered, bool groupMode) noexcept
{
    const juce::Colour white = juce::Colours::white;
    if (record == nullptr)
        return { juce::Colour (noRecordFill), white };

    CircleColours colours { juce::Colour (normalFill), white };
    const auto state = record->get (channel);
    if (state == muted)
        colours.fill = juce::Colour (mutedFill);
    else if (state == soloed)
        colours = { juce::Colour (soloedFill), juce::Colours::black };
    else if (record->anySolo.load (relaxed) != 0)
        colours.fill = juce::Colour (silencedFill);

    if (isHighlighted (*record, channel, hovered, groupMode))
        colours.fill = highlighted (colours.fill);
    return colours;
}

void applyClick (SoloMuteRecord& record, int channel, ClickKeys keys) noexcept
{
    if (channel < 0 || channel >= maxChannels)
        return;

    const auto current = record.get (channel);
    SoloMuteState next;
    if (keys.ctrl)
    {
        next = current == muted ? normal : muted;
    }
    else
    {
        if (current != soloed && ! keys.shift)
        {
            // An exclusive solo: every other solo goes first.
            record.anySolo.store (0, relaxed);
            for (auto& state : record.state)
                if (state.load (relaxed) == soloed)
                    state.store (normal, relaxed);
        }
        next = current == soloed ? normal : soloed;
    }

    const uint8_t group = record.channelClass[channel];
    for (int i = 0; i < maxChannels; ++i)
        if (keys.alt ? record.channelClass[i] == group : i == channel)
            record.state[i].store (next, relaxed);

    record.updateAnySolo();
}

float dragAngle (float angleAtPress, int pressY, int y) noexcept
{
    return std::clamp (angleAtPress + (float) (y - pressY) / 3.0f, 0.0f, maxAngle);
}
} // namespace Radar
