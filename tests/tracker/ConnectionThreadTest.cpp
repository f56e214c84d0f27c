// The connection's guards between the message thread and the MIDI input thread.
// These tests are meant to run under ThreadSanitizer as well.

#include "ConnectionTestRig.h"

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace ConnectionTest;

namespace
{
// Feeds a tracker's messages through the scanner, as the port layer's MIDI input
// thread does, until stopped.
class MidiThread
{
public:
    explicit MidiThread (std::vector<Device> devicesToFeed) : devices (std::move (devicesToFeed))
    {
        thread = std::thread ([this] { run(); });
    }

    ~MidiThread() { stop(); }

    void stop()
    {
        running.store (false);
        if (thread.joinable())
            thread.join();
    }

    std::atomic<int> sent { 0 };

private:
    void run()
    {
        const Bytes messages[] = { yawPitchRollMessage (0.3f, -0.2f, 0.1f),
                                   quaternionMessage (0.9f, 0.1f, 0.2f, 0.3f),
                                   matrixMessage (std::array<float, 9> { 1, 0, 0, 0, 1, 0, 0, 0, 1 }.data()),
                                   reportMessage ({ 3, 0x13, 4, 3, 5, 9, 17, 6, 5, 6 }),
                                   trackerMessage (0x41, bytesOf ({ 1, 2, 0, 0, 1, 0, 0, 2, 0, 0, 3 })) };

        for (int i = 0; running.load(); ++i)
        {
            const auto& device = devices[(size_t) i % devices.size()];
            device.receive (messages[(size_t) (i / 2) % std::size (messages)]);
            sent.fetch_add (1);
        }
    }

    std::vector<Device> devices;
    std::atomic<bool> running { true };
    std::thread thread;
};

// Writes the orientation into the record once more, as the head panel does.
struct HeadPanelLike : Midi::TrackerConnection::OrientationListener
{
    explicit HeadPanelLike (Midi::TrackerConnection& c) : connection (c) {}

    void trackerOrientation (const juce::String& name, float* matrix) override
    {
        if (auto* record = connection.findProperties (name))
        {
            record->headMatrix.write (matrix);
            writes.fetch_add (1);
        }
    }

    Midi::TrackerConnection& connection;
    std::atomic<int> writes { 0 };
};

// Copies the reporting record, as the settings panel does.
struct SettingsLike : Midi::TrackerConnection::PropertyListener
{
    void trackerCompassStateChanged (const Tracker::Properties& record) override { take (record); }
    void trackerPropertiesChanged (const Tracker::Properties& record) override { take (record); }

    void take (const Tracker::Properties& record)
    {
        const std::lock_guard<std::mutex> lock (mutex);
        copy = record;
        copies.fetch_add (1);
    }

