#include "renderer/RoomPresets.h"

#include <algorithm>

namespace Zeph
{
const RoomPreset& roomPreset (ListeningRoom room) noexcept
{
    return roomPresets[std::min ((int) room, numListeningRooms - 1)];
}

const LoudspeakerPreset& loudspeakerPreset (Loudspeakers loudspeakers) noexcept
{
    return loudspeakerPresets[std::min ((int) loudspeakers, numLoudspeakerChoices - 1)];
}

const RoomPreset& roomPresetForGeometry (int32_t geometryIndex) noexcept
{
    for (const auto& preset : roomPresets)
        if (preset.geometryIndex == geometryIndex)
            return preset;

    const auto& last = roomPresets[numListeningRooms - 1];
    return geometryIndex > last.geometryIndex ? last : roomPresets[0];
}
} // namespace Zeph
