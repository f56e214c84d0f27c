// The tracker path as a faulty device drives it: a tracker is identified with
// a real File Dump reply, and then the input's bytes become a sequence of
// messages from its port, scans, unplugs and plug-ins. The port layer here is
// synchronous: a message reaches the scanner on the calling thread.
#include "tests/tracker/SimulatedTracker.h"
#include "tracker/MidiScanner.h"
#include "tracker/TrackerConnection.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace
{
const juce::String portName = "Head Tracker";
const juce::String inputId = "t-in";
const juce::String outputId = "t-out";

class DirectPorts final : public Midi::MidiPorts
{
public:
    class DirectInput final : public Input
    {
    public:
        DirectInput (DirectPorts& p, InputCallback* c) : ports (p), callback (c) {}
        ~DirectInput() override { ports.open = nullptr; }
        void start() override { started = true; }
        void stop() override { started = false; }

        DirectPorts& ports;
        InputCallback* callback;
        bool started = false;
    };

    class DirectOutput final : public Output
    {
    public:
        void sendMessageNow (const juce::MidiMessage&) override {}
    };

    juce::Array<juce::MidiDeviceInfo> getAvailableInputs() override { return listed (inputId); }
    juce::Array<juce::MidiDeviceInfo> getAvailableOutputs() override { return listed (outputId); }

    std::unique_ptr<Input> openInput (const juce::String& identifier, InputCallback* callback) override
    {
        if (! pluggedIn || identifier != inputId || open != nullptr)
            return nullptr;
        auto input = std::make_unique<DirectInput> (*this, callback);
        open = input.get();
        return input;
    }

    std::unique_ptr<Output> openOutput (const juce::String& identifier) override
    {
        if (! pluggedIn || identifier != outputId)
            return nullptr;
        return std::make_unique<DirectOutput>();
    }

    // The device sends a message from its input port.
    void post (const juce::MidiMessage& message)
    {
        if (open != nullptr && open->started)
            open->callback->handleIncomingMidiMessage (open, message);
    }

    bool pluggedIn = true;
    DirectInput* open = nullptr;

private:
    juce::Array<juce::MidiDeviceInfo> listed (const juce::String& identifier) const
    {
        juce::Array<juce::MidiDeviceInfo> ports;
        if (pluggedIn)
            ports.add (juce::MidiDeviceInfo (portName, identifier));
        return ports;
    }
};

// Every orientation that reaches the head panel must be a finite matrix.
class FiniteOrientations final : public Midi::TrackerConnection::OrientationListener
{
public:
    void trackerOrientation (const juce::String&, float* matrix) override
    {
        for (int i = 0; i < 9; ++i)
            if (! std::isfinite (matrix[i]))
                __builtin_trap();
    }
};

juce::MidiMessage sysEx (const uint8_t* payload, int length)
{
    std::vector<juce::uint8> bytes { 0xf0 };
    bytes.insert (bytes.end(), payload, payload + length);
    bytes.push_back (0xf7);
    return juce::MidiMessage (bytes.data(), (int) bytes.size());
}

void identify (DirectPorts& ports, Midi::MidiScanner& scanner)
{
    scanner.timerCallback(); // opens the ports and asks for the information file
    const juce::uint8 header[] = { 0x7e, 0x00, 0x07, 0x01, 0x01, 'T', 'E', 'X', 'T', 13, 0, 0, 0, 'I', 'N', 'F', 'O' };
    ports.post (sysEx (header, (int) sizeof (header)));
    const char text[] = "=A1\n#0042\nmB3";
    ports.post (Sim::fileDumpDataPacket (0, reinterpret_cast<const juce::uint8*> (text), (int) sizeof (text) - 1));
    scanner.timerCallback(); // announces the tracker: the connection makes its record
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    DirectPorts ports;
    Midi::MidiScanner scanner (ports);
    scanner.normalPrefixes.add (portName);
    Midi::TrackerConnection connection (&scanner);
    FiniteOrientations orientations;
    connection.addOrientationListener (&orientations);
    identify (ports, scanner);
    if (connection.findProperties ("0042") == nullptr)
        __builtin_trap(); // the rig failed to identify the tracker

    // Each step: an operation byte, then what it needs.
    size_t at = 0;
    while (at < size)
    {
        const uint8_t operation = data[at++];
        switch (operation % 8)
        {
            case 0: // system exclusive: a length, then the bytes between F0 and F7
            case 1:
            case 2:
            {
                size_t length = 0;
                if (at < size)
                {
                    length = data[at];
                    ++at;
                    length = std::min (length, size - at);
                }
                ports.post (sysEx (data + at, (int) length));
                at += length;
                break;
            }
            case 3: // a short message of one to three bytes
            {
                const size_t length = std::min<size_t> (1 + operation / 8 % 3, size - at);
                if (length > 0)
                    ports.post (juce::MidiMessage (data + at, (int) length));
                at += length;
                break;
            }
            case 4:
                scanner.timerCallback();
                break;
            case 5:
                ports.pluggedIn = false;
                break;
            case 6:
                ports.pluggedIn = true;
                break;
            default:
                identify (ports, scanner);
                break;
        }
    }
    connection.removeOrientationListener (&orientations);
    return 0;
}
