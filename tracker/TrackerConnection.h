#pragma once

#include "tracker/ListenerList.h"
#include "tracker/MidiScanner.h"
#include "tracker/TrackerProperties.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <vector>

namespace Tracker
{
// What the connection's decoder reports; `name` is the record's name.
class Listener
{
public:
    virtual ~Listener() = default;
    virtual void trackerOrientationYPR (const char* name, float yaw, float pitch, float roll) = 0;
    virtual void trackerOrientationQ (const char* name, float w, float x, float y, float z) = 0;
    virtual void trackerOrientationM (const char* name, const float* matrix) = 0;
    virtual void trackerRaw (const char* name, const float* values, juce::uint8 a, juce::uint8 b) = 0;
    virtual void trackerCompassStateChanged (const Properties& record) = 0;
    virtual void trackerGyroCalibrated (const Properties& record) = 0;
    virtual void trackerPropertiesChanged (const Properties& record) = 0;
    virtual void trackerShakeStage (const Properties& record) = 0;
};
} // namespace Tracker

namespace Midi
{
// Speaks the head tracker's system-exclusive protocol (F0 00 3C 19 type ... F7):
// keeps one Tracker::Properties record per tracker that the scanner reports,
// decodes orientation, raw sensor values and parameter reports, and writes
// settings to trackers through the scanner. A record's head matrix only ever
// holds a rotation: the last good one its tracker sent.
//
// Threads: the record list changes only on the message thread (scannerDeviceAdded,
// scannerDeviceRemoved, the destructor). A recursive lock guards the list, the
// record fields and the listeners between that thread and the MIDI input thread:
// - the decoder holds it for the whole of one message, listener calls included, so a
//   record is never deleted while a message for it is being handled, and listeners
//   may call findProperties from their callbacks;
// - list changes, the setters' stores and the listener add/remove operations take it;
// - a message-thread reader of record fields other than `name` and `headMatrix`
//   (for instance the settings panel) reads them from copyOf.
// Nothing is ever sent through the scanner while the lock is held. Listeners must not
// wait for the message thread inside their callbacks.
class TrackerConnection : public MidiScanner::Listener,
                          private Tracker::Listener
{
public:
    class OrientationListener
    {
    public:
        virtual ~OrientationListener() = default;
        // MIDI input thread; matrix: a rotation, nine floats, row-major. What a
        // tracker sends that is no rotation is straightened or never handed on.
        virtual void trackerOrientation (const juce::String& name, float* matrix) = 0;
    };

    // MIDI input thread, with the reporting tracker's record.
    class PropertyListener
    {
    public:
        virtual ~PropertyListener() = default;
        virtual void trackerCompassStateChanged (const Tracker::Properties&) {}
        virtual void trackerGyroCalibrated (const Tracker::Properties&) {}
        virtual void trackerPropertiesChanged (const Tracker::Properties&) {}
        virtual void trackerShakeStage (const Tracker::Properties&) {}
    };

    // Registers with the scanner as a listener.
    explicit TrackerConnection (MidiScanner* scannerToUse);
    // Leaves the scanner's listeners, then deletes every record.
    ~TrackerConnection() override;

    // Message thread: creates the tracker's record and asks it for its settings.
    void scannerDeviceAdded (const juce::String& name) override;
    // Message thread: deletes the first record of that name.
    void scannerDeviceRemoved (const juce::String& name) override;
    // MIDI input thread: the decoder.
    void handleIncomingMidiMessage (const juce::String& name, const juce::MidiMessage& message) override;

    // Message thread. Each stores what it sends in the record of that name, if any,
    // and sends to that tracker (an empty name sends to every connected tracker).
    void turnOn (const juce::String& name, Tracker::Rate rate, Tracker::AngleMode angleMode);
    void setChirality (const juce::String& name, bool cableOnRight);
    void setCompass (const juce::String& name, bool useCompass, bool slowCentralPull);
    // An empty name also stores the mode in every record.
    void setTravelMode (const juce::String& name, Tracker::TravelMode mode);

    // The first record whose name equals `name` exactly, or null. On the message thread
    // the record stays valid until that thread removes it; on the MIDI input thread,
    // only inside the connection's callbacks.
    Tracker::Properties* findProperties (const juce::String& name);

    // A copy of a record of this connection, taken whole while the decoder cannot write it.
    Tracker::Properties copyOf (const Tracker::Properties& record);

    // Any thread: a copy of the head matrix of the first record of that name, if any.
    std::optional<HeadMatrix> headMatrixOf (const juce::String& name);

    // No callback reaches a listener once its removal has returned.
    void addPropertyListener (PropertyListener* listener);
    void removePropertyListener (PropertyListener* listener);
    void addOrientationListener (OrientationListener* listener);
    void removeOrientationListener (OrientationListener* listener);

    // Payloads of a tracker's messages that the decoder does not consume
    // (payload: the message without F0 and F7). Does nothing here.
    virtual void handleOtherSysEx (const juce::uint8* payload, size_t length);

    // Message thread: assembles F0 00 3C 19, the content and F7 in sysexBuffer
    // (at most 7 content bytes) and returns it as a message.
    juce::MidiMessage assembleMessage (std::initializer_list<juce::uint8> content);

    // Message thread: assembles a message as above and sends it through the
    // scanner to the tracker of that name (every connected tracker: empty name).
    // For the panels' fixed messages: the double-click and the compass calibration.
    void send (const juce::String& name, std::initializer_list<juce::uint8> content);

    // Value encodings of incoming messages.
    static float orientationValue (juce::uint8 high, juce::uint8 low) noexcept;
    static float rawSensorValue (juce::uint8 b0, juce::uint8 b1, juce::uint8 b2) noexcept;

    // Row-major rotation matrices.
    static void yawPitchRollToMatrix (float yaw, float pitch, float roll, float* m) noexcept;
    static void quaternionToMatrix (float w, float x, float y, float z, float* m) noexcept;

    // Where outgoing messages are assembled; message thread only (the head
    // panel and the settings panel assemble their fixed messages here too).
    juce::uint8 sysexBuffer[12] = {};

private:
    friend struct TrackerConnectionPeer;

    // Tracker::Listener: what the connection does with what it decoded.
    void trackerOrientationYPR (const char* name, float yaw, float pitch, float roll) override;
    void trackerOrientationQ (const char* name, float w, float x, float y, float z) override;
    void trackerOrientationM (const char* name, const float* matrix) override;
    void trackerRaw (const char* name, const float* values, juce::uint8 a, juce::uint8 b) override;
    void trackerCompassStateChanged (const Tracker::Properties& record) override;
    void trackerGyroCalibrated (const Tracker::Properties& record) override;
    void trackerPropertiesChanged (const Tracker::Properties& record) override;
    void trackerShakeStage (const Tracker::Properties& record) override;

    void decode (Tracker::Properties& record, const juce::uint8* payload, int length);
    void decodeYawPitchRoll (Tracker::Properties& record, const juce::uint8* payload);
    void decodeQuaternion (Tracker::Properties& record, const juce::uint8* payload);
    void decodeMatrix (Tracker::Properties& record, const juce::uint8* payload);
    void decodeRaw (Tracker::Properties& record, const juce::uint8* payload);
    void decodeParameterReport (Tracker::Properties& record, const juce::uint8* payload, int length);
    void applyParameter (Tracker::Properties& record, juce::uint8 parameter, juce::uint8 value);

    void storeOrientation (Tracker::Properties& record, const float* matrix);
    void notifyOrientation (const char* name, const float* matrix);
    void notifyProperties (void (PropertyListener::*operation) (const Tracker::Properties&),
                           const Tracker::Properties& record);

    MidiScanner* scanner;
    juce::CriticalSection recordLock;
    // Where the decoder reports to: the connection itself (tests put a recorder in).
    Tracker::Listener* trackerListener;
    juce::OwnedArray<Tracker::Properties> trackers;
    ListenerList<OrientationListener> orientationListeners { recordLock };
    ListenerList<PropertyListener> propertyListeners { recordLock };

    JUCE_DECLARE_NON_COPYABLE (TrackerConnection)
};
} // namespace Midi
