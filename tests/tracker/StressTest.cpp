#include "EndToEndRig.h"

#include <algorithm>
#include <map>
#include <thread>

using Sim::SimulatedTracker;

namespace Stress
{
namespace
{
// Counts every call that arrives while it is not registered.
class ChurningListener : public Midi::MidiScanner::Listener,
                         public Midi::TrackerConnection::OrientationListener
{
public:
    explicit ChurningListener (std::atomic<int>& violationCount) : violations (violationCount) {}

    void scannerDeviceAdded (const juce::String&) override { check (registeredWithScanner); }
    void scannerDeviceRemoved (const juce::String&) override { check (registeredWithScanner); }

    void handleIncomingMidiMessage (const juce::String&, const juce::MidiMessage&) override
    {
        check (registeredWithScanner);
        ++messages;
    }

    void trackerOrientation (const juce::String&, float*) override
    {
        check (registeredWithConnection);
        ++orientations;
    }

    std::atomic<bool> registeredWithScanner { false };
    std::atomic<bool> registeredWithConnection { false };
    std::atomic<int> messages { 0 };
    std::atomic<int> orientations { 0 };

private:
    void check (const std::atomic<bool>& registered)
    {
        if (! registered)
            ++violations;
    }

    std::atomic<int>& violations;
};

struct Churn
{
    Churn (Midi::MidiScanner& s, Midi::TrackerConnection& c, std::atomic<int>& v) : scanner (s), connection (c), violations (v) {}
    ~Churn() { retire(); }

    void replace()
    {
        retire();
        current = new ChurningListener (violations);
        current->registeredWithScanner = true;
        current->registeredWithConnection = true;
        scanner.addListener (current);
        connection.addOrientationListener (current);
    }

    // Once removal has returned, no call may reach the listener: it is deleted.
    void retire()
    {
        if (current == nullptr)
            return;

        connection.removeOrientationListener (current);
        current->registeredWithConnection = false;
        scanner.removeListener (current);
        current->registeredWithScanner = false;
        messages += current->messages;
        orientations += current->orientations;
        delete current;
        current = nullptr;
    }

    Midi::MidiScanner& scanner;
    Midi::TrackerConnection& connection;
    std::atomic<int>& violations;
    ChurningListener* current = nullptr;
    int messages = 0;
    int orientations = 0;
};

// Every name is announced added and removed in turn, starting with added.
void expectAlternatingAnnouncements (const std::vector<std::string>& events)
{
    std::map<std::string, bool> present;

    for (auto& event : events)
    {
        const bool added = event.rfind ("added ", 0) == 0;
        const auto name = event.substr (event.find (' ') + 1);
        EXPECT_NE (present[name], added) << event;
        present[name] = added;
    }
}
} // namespace

// A tracker streaming at 1 kHz vanishes and returns every few scans while a
// second one streams on, is disconnected and reconnected, listeners come and
// go on the message thread, and settings are sent to all trackers. Then the
// scanner is destroyed while both still stream.
TEST (TrackerStress, StreamingTrackersComeAndGoWhileListenersChange)
{
    Sim::SimulatedPorts ports;
    Sim::TrackerIdentity steadyIdentity;
    steadyIdentity.serial = "0043";
    SimulatedTracker flaky (ports, "Head Tracker", "flaky");
    SimulatedTracker steady (ports, "Head Tracker 2", "steady", steadyIdentity);
    flaky.setStreamInterval (std::chrono::microseconds (1000));
    steady.setStreamInterval (std::chrono::microseconds (1000));
    flaky.plugIn();
    steady.plugIn();

    std::atomic<int> violations { 0 };
    int flakyAppearances = 0;
    std::vector<std::string> events;

    {
        auto scanner = std::make_unique<Midi::MidiScanner> (ports);
        scanner->normalPrefixes.add ("Head Tracker");
        auto connection = std::make_unique<Midi::TrackerConnection> (scanner.get());
        auto panel = std::make_unique<EndToEnd::PanelStandIn> (*scanner, *connection);
        Churn churn (*scanner, *connection, violations);
        churn.replace();

        // Three seconds, and on until the counts checked below are reached, for
        // the streaming threads may be slow to run on a busy machine.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds (3);
        const auto giveUp = end + std::chrono::minutes (2);
        auto enough = [&] {
            return panel->numOrientations() > 500 && churn.messages > 500 && churn.orientations > 100
                   && flaky.numOrientationsSent() > 100
                   && std::count (panel->events.begin(), panel->events.end(), "added 0042") >= 3;
        };

        for (int scan = 1; std::chrono::steady_clock::now() < end || (! enough() && std::chrono::steady_clock::now() < giveUp); ++scan)
        {
            scanner->timerCallback();

            if (scan % 4 == 0)
            {
                if (flaky.isPluggedIn())
                    flaky.unplug();
                else
                    flaky.plugIn();
            }

            if (scan % 3 == 0)
                churn.replace();

            if (scan % 7 == 0)
                if (auto* duplex = scanner->findDuplex ("0043"))
                    duplex->connected ? duplex->disconnect() : duplex->connect();

            if (scan % 5 == 0)
                flaky.sendGarbage (20, (juce::uint32) scan);

            connection->setChirality ({}, scan % 2 == 0);
            std::this_thread::sleep_for (std::chrono::milliseconds (5));
        }

        events = panel->events;
        flakyAppearances = (int) std::count (events.begin(), events.end(), "added 0042");

        EXPECT_GT (panel->numOrientations(), 500);
        churn.retire();

        EXPECT_GT (churn.messages, 500);
        EXPECT_GT (churn.orientations, 100);

        // Torn down in the order of the plug-in state, trackers still streaming.
        panel.reset();
        connection.reset();
        scanner.reset();
        EXPECT_EQ (ports.numOpenInputs(), 0);
        EXPECT_EQ (ports.numOpenOutputs(), 0);
    }

    EXPECT_EQ (violations.load(), 0);
    EXPECT_GE (flakyAppearances, 3);
    expectAlternatingAnnouncements (events);
    EXPECT_GT (flaky.numOrientationsSent(), 100);
}
} // namespace Stress
