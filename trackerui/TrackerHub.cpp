#include "trackerui/TrackerHub.h"

namespace HeadPanel
{
TrackerHub::TrackerHub (Midi::MidiScanner& scannerToUse, Midi::TrackerConnection& connectionToUse,
                        Tracker::Rate rateToAsk, Tracker::AngleMode angleModeToAsk)
    : scanner (scannerToUse), connection (connectionToUse), rate (rateToAsk), angleMode (angleModeToAsk)
{
}

void TrackerHub::makeCurrent (const juce::String& name)
{
    const juce::ScopedLock sl (nameLock);
    currentTrackerName = name;
    currentDrivesHead = name.isNotEmpty();
}

void TrackerHub::setDrivesHead (bool drives)
{
    const juce::ScopedLock sl (nameLock);
    currentDrivesHead = drives && currentTrackerName.isNotEmpty();
}

void TrackerHub::switchOn (const juce::String& name)
{
    connection.turnOn (name, rate, angleMode);
}

//==============================================================================
bool TrackerHub::trackerAdded (const juce::String& name)
{
    juce::String first;
    {
        const juce::ScopedLock sl (nameLock);
        knownTrackers.addIfNotAlreadyThere (name);
        if (currentTrackerName.isNotEmpty())
            return false; // a further tracker is only remembered
        first = knownTrackers[0];
    }

    makeCurrent (first);
    switchOn (first);
    return true;
}

TrackerHub::Removal TrackerHub::trackerRemoved (const juce::String& name)
{
    juce::String next;
    {
        const juce::ScopedLock sl (nameLock);
        knownTrackers.removeString (name);
        if (name != currentTrackerName)
            return Removal::notCurrent;
        next = knownTrackers[0];
    }

    makeCurrent (next);
    if (next.isEmpty())
        return Removal::noneLeft;

    if (auto* duplex = scanner.findDuplex (next))
        duplex->connect();
    switchOn (next);
    return Removal::nextIsCurrent;
}

Midi::MidiScanner::Duplex* TrackerHub::toggleConnection()
{
    auto* duplex = scanner.findDuplex (currentTrackerName);
    if (duplex == nullptr)
        return nullptr;

    if (duplex->connected)
    {
        setDrivesHead (false); // from here on, rooms are built looking straight ahead
        // Closing the input waits for a message in progress: none follows.
        duplex->disconnect();
    }
    else
    {
        // The tracker kept streaming: its messages simply flow again.
        duplex->connect();
        setDrivesHead (duplex->connected);
    }
    return duplex;
}

std::optional<HeadMatrix> TrackerHub::currentHeadMatrix() const
{
    juce::String name;
    {
        const juce::ScopedLock sl (nameLock);
        if (! currentDrivesHead)
            return std::nullopt;
        name = currentTrackerName;
    }
    // The record holds the last good rotation of its tracker.
    return connection.headMatrixOf (name);
}

//==============================================================================
const HeadMatrix* TrackerHub::takeOrientation (const juce::String& name, const float* rotation)
{
    {
        const juce::ScopedLock sl (nameLock);
        if (name != currentTrackerName)
            return nullptr;
    }

    // The connection holds its record lock around this call, so the record stays.
    auto* record = connection.findProperties (name);
    if (record == nullptr)
        return nullptr;

    record->headMatrix.write (rotation);
    return &record->headMatrix;
}

void TrackerHub::buildWireframe (const float* rotation)
{
    ::HeadPanel::buildWireframe (planes, rotation);
    const juce::ScopedLock sl (wireframeLock);
    latestSegments.swapWith (planes.segments);
    latestIsNew = true;
}

const juce::OwnedArray<PointPlanes::Segment>& TrackerHub::latestWireframe()
{
    const juce::ScopedLock sl (wireframeLock);
    if (latestIsNew)
    {
        paintedSegments.swapWith (latestSegments);
        latestIsNew = false;
    }
    return paintedSegments;
}
} // namespace HeadPanel
