#pragma once

#include "SimulatedTracker.h"
#include "tracker/MidiScanner.h"

#include <gtest/gtest.h>

#include <vector>

namespace TrackerRig
{
// One scan of the scanner. Replies reach it only after the scan, as they would
// from a real device; then everything the trackers answered has been handled.
inline void scan (Sim::SimulatedPorts& ports, Midi::MidiScanner& scanner,
                  std::initializer_list<Sim::SimulatedTracker*> trackers = {})
{
    ports.holdDelivery (true);
    scanner.timerCallback();
    ports.holdDelivery (false);

    for (auto* tracker : trackers)
        ASSERT_TRUE (tracker->waitUntilQuiet());

    ASSERT_TRUE (ports.waitUntilDelivered());
}

// Plugged in, identified at the first scan and announced at the second.
inline void bringUp (Sim::SimulatedPorts& ports, Midi::MidiScanner& scanner, Sim::SimulatedTracker& tracker)
{
    tracker.plugIn();
    scan (ports, scanner, { &tracker });
    scan (ports, scanner, { &tracker });
}

// An orientation message of the tracker protocol: F0 00 3C 19 40 format values F7,
// format 0 yaw-pitch-roll, 1 quaternion, 2 matrix.
inline juce::MidiMessage orientationMessage (int format, std::initializer_list<float> values)
{
    std::vector<juce::uint8> bytes { 0xf0, 0x00, 0x3c, 0x19, 0x40, (juce::uint8) format };
    for (auto v : values)
    {
        juce::uint8 encoded[2];
        Sim::SimulatedTracker::encodeValue (v, encoded);
        bytes.insert (bytes.end(), encoded, encoded + 2);
    }
    bytes.push_back (0xf7);
    return juce::MidiMessage (bytes.data(), (int) bytes.size());
}

inline std::vector<juce::uint8> bytesOf (const juce::MidiMessage& message)
{
    return { message.getRawData(), message.getRawData() + message.getRawDataSize() };
}

// The messages the tracker received from index `from` on, as bytes.
inline std::vector<std::vector<juce::uint8>> receivedSince (const Sim::SimulatedTracker& tracker, size_t from)
{
    std::vector<std::vector<juce::uint8>> result;
    const auto messages = tracker.receivedMessages();
    for (size_t i = from; i < messages.size(); ++i)
        result.push_back (bytesOf (messages[i]));
    return result;
}
} // namespace TrackerRig
