#pragma once

#include "renderer/ChannelProfiles.h"
#include "renderer/RoomPresets.h"
#include "renderer/Room.h"

#include <cstdint>

// Places a layout's loudspeakers in a rectangular room and makes their
// reflections: desk, floor and the image sources up to the second order.
namespace RoomBuilder
{
// One listening room: the head and the loudspeaker circle inside its walls.
struct RoomGeometry
{
    float scale;      // loudspeaker distance from the head, metres
    float listenerX;
    float listenerY;
    float earHeight;
    float width;      // walls at x = 0 and x = width
    float depth;      // walls at y = 0 and y = depth
    float order1Db;
    float order2Db;
};

// The geometry of a listening room.
const RoomGeometry& geometryFor (Zeph::ListeningRoom room) noexcept;

// The radar's class of a position: 0 front, 1 other horizontal, 2 elevated,
// 32 + i for a channel that is not rendered binaurally.
uint8_t channelClass (const Zeph::ChannelPos& position, int index) noexcept;

// Appends the fifteen reflections of one loudspeaker to the set: desk, floor,
// then the images (m, s) with |m| + |s| <= 2, m outer, s inner.
void appendReflections (Zeph::Room::ReflectionSet& set, uint8_t channel,
                        const Zeph::ChannelPos& position, const RoomGeometry& geometry);

// The reverb's left and right weights from the first row of a head matrix.
void reverbWeights (const float* firstRow, float& left, float& right) noexcept;
} // namespace RoomBuilder
