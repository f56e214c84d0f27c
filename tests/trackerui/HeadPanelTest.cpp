#include "HeadPanelRig.h"
#include "tests/tracker/TrackerPeers.h"
#include "tests/tracker/TrackerRig.h"

#include <gtest/gtest.h>

using namespace HeadPanelRig;
using namespace UiTesting;
using Sim::SimulatedTracker;
using TrackerRig::orientationMessage;

namespace
{
const float halfPi = juce::MathConstants<float>::halfPi;
constexpr juce::uint32 background = 0xff606060;

Sim::TrackerIdentity serial (const char* number)
{
    Sim::TrackerIdentity identity;
    identity.serial = number;
    return identity;
}

class HeadPanelTest : public ::testing::Test
{
protected:
    HeadPanelTest()
    {
        scanner.normalPrefixes.add ("Head Tracker");
        scanner.bootloaderPrefixes.add ("Vontaleer Bootloader");
        scanner.stopTimer(); // the tests scan by hand
        panel.setListener (&recorder);
    }

    ~HeadPanelTest() override { panel.setListener (nullptr); }

    void scan (std::initializer_list<SimulatedTracker*> trackers = {}) { TrackerRig::scan (ports, scanner, trackers); }
    void bringUp (SimulatedTracker& tracker) { TrackerRig::bringUp (ports, scanner, tracker); }

    bool settingsEnabled() const { return panel.settingsPanel.toggles[0]->isEnabled(); }
    bool waitForSettingsRefresh (bool enabled)
    {
        return pumpUntil ([&] { return settingsEnabled() == enabled && ! panel.settingsPanel.isTimerRunning (1); });
    }

    // Waits until the recorder has heard `more` further matrices.
    bool orientationsArrive (size_t more = 3)
    {
        const auto target = recorder.count() + more;
        return Sim::waitUntil ([&] { return recorder.count() >= target; });
    }

    Matrix recordMatrix (const juce::String& name)
    {
        Matrix m {};
        if (auto* record = connection.findProperties (name))
            connection.copyOf (*record).headMatrix.read (m.data());
        return m;
    }

    // An orientation handed to the panel as the connection hands it, under its lock.
    void orientation (const juce::String& name, float* matrix)
    {
        const juce::ScopedLock sl (Midi::TrackerConnectionPeer (connection).recordLock());
        panel.trackerOrientation (name, matrix);
    }

    Sim::SimulatedPorts ports;
    Midi::MidiScanner scanner { ports };
    Midi::TrackerConnection connection { &scanner };
    MatrixRecorder recorder;
    ManualClock clock; // for the panel's repaint deadline, which may read it to its end
    WatchedHeadPanel panel { &scanner, &connection };
};
} // namespace

TEST_F (HeadPanelTest, StartsWithoutTrackerLookingStraightAhead)
{
    EXPECT_EQ (panel.getWidth(), 180);
    EXPECT_EQ (panel.getHeight(), 100);
    EXPECT_EQ (panel.settingsButton.getBounds(), juce::Rectangle<int> (0, 6, 52, 40));
    EXPECT_EQ (panel.connectButton.getBounds(), juce::Rectangle<int> (156, 6, 20, 20));
    EXPECT_TRUE (panel.settingsButton.isVisible());
    EXPECT_FALSE (panel.connectButton.isVisible());
    EXPECT_TRUE (panel.settingsButton.hoverHighlight);
    EXPECT_FALSE (panel.connectButton.hoverHighlight);
    EXPECT_TRUE (panel.settingsButton.mainImage.isValid());
    EXPECT_TRUE (panel.connectButton.mainImage.isValid());
    EXPECT_TRUE (panel.connectButton.altImage.isValid());
    EXPECT_TRUE (panel.currentTrackerName.isEmpty());
    EXPECT_FALSE (settingsEnabled());

    // Without a display (headless) the scale 1 images are cut.
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
    {
        EXPECT_EQ (panel.settingsButton.mainImage.getWidth(), 50);
        EXPECT_EQ (panel.connectButton.mainImage.getWidth(), 20);
    }

    // Idle outline in the highlight colour, blended over what lies beneath.
    const auto image = paintPanelOnly (panel, juce::Colour (background));
    EXPECT_TRUE (closeTo (image.getPixelAt (106, 2), blended (DarkTheme.highlight, background)))
        << image.getPixelAt (106, 2).toString();
    EXPECT_EQ (image.getPixelAt (106, 50), juce::Colour (background));
    EXPECT_EQ (recorder.count(), 0u);

    // Headless, the settings button opens nothing (and does not crash).
    if (juce::Desktop::getInstance().getDisplays().displays.isEmpty())
    {
        panel.settingsButton.mouseDown (mouseEventFor (panel.settingsButton));
        EXPECT_EQ (panel.getSettingsDialog(), nullptr);
    }
}

