#pragma once

#include "tracker/FileDump.h"
#include "tracker/InfoText.h"
#include "tracker/ListenerList.h"
#include "tracker/MidiPorts.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>
#include <vector>

namespace Midi
{
// Finds head trackers among the MIDI ports by port-name prefix, identifies
// them with a MIDI File Dump request, pairs an input and an output port into
// one Duplex per tracker and passes the trackers' messages to its listeners.
//
// Threads: the scan (timerCallback), sendMessage, findDuplex and the Duplex
// operations run on the message thread; incoming messages arrive on the port
// layer's MIDI input thread. listLock guards the lists, the decoder and the
// port pointers between the two; ports are opened and closed outside it.
// listenerLock guards the listeners against forwarding on the MIDI input
// thread. Forwarded messages must not wait for the message thread.
class MidiScanner : public juce::Timer,
                    private MidiPorts::InputCallback
{
    struct InputDevice;
    struct OutputDevice;

public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        // Message thread, at the scan after the tracker was identified.
        virtual void scannerDeviceAdded (const juce::String& name) = 0;
        // Message thread, at the scan that found one of its ports gone.
        virtual void scannerDeviceRemoved (const juce::String& name) = 0;
        // MIDI input thread: every message from an identified tracker.
        virtual void handleIncomingMidiMessage (const juce::String& name, const juce::MidiMessage& message) {}
    };

    // One identified tracker: an input and an output port. Made on the MIDI
    // input thread when the tracker identifies itself; used on the message thread.
    struct Duplex
    {
        explicit Duplex (MidiScanner& owner) : scanner (owner) {}

        // Reopens the ports that are closed; nothing when connected.
        void connect();
        // Stops and closes both ports and clears `connected` (the head panel's
        // connect button); safe against the MIDI input thread.
        void disconnect();

        juce::String name;
        bool bootloader = false;
        juce::OwnedArray<InfoText::Token> tokens;
        bool connected = true; // both ports are open

    private:
        friend class MidiScanner;
        friend struct MidiScannerPeer;

        bool pendingRemoval = false;
        InputDevice* input = nullptr;
        OutputDevice* output = nullptr;
        MidiScanner& scanner;
    };

    // Uses the operating system's MIDI ports.
    MidiScanner();
    // Uses the given port layer, which must outlive the scanner.
    explicit MidiScanner (MidiPorts& portsToUse);
    ~MidiScanner() override;

    // A scan every scanPeriodMs from now on.
    static constexpr int scanPeriodMs = 400;
    void startScanning() { startTimer (scanPeriodMs); }

    // One scan.
    void timerCallback() override;

    // Sends to the connected tracker of that name, or to every connected
    // tracker when the name is empty.
    void sendMessage (const juce::String& name, const juce::MidiMessage& message);

    // The first Duplex of that name, or null. Valid until the scan that
    // announces its removal has finished.
    Duplex* findDuplex (const juce::String& name);

    // No call reaches a listener once its removal has returned. A listener
    // must not be removed while holding a lock that a forwarded message may need.
    void addListener (Listener* listener);
    void removeListener (Listener* listener);

    // Port-name prefixes of trackers in normal and in bootloader mode; filled by
    // the owner before the first scan.
    juce::StringArray normalPrefixes;
    juce::StringArray bootloaderPrefixes;

private:
    friend struct MidiScannerPeer;

    enum class ScanState
    {
        openedInThisScan,
        seenInThisScan,
        notSeenInThisScan
    };

    // One opened input port whose name matched a prefix.
    struct InputDevice
    {
        InputDevice (MidiScanner& owner, const juce::String& portIdentifier);
        ~InputDevice();

        // Opens and starts the port; only called while `input` is null.
        void connect();

        std::unique_ptr<MidiPorts::Input> input;
        ScanState scanState = ScanState::openedInThisScan;
        bool bootloader = false;
        juce::OwnedArray<InfoText::Token> tokens;
        juce::String identifier;
        MidiPorts::InputCallback* callback;
        MidiScanner& scanner;
    };

    // One opened output port whose name matched a prefix.
    struct OutputDevice
    {
        explicit OutputDevice (const juce::String& portIdentifier) : identifier (portIdentifier) {}

        std::unique_ptr<MidiPorts::Output> output;
        ScanState scanState = ScanState::openedInThisScan;
        bool paired = false; // a Duplex owns it; no more identification requests
        juce::String identifier;
    };

    void handleIncomingMidiMessage (MidiPorts::Input* source, const juce::MidiMessage& message) override;

    bool matchesAny (const juce::StringArray& prefixes, const juce::String& portName) const;
    void scanInputs();
    void scanOutputs();
    void reconcileInput (const juce::MidiDeviceInfo& port, bool isBootloader);
    void reconcileOutput (const juce::MidiDeviceInfo& port);
    void markRemovedInputs();
    void markRemovedOutputs();
    void markRemoval (Duplex& duplex);
    template <typename Device>
    void sweepVanished (juce::OwnedArray<Device>& devices);
    void sendIdentificationRequest();
    void announce (juce::StringArray& names, void (Listener::*operation) (const juce::String&));
    void deletePendingDuplexes();
    void closeAllPorts();

    void nameAndPair (InputDevice& source);
    void forward (const juce::String& name, const juce::MidiMessage& message);

    InputDevice* findInput (MidiPorts::Input* source) const;
    Duplex* findDuplexOf (const InputDevice* input) const;
    Duplex* findDuplexOf (const OutputDevice* output) const;

    MidiPorts& ports;
    juce::CriticalSection listLock;
    juce::CriticalSection listenerLock;

    // One decoder for all ports.
    FileDump::Decoder decoder;

    juce::String probedIdentifier;
    juce::OwnedArray<Duplex> duplexes;
    juce::OwnedArray<InputDevice> inputs;
    juce::OwnedArray<OutputDevice> outputs;
    ListenerList<Listener> listeners { listenerLock };
    juce::StringArray addedNames;
    juce::StringArray removedNames;

    JUCE_DECLARE_NON_COPYABLE (MidiScanner)
};
} // namespace Midi
