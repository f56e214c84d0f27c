#pragma once

#include "renderer/ChannelProfiles.h"
#include "renderer/RoomPresets.h"
#include "renderer/SoloMute.h"
#include "tracker/MidiScanner.h"
#include "tracker/TrackerConnection.h"
#include "trackerui/HeadPanel.h"

#include <array>
#include <atomic>
#include <cstdint>

// Trim tables in dB, indexed 0..32.
inline constexpr std::array<float, 33> VolumeTrimDb {
    -20.0f, -19.0f, -18.0f, -17.0f, -16.0f, -15.0f, -14.0f, -13.0f, -12.0f, -11.0f, -10.0f,
    -9.0f, -8.0f, -7.0f, -6.0f, -5.5f, -5.0f, -4.5f, -4.0f, -3.5f, -3.0f, -2.5f, -2.0f,
    -1.5f, -1.0f, -0.5f, 0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 2.5f, 3.0f
};

inline constexpr std::array<float, 33> ReverbRatioDb {
    -20.0f, -17.5f, -15.0f, -12.5f, -10.0f, -8.0f, -7.0f, -6.0f, -5.0f, -4.0f, -3.0f,
    -2.5f, -2.0f, -1.5f, -1.0f, -0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
    0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f
};

// The settings model of one plug-in instance. It also owns the head-tracking
// objects and the layout table so that they outlive any editor.
class PluginState
{
public:
    class SettingsListener
    {
    public:
        virtual ~SettingsListener() = default;
        virtual void layoutSettingsChanged() = 0;
        virtual void gainSettingsChanged() = 0;
    };

    static constexpr int maxTrim = 32;

    // ports: where the scanner looks for trackers (the system's MIDI ports unless a
    // test gives its own).
    PluginState (SettingsListener* settingsListenerToUse, HeadPanel::HeadPanel::Listener* headListener,
                 Midi::MidiPorts& ports = Midi::MidiPorts::system());
    ~PluginState() = default;

    // Recomputes the three gains from the trims and the loudspeaker choice.
    void updateGains() noexcept;

    // The current layout, or null when the id matches none.
    const Zeph::ChannelProfile* currentProfile() const noexcept { return channelProfiles.findById (channelProfile); }

    Midi::MidiScanner scanner;
    Midi::TrackerConnection connection;
    HeadPanel::HeadPanel headPanel;
    SettingsListener* settingsListener;
    Zeph::ChannelProfiles channelProfiles;
    SoloMuteRecord soloMutes;
    float directGain = 1.0f;
    float roomGain = 1.0f;
    float volumeGain = 1.0f;
    uint8_t volumeTrim = 26;
    uint8_t reverbTrim = 16;
    std::atomic<uint8_t> bypassed { 0 };  // read by the audio thread at every block
    Zeph::ListeningRoom room = Zeph::ListeningRoom::mixingStudio;
    Zeph::Loudspeakers loudspeakers = Zeph::Loudspeakers::fullRange;
    uint8_t channelProfile = 1;
    std::atomic<uint8_t> numInputChannels { 2 };
    std::atomic<uint8_t> settingsChanged { 0 };

    JUCE_DECLARE_NON_COPYABLE (PluginState)
};