TEST_F (HeadPanelTest, FirstTrackerBecomesCurrentAndIsSwitchedOn)
{
    SimulatedTracker tracker (ports, "Head Tracker", "a");
    tracker.setOrientation (0.3f, 0.0f, 0.0f);
    bringUp (tracker);

    EXPECT_EQ (panel.currentTrackerName, "0042");
    EXPECT_EQ (panel.knownTrackers, juce::StringArray ("0042"));
    EXPECT_EQ (tracker.numSwitchOns(), 1);
    EXPECT_EQ (tracker.streamFormat(), 1);
    EXPECT_EQ (tracker.rateCode(), 0x08);
    EXPECT_TRUE (panel.connectButton.isVisible());
    EXPECT_FALSE (panel.connectButton.useAltImage);
    EXPECT_TRUE (waitForSettingsRefresh (true));

    // The same name reported again is stored once and switches nothing on again.
    panel.scannerDeviceAdded ("0042");
    EXPECT_EQ (panel.knownTrackers.size(), 1);
    EXPECT_TRUE (tracker.waitUntilQuiet());
    EXPECT_EQ (tracker.numSwitchOns(), 1);

    ASSERT_TRUE (orientationsArrive());
    const auto latest = recorder.all().back();
    EXPECT_NEAR (latest[1], -std::sin (0.3f), 2.0e-3f);
    EXPECT_TRUE (isRotation (latest));
    EXPECT_TRUE (near (recordMatrix ("0042"), latest, 0.0f));
}

TEST_F (HeadPanelTest, FurtherTrackersAreOnlyRemembered)
{
    SimulatedTracker a (ports, "Head Tracker", "a");
    SimulatedTracker b (ports, "Head Tracker", "b", serial ("0043"));
    SimulatedTracker c (ports, "Head Tracker", "c", serial ("0044"));
    bringUp (a);
    bringUp (b);
    bringUp (c);
    EXPECT_EQ (panel.knownTrackers, juce::StringArray ("0042", "0043", "0044"));
    EXPECT_EQ (panel.currentTrackerName, "0042");
    EXPECT_EQ (b.numSwitchOns(), 0);
    EXPECT_FALSE (b.isStreaming());
    ASSERT_TRUE (orientationsArrive());

    // An orientation of another tracker writes nothing, calls nothing, schedules nothing.
    a.stopStreaming();
    ASSERT_TRUE (a.waitUntilQuiet());
    ASSERT_TRUE (ports.waitUntilDelivered());
    ASSERT_TRUE (pumpUntil ([&] { return ! panel.repaintPending; }));
    const auto calls = recorder.count();
    float turned[9] { 0, -1, 0, 1, 0, 0, 0, 0, 1 };
    orientation ("0043", turned);
    EXPECT_TRUE (near (recordMatrix ("0043"), identity, 0.0f));
    EXPECT_EQ (recorder.count(), calls);
    EXPECT_FALSE (panel.repaintPending);

    // Removing a tracker that is not current changes only the names.
    c.unplug();
    scan();
    EXPECT_EQ (panel.knownTrackers, juce::StringArray ("0042", "0043"));
    EXPECT_EQ (panel.currentTrackerName, "0042");
    EXPECT_EQ (recorder.count(), calls);
}

TEST_F (HeadPanelTest, LastTrackerGoneLeavesTheHeadLookingAhead)
{
    SimulatedTracker tracker (ports, "Head Tracker", "a");
    tracker.setOrientation (1.0f, 0.2f, 0.0f);
    bringUp (tracker);
    ASSERT_TRUE (orientationsArrive());
    ASSERT_TRUE (waitForSettingsRefresh (true));

    tracker.unplug();
    scan();
    const auto after = recorder.count();
    ASSERT_TRUE (ports.waitUntilDelivered());

    EXPECT_TRUE (panel.currentTrackerName.isEmpty());
    EXPECT_TRUE (panel.knownTrackers.isEmpty());
    EXPECT_FALSE (panel.connectButton.isVisible());
    EXPECT_TRUE (waitForSettingsRefresh (false));
    EXPECT_EQ (recorder.count(), after);
    const auto all = recorder.all();
    EXPECT_EQ (all.back(), identity);
    EXPECT_NE (all[all.size() - 2], identity);
    EXPECT_EQ (std::count (all.begin(), all.end(), identity), 1);
}

