#include "tracker/TrackerConnection.h"

#include "shared/Rotation.h"

#include <cmath>

namespace Midi
{
namespace
{
constexpr juce::uint8 sysexStart = 0xf0;
constexpr juce::uint8 sysexEnd = 0xf7;
constexpr juce::uint8 manufacturerId[] = { 0x00, 0x3c, 0x19 };

// Message types.
constexpr juce::uint8 writeParameters = 0x00;
constexpr juce::uint8 writeTravelMode = 0x01;
constexpr juce::uint8 readParameters = 0x02;
constexpr juce::uint8 orientationMessage = 0x40;
constexpr juce::uint8 rawMessage = 0x41;
constexpr juce::uint8 parameterReport = 0x42;

// Parameters.
constexpr juce::uint8 parameterRate = 0;
constexpr juce::uint8 parameterAngleMode = 1;
constexpr juce::uint8 parameterCompass = 3;
constexpr juce::uint8 parameterChirality = 4;
constexpr juce::uint8 parameterStatus = 5;
constexpr juce::uint8 parameterTravelMode = 17;

juce::uint8 rateCode (Tracker::Rate rate)
{
    switch (rate)
    {
        case Tracker::Rate::rate0: return 0x18;
        case Tracker::Rate::rate1: return 0x08;
        default: return 0x28;
    }
}

juce::uint8 angleModeCode (Tracker::AngleMode mode)
{
    switch (mode)
    {
        case Tracker::AngleMode::yawPitchRoll: return 0x01;
        case Tracker::AngleMode::quaternion: return 0x05;
        default: return 0x09;
    }
}

juce::uint8 travelModeCode (Tracker::TravelMode mode)
{
    switch (mode)
    {
        case Tracker::TravelMode::slowCorrection: return 0x06;
        case Tracker::TravelMode::fastCorrection: return 0x07;
        default: return 0x04;
    }
}

CompassState compassStateOfCompassBits (juce::uint8 value)
{
    switch (value & 0x03)
    {
        case 1: return CompassState::badData;
        case 2: return CompassState::goodData;
        case 3: return CompassState::calibrating;
        default: return CompassState::off;
    }
}

Tracker::TravelMode travelModeOfReport (juce::uint8 value)
{
    switch (value & 0x07)
    {
        case 7: return Tracker::TravelMode::fastCorrection;
        case 6: return Tracker::TravelMode::slowCorrection;
        default: return Tracker::TravelMode::off;
    }
}

} // namespace

//==============================================================================
TrackerConnection::TrackerConnection (MidiScanner* scannerToUse)
    : scanner (scannerToUse), trackerListener (this)
{
    scanner->addListener (this);
}

TrackerConnection::~TrackerConnection()
{
    // After this no message can reach the connection; a message being decoded
    // right now holds recordLock, so the records go only after it is done.
    scanner->removeListener (this);

    const juce::ScopedLock sl (recordLock);
    orientationListeners.clear();
    propertyListeners.clear();
    trackers.clear();
}

//==============================================================================
void TrackerConnection::scannerDeviceAdded (const juce::String& name)
{
    auto record = std::make_unique<Tracker::Properties> (name);
    {
        const juce::ScopedLock sl (recordLock);
        trackers.add (record.release());
    }
    scanner->sendMessage (name, assembleMessage ({ readParameters, parameterCompass, parameterChirality, parameterTravelMode }));
}

void TrackerConnection::scannerDeviceRemoved (const juce::String& name)
{
    const juce::ScopedLock sl (recordLock);
    for (int i = 0; i < trackers.size(); ++i)
    {
        if (trackers.getUnchecked (i)->hasName (name))
        {
            trackers.remove (i, true);
            return;
        }
    }
}

Tracker::Properties* TrackerConnection::findProperties (const juce::String& name)
{
    const juce::ScopedLock sl (recordLock);
    for (auto* record : trackers)
        if (record->hasName (name))
            return record;
    return nullptr;
}

Tracker::Properties TrackerConnection::copyOf (const Tracker::Properties& record)
{
    const juce::ScopedLock sl (recordLock);
    return record;
}

std::optional<HeadMatrix> TrackerConnection::headMatrixOf (const juce::String& name)
{
    const juce::ScopedLock sl (recordLock);
    if (auto* record = findProperties (name))
        return record->headMatrix;
    return std::nullopt;
}

//==============================================================================
void TrackerConnection::turnOn (const juce::String& name, Tracker::Rate rate, Tracker::AngleMode angleMode)
{
    {
        const juce::ScopedLock sl (recordLock);
        if (auto* record = findProperties (name))
        {
            record->angleMode = angleMode;
            record->rate = rate;
        }
    }
    scanner->sendMessage (name, assembleMessage ({ writeParameters,
                                                   parameterRate, rateCode (rate),
                                                   parameterAngleMode, angleModeCode (angleMode),
                                                   parameterCompass, 0x40 }));
}

void TrackerConnection::setChirality (const juce::String& name, bool cableOnRight)
{
    {
        const juce::ScopedLock sl (recordLock);
        if (auto* record = findProperties (name))
            record->chirality = cableOnRight;
    }
    scanner->sendMessage (name, assembleMessage ({ writeParameters, parameterChirality,
                                                   (juce::uint8) (cableOnRight ? 0x03 : 0x02) }));
}

void TrackerConnection::setCompass (const juce::String& name, bool useCompass, bool slowCentralPull)
{
    {
        const juce::ScopedLock sl (recordLock);
        if (auto* record = findProperties (name))
        {
            record->useCompass = useCompass;
            record->slowCentralPull = slowCentralPull;
        }
    }
    const auto value = (juce::uint8) (0x60 + (useCompass ? 0x10 : 0) + (slowCentralPull ? 0 : 0x08));
    scanner->sendMessage (name, assembleMessage ({ writeParameters, parameterCompass, value }));
}

void TrackerConnection::setTravelMode (const juce::String& name, Tracker::TravelMode mode)
{
    {
        const juce::ScopedLock sl (recordLock);
        if (name.isEmpty())
        {
            for (auto* record : trackers)
                record->travelMode = mode;
        }
        else if (auto* record = findProperties (name))
        {
            record->travelMode = mode;
        }
    }
    scanner->sendMessage (name, assembleMessage ({ writeTravelMode, 0x01, travelModeCode (mode) }));
}

juce::MidiMessage TrackerConnection::assembleMessage (std::initializer_list<juce::uint8> content)
{
    jassert (content.size() + 5 <= sizeof (sysexBuffer));

    int length = 0;
    sysexBuffer[length++] = sysexStart;
    for (auto byte : manufacturerId)
        sysexBuffer[length++] = byte;
    for (auto byte : content)
        if (length < (int) sizeof (sysexBuffer) - 1)
            sysexBuffer[length++] = byte;
    sysexBuffer[length++] = sysexEnd;

    return juce::MidiMessage (sysexBuffer, length);
}

void TrackerConnection::send (const juce::String& name, std::initializer_list<juce::uint8> content)
{
    scanner->sendMessage (name, assembleMessage (content));
}

//==============================================================================
void TrackerConnection::addPropertyListener (PropertyListener* listener)
{
    propertyListeners.add (listener);
}

void TrackerConnection::removePropertyListener (PropertyListener* listener)
{
    propertyListeners.remove (listener);
}

void TrackerConnection::addOrientationListener (OrientationListener* listener)
{
    orientationListeners.add (listener);
}

void TrackerConnection::removeOrientationListener (OrientationListener* listener)
{
    orientationListeners.remove (listener);
}

void TrackerConnection::handleOtherSysEx (const juce::uint8*, size_t) {}

//==============================================================================
float TrackerConnection::orientationValue (juce::uint8 high, juce::uint8 low) noexcept
{
    int v = (high & 0x7f) * 128 + (low & 0x7f);
    if (v > 8191)
        v -= 16384;
    return (float) v * (1.0f / 2048.0f);
}

float TrackerConnection::rawSensorValue (juce::uint8 b0, juce::uint8 b1, juce::uint8 b2) noexcept
{
    int u = ((b0 & 0x7f) * 16384 + (b1 & 0x7f) * 128 + (b2 & 0x7f)) & 0xffff;
    if (u >= 32768)
        u -= 65536;
    return (float) u * (1.0f / 32768.0f);
}

void TrackerConnection::yawPitchRollToMatrix (float yaw, float pitch, float roll, float* m) noexcept
{
    const float cy = std::cos (yaw), sy = std::sin (yaw);
    const float cp = std::cos (pitch), sp = std::sin (pitch);
    const float cr = std::cos (roll), sr = std::sin (roll);

    // Rz(yaw) * Rx(pitch) * Ry(roll)
    m[0] = cy * cr - sy * sp * sr;
    m[1] = -sy * cp;
    m[2] = cy * sr + sy * sp * cr;
    m[3] = sy * cr + cy * sp * sr;
    m[4] = cy * cp;
    m[5] = sy * sr - cy * sp * cr;
    m[6] = -cp * sr;
    m[7] = sp;
    m[8] = cp * cr;
}

void TrackerConnection::quaternionToMatrix (float w, float x, float y, float z, float* m) noexcept
{
    m[0] = w * w + x * x - y * y - z * z;
    m[1] = 2.0f * (x * y - w * z);
    m[2] = 2.0f * (x * z + w * y);
    m[3] = 2.0f * (x * y + w * z);
    m[4] = w * w - x * x + y * y - z * z;
    m[5] = 2.0f * (y * z - w * x);
    m[6] = 2.0f * (x * z - w * y);
    m[7] = 2.0f * (y * z + w * x);
    m[8] = w * w - x * x - y * y + z * z;
}

//==============================================================================
void TrackerConnection::handleIncomingMidiMessage (const juce::String& name, const juce::MidiMessage& message)
{
    const auto* data = message.getRawData();
    const int size = message.getRawDataSize();

    if (data == nullptr || size < 2 || data[0] != sysexStart)
        return;

    const juce::ScopedLock sl (recordLock);

    if (auto* record = findProperties (name))
        decode (*record, data + 1, size - 2);
}

// payload: the message without F0 and F7; bytes 0 to 2 the manufacturer ID (not
// examined), byte 3 the type.
void TrackerConnection::decode (Tracker::Properties& record, const juce::uint8* payload, int length)
{
    const juce::uint8 type = length > 3 ? payload[3] : 0;
    const juce::uint8 subType = length > 4 ? payload[4] : 0xff;

    if (length == 11 && type == orientationMessage && subType == 0)
        decodeYawPitchRoll (record, payload);
    else if (length == 13 && type == orientationMessage && subType == 1)
        decodeQuaternion (record, payload);
    else if (length == 23 && type == orientationMessage && subType == 2)
        decodeMatrix (record, payload);
    else if (length == 15 && type == rawMessage)
        decodeRaw (record, payload);
    else if (length >= 6 && length % 2 == 0 && type == parameterReport)
        decodeParameterReport (record, payload, length);
    else
        handleOtherSysEx (payload, (size_t) length);
}

void TrackerConnection::decodeYawPitchRoll (Tracker::Properties& record, const juce::uint8* payload)
{
    const float yaw = orientationValue (payload[5], payload[6]);
    const float pitch = orientationValue (payload[7], payload[8]);
    const float roll = orientationValue (payload[9], payload[10]);

    float m[9];
    yawPitchRollToMatrix (yaw, pitch, roll, m);
    storeOrientation (record, m);

    if (trackerListener != nullptr)
        trackerListener->trackerOrientationYPR (record.name, yaw, pitch, roll);
}

void TrackerConnection::decodeQuaternion (Tracker::Properties& record, const juce::uint8* payload)
{
    const float w = orientationValue (payload[5], payload[6]);
    const float x = orientationValue (payload[7], payload[8]);
    const float y = orientationValue (payload[9], payload[10]);
    const float z = orientationValue (payload[11], payload[12]);

    float m[9];
    quaternionToMatrix (w, x, y, z, m);
    storeOrientation (record, m);

    if (trackerListener != nullptr)
        trackerListener->trackerOrientationQ (record.name, w, x, y, z);
}

void TrackerConnection::decodeMatrix (Tracker::Properties& record, const juce::uint8* payload)
{
    float m[9];
    for (int i = 0; i < 9; ++i)
        m[i] = orientationValue (payload[5 + 2 * i], payload[6 + 2 * i]);
    storeOrientation (record, m);

    if (trackerListener != nullptr)
        trackerListener->trackerOrientationM (record.name, m);
}

// The one place an orientation enters a record. A scaled or skewed rotation is
// straightened; what no rotation is near leaves the record as it was, so that it
// only ever holds its tracker's last good rotation.
void TrackerConnection::storeOrientation (Tracker::Properties& record, const float* matrix)
{
    float rotation[9];
    if (toRotation (matrix, rotation))
        record.headMatrix.write (rotation);
}

void TrackerConnection::decodeRaw (Tracker::Properties& record, const juce::uint8* payload)
{
    const float values[3] = { rawSensorValue (payload[6], payload[7], payload[8]),
                              rawSensorValue (payload[9], payload[10], payload[11]),
                              rawSensorValue (payload[12], payload[13], payload[14]) };

    if (trackerListener != nullptr)
        trackerListener->trackerRaw (record.name, values, payload[4], payload[5]);

    handleOtherSysEx (payload, 15);
}

// Pairs (parameter, value) from byte 4 to the end, each applied and reported in turn.
void TrackerConnection::decodeParameterReport (Tracker::Properties& record, const juce::uint8* payload, int length)
{
    for (int i = 4; i + 1 < length; i += 2)
        applyParameter (record, payload[i], payload[i + 1]);
}

void TrackerConnection::applyParameter (Tracker::Properties& record, juce::uint8 parameter, juce::uint8 value)
{
    switch (parameter)
    {
        case parameterCompass:
            record.useCompass = (value & 0x10) != 0;
            record.slowCentralPull = (value & 0x08) == 0;
            record.compassState = compassStateOfCompassBits (value);
            if (trackerListener != nullptr)
                trackerListener->trackerCompassStateChanged (record);
            break;

        case parameterChirality:
            record.chirality = (value & 0x03) == 0x03;
            record.param4HighBits = (value & 0x18) == 0x18;
            break;

        case parameterStatus:
        {
            static constexpr CompassState statusStates[] = { CompassState::calibrating, CompassState::succeeded,
                                                             CompassState::failed, CompassState::badData,
                                                             CompassState::goodData };
            const bool compassStatus = value >= 1 && value <= 5;
            if (compassStatus)
                record.compassState = statusStates[value - 1];
            else if (value >= 8)
                record.shakeStage = (juce::uint8) (value - 8);

            if (trackerListener == nullptr)
                break;

            if (compassStatus || value == 7)
                trackerListener->trackerCompassStateChanged (record);
            else if (value == 6)
                trackerListener->trackerGyroCalibrated (record);
            else if (value >= 8)
                trackerListener->trackerShakeStage (record);
            break;
        }

        case parameterTravelMode:
            record.travelMode = travelModeOfReport (value);
            if (trackerListener != nullptr)
                trackerListener->trackerPropertiesChanged (record);
            break;

        default:
            break;
    }
}

//==============================================================================
// Listeners get rotations only, straightened as the record got them.
void TrackerConnection::notifyOrientation (const char* name, const float* matrix)
{
    float rotation[9];
    if (! toRotation (matrix, rotation))
        return;
    const juce::String trackerName (name);
    orientationListeners.call ([&] (OrientationListener& listener) { listener.trackerOrientation (trackerName, rotation); });
}

void TrackerConnection::notifyProperties (void (PropertyListener::*operation) (const Tracker::Properties&),
                                          const Tracker::Properties& record)
{
    propertyListeners.call ([&] (PropertyListener& listener) { (listener.*operation) (record); });
}

void TrackerConnection::trackerOrientationYPR (const char* name, float yaw, float pitch, float roll)
{
    float m[9];
    yawPitchRollToMatrix (yaw, pitch, roll, m);
    notifyOrientation (name, m);
}

void TrackerConnection::trackerOrientationQ (const char* name, float w, float x, float y, float z)
{
    float m[9];
    quaternionToMatrix (w, x, y, z, m);
    notifyOrientation (name, m);
}

void TrackerConnection::trackerOrientationM (const char* name, const float* matrix)
{
    notifyOrientation (name, matrix);
}

void TrackerConnection::trackerRaw (const char*, const float*, juce::uint8, juce::uint8) {}

void TrackerConnection::trackerCompassStateChanged (const Tracker::Properties& record)
{
    notifyProperties (&PropertyListener::trackerCompassStateChanged, record);
}

void TrackerConnection::trackerGyroCalibrated (const Tracker::Properties& record)
{
    notifyProperties (&PropertyListener::trackerGyroCalibrated, record);
}

void TrackerConnection::trackerPropertiesChanged (const Tracker::Properties& record)
{
    notifyProperties (&PropertyListener::trackerPropertiesChanged, record);
}

void TrackerConnection::trackerShakeStage (const Tracker::Properties& record)
{
    notifyProperties (&PropertyListener::trackerShakeStage, record);
}
} // namespace Midi
