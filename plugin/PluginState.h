#pragma once

#include "plugin/TrimTables.h"
#include "renderer/ChannelProfiles.h"
#include "renderer/RoomPresets.h"
#include "renderer/SoloMute.h"
#include "tracker/MidiScanner.h"
#include "tracker/TrackerConnection.h"
#include "trackerui/HeadListener.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace HeadPanel
{
class HeadPanel;
}

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
    PluginState (SettingsListener* settingsListenerToUse, HeadPanel::HeadListener* headListener,
                 Midi::MidiPorts& ports = Midi::MidiPorts::system());
    // Destroys the channel profiles, the head panel, the connection and the scanner, in that order.
    ~PluginState();

    // Recomputes the three gains from the trims and the loudspeaker choice.
    void updateGains() noexcept;

    // The current layout, or null when the id matches none.
    const Zeph::ChannelProfile* currentProfile() const noexcept { return channelProfiles.findById (channelProfile); }

    Midi::MidiScanner scanner;
    Midi::TrackerConnection connection;
    std::unique_ptr<HeadPanel::HeadPanel> headPanel; // never null
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
