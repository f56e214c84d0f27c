#include "UiTesting.h"
#include "tests/tracker/TrackerRig.h"
#include "trackerui/SettingsPanel.h"

#include <gtest/gtest.h>

using namespace UiTesting;
using ConfigPanel::SettingsAction;
using ConfigPanel::SettingsCommand;
using ConfigPanel::SettingsPanel;
using Tracker::CompassState;
using Tracker::TravelMode;
using Bytes = std::vector<juce::uint8>;

namespace
{
// Notes when each refresh ran (a timer call that only waits out the rest of
// the delay keeps the timer running).
struct WatchedPanel : SettingsPanel
{
    using SettingsPanel::SettingsPanel;

    // Leaves the connection before its destruction changes the object's type.
    ~WatchedPanel() override { connection->removePropertyListener (this); }

    void timerCallback (int timerId) override
    {
        SettingsPanel::timerCallback (timerId);
        if (timerId == refreshTimer && ! isTimerRunning (refreshTimer))
            refreshes.push_back (juce::Time::getMillisecondCounterHiRes());
    }

    juce::String status() const { return labels[statusLabel]->getText(); }
    bool toggle (int index) const { return toggles[index]->getToggleState(); }
    bool controlsEnabled() const { return toggles[0]->isEnabled(); }

    std::vector<double> refreshes;
};

struct SettingsPanelTest : ::testing::Test
{
    SettingsPanelTest()
    {
        scanner.normalPrefixes.add ("Head Tracker");
        device.connected = true;
        record.compassState = CompassState::goodData;
    }

    // Focus on the record, and wait for the refresh that follows.
    void focus (WatchedPanel& panel, Midi::MidiScanner::Duplex* d, Tracker::Properties* r)
    {
        const auto before = panel.refreshes.size();
        panel.trackerFocus (d, r);
        ASSERT_TRUE (pumpUntil ([&] { return panel.refreshes.size() > before; }));
    }

    void report (WatchedPanel& panel, const Tracker::Properties& r, bool compassOnly = false)
    {
        const auto before = panel.refreshes.size();
        if (compassOnly)
            panel.trackerCompassStateChanged (r);
        else
            panel.trackerPropertiesChanged (r);
        // A report the panel takes starts its refresh timer.
        if (panel.isTimerRunning (SettingsPanel::refreshTimer))
        {
            EXPECT_TRUE (pumpUntil ([&] { return panel.refreshes.size() > before; }));
        }
    }

    Sim::SimulatedPorts ports;
    Midi::MidiScanner scanner { ports };
    Midi::TrackerConnection connection { &scanner };
    Midi::MidiScanner::Duplex device { scanner };
    Tracker::Properties record { "T1" };
};
} // namespace

TEST (SettingsPanelLayout, ControlsStandWhereTheColumnPutsThem)
{
    Sim::SimulatedPorts ports;
    Midi::MidiScanner scanner (ports);
    Midi::TrackerConnection connection (&scanner);
    SettingsPanel panel (&connection, &DarkTheme);

    EXPECT_EQ (panel.getWidth(), 244);
    EXPECT_EQ (panel.getHeight(), 373);
    EXPECT_EQ (panel.title, "Head Tracker settings");

    const struct
    {
        juce::Component* control;
        const char* text;
        juce::Rectangle<int> bounds;
    } rows[] {
        { panel.labels[0], "Chirality", { 4, 22, 244, 28 } },
        { panel.toggles[0], "Cable on left", { 22, 53, 228, 22 } },
        { panel.toggles[1], "Cable on right", { 22, 79, 228, 22 } },
        { panel.labels[1], "Compass", { 4, 105, 244, 28 } },
        { panel.toggles[2], "Use the compass", { 22, 136, 228, 22 } },
        { panel.textButtons[0], "Calibrate compass", { 32, 165, 172, 24 } },
        { panel.labels[2], "", { 136, 187, 244, 24 } },
        { panel.labels[3], "Correction without compass", { 4, 205, 244, 28 } },
        { panel.toggles[3], "Slow central pull", { 22, 236, 228, 22 } },
        { panel.labels[4], "Travel mode (not preserved)", { 4, 262, 244, 28 } },
        { panel.toggles[4], "Off", { 22, 293, 228, 22 } },
        { panel.toggles[5], "Slow correction", { 22, 319, 228, 22 } },
        { panel.toggles[6], "Fast correction", { 22, 345, 228, 22 } },
    };
    for (const auto& row : rows)
    {
        EXPECT_EQ (row.control->getBounds(), row.bounds) << row.text;
        if (auto* label = dynamic_cast<juce::Label*> (row.control))
            EXPECT_EQ (label->getText(), row.text);
        else
            EXPECT_EQ (static_cast<juce::Button*> (row.control)->getButtonText(), row.text);
    }

    const int groups[] { 1, 1, 0, 0, 3, 3, 3 };
    for (int i = 0; i < 7; ++i)
    {
        EXPECT_EQ (panel.toggles[i]->getRadioGroupId(), groups[i]) << i;
        EXPECT_FALSE (panel.toggles[i]->isEnabled()) << i;
    }
    EXPECT_FALSE (panel.textButtons[0]->isEnabled());
    EXPECT_EQ (panel.labels[2]->getName(), "2");
    EXPECT_EQ (panel.currentProperties().name[0], '\0');
}