    std::mutex mutex;
    Tracker::Properties copy;
    std::atomic<int> copies { 0 };
};

// Counts calls and notes any that arrive while it is not registered.
struct GuardedListener : Midi::TrackerConnection::OrientationListener,
                         Midi::TrackerConnection::PropertyListener
{
    void trackerOrientation (const juce::String&, float*) override { note(); }
    void trackerCompassStateChanged (const Tracker::Properties&) override { note(); }
    void trackerShakeStage (const Tracker::Properties&) override { note(); }

    void note()
    {
        calls.fetch_add (1);
        if (! registered.load())
            lateCalls.fetch_add (1);
    }

    std::atomic<bool> registered { false };
    std::atomic<int> calls { 0 };
    std::atomic<int> lateCalls { 0 };
};

template <typename Condition>
bool waitFor (Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (60);
    while (! condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class ConnectionThreads : public ::testing::Test
{
protected:
    ConnectionThreads()
    {
        first = addDevice (scanner, "T1", "port 1");
        second = addDevice (scanner, "T2", "port 2");
    }

    NoPorts ports;
    Midi::MidiScanner scanner { ports };
    Device first, second;
};
} // namespace

TEST_F (ConnectionThreads, RecordsComeAndGoWhileMessagesAreDecoded)
{
    Midi::TrackerConnection connection (&scanner);
    HeadPanelLike headPanel (connection);
    SettingsLike settings;
    connection.addOrientationListener (&headPanel);
    connection.addPropertyListener (&settings);

    MidiThread midi ({ first, second });

    int recordsSeen = 0;
    for (int i = 0; i < 400; ++i)
    {
        connection.scannerDeviceAdded ("T1");
        if (i % 3 == 0)
            connection.scannerDeviceAdded ("T2");

        connection.turnOn ("T1", Tracker::Rate::rate1, Tracker::AngleMode::quaternion);
        connection.setCompass ("T1", i % 2 == 0, true);
        connection.setTravelMode ({}, Tracker::TravelMode::slowCorrection);

        // The room builder's read: name and matrix of a record found on this thread.
        if (auto* record = connection.findProperties ("T1"))
        {
            float m[9];
            record->headMatrix.read (m);
            ++recordsSeen;
        }

        // A settings copy on this thread.
        if (auto* record = connection.findProperties ("T2"))
        {
            const auto copy = connection.copyOf (*record);
            EXPECT_STREQ (copy.name, "T2");
        }

        waitFor ([&] { return midi.sent.load() > 4 * i; });
        connection.scannerDeviceRemoved ("T1");
        if (i % 2 == 0)
            connection.scannerDeviceRemoved ("T2");
    }

    // However the threads were scheduled, both kinds of callback get their turn.
    connection.scannerDeviceAdded ("T1");
    connection.scannerDeviceAdded ("T2");
    waitFor ([&] { return headPanel.writes.load() > 0 && settings.copies.load() > 0; });

    midi.stop();
    EXPECT_GT (recordsSeen, 0);
    EXPECT_GT (midi.sent.load(), 400);
    EXPECT_GT (headPanel.writes.load(), 0);
    EXPECT_GT (settings.copies.load(), 0);
}

TEST_F (ConnectionThreads, RemovedListenerIsNeverCalled)
{
    Midi::TrackerConnection connection (&scanner);
    connection.scannerDeviceAdded ("T1");
    MidiThread midi ({ first });

    int lateCalls = 0;
    for (int i = 0; i < 200; ++i)
    {
        auto listener = std::make_unique<GuardedListener>();
        listener->registered.store (true);
        connection.addOrientationListener (listener.get());
        connection.addPropertyListener (listener.get());

        EXPECT_TRUE (waitFor ([&] { return listener->calls.load() > 0; }));

        connection.removeOrientationListener (listener.get());
        connection.removePropertyListener (listener.get());
        listener->registered.store (false);

        // More messages pass; none may reach the listener.
        const int sentAtRemoval = midi.sent.load();
        waitFor ([&] { return midi.sent.load() > sentAtRemoval + 5; });
        lateCalls += listener->lateCalls.load();
        listener.reset();
    }

    midi.stop();
    EXPECT_EQ (lateCalls, 0);
}

TEST_F (ConnectionThreads, ConnectionGoesWhileMessagesFlow)
{
    MidiThread midi ({ first, second });

    for (int i = 0; i < 100; ++i)
    {
        auto connection = std::make_unique<Midi::TrackerConnection> (&scanner);
        GuardedListener listener;
        listener.registered.store (true);
        connection->addOrientationListener (&listener);
        connection->scannerDeviceAdded ("T1");
        connection->scannerDeviceAdded ("T2");

        EXPECT_TRUE (waitFor ([&] { return listener.calls.load() > 0; }));

        // Leaves the scanner first; the records go after any message in progress.
        connection.reset();
        EXPECT_TRUE (Midi::MidiScannerPeer (scanner).listeners().empty());
    }

    midi.stop();
}

TEST_F (ConnectionThreads, SettersAndReportsWriteTheSameRecord)
{
    Midi::TrackerConnection connection (&scanner);
    connection.scannerDeviceAdded ("T1");
    MidiThread midi ({ first });

    for (int i = 0; i < 2000; ++i)
    {
        connection.setChirality ("T1", i % 2 == 0);
        connection.setTravelMode ("T1", (Tracker::TravelMode) (i % 3));

        const auto* record = connection.findProperties ("T1");
        ASSERT_NE (record, nullptr);
        EXPECT_LE ((int) connection.copyOf (*record).travelMode, 2);
    }

    midi.stop();
}
