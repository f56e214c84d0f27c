#pragma once

#include "tracker/MidiScanner.h"

#include <algorithm>

namespace Midi
{
// The tracker's protocol endpoint.
class TrackerConnection : public MidiScanner::Listener
{
public:
    explicit TrackerConnection (MidiScanner* scannerToUse) : scanner (scannerToUse)
    {
        scanner->listeners.push_back (this);
    }

    ~TrackerConnection() override
    {
        auto& l = scanner->listeners;
        l.erase (std::remove (l.begin(), l.end(), this), l.end());
    }

    void scannerDeviceAdded (const juce::String&) override {}
    void scannerDeviceRemoved (const juce::String&) override {}

    MidiScanner* scanner;
};
} // namespace Midi
