#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <vector>

namespace Midi
{
// Finds head trackers among the MIDI ports.
class MidiScanner : public juce::Timer
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void scannerDeviceAdded (const juce::String& name) = 0;
        virtual void scannerDeviceRemoved (const juce::String& name) = 0;
        virtual void handleIncomingMidiMessage (const juce::String& name, const juce::MidiMessage& message) {}
    };

    MidiScanner() = default;
    ~MidiScanner() override { stopTimer(); }

    void timerCallback() override {}

    juce::StringArray normalPrefixes;
    juce::StringArray bootloaderPrefixes;
    std::vector<Listener*> listeners;
};
} // namespace Midi
