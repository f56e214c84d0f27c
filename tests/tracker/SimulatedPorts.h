#pragma once

#include "tracker/MidiPorts.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Sim
{
// How long the waits below wait by default: generous, since on a busy machine
// any thread may stall for seconds.
constexpr int patientWaitMs = 60000;

// The far end of a simulated output port: the device that receives what the
// host sends through that port.
class PortReceiver
{
public:
    virtual ~PortReceiver() = default;
    // Called on the sender's thread.
    virtual void receiveFromHost (const juce::MidiMessage& message) = 0;
};

// A port layer without hardware: devices list and unlist ports, post messages
// to their input ports and receive what is sent to their output ports.
// Posted messages reach the open, started input ports of that identifier on a
// thread of the port layer's own, the simulated MIDI input thread. Like an
// ALSA port, closing an input waits for a callback in progress.
class SimulatedPorts final : public Midi::MidiPorts
{
public:
    SimulatedPorts();
    ~SimulatedPorts() override;

    // Lists a port (again); a port keeps its place in the list.
    void addInput (const juce::String& name, const juce::String& identifier);
    void addOutput (const juce::String& name, const juce::String& identifier, PortReceiver* receiver);
    // Unlists a port: it vanishes. Sends to its open output ports are dropped.
    void removeInput (const juce::String& identifier);
    void removeOutput (const juce::String& identifier);
    // Makes opening the port fail while set.
    void setOpenFails (const juce::String& identifier, bool fails);

    // A device sends a message from its input port.
    void post (const juce::String& inputIdentifier, const juce::MidiMessage& message);
    // Waits until every message posted so far has been delivered.
    bool waitUntilDelivered (int timeoutMs = patientWaitMs);
    // While held, posted messages wait in the queue: a test scan that holds
    // delivery sees no reply arrive before it has finished.
    void holdDelivery (bool shouldHold);

    int numOpenInputs() const;
    int numOpenOutputs() const;
    // How often a port of that identifier has been opened.
    int numOpens (const juce::String& identifier) const;
    // Messages sent to unlisted outputs, or to outputs without a receiver.
    int numDroppedSends() const { return droppedSends.load(); }

    juce::Array<juce::MidiDeviceInfo> getAvailableInputs() override;
    juce::Array<juce::MidiDeviceInfo> getAvailableOutputs() override;
    std::unique_ptr<Input> openInput (const juce::String& identifier, InputCallback* callback) override;
    std::unique_ptr<Output> openOutput (const juce::String& identifier) override;

private:
    class SimInput;
    class SimOutput;

    struct ListedPort
    {
        juce::String name;
        juce::String identifier;
        PortReceiver* receiver = nullptr;
        bool listed = true;
        bool openFails = false;
        int opens = 0;
    };

    struct Posted
    {
        juce::String identifier;
        juce::MidiMessage message;
    };

    ListedPort* findPort (std::vector<ListedPort>& list, const juce::String& identifier);
    void sendFromHost (const juce::String& identifier, const juce::MidiMessage& message);
    void closeInput (SimInput* input);
    void closeOutput();
    void deliverMessages();

    mutable std::mutex registryMutex; // the lists of ports, and sends to receivers
    std::vector<ListedPort> inputPorts;
    std::vector<ListedPort> outputPorts;

    mutable std::mutex deliveryMutex; // held while a callback runs
    std::vector<SimInput*> openInputs;
    std::atomic<int> openOutputs { 0 };

    std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::deque<Posted> queue;
    long long posted = 0;
    long long delivered = 0;
    bool exiting = false;
    bool held = false;

    std::atomic<int> droppedSends { 0 };
    std::thread deliveryThread;
};

// Polls the condition on the calling thread until it holds or time runs out.
bool waitUntil (const std::function<bool()>& condition, int timeoutMs = patientWaitMs);
} // namespace Sim
