// The head panel's work without a window: which tracker is current, what
// reaches its record, which head the room builds take, and the wireframe's
// hand-over.
#include "HeadPanelRig.h"
#include "tests/tracker/TrackerRig.h"
#include "trackerui/TrackerHub.h"

#include <gtest/gtest.h>

using namespace HeadPanelRig;
using HeadPanel::TrackerHub;

namespace
{
// The scanner's reports, passed to the hub as the head panel passes them.
struct HubFeed : Midi::MidiScanner::Listener
{
    explicit HubFeed (TrackerHub& h) : hub (h) {}
    void scannerDeviceAdded (const juce::String& name) override { hub.trackerAdded (name); }
    void scannerDeviceRemoved (const juce::String& name) override { hub.trackerRemoved (name); }
    void handleIncomingMidiMessage (const juce::String&, const juce::MidiMessage&) override {}
    TrackerHub& hub;
};

class TrackerHubTest : public ::testing::Test
{
protected:
    TrackerHubTest()
    {
        scanner.normalPrefixes.add ("Head Tracker");
        scanner.stopTimer(); // the tests scan by hand
    }

    ~TrackerHubTest() override { scanner.removeListener (&feed); }

    Matrix recordMatrix (const juce::String& name)
    {
        Matrix m {};
        if (auto head = connection.headMatrixOf (name))
            head->read (m.data());
        return m;
    }

    static std::optional<Matrix> matrixOf (const std::optional<HeadMatrix>& head)
    {
        if (! head)
            return std::nullopt;
        Matrix m;
        head->read (m.data());
        return m;
    }

    Sim::SimulatedPorts ports;
    Midi::MidiScanner scanner { ports };
    Midi::TrackerConnection connection { &scanner };
    TrackerHub hub { scanner, connection, Tracker::Rate::rate1, Tracker::AngleMode::matrix };
    HubFeed feed { hub };
};
} // namespace

TEST_F (TrackerHubTest, FirstTrackerIsCurrentAndTheNextTakesOverWhenItGoes)
{
    using Removal = TrackerHub::Removal;
    const struct
    {
        bool add;
        const char* name;
        int outcome; // add: 1 became current, 0 only remembered; remove: a Removal
        const char* current;
        juce::StringArray known;
    } steps[] {
        { true, "A", 1, "A", { "A" } },
        { true, "B", 0, "A", { "A", "B" } },
        { true, "A", 0, "A", { "A", "B" } },
        { false, "B", (int) Removal::notCurrent, "A", { "A" } },
        { true, "C", 0, "A", { "A", "C" } },
        { false, "A", (int) Removal::nextIsCurrent, "C", { "C" } },
        { false, "nobody", (int) Removal::notCurrent, "C", { "C" } },
        { false, "C", (int) Removal::noneLeft, "", {} },
        { false, "C", (int) Removal::notCurrent, "", {} },
        { true, "B", 1, "B", { "B" } },
    };

    int step = 0;
    for (const auto& s : steps)
    {
        const int outcome = s.add ? (int) hub.trackerAdded (s.name) : (int) hub.trackerRemoved (s.name);
        EXPECT_EQ (outcome, s.outcome) << "step " << step;
        EXPECT_EQ (hub.currentTrackerName, s.current) << "step " << step;
        EXPECT_EQ (hub.knownTrackers, s.known) << "step " << step;
        EXPECT_EQ (hub.currentHeadMatrix().has_value(), false) << "step " << step; // no records
        ++step;
    }
}

