#include "tracker/MidiScanner.h"

#include <algorithm>

namespace Midi
{
namespace
{
void closeInput (std::unique_ptr<MidiPorts::Input> port)
{
    if (port != nullptr)
        port->stop();
}
} // namespace

//==============================================================================
MidiScanner::InputDevice::InputDevice (MidiScanner& owner, const juce::String& portIdentifier)
    : identifier (portIdentifier), callback (&owner), scanner (owner)
{
}

// Only called once the entry is out of `inputs` (or no callback can come any
// more), so no lock is needed to close the port.
MidiScanner::InputDevice::~InputDevice()
{
    closeInput (std::move (input));
}

void MidiScanner::InputDevice::connect()
{
    auto port = scanner.ports.openInput (identifier, callback);

    if (port == nullptr)
        return;

    auto* opened = port.get();

    {
        const juce::ScopedLock sl (scanner.listLock);
        input = std::move (port);
    }

    opened->start();
}

//==============================================================================
void MidiScanner::Duplex::connect()
{
    if (connected)
        return;

    if (input->input == nullptr)
    {
        input->connect();

        const juce::ScopedLock sl (scanner.listLock);
        connected = input->input != nullptr;

        if (! connected)
            return;
    }
    else
    {
        const juce::ScopedLock sl (scanner.listLock);
        connected = true;
    }

    if (output->output == nullptr)
    {
        auto port = scanner.ports.openOutput (output->identifier);
        const bool opened = port != nullptr;
        std::unique_ptr<MidiPorts::Input> closing;

        {
            const juce::ScopedLock sl (scanner.listLock);
            output->output = std::move (port);
            connected = opened;

            if (! opened)
                closing = std::move (input->input);
        }

        closeInput (std::move (closing));
    }
}

void MidiScanner::Duplex::disconnect()
{
    std::unique_ptr<MidiPorts::Input> closingInput;
    std::unique_ptr<MidiPorts::Output> closingOutput;

    {
        const juce::ScopedLock sl (scanner.listLock);
        connected = false;
        closingInput = std::move (input->input);
        closingOutput = std::move (output->output);
    }

    closeInput (std::move (closingInput));
}

//==============================================================================
MidiScanner::MidiScanner() : MidiScanner (MidiPorts::system())
{
}

MidiScanner::MidiScanner (MidiPorts& portsToUse) : ports (portsToUse)
{
}

MidiScanner::~MidiScanner()
{
    stopTimer();
    closeAllPorts();

    duplexes.clear();
    inputs.clear();
    outputs.clear();
}

void MidiScanner::closeAllPorts()
{
    std::vector<std::unique_ptr<MidiPorts::Input>> closingInputs;
    std::vector<std::unique_ptr<MidiPorts::Output>> closingOutputs;

    {
        const juce::ScopedLock sl (listLock);

        for (auto* entry : inputs)
            closingInputs.push_back (std::move (entry->input));

        for (auto* entry : outputs)
            closingOutputs.push_back (std::move (entry->output));
    }

    // Inputs first: once they are closed no callback reaches the scanner.
    for (auto& port : closingInputs)
        closeInput (std::move (port));

    closingOutputs.clear();
}

//==============================================================================
void MidiScanner::timerCallback()
{
    {
        const juce::ScopedLock sl (listLock);
        probedIdentifier = {};
    }

    for (auto* entry : inputs)
        entry->scanState = ScanState::notSeenInThisScan;

    scanInputs();
    markRemovedInputs();

    for (auto* entry : outputs)
        entry->scanState = ScanState::notSeenInThisScan;

    scanOutputs();
    markRemovedOutputs();

    sendIdentificationRequest();

    announce (addedNames, &Listener::scannerDeviceAdded);
    announce (removedNames, &Listener::scannerDeviceRemoved);

    deletePendingDuplexes();
}

bool MidiScanner::matchesAny (const juce::StringArray& prefixes, const juce::String& portName) const
{
    for (const auto& prefix : prefixes)
        if (portName.startsWith (prefix))
            return true;

    return false;
}

void MidiScanner::scanInputs()
{
    for (const auto& port : ports.getAvailableInputs())
    {
        if (matchesAny (normalPrefixes, port.name))
            reconcileInput (port, false);
        else if (matchesAny (bootloaderPrefixes, port.name))
            reconcileInput (port, true);
    }
}

void MidiScanner::reconcileInput (const juce::MidiDeviceInfo& port, bool isBootloader)
{
    // Only this thread changes `inputs`, so reading it needs no lock.
    for (auto* entry : inputs)
    {
        if (entry->identifier == port.identifier)
        {
            entry->scanState = ScanState::seenInThisScan;
            return;
        }
    }

    auto* entry = new InputDevice (*this, port.identifier);
    entry->scanState = ScanState::openedInThisScan;
    entry->bootloader = isBootloader; // kept only if the port opens

    {
        const juce::ScopedLock sl (listLock);
        inputs.add (entry);
    }

    entry->connect();

    if (entry->input == nullptr)
    {
        {
            const juce::ScopedLock sl (listLock);
            inputs.removeObject (entry, false);
        }

        delete entry;
    }
}

void MidiScanner::scanOutputs()
{
    for (const auto& port : ports.getAvailableOutputs())
        if (matchesAny (normalPrefixes, port.name) || matchesAny (bootloaderPrefixes, port.name))
            reconcileOutput (port);
}

void MidiScanner::reconcileOutput (const juce::MidiDeviceInfo& port)
{
    for (auto* entry : outputs)
    {
        if (entry->identifier == port.identifier)
        {
            entry->scanState = ScanState::seenInThisScan;
            return;
        }
    }

    auto opened = ports.openOutput (port.identifier);

    if (opened == nullptr)
        return;

    auto* entry = new OutputDevice (port.identifier);
    entry->output = std::move (opened);

    const juce::ScopedLock sl (listLock);
    outputs.add (entry);
}

void MidiScanner::markRemoval (Duplex& duplex)
{
    removedNames.addIfNotAlreadyThere (duplex.name);
    duplex.pendingRemoval = true;
}

// A vanished port of a tracker marks the tracker for removal. A vanished port
// that no tracker owns is forgotten: an output would otherwise stay first in
// line for identification and be asked for ever, and a port that comes back
// must be opened anew, not found again with its old, dead port object.
template <typename Device>
void MidiScanner::sweepVanished (juce::OwnedArray<Device>& devices)
{
    juce::OwnedArray<Device> forgotten; // closed once the lock is released

    const juce::ScopedLock sl (listLock);

    for (int i = 0; i < devices.size();)
    {
        auto* entry = devices.getUnchecked (i);

        if (entry->scanState != ScanState::notSeenInThisScan)
        {
            ++i;
        }
        else if (auto* duplex = findDuplexOf (entry))
        {
            markRemoval (*duplex);
            ++i;
        }
        else
        {
            forgotten.add (devices.removeAndReturn (i));
        }
    }
}

void MidiScanner::markRemovedInputs()
{
    sweepVanished (inputs);
}

void MidiScanner::markRemovedOutputs()
{
    sweepVanished (outputs);
}

void MidiScanner::sendIdentificationRequest()
{
    const juce::ScopedLock sl (listLock);

    for (auto* entry : outputs)
    {
        if (entry->paired)
            continue;

        decoder.reset();
        probedIdentifier = entry->identifier;

        if (entry->output != nullptr)
            entry->output->sendMessageNow (FileDump::makeInfoRequest());

        return;
    }
}

// Listeners are called without either lock held, so that they may call
// sendMessage, findDuplex and the Duplex operations, whose closing of a port
// waits for the MIDI input thread.
void MidiScanner::announce (juce::StringArray& names, void (Listener::*operation) (const juce::String&))
{
    for (;;)
    {
        juce::String name;

        {
            const juce::ScopedLock sl (listLock);

            if (names.isEmpty())
                return;

            name = names[0];
        }

        listeners.callUnlocked ([&] (Listener& listener) { (listener.*operation) (name); });

        const juce::ScopedLock sl (listLock);
        names.remove (0);
    }
}

void MidiScanner::deletePendingDuplexes()
{
    // Destroyed after the lock is released, in reverse order: the Duplexes,
    // then the outputs, then the inputs (closing their ports).
    juce::OwnedArray<InputDevice> closingInputs;
    juce::OwnedArray<OutputDevice> closingOutputs;
    juce::OwnedArray<Duplex> closingDuplexes;

    const juce::ScopedLock sl (listLock);

    for (int i = 0; i < duplexes.size();)
    {
        auto* duplex = duplexes[i];

        if (! duplex->pendingRemoval)
        {
            ++i;
            continue;
        }

        if (inputs.contains (duplex->input))
        {
            inputs.removeObject (duplex->input, false);
            closingInputs.add (duplex->input);
        }

        if (outputs.contains (duplex->output))
        {
            outputs.removeObject (duplex->output, false);
            closingOutputs.add (duplex->output);
        }

        duplexes.remove (i, false);
        closingDuplexes.add (duplex);
    }

}

//==============================================================================
void MidiScanner::sendMessage (const juce::String& name, const juce::MidiMessage& message)
{
    const juce::ScopedLock sl (listLock);

    auto sendTo = [&message] (Duplex& duplex)
    {
        if (duplex.connected && duplex.output->output != nullptr)
            duplex.output->output->sendMessageNow (message);
    };

    if (name.isEmpty())
    {
        for (auto* duplex : duplexes)
            sendTo (*duplex);
    }
    else if (auto* duplex = findDuplex (name))
    {
        sendTo (*duplex);
    }
}

MidiScanner::Duplex* MidiScanner::findDuplex (const juce::String& name)
{
    const juce::ScopedLock sl (listLock);

    for (auto* duplex : duplexes)
        if (duplex->name == name)
            return duplex;

    return nullptr;
}

void MidiScanner::addListener (Listener* listener)
{
    listeners.add (listener);
}

void MidiScanner::removeListener (Listener* listener)
{
    listeners.remove (listener);
}

//==============================================================================
void MidiScanner::handleIncomingMidiMessage (MidiPorts::Input* source, const juce::MidiMessage& message)
{
    juce::String name;

    {
        const juce::ScopedLock sl (listLock);
        auto* entry = findInput (source);

        if (entry == nullptr)
            return;

        if (decoder.take (message.getRawData(), message.getRawDataSize()))
        {
            InfoText::splitText (decoder.text(), decoder.textLength(), entry->tokens);
            nameAndPair (*entry);
        }

        if (auto* duplex = findDuplexOf (entry))
            name = duplex->name;
    }

    if (name.isNotEmpty())
        forward (name, message);
}

void MidiScanner::forward (const juce::String& name, const juce::MidiMessage& message)
{
    listeners.call ([&] (Listener& listener) { listener.handleIncomingMidiMessage (name, message); });
}

MidiScanner::InputDevice* MidiScanner::findInput (MidiPorts::Input* source) const
{
    for (auto* entry : inputs)
        if (entry->input.get() == source)
            return entry;

    return nullptr;
}

MidiScanner::Duplex* MidiScanner::findDuplexOf (const InputDevice* input) const
{
    for (auto* duplex : duplexes)
        if (duplex->input == input)
            return duplex;

    return nullptr;
}

MidiScanner::Duplex* MidiScanner::findDuplexOf (const OutputDevice* output) const
{
    for (auto* duplex : duplexes)
        if (duplex->output == output)
            return duplex;

    return nullptr;
}

//==============================================================================
void MidiScanner::nameAndPair (InputDevice& source)
{
    juce::String serial;

    for (auto* token : source.tokens)
    {
        if (token->code == '#')
        {
            serial = token->value;
            break;
        }
    }

    const auto name = serial.length() > 1 ? serial : source.identifier;

    if (probedIdentifier.isEmpty())
        return;

    OutputDevice* output = nullptr;

    for (auto* entry : outputs)
    {
        if (entry->identifier == probedIdentifier)
        {
            output = entry;
            break;
        }
    }

    // An input belongs to one tracker only: a second Duplex on it would be
    // left dangling when the first is deleted.
    if (output == nullptr || output->paired || findDuplexOf (&source) != nullptr)
        return;

    auto* duplex = new Duplex (*this);
    duplex->name = name;
    duplex->bootloader = source.bootloader;
    duplex->tokens.swapWith (source.tokens);
    duplex->input = &source;
    duplex->output = output;
    duplex->connected = true;

    output->paired = true;
    duplexes.add (duplex);
    addedNames.addIfNotAlreadyThere (name);
}
} // namespace Midi
