#include "trackerui/SettingsPanel.h"

#include <cstring>

namespace ConfigPanel
{
SettingsAction settingsActionFor (bool isTextButton, int index, bool state, bool useCompassToggle,
                                  bool slowCentralPullToggle) noexcept
{
    SettingsAction action;

    if (isTextButton)
    {
        action.command = SettingsCommand::calibrateCompass;
        return action;
    }

    switch (index)
    {
        case SettingsPanel::cableOnLeft:
        case SettingsPanel::cableOnRight:
            if (state)
            {
                action.command = SettingsCommand::chirality;
                action.cableOnRight = index == SettingsPanel::cableOnRight;
            }
            break;

        case SettingsPanel::useTheCompass:
            action = { SettingsCommand::compass, false, state, slowCentralPullToggle };
            break;

        case SettingsPanel::slowCentralPull:
            action = { SettingsCommand::compass, false, useCompassToggle, state };
            break;

        case SettingsPanel::travelOff:
        case SettingsPanel::travelSlow:
        case SettingsPanel::travelFast:
            if (state)
            {
                action.command = SettingsCommand::travelMode;
                action.travelMode = (Tracker::TravelMode) (index - SettingsPanel::travelOff);
            }
            break;

        default:
            break;
    }

    return action;
}

std::optional<juce::String> compassStatusText (Tracker::CompassState state)
{
    switch (state)
    {
        case Tracker::CompassState::off: return juce::String ("[ OFF ]");
        case Tracker::CompassState::calibrating: return juce::String ("CALIBRATING");
        case Tracker::CompassState::succeeded: return juce::String ("SUCCEEDED");
        case Tracker::CompassState::failed: return juce::String ("FAILED");
        case Tracker::CompassState::goodData: return juce::String ("GOOD DATA");
        case Tracker::CompassState::badData: return juce::String ("BAD DATA");
    }
    return std::nullopt;
}

//==============================================================================
SettingsPanel::SettingsPanel (Midi::TrackerConnection* connectionToUse, const Theme* themeToUse)
    : BasePanel ("Head Tracker settings", themeToUse), connection (connectionToUse)
{
    juce::Point<int> position (4, 22);

    addLabel (position, "Chirality", LabelStyle::heading);
    addToggle (position, "Cable on left", 1);
    addToggle (position, "Cable on right", 1);
    addLabel (position, "Compass", LabelStyle::heading);
    addToggle (position, "Use the compass", -1);

    position.y += 1;
    auto statusPoint = position + juce::Point<int> (132, 24);

    auto* calibrate = textButtons.add (new juce::TextButton ("Calibrate compass"));
    calibrate->setBounds (position.x + 28, position.y + 2, 172, 24);
    calibrate->addListener (this);
    addAndMakeVisible (calibrate);
    position.y += 32;

    addLabel (statusPoint, {}, LabelStyle::status);
    position.y += 10;

    addLabel (position, "Correction without compass", LabelStyle::heading);
    addToggle (position, "Slow central pull", -1);
    addLabel (position, "Travel mode (not preserved)", LabelStyle::heading);
    addToggle (position, "Off", 3);
    addToggle (position, "Slow correction", 3);
    addToggle (position, "Fast correction", 3);

    setSize (width, position.y + 2);
    setEnabled (false);
    connection->addPropertyListener (this);
}

SettingsPanel::~SettingsPanel()
{
    // Once this returns no report is being delivered to the panel or will be.
    connection->removePropertyListener (this);
    stopTimer (refreshTimer);
}

//==============================================================================
void SettingsPanel::click (bool isTextButton, int index, bool state)
{
    const auto action = settingsActionFor (isTextButton, index, state,
                                           toggles[useTheCompass]->getToggleState(),
                                           toggles[slowCentralPull]->getToggleState());
    send (action, currentProperties().name);
}

void SettingsPanel::send (const SettingsAction& action, const juce::String& name)
{
    switch (action.command)
    {
        case SettingsCommand::none:
            break;
        case SettingsCommand::calibrateCompass:
            connection->send (name, { 0x00, 0x03, 0x44 });
            break;
        case SettingsCommand::chirality:
            connection->setChirality (name, action.cableOnRight);
            break;
        case SettingsCommand::compass:
            connection->setCompass (name, action.useCompass, action.slowCentralPull);
            break;
        case SettingsCommand::travelMode:
            connection->setTravelMode (name, action.travelMode);
            break;
    }
}

void SettingsPanel::trackerFocus (Midi::MidiScanner::Duplex* device, Tracker::Properties* record)
{
    const bool usable = device != nullptr && device->connected && ! device->bootloader && record != nullptr;

    {
        const juce::ScopedLock sl (propertiesLock);
        if (usable)
            properties = *record;
        else
            std::fill (std::begin (properties.name), std::end (properties.name), '\0');
    }

    setEnabled (usable);
    togglesSynced = false;
    startRefreshTimer();
}

// Reports of other trackers (one that is known but not current, say) are not
// for this panel: taking them would make it edit a tracker the user never chose.
void SettingsPanel::trackerPropertiesChanged (const Tracker::Properties& record)
{
    {
        const juce::ScopedLock sl (propertiesLock);
        if (std::strcmp (record.name, properties.name) != 0)
            return;
        properties = record;
    }
    startRefreshTimer();
}

void SettingsPanel::trackerCompassStateChanged (const Tracker::Properties& record)
{
    {
        const juce::ScopedLock sl (propertiesLock);
        if (std::strcmp (record.name, properties.name) != 0 || record.compassState == properties.compassState)
            return;
        properties = record;
    }
    startRefreshTimer();
}

void SettingsPanel::startRefreshTimer()
{
    refreshDue.startFromNow (refreshDelayMs);
    startTimer (refreshTimer, refreshDelayMs);
}

Tracker::Properties SettingsPanel::currentProperties() const
{
    const juce::ScopedLock sl (propertiesLock);
    return properties;
}

//==============================================================================
void SettingsPanel::timerCallback (int timerId)
{
    if (timerId == refreshTimer)
        refresh();
    else
        BasePanel::timerCallback (timerId);
}

void SettingsPanel::refresh()
{
    if (refreshDue.restartIfEarly (*this, refreshTimer))
        return;

    stopTimer (refreshTimer);
    const auto copy = currentProperties();

    const bool hasTracker = copy.name[0] != '\0';
    setEnabled (hasTracker);
    if (! hasTracker)
        return;

    if (! togglesSynced)
        syncToggles (copy);

    if (const auto text = compassStatusText (copy.compassState))
        labels[statusLabel]->setText (*text, juce::dontSendNotification);

    togglesSynced = true;
    textButtons[calibrateButton]->setEnabled (copy.compassState != Tracker::CompassState::calibrating);
}

void SettingsPanel::syncToggles (const Tracker::Properties& copy)
{
    auto set = [this] (int index, bool on) { toggles[index]->setToggleState (on, juce::dontSendNotification); };

    set (cableOnLeft, ! copy.chirality);
    set (cableOnRight, copy.chirality);
    set (useTheCompass, copy.useCompass);
    set (slowCentralPull, copy.slowCentralPull);
    set (travelOff, copy.travelMode == Tracker::TravelMode::off);
    set (travelSlow, copy.travelMode == Tracker::TravelMode::slowCorrection);
    set (travelFast, copy.travelMode == Tracker::TravelMode::fastCorrection);
}
} // namespace ConfigPanel