TEST_F (HeadPanelTest, DoubleClickAsksTheCurrentTrackerOnly)
{
    panel.mouseDoubleClick (mouseEventFor (panel, 2));

    SimulatedTracker tracker (ports, "Head Tracker", "a");
    bringUp (tracker);
    tracker.stopStreaming();
    const auto before = tracker.receivedMessages().size();
    panel.mouseDoubleClick (mouseEventFor (panel, 2));
    ASSERT_TRUE (tracker.waitUntilQuiet());

    EXPECT_EQ (TrackerRig::receivedSince (tracker, before),
               (std::vector<std::vector<juce::uint8>> { { 0xf0, 0x00, 0x3c, 0x19, 0x01, 0x00, 0x01, 0xf7 } }));
    EXPECT_EQ (tracker.numDoubleClicks(), 1);
}

TEST_F (HeadPanelTest, OrientationsCloseTogetherCostOneRepaint)
{
    SimulatedTracker tracker (ports, "Head Tracker", "a");
    bringUp (tracker);
    tracker.stopStreaming();
    ASSERT_TRUE (tracker.waitUntilQuiet());
    ASSERT_TRUE (ports.waitUntilDelivered());
    ASSERT_TRUE (pumpUntil ([&] { return ! panel.repaintPending; }));
    panel.repaints.clear();
    panel.repaintDue.useClock (&clock);

    float m[9] { 1, 0, 0, 0, 1, 0, 0, 0, 1 };
    orientation ("0042", m);
    clock.advanceUs (5000);
    pump (5);
    orientation ("0042", m);

    // Nothing before the first orientation's delay is over, however long the loop runs.
    clock.advanceUs (HeadPanel::HeadPanel::repaintDelayMs * 1000 - 5000 - 1);
    pump (30);
    EXPECT_TRUE (panel.repaints.empty());

    clock.advanceUs (1);
    ASSERT_TRUE (pumpUntil ([&] { return ! panel.repaints.empty(); }));
    pump (60);
    ASSERT_EQ (panel.repaints.size(), 1u);
    EXPECT_FALSE (panel.repaintPending);
}

TEST_F (HeadPanelTest, PanelWithoutListenerStillFollowsTheTracker)
{
    panel.setListener (nullptr);
    SimulatedTracker tracker (ports, "Head Tracker", "a");
    tracker.setOrientation (0.0f, halfPi, 0.0f); // the crown faces the viewer
    bringUp (tracker);

    ASSERT_TRUE (Sim::waitUntil ([&] { return recordMatrix ("0042")[5] < -0.99f; }));
    EXPECT_EQ (recorder.count(), 0u);

    // The nearest lines are drawn last, in the front colour; four dots under the head.
    ASSERT_TRUE (pumpUntil ([&] { return ! panel.repaintPending; }));
    const auto image = paintPanelOnly (panel, juce::Colour (background));
    EXPECT_GT (countPixels (image, juce::Colour (DarkTheme.lineFront), { 86, 30, 40, 40 }, 3), 20);
    EXPECT_EQ (countPixels (image, juce::Colour (DarkTheme.lineBack), { 86, 30, 40, 40 }, 3), 0);
    EXPECT_EQ (image.getPixelAt (68, 95).getARGB(), DarkTheme.background);
    EXPECT_EQ (image.getPixelAt (97, 95).getARGB(), DarkTheme.background);
    EXPECT_EQ (image.getPixelAt (106, 2), juce::Colour (background)); // no outline
}

TEST_F (HeadPanelTest, BootloaderShowsOnlyTheCircleAndTwoWords)
{
    SimulatedTracker tracker (ports, "Vontaleer Bootloader", "boot");
    bringUp (tracker);
    ASSERT_EQ (panel.currentTrackerName, "0042");
    ASSERT_TRUE (scanner.findDuplex ("0042")->bootloader);
    ASSERT_TRUE (orientationsArrive());
    EXPECT_TRUE (waitForSettingsRefresh (false));

    const auto image = paintPanelOnly (panel, juce::Colour (background));
    const auto ink = blended (DarkTheme.bootloader, background);
    EXPECT_TRUE (closeTo (image.getPixelAt (106, 2), ink));
    EXPECT_GT (countPixels (image, ink, { 70, 18, 72, 12 }, 6), 30); // BOOT-
    EXPECT_GT (countPixels (image, ink, { 70, 36, 72, 12 }, 6), 30); // LOADER
    for (int plane = 0; plane < 16; ++plane)
        EXPECT_EQ (countPixels (image, panel.plotColours.lineColours[plane], image.getBounds(), 1), 0);
}

