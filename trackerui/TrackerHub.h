#pragma once

#include "shared/HeadMatrix.h"
#include "tracker/MidiScanner.h"
#include "tracker/TrackerConnection.h"
#include "trackerui/PointPlanes.h"

#include <juce_core/juce_core.h>

#include <optional>

namespace HeadPanel
{
// What the head panel does without a window: it keeps the names of the
// identified trackers, picks the current one and switches it on, says which
// head the room builds take, lets only the current tracker's orientations
// through to its record, and builds their wireframe for the painter.
//
// Threads: takeOrientation and buildWireframe run on the MIDI input thread
// under the connection's record lock; currentHeadMatrix on any thread;
// everything else on the message thread.
// - The names and whether the current tracker drives the head are written on
//   the message thread under nameLock, and read under it on other threads.
//   nameLock is taken under the record lock, so it is never held while the
//   connection is asked for anything.
// - A wireframe is built on the MIDI input thread outside any lock and handed
//   over under wireframeLock, which either side holds only to swap two arrays.
class TrackerHub
{
public:
    // Trackers are switched on at this rate and orientation format.
    TrackerHub (Midi::MidiScanner& scanner, Midi::TrackerConnection& connection, Tracker::Rate rate,
                Tracker::AngleMode angleMode);

    // Remembers a newly identified tracker. True when it became the current one
    // and was switched on; a further tracker is only remembered.
    bool trackerAdded (const juce::String& name);

    enum class Removal
    {
        notCurrent,    // only the names changed
        nextIsCurrent, // the first remaining tracker is current, connected and switched on
        noneLeft       // no tracker is current any more
    };

    // Forgets a tracker that has gone away.
    Removal trackerRemoved (const juce::String& name);

    // The connect button: disconnects the current tracker's ports when they are
    // open, reopens them otherwise. The current tracker's Duplex, or null (then
    // nothing happened).
    Midi::MidiScanner::Duplex* toggleConnection();

    // MIDI input thread, with a rotation: for the current tracker, writes it into
    // the tracker's record and returns the record's head matrix, to be handed on
    // inside this callback; null for any other tracker.
    const HeadMatrix* takeOrientation (const juce::String& name, const float* rotation);

    // MIDI input thread: the wireframe of a rotation, handed over for painting.
    void buildWireframe (const float* rotation);

    // Message thread: the newest wireframe handed over (the last one painted if
    // none came since).
    const juce::OwnedArray<PointPlanes::Segment>& latestWireframe();

    // Any thread: the current tracker's head matrix while it drives the head;
    // none while no tracker is current or the current one is disconnected.
    std::optional<HeadMatrix> currentHeadMatrix() const;

    Tracker::Rate rate;
    Tracker::AngleMode angleMode;
    juce::StringArray knownTrackers; // written under nameLock
    juce::String currentTrackerName; // written under nameLock

private:
    void makeCurrent (const juce::String& name);
    void setDrivesHead (bool drives);
    void switchOn (const juce::String& name);

    Midi::MidiScanner& scanner;
    Midi::TrackerConnection& connection;

    mutable juce::CriticalSection nameLock;
    bool currentDrivesHead = false; // under nameLock

    PointPlanes planes; // the wireframe being built (MIDI input thread)
    juce::CriticalSection wireframeLock;
    juce::OwnedArray<PointPlanes::Segment> latestSegments; // under wireframeLock
    bool latestIsNew = false;                               // under wireframeLock
    juce::OwnedArray<PointPlanes::Segment> paintedSegments; // message thread

    JUCE_DECLARE_NON_COPYABLE (TrackerHub)
};
} // namespace HeadPanel
