#pragma once

#include "plugin/PluginState.h"
#include "renderer/RoomPresets.h"

#include <array>
#include <optional>

// What the editor window's controls are and what they do to the settings,
// apart from any component.
namespace EditorControls
{
inline constexpr int width = 604;
inline constexpr int height = 472;
inline constexpr int timerPeriodMs = 100;
inline constexpr int labelHeight = 20;
inline constexpr int buttonHeight = 25;
inline constexpr const char* versionText = "1.15";

// Each button stands for one value of one setting.
enum class ButtonGroup : int
{
    spatialiser = 0,
    room = 1,
    loudspeakers = 2
};

struct ButtonRole
{
    ButtonGroup group;
    int index;

    bool operator== (const ButtonRole& other) const noexcept { return group == other.group && index == other.index; }
};

struct LabelSpec
{
    const char* text;
    int x, y, width;
    bool bold;
};

struct ButtonSpec
{
    ButtonRole role;
    const char* text;
    int x, y, width;
};

struct Place
{
    int x, y, width, height;
};

// The captions, in creation order; they show in capitals.
inline constexpr std::array<LabelSpec, 8> captionTable { {
    { "Head Tracker", 12, 8, 248, true },
    { "Channel Layout", 12, 148, 248, true },
    { "Monitoring Controls", 272, 8, 320, true },
    { "Listening Environment", 272, 148, 320, true },
    { "Volume Trim", 272, 73, 320, false },
    { "Room", 272, 180, 320, false },
    { "Loudspeakers", 272, 237, 320, false },
    { "Reverb ratio", 272, 294, 320, false },
} };

// A room or loudspeaker button's index is the value of its setting, and its
// text that preset's name.
inline constexpr std::array<ButtonSpec, 6> buttonTable { {
    { { ButtonGroup::spatialiser, 0 }, "Turn spatialiser off", 272, 40, 152 },
    { { ButtonGroup::room, 0 }, Zeph::roomPresets[0].name, 272, 200, 128 },
    { { ButtonGroup::room, 1 }, Zeph::roomPresets[1].name, 408, 200, 116 },
    { { ButtonGroup::room, 2 }, Zeph::roomPresets[2].name, 532, 200, 60 },
    { { ButtonGroup::loudspeakers, 0 }, Zeph::loudspeakerPresets[0].name, 272, 257, 84 },
    { { ButtonGroup::loudspeakers, 1 }, Zeph::loudspeakerPresets[1].name, 364, 257, 84 },
} };

inline constexpr int headPanelX = 40;
inline constexpr int headPanelY = 40;
inline constexpr Place trimFaderPlace { 272, 93, 320, 32 };
inline constexpr Place reverbFaderPlace { 272, 314, 320, 32 };
inline constexpr Place layoutBoxPlace { 12, 180, 248, 25 };
inline constexpr Place radarPlace { 12, 217, 256, 256 };

// The window's children in the order they are created (later ones lie above
// earlier ones); captions and buttons index their tables.
enum class Child
{
    caption,
    headPanel,
    button,
    trimFader,
    reverbFader,
    layoutBox,
    radar
};

struct CreationStep
{
    Child child;
    int index = 0;
};

inline constexpr std::array<CreationStep, 19> creationOrder { {
    { Child::caption, 0 }, { Child::caption, 1 }, { Child::caption, 2 }, { Child::caption, 3 },
    { Child::headPanel },
    { Child::button, 0 }, { Child::caption, 4 }, { Child::trimFader },
    { Child::caption, 5 }, { Child::button, 1 }, { Child::button, 2 }, { Child::button, 3 },
    { Child::caption, 6 }, { Child::button, 4 }, { Child::button, 5 },
    { Child::caption, 7 }, { Child::reverbFader },
    { Child::layoutBox },
    { Child::radar },
} };

// A caption as shown: every character in upper case.
juce::String captionText (const char* text);

// Whether a button shows as on for the stored settings.
bool isOn (ButtonRole role, const PluginState& state) noexcept;

// A click on a button: the spatialiser button toggles; the others store
// their value if it differs and tell the listener what kind of setting changed.
void click (ButtonRole role, PluginState& state);

// New fader positions: each changed setting is stored, the gains recomputed
// and the listener told, the reverb ratio first.
void moveFaders (uint8_t reverbPosition, uint8_t trimPosition, PluginState& state);

// The layout list's item id of a layout id (list index + 1), 0 when no layout has it.
int itemIdForLayout (const Zeph::ChannelProfiles& profiles, int layoutId) noexcept;

// The layout id behind an item id of the list; none for 0 or an id past the list.
std::optional<uint8_t> layoutForItemId (const Zeph::ChannelProfiles& profiles, int itemId) noexcept;

// A choice from the layout list: stores a new layout id and tells the listener.
void chooseLayout (int itemId, PluginState& state);
} // namespace EditorControls
