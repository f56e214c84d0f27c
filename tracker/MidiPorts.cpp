#include "tracker/MidiPorts.h"

namespace Midi
{
namespace
{
class SystemInput final : public MidiPorts::Input,
                          private juce::MidiInputCallback
{
public:
    explicit SystemInput (MidiPorts::InputCallback* callbackToUse) : callback (callbackToUse) {}

    ~SystemInput() override
    {
        // Closing the port waits for a callback in progress, so it must go
        // before the rest of this object.
        port.reset();
    }

    bool open (const juce::String& identifier)
    {
        port = juce::MidiInput::openDevice (identifier, this);
        return port != nullptr;
    }

    void start() override { port->start(); }
    void stop() override { port->stop(); }

private:
    void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message) override
    {
        callback->handleIncomingMidiMessage (this, message);
    }

    MidiPorts::InputCallback* callback;
    std::unique_ptr<juce::MidiInput> port;
};

class SystemOutput final : public MidiPorts::Output
{
public:
    explicit SystemOutput (std::unique_ptr<juce::MidiOutput> portToUse) : port (std::move (portToUse)) {}

    void sendMessageNow (const juce::MidiMessage& message) override { port->sendMessageNow (message); }

private:
    std::unique_ptr<juce::MidiOutput> port;
};

class SystemPorts final : public MidiPorts
{
public:
    juce::Array<juce::MidiDeviceInfo> getAvailableInputs() override { return juce::MidiInput::getAvailableDevices(); }
    juce::Array<juce::MidiDeviceInfo> getAvailableOutputs() override { return juce::MidiOutput::getAvailableDevices(); }

    std::unique_ptr<Input> openInput (const juce::String& identifier, InputCallback* callback) override
    {
        auto input = std::make_unique<SystemInput> (callback);

        if (! input->open (identifier))
            return nullptr;

        return input;
    }

    std::unique_ptr<Output> openOutput (const juce::String& identifier) override
    {
        if (auto port = juce::MidiOutput::openDevice (identifier))
            return std::make_unique<SystemOutput> (std::move (port));

        return nullptr;
    }
};
} // namespace

MidiPorts& MidiPorts::system()
{
    static SystemPorts ports;
    return ports;
}
} // namespace Midi
