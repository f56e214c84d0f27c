#pragma once

#include "SimulatedTracker.h"
#include "TrackerPeers.h"
#include "tracker/MidiScanner.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace ScannerTests
{
// Records what the scanner tells it: announcements on the message thread,
// forwarded messages on the MIDI input thread.
class RecordingListener : public Midi::MidiScanner::Listener
{
public:
    void scannerDeviceAdded (const juce::String& name) override { events.push_back ("added " + name.toStdString()); }
    void scannerDeviceRemoved (const juce::String& name) override { events.push_back ("removed " + name.toStdString()); }

    void handleIncomingMidiMessage (const juce::String& name, const juce::MidiMessage& message) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        messages.push_back ({ name, message });
    }

    std::vector<std::pair<juce::String, juce::MidiMessage>> forwarded() const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return messages;
    }

    std::vector<std::string> events;

private:
    mutable std::mutex mutex;
    std::vector<std::pair<juce::String, juce::MidiMessage>> messages;
};

class ScannerTest : public ::testing::Test
{
protected:
    ScannerTest()
    {
        scanner.normalPrefixes.add ("Head Tracker");
        scanner.bootloaderPrefixes.add ("Vontaleer Bootloader");
        scanner.addListener (&listener);
    }

    ~ScannerTest() override { scanner.removeListener (&listener); }

    // One scan, then everything the trackers answered has been handled.
    // Replies reach the scanner only after the scan, as they would from a
    // real device.
    void scan (std::initializer_list<Sim::SimulatedTracker*> trackers = {})
    {
        ports.holdDelivery (true);
        scanner.timerCallback();
        ports.holdDelivery (false);
        settle (trackers);
    }

    void settle (std::initializer_list<Sim::SimulatedTracker*> trackers)
    {
        for (auto* tracker : trackers)
            ASSERT_TRUE (tracker->waitUntilQuiet());

        ASSERT_TRUE (ports.waitUntilDelivered());
    }

    int numDuplexes()
    {
        const juce::ScopedLock sl (peer.listLock());
        return peer.duplexes().size();
    }

    Midi::MidiScanner::Duplex* duplex (int index)
    {
        const juce::ScopedLock sl (peer.listLock());
        return peer.duplexes()[index];
    }

    int expectedPacket()
    {
        const juce::ScopedLock sl (peer.listLock());
        return peer.expectedPacket();
    }

    Sim::SimulatedPorts ports;
    RecordingListener listener;
    Midi::MidiScanner scanner { ports };
    Midi::MidiScannerPeer peer { scanner };
    using ScanState = Midi::MidiScannerPeer::ScanState;
};
} // namespace ScannerTests
