#include "trackerui/HeadPanel.h"

#include <algorithm>

namespace HeadPanel
{
HeadPanel::HeadPanel (Midi::MidiScanner* scannerToUse, Midi::TrackerConnection* connectionToUse)
    : scanner (scannerToUse), connection (connectionToUse)
{
    scanner->listeners.push_back (this);
    setSize (180, 100);
    scanner->startTimer (400);
}

HeadPanel::~HeadPanel()
{
    auto& l = scanner->listeners;
    l.erase (std::remove (l.begin(), l.end(), this), l.end());
}

void HeadPanel::scannerDeviceAdded (const juce::String&) {}

void HeadPanel::scannerDeviceRemoved (const juce::String&) {}
} // namespace HeadPanel
