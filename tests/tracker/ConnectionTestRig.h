#pragma once

// A scanner without system ports whose trackers are put in place by hand: each has a
// recording output and an input that a test thread can feed as the MIDI input thread.

#include "TrackerPeers.h"
#include "tracker/TrackerConnection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <vector>

namespace ConnectionTest
{
using Bytes = std::vector<juce::uint8>;

// Lists no ports; the scanner's timer is never started in these tests.
class NoPorts : public Midi::MidiPorts
{
public:
    juce::Array<juce::MidiDeviceInfo> getAvailableInputs() override { return {}; }
    juce::Array<juce::MidiDeviceInfo> getAvailableOutputs() override { return {}; }
    std::unique_ptr<Input> openInput (const juce::String&, InputCallback*) override { return nullptr; }
    std::unique_ptr<Output> openOutput (const juce::String&) override { return nullptr; }
};

class QuietInput : public Midi::MidiPorts::Input
{
public:
    void start() override {}
    void stop() override {}
};

// Keeps every message sent through it.
class RecordingOutput : public Midi::MidiPorts::Output
{
public:
    void sendMessageNow (const juce::MidiMessage& message) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        const auto* data = message.getRawData();
        sent.emplace_back (data, data + message.getRawDataSize());
    }

    std::vector<Bytes> messages()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return sent;
    }

    void clear()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        sent.clear();
    }

private:
    std::mutex mutex;
    std::vector<Bytes> sent;
};

// One hand-made tracker of the scanner.
struct Device
{
    Midi::MidiScanner::Duplex* duplex = nullptr;
    QuietInput* input = nullptr;
    RecordingOutput* output = nullptr;

    // Delivers a message as the port layer's MIDI input thread does.
    void receive (const Bytes& bytes) const
    {
        Midi::MidiScannerPeer::receive (*duplex, juce::MidiMessage (bytes.data(), (int) bytes.size()));
    }
};

inline Device addDevice (Midi::MidiScanner& scanner, const juce::String& name, const juce::String& identifier)
{
    Device device;
    auto input = std::make_unique<QuietInput>();
    auto output = std::make_unique<RecordingOutput>();
    device.input = input.get();
    device.output = output.get();
    device.duplex = &Midi::MidiScannerPeer (scanner).addDuplex (name, identifier, std::move (input), std::move (output));
    return device;
}

// Tracker messages: F0 00 3C 19 type content F7.
inline Bytes trackerMessage (juce::uint8 type, const Bytes& content)
{
    Bytes bytes (content.size() + 6);
    const juce::uint8 header[] = { 0xf0, 0x00, 0x3c, 0x19, type };
    std::copy (std::begin (header), std::end (header), bytes.begin());
    std::copy (content.begin(), content.end(), bytes.begin() + 5);
    bytes.back() = 0xf7;
    return bytes;
}

// A value of -4 to 4 as the tracker's 14-bit signed pair, high part first.
inline void append14Bit (Bytes& bytes, float value)
{
    int v = (int) std::lround (value * 2048.0f);
    if (v < 0)
        v += 16384;
    bytes.push_back ((juce::uint8) ((v >> 7) & 0x7f));
    bytes.push_back ((juce::uint8) (v & 0x7f));
}

inline Bytes yawPitchRollMessage (float yaw, float pitch, float roll)
{
    Bytes content { 0x00 };
    for (float v : { yaw, pitch, roll })
        append14Bit (content, v);
    return trackerMessage (0x40, content);
}

inline Bytes quaternionMessage (float w, float x, float y, float z)
{
    Bytes content { 0x01 };
    for (float v : { w, x, y, z })
        append14Bit (content, v);
    return trackerMessage (0x40, content);
}

inline Bytes matrixMessage (const float* m)
{
    Bytes content { 0x02 };
    for (int i = 0; i < 9; ++i)
        append14Bit (content, m[i]);
    return trackerMessage (0x40, content);
}

inline Bytes reportMessage (const Bytes& pairs)
{
    return trackerMessage (0x42, pairs);
}

inline juce::MidiMessage toMidi (const Bytes& bytes)
{
    return juce::MidiMessage (bytes.data(), (int) bytes.size());
}

// A connection that keeps what reaches handleOtherSysEx.
class RecordingConnection : public Midi::TrackerConnection
{
public:
    using TrackerConnection::TrackerConnection;

    void handleOtherSysEx (const juce::uint8* payload, size_t length) override
    {
        others.emplace_back (payload, payload + length);
    }

    std::vector<Bytes> others;
};

// Counts property callbacks and keeps the last record's fields.
class PropertyRecorder : public Midi::TrackerConnection::PropertyListener
{
public:
    void trackerCompassStateChanged (const Tracker::Properties& record) override { calls.push_back ("compass"); last = record; }
    void trackerGyroCalibrated (const Tracker::Properties& record) override { calls.push_back ("gyro"); last = record; }
    void trackerPropertiesChanged (const Tracker::Properties& record) override { calls.push_back ("properties"); last = record; }
    void trackerShakeStage (const Tracker::Properties& record) override { calls.push_back ("shake"); last = record; }

    std::vector<std::string> calls;
    Tracker::Properties last;
};

class OrientationRecorder : public Midi::TrackerConnection::OrientationListener
{
public:
    void trackerOrientation (const juce::String& name, float* matrix) override
    {
        names.add (name);
        matrices.emplace_back (matrix, matrix + 9);
    }

    juce::StringArray names;
    std::vector<std::vector<float>> matrices;
};

inline void expectMatrixNear (const float* actual, const float* expected, float tolerance = 1.0e-6f)
{
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR (actual[i], expected[i], tolerance) << "element " << i;
}

inline Bytes bytesOf (std::initializer_list<int> values)
{
    Bytes bytes;
    for (int v : values)
        bytes.push_back ((juce::uint8) v);
    return bytes;
}
} // namespace ConnectionTest
