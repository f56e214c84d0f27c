#include "plugin/editor/EditorControls.h"

namespace EditorControls
{
namespace
{
// Stores a setting when it differs; true when it did.
template <typename Setting>
bool store (Setting& setting, Setting value) noexcept
{
    if (setting == value)
        return false;
    setting = value;
    return true;
}

static_assert (Zeph::roomPresets[2].room == Zeph::ListeningRoom::hall
               && Zeph::loudspeakerPresets[1].loudspeakers == Zeph::Loudspeakers::nearfield,
               "the buttons take their texts from the presets in the order of the settings' values");

Zeph::ListeningRoom roomOf (ButtonRole role) noexcept
{
    return (Zeph::ListeningRoom) role.index;
}

Zeph::Loudspeakers loudspeakersOf (ButtonRole role) noexcept
{
    return (Zeph::Loudspeakers) role.index;
}

void gainsChanged (PluginState& state)
{
    state.updateGains();
    if (state.settingsListener != nullptr)
        state.settingsListener->gainSettingsChanged();
}

void layoutChanged (PluginState& state)
{
    if (state.settingsListener != nullptr)
        state.settingsListener->layoutSettingsChanged();
}
} // namespace

juce::String captionText (const char* text)
{
    return juce::String (text).toUpperCase();
}

bool isOn (ButtonRole role, const PluginState& state) noexcept
{
    switch (role.group)
    {
        case ButtonGroup::spatialiser: return state.bypassed.load() != 0;
        case ButtonGroup::room: return state.room == roomOf (role);
        case ButtonGroup::loudspeakers: return state.loudspeakers == loudspeakersOf (role);
    }
    return false;
}

void click (ButtonRole role, PluginState& state)
{
    switch (role.group)
    {
        case ButtonGroup::loudspeakers:
            if (store (state.loudspeakers, loudspeakersOf (role)))
                gainsChanged (state);
            break;
        case ButtonGroup::room:
            if (store (state.room, roomOf (role)))
                layoutChanged (state);
            break;
        case ButtonGroup::spatialiser:
            // The audio thread reads the flag at every block; nobody is told.
            state.bypassed = state.bypassed.load() != 0 ? 0 : 1;
            break;
    }
}

void moveFaders (uint8_t reverbPosition, uint8_t trimPosition, PluginState& state)
{
    if (store (state.reverbTrim, reverbPosition))
        gainsChanged (state);
    if (store (state.volumeTrim, trimPosition))
        gainsChanged (state);
}

int itemIdForLayout (const Zeph::ChannelProfiles& profiles, int layoutId) noexcept
{
    for (int i = 0; i < profiles.profiles.size(); ++i)
        if (profiles.profiles.getUnchecked (i)->id == layoutId)
            return i + 1;
    return 0;
}

std::optional<uint8_t> layoutForItemId (const Zeph::ChannelProfiles& profiles, int itemId) noexcept
{
    if (itemId <= 0 || itemId > profiles.profiles.size())
        return std::nullopt;
    return profiles.profiles.getUnchecked (itemId - 1)->id;
}

void chooseLayout (int itemId, PluginState& state)
{
    if (const auto id = layoutForItemId (state.channelProfiles, itemId))
        if (store (state.channelProfile, *id))
            layoutChanged (state);
}
} // namespace EditorControls