TEST_F (HeadPanelTest, WhatIsNoRotationNeverReachesTheListenerOrTheDrawing)
{
    SimulatedTracker tracker (ports, "Head Tracker", "a");
    tracker.setOrientation (0.5f, 0.0f, 0.0f);
    bringUp (tracker);
    ASSERT_TRUE (orientationsArrive());
    tracker.stopStreaming();
    ASSERT_TRUE (tracker.waitUntilQuiet());
    ASSERT_TRUE (ports.waitUntilDelivered());
    auto good = recorder.all().back();

    const struct
    {
        const char* what;
        juce::MidiMessage message;
        bool straightened; // a rotation comes out of it
    } cases[] {
        { "zero quaternion", orientationMessage (1, { 0, 0, 0, 0 }), false },
        { "long quaternion", orientationMessage (1, { 3.999f, 0, 0, 0 }), true },
        { "skewed quaternion", orientationMessage (1, { 3.999f, 3.999f, -4.0f, 1.0f }), true },
        { "matrix of equal values", orientationMessage (2, { 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f }), false },
        { "mirroring matrix", orientationMessage (2, { -1, 0, 0, 0, 1, 0, 0, 0, 1 }), false },
        { "zero matrix", orientationMessage (2, { 0, 0, 0, 0, 0, 0, 0, 0, 0 }), false },
        { "extreme angles", orientationMessage (0, { -4.0f, 3.999f, -4.0f }), true },
    };

    for (const auto& c : cases)
    {
        const auto calls = recorder.count();
        connection.handleIncomingMidiMessage ("0042", c.message);

        const auto stored = recordMatrix ("0042");
        EXPECT_TRUE (isRotation (stored)) << c.what;
        EXPECT_EQ (recorder.count(), calls + (c.straightened ? 1 : 0)) << c.what;
        if (c.straightened)
        {
            good = recorder.all().back();
            EXPECT_TRUE (isRotation (good)) << c.what;
        }
        EXPECT_TRUE (near (stored, good, 0.0f)) << c.what;

        // The drawing stays inside the head circle.
        pumpUntil ([&] { return ! panel.repaintPending; });
        const auto image = paintPanelOnly (panel, juce::Colour (background));
        const juce::Rectangle<int> statusDots (60, 88, 46, 12);
        int outside = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 180; ++x)
                if (juce::Point<float> (x + 0.5f, y + 0.5f).getDistanceFrom ({ 106, 50 }) > 52.0f
                    && ! statusDots.contains (x, y) && image.getPixelAt (x, y) != juce::Colour (background))
                    ++outside;
        EXPECT_EQ (outside, 0) << c.what;
    }
}

TEST_F (HeadPanelTest, GarbageAndStrangersLeaveTheDisplayAsItIs)
{
    SimulatedTracker tracker (ports, "Head Tracker", "a");
    tracker.setOrientation (0.0f, halfPi, 0.0f);
    bringUp (tracker);
    ASSERT_TRUE (orientationsArrive());

    tracker.sendGarbage (3000, 99);
    panel.scannerDeviceRemoved ("nobody");
    panel.scannerDeviceAdded ("0042");
    float turned[9] { 0, -1, 0, 1, 0, 0, 0, 0, 1 };
    orientation ("nobody", turned);
    ASSERT_TRUE (ports.waitUntilDelivered());
    ASSERT_TRUE (orientationsArrive());

    EXPECT_EQ (panel.currentTrackerName, "0042");
    EXPECT_EQ (panel.knownTrackers, juce::StringArray ("0042"));
    for (const auto& m : recorder.all())
        EXPECT_TRUE (isRotation (m));
    ASSERT_TRUE (pumpUntil ([&] { return ! panel.repaintPending; }));
    const auto image = paintPanelOnly (panel, juce::Colour (background));
    EXPECT_GT (countPixels (image, juce::Colour (DarkTheme.lineFront), { 86, 30, 40, 40 }, 3), 20);
}