TEST (SettingsPanelLayout, EachControlAsksForItsOwnSetting)
{
    const struct
    {
        bool isTextButton;
        int index;
        bool state;
        bool compassToggle, pullToggle;
        SettingsAction action;
    } cases[] {
        { true, 0, false, false, false, { SettingsCommand::calibrateCompass } },
        { false, 0, true, false, false, { SettingsCommand::chirality, false } },
        { false, 0, false, false, false, {} },
        { false, 1, true, false, false, { SettingsCommand::chirality, true } },
        { false, 1, false, false, false, {} },
        { false, 2, true, true, false, { SettingsCommand::compass, false, true, false } },
        { false, 2, false, false, true, { SettingsCommand::compass, false, false, true } },
        { false, 3, true, true, true, { SettingsCommand::compass, false, true, true } },
        { false, 3, false, true, false, { SettingsCommand::compass, false, true, false } },
        { false, 4, true, false, false, { SettingsCommand::travelMode, false, false, false, TravelMode::off } },
        { false, 5, true, false, false, { SettingsCommand::travelMode, false, false, false, TravelMode::slowCorrection } },
        { false, 6, true, false, false, { SettingsCommand::travelMode, false, false, false, TravelMode::fastCorrection } },
        { false, 6, false, false, false, {} },
        { false, 7, true, false, false, {} },
        { false, -1, true, false, false, {} },
    };
    for (const auto& c : cases)
        EXPECT_TRUE (ConfigPanel::settingsActionFor (c.isTextButton, c.index, c.state, c.compassToggle, c.pullToggle)
                     == c.action)
            << (c.isTextButton ? "button " : "toggle ") << c.index << " " << c.state;

    const std::pair<CompassState, const char*> texts[] {
        { CompassState::off, "[ OFF ]" },         { CompassState::calibrating, "CALIBRATING" },
        { CompassState::succeeded, "SUCCEEDED" }, { CompassState::failed, "FAILED" },
        { CompassState::goodData, "GOOD DATA" },  { CompassState::badData, "BAD DATA" },
    };
    for (const auto& [state, text] : texts)
        EXPECT_EQ (ConfigPanel::compassStatusText (state), juce::String (text));
    EXPECT_FALSE (ConfigPanel::compassStatusText ((CompassState) 6).has_value());
    EXPECT_FALSE (ConfigPanel::compassStatusText ((CompassState) -1).has_value());
}

TEST_F (SettingsPanelTest, FocusOnAUsableTrackerSynchronisesTheTogglesOnce)
{
    WatchedPanel panel (&connection, &DarkTheme);
    record.chirality = true;
    record.useCompass = true;
    record.travelMode = TravelMode::slowCorrection;

    focus (panel, &device, &record);
    EXPECT_TRUE (panel.controlsEnabled());
    EXPECT_EQ (juce::String (panel.currentProperties().name), "T1");
    const bool expected[] { false, true, true, false, false, true, false };
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ (panel.toggle (i), expected[i]) << i;
    EXPECT_EQ (panel.status(), "GOOD DATA");

    // Later reports leave the toggles as they are; the next focus synchronises them again.
    auto later = record;
    later.chirality = false;
    report (panel, later);
    EXPECT_TRUE (panel.toggle (1));
    focus (panel, &device, &later);
    EXPECT_TRUE (panel.toggle (0));
}

