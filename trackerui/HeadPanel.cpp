#include "trackerui/HeadPanel.h"

namespace HeadPanel
{
HeadPanel::HeadPanel (Midi::MidiScanner* scannerToUse, Midi::TrackerConnection* connectionToUse)
    : scanner (scannerToUse), connection (connectionToUse)
{
    scanner->addListener (this);
    setSize (180, 100);
    scanner->startTimer (400);
}

HeadPanel::~HeadPanel()
{
    scanner->removeListener (this);
}

void HeadPanel::scannerDeviceAdded (const juce::String&) {}

void HeadPanel::scannerDeviceRemoved (const juce::String&) {}
} // namespace HeadPanel