TEST_F (TrackerHubTest, OnlyTheCurrentTrackersOrientationReachesItsRecord)
{
    connection.scannerDeviceAdded ("A");
    connection.scannerDeviceAdded ("B");
    hub.trackerAdded ("A");
    hub.trackerAdded ("B");

    const float turned[9] { 0, -1, 0, 1, 0, 0, 0, 0, 1 };
    EXPECT_EQ (hub.takeOrientation ("B", turned), nullptr);
    EXPECT_EQ (hub.takeOrientation ("nobody", turned), nullptr);
    EXPECT_EQ (recordMatrix ("B"), identity);

    const auto* head = hub.takeOrientation ("A", turned);
    ASSERT_EQ (head, &connection.findProperties ("A")->headMatrix);
    const Matrix expected { 0, -1, 0, 1, 0, 0, 0, 0, 1 };
    EXPECT_EQ (recordMatrix ("A"), expected);
    EXPECT_EQ (matrixOf (hub.currentHeadMatrix()), expected);

    // The current tracker's record gone, its orientations go nowhere.
    connection.scannerDeviceRemoved ("A");
    EXPECT_EQ (hub.takeOrientation ("A", turned), nullptr);
    EXPECT_FALSE (hub.currentHeadMatrix().has_value());
}

TEST_F (TrackerHubTest, RoomBuildsTakeTheHeadOnlyWhileTheCurrentTrackerIsConnected)
{
    scanner.addListener (&feed); // behind the connection, as the head panel
    Sim::SimulatedTracker tracker (ports, "Head Tracker", "a");
    EXPECT_FALSE (hub.currentHeadMatrix().has_value());
    EXPECT_EQ (hub.toggleConnection(), nullptr); // no current tracker: nothing happens

    tracker.setOrientation (0.5f, 0.0f, 0.0f);
    TrackerRig::bringUp (ports, scanner, tracker);
    ASSERT_EQ (hub.currentTrackerName, "0042");
    EXPECT_EQ (tracker.streamFormat(), 2); // switched on as asked
    ASSERT_TRUE (Sim::waitUntil ([&] { return tracker.numOrientationsSent() > 0; }));
    tracker.stopStreaming();
    ASSERT_TRUE (tracker.waitUntilQuiet());
    ASSERT_TRUE (ports.waitUntilDelivered());
    const auto tracked = recordMatrix ("0042");
    ASSERT_TRUE (isRotation (tracked));
    EXPECT_NEAR (tracked[1], -std::sin (0.5f), 2.0e-3f);

    const struct
    {
        const char* what;
        bool connected;
    } presses[] { { "disconnected", false }, { "reconnected", true }, { "disconnected again", false } };
    EXPECT_EQ (matrixOf (hub.currentHeadMatrix()), tracked);
    for (const auto& press : presses)
    {
        auto* duplex = hub.toggleConnection();
        ASSERT_NE (duplex, nullptr) << press.what;
        EXPECT_EQ (duplex->connected, press.connected) << press.what;
        EXPECT_EQ (ports.numOpenInputs(), press.connected ? 1 : 0) << press.what;
        EXPECT_EQ (matrixOf (hub.currentHeadMatrix()), press.connected ? std::optional<Matrix> (tracked) : std::nullopt)
            << press.what;
    }

    // Gone while disconnected: no head at all.
    tracker.unplug();
    TrackerRig::scan (ports, scanner);
    EXPECT_TRUE (hub.currentTrackerName.isEmpty());
    EXPECT_FALSE (hub.currentHeadMatrix().has_value());
}

TEST_F (TrackerHubTest, EachWireframeIsHandedOverWhole)
{
    EXPECT_EQ (hub.latestWireframe().size(), 0);

    HeadPanel::PointPlanes expected;
    const float turned[9] { 0, -1, 0, 1, 0, 0, 0, 0, 1 };
    HeadPanel::buildWireframe (expected, turned);
    ASSERT_GT (expected.segments.size(), 0);

    hub.buildWireframe (identity.data());
    hub.buildWireframe (turned);
    for (int take = 0; take < 2; ++take) // the newest, then the same again
    {
        const auto& segments = hub.latestWireframe();
        ASSERT_EQ (segments.size(), expected.segments.size()) << take;
        for (int i = 0; i < segments.size(); ++i)
        {
            EXPECT_EQ (segments[i]->plane, expected.segments[i]->plane) << take << ", " << i;
            EXPECT_EQ (segments[i]->path.getBounds(), expected.segments[i]->path.getBounds()) << take << ", " << i;
        }
    }
}
