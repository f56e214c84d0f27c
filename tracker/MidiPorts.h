#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

namespace Midi
{
// The MIDI ports of the system, reduced to what the scanner needs: list the
// ports, open an input with a callback, open an output and send through it.
// MidiPorts::system() reaches the operating system's ports through
// juce::MidiInput and juce::MidiOutput; tests put a simulation in its place.
class MidiPorts
{
public:
    // An open input port. Destroying it closes the port; once the destructor
    // has returned, no callback for it is running or will run.
    class Input
    {
    public:
        virtual ~Input() = default;
        virtual void start() = 0;
        virtual void stop() = 0;
    };

    // An open output port. Destroying it closes the port.
    class Output
    {
    public:
        virtual ~Output() = default;
        virtual void sendMessageNow (const juce::MidiMessage& message) = 0;
    };

    // Receives every complete message of an open and started input, on the
    // port layer's own MIDI input thread.
    class InputCallback
    {
    public:
        virtual ~InputCallback() = default;
        virtual void handleIncomingMidiMessage (Input* source, const juce::MidiMessage& message) = 0;
    };

    virtual ~MidiPorts() = default;

    virtual juce::Array<juce::MidiDeviceInfo> getAvailableInputs() = 0;
    virtual juce::Array<juce::MidiDeviceInfo> getAvailableOutputs() = 0;

    // Null when the port does not open.
    virtual std::unique_ptr<Input> openInput (const juce::String& identifier, InputCallback* callback) = 0;
    virtual std::unique_ptr<Output> openOutput (const juce::String& identifier) = 0;

    // The operating system's ports (juce::MidiInput and juce::MidiOutput).
    static MidiPorts& system();
};
} // namespace Midi
