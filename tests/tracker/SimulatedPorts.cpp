#include "SimulatedPorts.h"

#include <algorithm>
#include <chrono>

namespace Sim
{
class SimulatedPorts::SimInput final : public Midi::MidiPorts::Input
{
public:
    SimInput (SimulatedPorts& ownerToUse, const juce::String& id, InputCallback* cb)
        : owner (ownerToUse), identifier (id), callback (cb)
    {
    }

    ~SimInput() override { owner.closeInput (this); }

    void start() override { started = true; }
    void stop() override { started = false; }

    SimulatedPorts& owner;
    const juce::String identifier;
    InputCallback* const callback;
    std::atomic<bool> started { false };
};

class SimulatedPorts::SimOutput final : public Midi::MidiPorts::Output
{
public:
    SimOutput (SimulatedPorts& ownerToUse, const juce::String& id) : owner (ownerToUse), identifier (id) {}
    ~SimOutput() override { owner.closeOutput(); }

    void sendMessageNow (const juce::MidiMessage& message) override { owner.sendFromHost (identifier, message); }

    SimulatedPorts& owner;
    const juce::String identifier;
};

//==============================================================================
SimulatedPorts::SimulatedPorts() : deliveryThread ([this] { deliverMessages(); })
{
}

SimulatedPorts::~SimulatedPorts()
{
    {
        const std::lock_guard<std::mutex> lock (queueMutex);
        exiting = true;
    }

    queueChanged.notify_all();
    deliveryThread.join();
}

SimulatedPorts::ListedPort* SimulatedPorts::findPort (std::vector<ListedPort>& list, const juce::String& identifier)
{
    for (auto& port : list)
        if (port.identifier == identifier)
            return &port;

    return nullptr;
}

void SimulatedPorts::addInput (const juce::String& name, const juce::String& identifier)
{
    const std::lock_guard<std::mutex> lock (registryMutex);

    if (auto* port = findPort (inputPorts, identifier))
    {
        port->name = name;
        port->listed = true;
        return;
    }

    ListedPort port;
    port.name = name;
    port.identifier = identifier;
    inputPorts.push_back (port);
}

void SimulatedPorts::addOutput (const juce::String& name, const juce::String& identifier, PortReceiver* receiver)
{
    const std::lock_guard<std::mutex> lock (registryMutex);

    if (auto* port = findPort (outputPorts, identifier))
    {
        port->name = name;
        port->receiver = receiver;
        port->listed = true;
        return;
    }

    ListedPort port;
    port.name = name;
    port.identifier = identifier;
    port.receiver = receiver;
    outputPorts.push_back (port);
}

void SimulatedPorts::removeInput (const juce::String& identifier)
{
    const std::lock_guard<std::mutex> lock (registryMutex);

    if (auto* port = findPort (inputPorts, identifier))
        port->listed = false;
}

void SimulatedPorts::removeOutput (const juce::String& identifier)
{
    const std::lock_guard<std::mutex> lock (registryMutex);

    if (auto* port = findPort (outputPorts, identifier))
    {
        port->listed = false;
        port->receiver = nullptr;
    }
}

void SimulatedPorts::setOpenFails (const juce::String& identifier, bool fails)
{
    const std::lock_guard<std::mutex> lock (registryMutex);

    if (auto* port = findPort (inputPorts, identifier))
        port->openFails = fails;

    if (auto* port = findPort (outputPorts, identifier))
        port->openFails = fails;
}

int SimulatedPorts::numOpens (const juce::String& identifier) const
{
    const std::lock_guard<std::mutex> lock (registryMutex);
    int opens = 0;

    for (auto* list : { &inputPorts, &outputPorts })
        for (auto& port : *list)
            if (port.identifier == identifier)
                opens += port.opens;

    return opens;
}

juce::Array<juce::MidiDeviceInfo> SimulatedPorts::getAvailableInputs()
{
    const std::lock_guard<std::mutex> lock (registryMutex);
    juce::Array<juce::MidiDeviceInfo> list;

    for (auto& port : inputPorts)
        if (port.listed)
            list.add ({ port.name, port.identifier });

    return list;
}

juce::Array<juce::MidiDeviceInfo> SimulatedPorts::getAvailableOutputs()
{
    const std::lock_guard<std::mutex> lock (registryMutex);
    juce::Array<juce::MidiDeviceInfo> list;

    for (auto& port : outputPorts)
        if (port.listed)
            list.add ({ port.name, port.identifier });

    return list;
}

std::unique_ptr<Midi::MidiPorts::Input> SimulatedPorts::openInput (const juce::String& identifier, InputCallback* callback)
{
    {
        const std::lock_guard<std::mutex> lock (registryMutex);
        auto* port = findPort (inputPorts, identifier);

        if (port == nullptr || ! port->listed || port->openFails)
            return nullptr;

        ++port->opens;
    }

    auto input = std::make_unique<SimInput> (*this, identifier, callback);
    const std::lock_guard<std::mutex> lock (deliveryMutex);
    openInputs.push_back (input.get());
    return input;
}

std::unique_ptr<Midi::MidiPorts::Output> SimulatedPorts::openOutput (const juce::String& identifier)
{
    {
        const std::lock_guard<std::mutex> lock (registryMutex);
        auto* port = findPort (outputPorts, identifier);

        if (port == nullptr || ! port->listed || port->openFails)
            return nullptr;

        ++port->opens;
    }

    ++openOutputs;
    return std::make_unique<SimOutput> (*this, identifier);
}

void SimulatedPorts::closeInput (SimInput* input)
{
    const std::lock_guard<std::mutex> lock (deliveryMutex);
    openInputs.erase (std::remove (openInputs.begin(), openInputs.end(), input), openInputs.end());
}

void SimulatedPorts::closeOutput()
{
    --openOutputs;
}

int SimulatedPorts::numOpenInputs() const
{
    const std::lock_guard<std::mutex> lock (deliveryMutex);
    return (int) openInputs.size();
}

int SimulatedPorts::numOpenOutputs() const
{
    return openOutputs.load();
}

void SimulatedPorts::sendFromHost (const juce::String& identifier, const juce::MidiMessage& message)
{
    const std::lock_guard<std::mutex> lock (registryMutex);
    auto* port = findPort (outputPorts, identifier);

    if (port == nullptr || ! port->listed || port->receiver == nullptr)
    {
        ++droppedSends;
        return;
    }

    port->receiver->receiveFromHost (message);
}

//==============================================================================
void SimulatedPorts::post (const juce::String& inputIdentifier, const juce::MidiMessage& message)
{
    {
        const std::lock_guard<std::mutex> lock (queueMutex);
        queue.push_back ({ inputIdentifier, message });
        ++posted;
    }

    queueChanged.notify_all();
}

bool SimulatedPorts::waitUntilDelivered (int timeoutMs)
{
    std::unique_lock<std::mutex> lock (queueMutex);
    const auto target = posted;
    return queueChanged.wait_for (lock, std::chrono::milliseconds (timeoutMs),
                                  [this, target] { return delivered >= target; });
}

void SimulatedPorts::holdDelivery (bool shouldHold)
{
    {
        const std::lock_guard<std::mutex> lock (queueMutex);
        held = shouldHold;
    }

    queueChanged.notify_all();
}

void SimulatedPorts::deliverMessages()
{
    std::unique_lock<std::mutex> lock (queueMutex);

    for (;;)
    {
        queueChanged.wait (lock, [this] { return exiting || (! held && ! queue.empty()); });

        if (exiting)
            return;

        auto next = std::move (queue.front());
        queue.pop_front();
        lock.unlock();

        {
            const std::lock_guard<std::mutex> deliveryLock (deliveryMutex);

            for (size_t i = 0; i < openInputs.size(); ++i)
            {
                auto* input = openInputs[i];

                if (input->identifier == next.identifier && input->started)
                    input->callback->handleIncomingMidiMessage (input, next.message);
            }
        }

        lock.lock();
        ++delivered;
        queueChanged.notify_all();
    }
}

//==============================================================================
bool waitUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (! condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;

        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }

    return true;
}
} // namespace Sim
