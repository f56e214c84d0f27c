#include "EndToEndRig.h"
#include "TrackerRig.h"

#include <thread>

using Sim::SimulatedTracker;

namespace EndToEnd
{
namespace
{
bool hasReceived (const SimulatedTracker& tracker, std::vector<juce::uint8> bytes)
{
    for (auto& message : tracker.receivedMessages())
        if (TrackerRig::bytesOf (message) == bytes)
            return true;

    return false;
}

class PropertyRecorder : public Midi::TrackerConnection::PropertyListener
{
public:
    void trackerCompassStateChanged (const Tracker::Properties&) override { ++compassChanges; }
    void trackerPropertiesChanged (const Tracker::Properties&) override { ++propertyChanges; }

    std::atomic<int> compassChanges { 0 };
    std::atomic<int> propertyChanges { 0 };
};
} // namespace

class EndToEndTest : public ::testing::Test
{
protected:
    EndToEndTest()
    {
        scanner.normalPrefixes.add ("Head Tracker");
        scanner.bootloaderPrefixes.add ("Vontaleer Bootloader");
    }

    void scan (std::initializer_list<SimulatedTracker*> trackers = {}) { TrackerRig::scan (ports, scanner, trackers); }
    void bringUp (SimulatedTracker& tracker) { TrackerRig::bringUp (ports, scanner, tracker); }

    bool orientationsArrive (int more = 3)
    {
        const int target = panel.numOrientations() + more;
        return Sim::waitUntil ([&] { return panel.numOrientations() >= target; });
    }

    template <typename Read>
    auto readRecord (const juce::String& name, Read read)
    {
        auto* record = connection.findProperties (name);
        EXPECT_NE (record, nullptr);
        auto copy = connection.copyOf (*record);
        return read (copy);
    }

    Sim::SimulatedPorts ports;
    Midi::MidiScanner scanner { ports };
    Midi::TrackerConnection connection { &scanner };
    PanelStandIn panel { scanner, connection };
};

TEST_F (EndToEndTest, TrackerIsFoundSwitchedOnFollowedAndRemoved)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setOrientation (0.5f, 0.2f, -0.1f);
    tracker.plugIn();

    scan ({ &tracker });
    EXPECT_NE (scanner.findDuplex ("0042"), nullptr);
    EXPECT_EQ (connection.findProperties ("0042"), nullptr);
    EXPECT_EQ (tracker.numReadRequests(), 0);

    scan ({ &tracker });
    EXPECT_EQ (panel.events, std::vector<std::string> { "added 0042" });
    EXPECT_NE (connection.findProperties ("0042"), nullptr);
    EXPECT_EQ (tracker.numReadRequests(), 1);
    EXPECT_TRUE (hasReceived (tracker, { 0xf0, 0x00, 0x3c, 0x19, 0x02, 0x03, 0x04, 0x11, 0xf7 }));
    EXPECT_TRUE (hasReceived (tracker, { 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x00, 0x08, 0x01, 0x05, 0x03, 0x40, 0xf7 }));
    EXPECT_EQ (tracker.numSwitchOns(), 1);
    EXPECT_EQ (tracker.streamFormat(), 1);

    ASSERT_TRUE (orientationsArrive());
    juce::String name;
    const auto expected = expectedMatrix (0.5f, 0.2f, -0.1f);
    expectNear (panel.latest (&name), expected, 3.0e-3f);
    EXPECT_EQ (name, "0042");

    std::vector<float> recorded (9);
    readRecord ("0042", [&] (Tracker::Properties& record) { record.headMatrix.read (recorded.data()); return 0; });
    expectNear (recorded, expected, 3.0e-3f);

    tracker.unplug();
    scan();
    EXPECT_EQ (panel.events, (std::vector<std::string> { "added 0042", "removed 0042" }));
    EXPECT_EQ (connection.findProperties ("0042"), nullptr);
    EXPECT_EQ (scanner.findDuplex ("0042"), nullptr);
    EXPECT_EQ (ports.numOpenInputs(), 0);

    const int count = panel.numOrientations();
    std::this_thread::sleep_for (std::chrono::milliseconds (30));
    ASSERT_TRUE (ports.waitUntilDelivered());
    EXPECT_EQ (panel.numOrientations(), count);
}

TEST_F (EndToEndTest, YawPitchRollOrientationBecomesAMatrix)
{
    panel.angleMode = Tracker::AngleMode::yawPitchRoll;
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setOrientation (-1.2f, 0.3f, 0.7f);
    bringUp (tracker);

    EXPECT_EQ (tracker.streamFormat(), 0);
    ASSERT_TRUE (orientationsArrive());
    expectNear (panel.latest(), expectedMatrix (-1.2f, 0.3f, 0.7f), 2.0e-3f);
}

TEST_F (EndToEndTest, MatrixOrientationArrivesAsSent)
{
    panel.angleMode = Tracker::AngleMode::matrix;
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setOrientation (2.0f, -0.4f, 0.1f);
    bringUp (tracker);

    EXPECT_EQ (tracker.streamFormat(), 2);
    ASSERT_TRUE (orientationsArrive());
    expectNear (panel.latest(), expectedMatrix (2.0f, -0.4f, 0.1f), 1.0e-3f);
}

