#pragma once

#include "tracker/MidiScanner.h"
#include "tracker/TrackerConnection.h"

#include <vector>

namespace Midi
{
// The scanner's internals, for tests.
struct MidiScannerPeer
{
    using InputDevice = MidiScanner::InputDevice;
    using OutputDevice = MidiScanner::OutputDevice;
    using ScanState = MidiScanner::ScanState;

    explicit MidiScannerPeer (MidiScanner& s) : scanner (s) {}

    juce::OwnedArray<InputDevice>& inputs() { return scanner.inputs; }
    juce::OwnedArray<OutputDevice>& outputs() { return scanner.outputs; }
    juce::OwnedArray<MidiScanner::Duplex>& duplexes() { return scanner.duplexes; }
    juce::CriticalSection& listLock() { return scanner.listLock; }
    std::vector<MidiScanner::Listener*> listeners() const { return scanner.listeners.toVector(); }
    int dumpTextLength() const { return scanner.decoder.textLength(); }
    int expectedPacket() const { return scanner.decoder.expectedPacket(); }

    static InputDevice* input (MidiScanner::Duplex& duplex) { return duplex.input; }
    static OutputDevice* output (MidiScanner::Duplex& duplex) { return duplex.output; }

    // A tracker whose ports are already open, as if identified: the scanner owns
    // the new entries, with the given ports in them.
    MidiScanner::Duplex& addDuplex (const juce::String& name, const juce::String& identifier,
                                    std::unique_ptr<MidiPorts::Input> input, std::unique_ptr<MidiPorts::Output> output)
    {
        auto* inputDevice = new InputDevice (scanner, identifier + " in");
        inputDevice->input = std::move (input);
        inputDevice->scanState = ScanState::seenInThisScan;

        auto* outputDevice = new OutputDevice (identifier + " out");
        outputDevice->output = std::move (output);
        outputDevice->paired = true;
        outputDevice->scanState = ScanState::seenInThisScan;

        auto* duplex = new MidiScanner::Duplex (scanner);
        duplex->name = name;
        duplex->input = inputDevice;
        duplex->output = outputDevice;
        duplex->connected = true;

        const juce::ScopedLock sl (scanner.listLock);
        scanner.inputs.add (inputDevice);
        scanner.outputs.add (outputDevice);
        scanner.duplexes.add (duplex);
        return *duplex;
    }

    // Delivers a message on an input port as the port layer's MIDI input thread does.
    static void receive (MidiScanner::Duplex& duplex, const juce::MidiMessage& message)
    {
        duplex.input->callback->handleIncomingMidiMessage (duplex.input->input.get(), message);
    }

    MidiScanner& scanner;
};

// The connection's internals, for tests.
struct TrackerConnectionPeer
{
    explicit TrackerConnectionPeer (TrackerConnection& c) : connection (c) {}

    juce::OwnedArray<Tracker::Properties>& trackers() { return connection.trackers; }
    juce::CriticalSection& recordLock() { return connection.recordLock; }
    Tracker::Listener*& trackerListener() { return connection.trackerListener; }
    MidiScanner* scanner() const { return connection.scanner; }
    std::vector<TrackerConnection::PropertyListener*> propertyListeners() const { return connection.propertyListeners.toVector(); }

    TrackerConnection& connection;
};
} // namespace Midi
