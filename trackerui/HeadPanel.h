#pragma once

#include "tracker/TrackerConnection.h"

#include <juce_gui_basics/juce_gui_basics.h>

struct HeadMatrix;

namespace HeadPanel
{
// The head tracker's panel and the hub through which orientations reach the processor.
class HeadPanel : public juce::Component,
                  public Midi::MidiScanner::Listener
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void trackerChanged (const HeadMatrix& matrix) = 0;
    };

    HeadPanel (Midi::MidiScanner* scannerToUse, Midi::TrackerConnection* connectionToUse);
    ~HeadPanel() override;

    void scannerDeviceAdded (const juce::String& name) override;
    void scannerDeviceRemoved (const juce::String& name) override;

    Midi::MidiScanner* scanner;
    Midi::TrackerConnection* connection;
    juce::String currentTrackerName;
    Listener* listener = nullptr;
};
} // namespace HeadPanel