TEST_F (SettingsPanelTest, FocusWithoutAUsableTrackerDisablesThePanel)
{
    Midi::MidiScanner::Duplex disconnected (scanner);
    disconnected.connected = false;
    Midi::MidiScanner::Duplex bootloader (scanner);
    bootloader.bootloader = true;

    const std::pair<Midi::MidiScanner::Duplex*, Tracker::Properties*> cases[] {
        { nullptr, &record }, { &disconnected, &record }, { &bootloader, &record }, { &device, nullptr },
    };
    for (const auto& [d, r] : cases)
    {
        WatchedPanel panel (&connection, &DarkTheme);
        focus (panel, &device, &record);
        ASSERT_TRUE (panel.controlsEnabled());

        focus (panel, d, r);
        EXPECT_FALSE (panel.controlsEnabled());
        EXPECT_FALSE (panel.textButtons[0]->isEnabled());
        EXPECT_EQ (panel.currentProperties().name[0], '\0');
        EXPECT_EQ (panel.status(), "GOOD DATA"); // keeps its last text
    }
}

TEST_F (SettingsPanelTest, CalibrateButtonWaitsWhileTheCompassCalibrates)
{
    WatchedPanel panel (&connection, &DarkTheme);
    record.compassState = CompassState::calibrating;
    focus (panel, &device, &record);
    EXPECT_EQ (panel.status(), "CALIBRATING");
    EXPECT_FALSE (panel.textButtons[0]->isEnabled());
    EXPECT_TRUE (panel.controlsEnabled());

    // A report that changes the flags but not the compass state changes nothing.
    auto flagsOnly = record;
    flagsOnly.useCompass = true;
    panel.trackerCompassStateChanged (flagsOnly);
    EXPECT_FALSE (panel.currentProperties().useCompass);

    auto done = record;
    done.compassState = CompassState::succeeded;
    report (panel, done, true);
    EXPECT_EQ (panel.status(), "SUCCEEDED");
    EXPECT_TRUE (panel.textButtons[0]->isEnabled());

    // A state outside the enumeration leaves the line as it is.
    auto strange = record;
    strange.compassState = (CompassState) 9;
    report (panel, strange);
    EXPECT_EQ (panel.status(), "SUCCEEDED");
}

TEST_F (SettingsPanelTest, ReportsOfOtherTrackersAreNotTaken)
{
    WatchedPanel panel (&connection, &DarkTheme);
    record.compassState = CompassState::badData;
    report (panel, record); // before any focus
    EXPECT_TRUE (panel.refreshes.empty());
    EXPECT_FALSE (panel.controlsEnabled());
    EXPECT_EQ (panel.currentProperties().name[0], '\0');

    focus (panel, &device, &record);
    Tracker::Properties other ("T2");
    other.chirality = true;
    other.compassState = CompassState::calibrating;
    report (panel, other);
    report (panel, other, true);
    EXPECT_EQ (juce::String (panel.currentProperties().name), "T1");
    EXPECT_FALSE (panel.currentProperties().chirality);
    EXPECT_EQ (panel.status(), "BAD DATA");
}

TEST_F (SettingsPanelTest, BurstOfReportsCostsOneRefreshAfterTheLast)
{
    ManualClock clock;
    WatchedPanel panel (&connection, &DarkTheme);
    focus (panel, &device, &record);
    panel.refreshes.clear();
    panel.refreshDue.useClock (&clock);
    for (int i = 0; i < 5; ++i)
    {
        panel.trackerPropertiesChanged (record);
        clock.advanceUs (4000);
        pump (4);
    }

    // Nothing before the last report's delay is over, however long the loop runs.
    clock.advanceUs (SettingsPanel::refreshDelayMs * 1000 - 4000 - 1);
    pump (30);
    EXPECT_TRUE (panel.refreshes.empty());

    clock.advanceUs (1);
    ASSERT_TRUE (pumpUntil ([&] { return ! panel.refreshes.empty(); }));
    pump (60);
    ASSERT_EQ (panel.refreshes.size(), 1u);
}

