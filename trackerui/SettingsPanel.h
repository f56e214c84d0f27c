#pragma once

#include "trackerui/ConfigPanel.h"
#include "trackerui/Deadline.h"

#include <optional>

namespace ConfigPanel
{
// What a click on one of the settings panel's controls asks of the tracker.
enum class SettingsCommand
{
    none,
    calibrateCompass, // F0 00 3C 19 00 03 44 F7
    chirality,        // TrackerConnection::setChirality
    compass,          // TrackerConnection::setCompass
    travelMode        // TrackerConnection::setTravelMode
};

struct SettingsAction
{
    SettingsCommand command = SettingsCommand::none;
    bool cableOnRight = false;
    bool useCompass = false;
    bool slowCentralPull = false;
    Tracker::TravelMode travelMode = Tracker::TravelMode::off;

    bool operator== (const SettingsAction& other) const noexcept
    {
        return command == other.command && cableOnRight == other.cableOnRight && useCompass == other.useCompass
               && slowCentralPull == other.slowCentralPull && travelMode == other.travelMode;
    }
};

// The action of a click. Radio toggles act only when switched on; the two
// compass toggles always send both, each with the other's current state.
SettingsAction settingsActionFor (bool isTextButton, int index, bool state,
                                  bool useCompassToggle, bool slowCentralPullToggle) noexcept;

// The status line for a compass state; nothing for a value outside the enumeration.
std::optional<juce::String> compassStatusText (Tracker::CompassState state);

// The content of the head tracker settings dialog: cable side, compass use,
// slow central pull and travel mode of the current tracker, a compass
// calibration button and the compass state.
//
// Threads: the property reports arrive on the MIDI input thread; a report of
// the tracker in focus is copied into `properties` under propertiesLock and
// starts the refresh timer, no more. Everything that touches a component runs
// on the message thread.
class SettingsPanel : public BasePanel
{
public:
    enum Toggle
    {
        cableOnLeft,
        cableOnRight,
        useTheCompass,
        slowCentralPull,
        travelOff,
        travelSlow,
        travelFast
    };

    static constexpr int calibrateButton = 0;
    static constexpr int statusLabel = 2;
    static constexpr int refreshTimer = 1;
    static constexpr int refreshDelayMs = 17;

    // Registers with the connection as a property listener.
    SettingsPanel (Midi::TrackerConnection* connection, const Theme* theme);
    // Leaves the connection's property listeners before anything else goes.
    ~SettingsPanel() override;

    void click (bool isTextButton, int index, bool state) override;
    // Message thread. record: a whole copy of the tracker's record
    // (TrackerConnection::copyOf), since its fields change on the MIDI input thread.
    void trackerFocus (Midi::MidiScanner::Duplex* device, Tracker::Properties* record) override;
    void timerCallback (int timerId) override;

    // MIDI input thread; reports of other trackers are ignored.
    void trackerPropertiesChanged (const Tracker::Properties& record) override;
    void trackerCompassStateChanged (const Tracker::Properties& record) override;

    // A copy of `properties` taken under its lock.
    Tracker::Properties currentProperties() const;

    Tracker::Properties properties; // guarded by propertiesLock
    Midi::TrackerConnection* connection;
    bool togglesSynced = true; // message thread
    Deadline refreshDue;

private:
    void startRefreshTimer();
    void refresh();
    void syncToggles (const Tracker::Properties& copy);
    void send (const SettingsAction& action, const juce::String& name);

    mutable juce::CriticalSection propertiesLock;

    JUCE_DECLARE_NON_COPYABLE (SettingsPanel)
};
} // namespace ConfigPanel
