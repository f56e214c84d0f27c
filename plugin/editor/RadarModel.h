#pragma once

#include "renderer/ChannelProfiles.h"
#include "renderer/SoloMute.h"

#include <juce_graphics/juce_graphics.h>

#include <array>
#include <cstdint>

// The channel radar's plain pieces: the perspective projection, the order of
// drawing, the hit map, the circle colours and the solo and mute rules.
namespace Radar
{
inline constexpr int size = 256;
inline constexpr int cellSize = 8;
inline constexpr int cellsPerRow = size / cellSize;
inline constexpr int numCells = cellsPerRow * cellsPerRow;
inline constexpr int maxChannels = SoloMuteRecord::numChannels;
inline constexpr float centre = 128.0f;
inline constexpr float scale = 100.0f;
inline constexpr float parked = 230.0f; // where silent and LFE channels sit
inline constexpr float maxAngle = 90.0f;

// Cell i holds the index + 1 of the channel drawn there, 0 for none.
using HitMap = std::array<uint8_t, numCells>;

// A loudspeaker on the screen: position and depth (larger is farther).
struct ScreenPoint
{
    float x = 0.0f;
    float y = 0.0f;
    float depth = 0.0f;
};

// The sine and cosine of a view tilt in degrees (90 looks down from above).
struct View
{
    explicit View (float angleDegrees) noexcept;
    float sine;
    float cosine;
};

ScreenPoint project (const Zeph::ChannelPos& position, const View& view) noexcept;

// Radius of a circle at this depth: nearer is larger.
inline float radiusAt (float depth) noexcept { return 12.0f - depth; }

// The order of drawing: farthest first, equal depths in index order.
std::array<int, maxChannels> drawOrder (const ScreenPoint* points, int count) noexcept;

// Writes value into the 3 x 3 cells around the cell under (x, y); cells
// outside the map are skipped.
void stampHitMap (HitMap& map, float x, float y, uint8_t value) noexcept;

// The channel index drawn at a pixel, -1 for none or outside the radar.
int channelAt (const HitMap& map, int x, int y) noexcept;

struct CircleColours
{
    juce::Colour fill;
    juce::Colour text;
};

// The fill lightened for a hovered channel.
juce::Colour highlighted (juce::Colour fill) noexcept;

// Whether channel i lights up with the pointer over `hovered`: that channel
// alone, or its whole class in group mode.
bool isHighlighted (const SoloMuteRecord& record, int channel, int hovered, bool groupMode) noexcept;

// Colours of a channel's circle; no record draws every channel plain grey.
CircleColours circleColours (const SoloMuteRecord* record, int channel, int hovered, bool groupMode) noexcept;

// The modifier keys held at a release.
struct ClickKeys
{
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

// A release on `channel`: Ctrl toggles a mute, otherwise a solo (exclusive
// unless Shift); Alt applies the new state to the channel's whole class.
// Edits the record in place one state at a time, anySolo last.
void applyClick (SoloMuteRecord& record, int channel, ClickKeys keys) noexcept;

// The tilt after dragging from pressY to y: three pixels down per degree, 0 to 90.
float dragAngle (float angleAtPress, int pressY, int y) noexcept;
} // namespace Radar