TEST_F (SettingsPanelTest, ClicksWriteTheSettingsOfTheFocusedTracker)
{
    Sim::SimulatedTracker tracker (ports, "Head Tracker", "t");
    TrackerRig::bringUp (ports, scanner, tracker);
    auto* duplex = scanner.findDuplex ("0042");
    ASSERT_NE (duplex, nullptr);

    WatchedPanel panel (&connection, &DarkTheme);
    auto copy = connection.copyOf (*connection.findProperties ("0042"));
    focus (panel, duplex, &copy);
    ASSERT_TRUE (panel.controlsEnabled());

    // Each click, then the bytes that reached the tracker because of it.
    auto clickAndCollect = [&] (juce::Button& button)
    {
        const auto before = tracker.receivedMessages().size();
        button.triggerClick(); // posts the click
        EXPECT_TRUE (flushMessages());
        EXPECT_TRUE (tracker.waitUntilQuiet());
        // The tracker's replies reach the panel before the next click.
        EXPECT_TRUE (ports.waitUntilDelivered());
        EXPECT_TRUE (pumpUntil ([&] { return ! panel.isTimerRunning (SettingsPanel::refreshTimer); }));
        return TrackerRig::receivedSince (tracker, before);
    };

    using Messages = std::vector<Bytes>;
    EXPECT_EQ (clickAndCollect (*panel.toggles[SettingsPanel::cableOnRight]),
               (Messages { { 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x04, 0x03, 0xf7 } }));
    EXPECT_EQ (clickAndCollect (*panel.toggles[SettingsPanel::cableOnLeft]),
               (Messages { { 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x04, 0x02, 0xf7 } }));

    // Slow central pull is on (the tracker reported it): the compass toggle sends both.
    ASSERT_TRUE (panel.toggle (SettingsPanel::slowCentralPull));
    EXPECT_EQ (clickAndCollect (*panel.toggles[SettingsPanel::useTheCompass]),
               (Messages { { 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x03, 0x70, 0xf7 } }));
    EXPECT_EQ (clickAndCollect (*panel.toggles[SettingsPanel::slowCentralPull]),
               (Messages { { 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x03, 0x78, 0xf7 } }));
    EXPECT_EQ (clickAndCollect (*panel.toggles[SettingsPanel::useTheCompass]),
               (Messages { { 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x03, 0x68, 0xf7 } }));

    EXPECT_EQ (clickAndCollect (*panel.toggles[SettingsPanel::travelFast]),
               (Messages { { 0xf0, 0x00, 0x3c, 0x19, 0x01, 0x01, 0x07, 0xf7 } }));
    EXPECT_EQ (clickAndCollect (*panel.toggles[SettingsPanel::travelSlow]),
               (Messages { { 0xf0, 0x00, 0x3c, 0x19, 0x01, 0x01, 0x06, 0xf7 } }));
    EXPECT_EQ (clickAndCollect (*panel.textButtons[SettingsPanel::calibrateButton]),
               (Messages { { 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x03, 0x44, 0xf7 } }));

    EXPECT_EQ (tracker.parameter (4), 0x02);
    EXPECT_EQ (tracker.parameter (17), 0x06);
    EXPECT_TRUE (pumpUntil ([&] { return panel.status() == "GOOD DATA"; }));

    // A disabled panel sends nothing.
    panel.trackerFocus (nullptr, nullptr);
    EXPECT_TRUE (clickAndCollect (*panel.toggles[SettingsPanel::cableOnRight]).empty());
}

TEST_F (SettingsPanelTest, PaintsInTheThemeColours)
{
    WatchedPanel panel (&connection, &DarkTheme);
    panel.setTheme (&DarkTheme); // as the head panel does
    focus (panel, &device, &record); // cable on the left: the first radio toggle is on
    const auto background = juce::Colour (DarkTheme.background);
    const auto image = paintOver (panel, background);

    EXPECT_EQ (image.getPixelAt (230, 10).getARGB(), DarkTheme.titleBar);
    EXPECT_EQ (image.getPixelAt (230, 1), background);
    EXPECT_GT (countPixels (image, juce::Colour (DarkTheme.titleText), { 8, 4, 200, 18 }, 40), 20);
    EXPECT_GT (countPixels (image, juce::Colour (DarkTheme.headingText), { 4, 22, 120, 28 }, 40), 20);
    EXPECT_GT (countPixels (image, juce::Colour (DarkTheme.statusText), { 136, 187, 108, 24 }, 40), 10);

    // Radio rings in the dim colour, the dot of the chosen one in the text colour.
    const juce::Rectangle<int> leftTick (26, 55, 18, 18), rightTick (26, 81, 18, 18);
    const auto ring = blended (DarkTheme.controlDim, DarkTheme.background);
    EXPECT_GT (countPixels (image, ring, leftTick, 12), 10);
    EXPECT_GT (countPixels (image, ring, rightTick, 12), 10);
    EXPECT_GT (countPixels (image, juce::Colour (DarkTheme.controlText), leftTick, 12), 10);
    EXPECT_EQ (countPixels (image, juce::Colour (DarkTheme.controlText), rightTick, 12), 0);
}
