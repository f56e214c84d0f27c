#include "renderer/RoomPresets.h"

#include <gtest/gtest.h>

#include <string>

using namespace Zeph;

TEST (RoomPresets, EveryRoomInTheOrderOfItsNumber)
{
    struct Expected
    {
        ListeningRoom room;
        const char* name;
        int32_t geometryIndex;
        bool hasDesk;
    };
    const Expected expected[] = {
        { ListeningRoom::speechOptimised, "Speech optimised", 0, true },
        { ListeningRoom::mixingStudio, "Mixing studio", 2, true },
        { ListeningRoom::hall, "Hall", 3, false },
    };
    ASSERT_EQ (numListeningRooms, 3);
    for (int i = 0; i < numListeningRooms; ++i)
    {
        const auto& e = expected[i];
        const auto& preset = roomPreset (e.room);
        EXPECT_EQ (&preset, &roomPresets[i]);
        EXPECT_EQ ((int) preset.room, i);
        EXPECT_EQ (std::string (preset.name), e.name);
        EXPECT_EQ (preset.geometryIndex, e.geometryIndex);
        EXPECT_EQ (preset.hasDesk, e.hasDesk);
    }
    // A number past the last room stands for the hall, as the room builder always took it.
    EXPECT_EQ (&roomPreset ((ListeningRoom) 7), &roomPresets[2]);
}

TEST (RoomPresets, RoomOfEveryGeometry)
{
    const std::pair<int32_t, int> rooms[] = { { -1, 0 }, { 0, 0 }, { 1, 0 }, { 2, 1 }, { 3, 2 }, { 4, 2 }, { 99, 2 } };
    for (const auto& [geometry, room] : rooms)
        EXPECT_EQ (&roomPresetForGeometry (geometry), &roomPresets[room]) << "geometry " << geometry;
}

TEST (RoomPresets, Loudspeakers)
{
    ASSERT_EQ (numLoudspeakerChoices, 2);
    const auto& fullRange = loudspeakerPreset (Loudspeakers::fullRange);
    EXPECT_EQ (std::string (fullRange.name), "Full range");
    EXPECT_FALSE (fullRange.equaliser);
    EXPECT_EQ (fullRange.roomGainFactor, 1.0f);

    const auto& nearfield = loudspeakerPreset (Loudspeakers::nearfield);
    EXPECT_EQ (std::string (nearfield.name), "Nearfield");
    EXPECT_TRUE (nearfield.equaliser);
    EXPECT_EQ (nearfield.roomGainFactor, 0.630957f);
    EXPECT_EQ (&loudspeakerPreset ((Loudspeakers) 5), &nearfield);
}
