#pragma once

#include <cstdint>

// The listening environment the user chooses: the room and the loudspeakers.
// Their numbers are the ones the saved state stores.
namespace Zeph
{
enum class ListeningRoom : uint8_t
{
    speechOptimised = 0,
    mixingStudio = 1,
    hall = 2
};

enum class Loudspeakers : uint8_t
{
    fullRange = 0,
    nearfield = 1
};

// One listening room: the room geometry the loudspeakers are placed in
// (Room::geometryIndex), the row of the reverb's table for it, and whether its
// desk reflections are heard or, without a desk, its floor reflections.
struct RoomPreset
{
    ListeningRoom room;
    const char* name;
    int32_t geometryIndex;
    int reverbRow;
    bool hasDesk;
};

inline constexpr RoomPreset roomPresets[] = {
    { ListeningRoom::speechOptimised, "Speech optimised", 0, 0, true },
    { ListeningRoom::mixingStudio, "Mixing studio", 2, 1, true },
    { ListeningRoom::hall, "Hall", 3, 2, false },
};

inline constexpr int numListeningRooms = (int) (sizeof (roomPresets) / sizeof (roomPresets[0]));

struct LoudspeakerPreset
{
    Loudspeakers loudspeakers;
    const char* name;
    bool equaliser;       // the loudspeaker equaliser runs on the output
    float roomGainFactor; // on the room gain
};

inline constexpr LoudspeakerPreset loudspeakerPresets[] = {
    { Loudspeakers::fullRange, "Full range", false, 1.0f },
    { Loudspeakers::nearfield, "Nearfield", true, 0.630957f }, // -4 dB
};

inline constexpr int numLoudspeakerChoices = (int) (sizeof (loudspeakerPresets) / sizeof (loudspeakerPresets[0]));

// The preset of a room; numbers past the last room stand for the last.
const RoomPreset& roomPreset (ListeningRoom room) noexcept;

// The preset of a loudspeaker choice; numbers past the last stand for the last.
const LoudspeakerPreset& loudspeakerPreset (Loudspeakers loudspeakers) noexcept;

// The reverb's row for a room geometry. A geometry no room uses reads the row
// of the first room, or of the last when it lies beyond the last room's.
int reverbRowForGeometry (int32_t geometryIndex) noexcept;
} // namespace Zeph
