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

// Where the head and the loudspeaker circle sit inside a room's walls, and
// what the walls take from the first and second image sources.
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

// The reverb's tuning for a room.
struct ReverbTuning
{
    static constexpr int numLines = 8;

    float lineGain[numLines];    // linear gain of each line's filter
    float dampCutoff[numLines];  // Hz
    float weightSpan;            // X of the head weights
    float crossfeed;             // k
    float readGain;
    float levelDb;
};

// One listening room, everything about it: its number among the room
// geometries (Room::geometryIndex), whether its desk reflections are heard
// or, without a desk, its floor reflections, its walls and its reverb.
struct RoomPreset
{
    ListeningRoom room;
    const char* name;
    int32_t geometryIndex;
    bool hasDesk;
    RoomGeometry geometry;
    ReverbTuning reverb;
};

inline constexpr RoomPreset roomPresets[] = {
    { ListeningRoom::speechOptimised, "Speech optimised", 0, true,
      { 2.6f, 2.99f, 2.31f, 1.28f, 5.2f, 5.6f, -8.3f, -14.6f },
      { { 1.3066f, 1.3066f, 1.2649f, 1.2649f, 1.2232f, 1.2232f, 1.3066f, 1.2788f },
        { 7249.9995f, 6833.333f, 6416.6665f, 6000.0f, 5666.6665f, 5333.333f, 4916.6665f, 4666.6665f },
        5.05f, 0.47f, 1.39f, -3.0f } },
    { ListeningRoom::mixingStudio, "Mixing studio", 2, true,
      { 2.7f, 5.5449996f, 6.565f, 1.28f, 9.73f, 12.29f, -6.9f, -12.0f },
      { { 1.363f, 1.363f, 1.3195f, 1.3195f, 1.276f, 1.276f, 1.363f, 1.334f },
        { 8055.555f, 7592.592f, 7129.629f, 6666.6665f, 6296.296f, 5925.926f, 5462.963f, 5185.185f },
        4.75f, 0.44f, 1.45f, -2.7f } },
    { ListeningRoom::hall, "Hall", 3, false,
      { 3.5f, 5.435f, 6.885f, 1.655f, 10.63f, 13.67f, -6.3f, -11.7f },
      { { 1.3818f, 1.3818f, 1.3377f, 1.3377f, 1.2936f, 1.2936f, 1.3818f, 1.3524f },
        { 8700.0f, 8200.0f, 7700.0f, 7200.0f, 6800.0f, 6400.0f, 5900.0f, 5600.0f },
        4.6f, 0.34f, 1.47f, 0.0f } },
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

// The room of a geometry number, for the reverb. A number no room uses reads
// the first room, or the last when it lies beyond the last room's.
const RoomPreset& roomPresetForGeometry (int32_t geometryIndex) noexcept;
} // namespace Zeph