TEST_F (EndToEndTest, SettingsAreWrittenAndReportedBack)
{
    PropertyRecorder recorder;
    connection.addPropertyListener (&recorder);

    SimulatedTracker tracker (ports, "Head Tracker", "t");
    bringUp (tracker);

    // The answer to the read request: compass off with slow central pull,
    // cable on the left, travel mode off.
    ASSERT_TRUE (Sim::waitUntil ([&] { return recorder.propertyChanges >= 1; }));
    EXPECT_TRUE (readRecord ("0042", [] (auto& r) { return r.slowCentralPull && ! r.useCompass && ! r.chirality; }));

    connection.setChirality ("0042", true);
    connection.setCompass ("0042", true, false);
    connection.setTravelMode ("0042", Tracker::TravelMode::fastCorrection);
    EXPECT_EQ (tracker.parameter (4), 0x03);
    EXPECT_EQ (tracker.parameter (3), 0x18);
    EXPECT_EQ (tracker.parameter (17), 0x07);
    ASSERT_TRUE (Sim::waitUntil ([&] { return recorder.propertyChanges >= 2 && recorder.compassChanges >= 2; }));

    // Calibration: calibrating, then succeeded, then good data.
    scanner.sendMessage ("0042", connection.assembleMessage ({ 0x00, 0x03, 0x44 }));
    ASSERT_TRUE (tracker.waitUntilQuiet());
    ASSERT_TRUE (ports.waitUntilDelivered());

    EXPECT_TRUE (readRecord ("0042", [] (auto& r)
    {
        return r.chirality && r.useCompass && ! r.slowCentralPull
               && r.travelMode == Tracker::TravelMode::fastCorrection
               && r.compassState == Tracker::CompassState::goodData;
    }));
    EXPECT_GE (recorder.compassChanges.load(), 5);

    connection.removePropertyListener (&recorder);
}

TEST_F (EndToEndTest, TrackerThatReturnsIsFoundAgain)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    bringUp (tracker);
    ASSERT_TRUE (orientationsArrive());

    tracker.unplug();
    scan();
    tracker.plugIn();
    scan ({ &tracker });
    scan ({ &tracker });

    EXPECT_EQ (panel.events, (std::vector<std::string> { "added 0042", "removed 0042", "added 0042" }));
    EXPECT_EQ (Midi::TrackerConnectionPeer (connection).trackers().size(), 1);
    EXPECT_EQ (tracker.numSwitchOns(), 2);
    EXPECT_TRUE (orientationsArrive());
}

TEST_F (EndToEndTest, SlowTrackerIsIdentifiedAcrossScans)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.holdReplies (true);
    tracker.plugIn();

    // The tracker answers only after the scanner has asked again.
    ASSERT_TRUE (Sim::waitUntil ([&]
    {
        scanner.timerCallback();
        return tracker.numInfoRequests() > 1;
    }));
    EXPECT_EQ (scanner.findDuplex ("0042"), nullptr);

    tracker.holdReplies (false);
    ASSERT_TRUE (Sim::waitUntil ([&]
    {
        scanner.timerCallback();
        return scanner.findDuplex ("0042") != nullptr;
    }));

    scan();
    EXPECT_EQ (panel.events, std::vector<std::string> { "added 0042" });
    EXPECT_TRUE (orientationsArrive());
}

TEST_F (EndToEndTest, DisconnectedTrackerFallsSilentAndResumesOnReconnection)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    bringUp (tracker);
    ASSERT_TRUE (orientationsArrive());

    auto* duplex = scanner.findDuplex ("0042");
    duplex->disconnect();
    ASSERT_TRUE (ports.waitUntilDelivered());
    const int count = panel.numOrientations();
    std::this_thread::sleep_for (std::chrono::milliseconds (50));
    scan();
    EXPECT_EQ (panel.numOrientations(), count);

    duplex->connect();
    EXPECT_TRUE (orientationsArrive());
    EXPECT_EQ (tracker.numSwitchOns(), 1);
}

TEST_F (EndToEndTest, GarbageFromAStreamingTrackerIsIgnored)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setOrientation (0.25f, 0.0f, 0.0f);
    bringUp (tracker);
    ASSERT_TRUE (orientationsArrive());

    tracker.sendGarbage (3000, 1234);
    ASSERT_TRUE (ports.waitUntilDelivered());
    scan();

    EXPECT_EQ (Midi::MidiScannerPeer (scanner).duplexes().size(), 1);
    EXPECT_EQ (Midi::TrackerConnectionPeer (connection).trackers().size(), 1);
    ASSERT_TRUE (orientationsArrive());
    expectNear (panel.latest(), expectedMatrix (0.25f, 0.0f, 0.0f), 3.0e-3f);
}

TEST_F (EndToEndTest, TwoTrackersAreSwitchedOnAndFollowedApart)
{
    SimulatedTracker::Identity second;
    second.serial = "0043";
    SimulatedTracker a (ports, "Head Tracker", "a");
    SimulatedTracker b (ports, "Head Tracker", "b", second);
    a.setOrientation (0.1f, 0.0f, 0.0f);
    b.setOrientation (-0.1f, 0.0f, 0.0f);
    a.plugIn();
    b.plugIn();

    scan ({ &a, &b });
    scan ({ &a, &b });
    scan ({ &a, &b });
    EXPECT_EQ (panel.events, (std::vector<std::string> { "added 0042", "added 0043" }));
    ASSERT_TRUE (orientationsArrive (10));

    std::vector<float> ma (9), mb (9);
    readRecord ("0042", [&] (Tracker::Properties& r) { r.headMatrix.read (ma.data()); return 0; });
    readRecord ("0043", [&] (Tracker::Properties& r) { r.headMatrix.read (mb.data()); return 0; });
    expectNear (ma, expectedMatrix (0.1f, 0.0f, 0.0f), 3.0e-3f);
    expectNear (mb, expectedMatrix (-0.1f, 0.0f, 0.0f), 3.0e-3f);

    b.unplug();
    scan();
    EXPECT_EQ (panel.events.back(), "removed 0043");
    EXPECT_EQ (Midi::TrackerConnectionPeer (connection).trackers().size(), 1);
    EXPECT_NE (connection.findProperties ("0042"), nullptr);
}
} // namespace EndToEnd
