// Arbitrary byte sequences from a tracker, through the connection's decoder.

#include "ConnectionTestRig.h"

#include <array>
#include <random>

using namespace ConnectionTest;

namespace
{
// Checks that every payload handed on lies inside the message being decoded.
class BoundsCheckingConnection : public Midi::TrackerConnection
{
public:
    using TrackerConnection::TrackerConnection;

    void handleOtherSysEx (const juce::uint8* payload, size_t length) override
    {
        ++otherCalls;
        lastOtherLength = length;
        inBounds = inBounds && payload >= begin && payload + length <= end;
    }

    const juce::uint8* begin = nullptr;
    const juce::uint8* end = nullptr;
    bool inBounds = true;
    int otherCalls = 0;
    size_t lastOtherLength = 0;
};

struct Counter : Midi::TrackerConnection::OrientationListener, Midi::TrackerConnection::PropertyListener
{
    void trackerOrientation (const juce::String&, float* matrix) override
    {
        ++orientations;
        std::copy (matrix, matrix + 9, last);
    }
    void trackerCompassStateChanged (const Tracker::Properties&) override { ++properties; }
    void trackerGyroCalibrated (const Tracker::Properties&) override { ++properties; }
    void trackerPropertiesChanged (const Tracker::Properties&) override { ++properties; }
    void trackerShakeStage (const Tracker::Properties&) override { ++properties; }

    int orientations = 0;
    int properties = 0;
    float last[9] = {};
};

enum class Kind { ignored, orientation, raw, report, other };

// The decoded forms, by exact payload length and type.
Kind expectedKind (const Bytes& m)
{
    if (m.size() < 2 || m[0] != 0xf0)
        return Kind::ignored;

    const size_t n = m.size() - 2;
    const auto* p = m.data() + 1;
    if (n == 11 && p[3] == 0x40 && p[4] == 0) return Kind::orientation;
    if (n == 13 && p[3] == 0x40 && p[4] == 1) return Kind::orientation;
    if (n == 23 && p[3] == 0x40 && p[4] == 2) return Kind::orientation;
    if (n == 15 && p[3] == 0x41) return Kind::raw;
    if (n >= 6 && n % 2 == 0 && p[3] == 0x42) return Kind::report;
    return Kind::other;
}

class MessageMaker
{
public:
    explicit MessageMaker (unsigned seed) : random (seed) {}

    Bytes next()
    {
        switch (pick (4))
        {
            case 0: return randomBytes();
            case 1: return mutate (validMessage());
            case 2: return validMessage();
            default: return mutate (randomReport());
        }
    }

private:
    int pick (int count) { return std::uniform_int_distribution<int> (0, count - 1) (random); }
    juce::uint8 anyByte() { return (juce::uint8) pick (256); }
    juce::uint8 dataByte() { return (juce::uint8) pick (128); }

    Bytes randomBytes()
    {
        const int length = pick (10) == 0 ? 1 + pick (700) : 1 + pick (40);
        Bytes bytes ((size_t) length);
        for (auto& b : bytes)
            b = anyByte();
        if (pick (2) == 0)
            bytes[0] = 0xf0;
        return bytes;
    }

    Bytes dataBytes (int count)
    {
        Bytes bytes ((size_t) count);
        for (auto& b : bytes)
            b = dataByte();
        return bytes;
    }

    Bytes validMessage()
    {
        switch (pick (4))
        {
            case 0: { auto c = dataBytes (7); c[0] = 0; return trackerMessage (0x40, c); }
            case 1: { auto c = dataBytes (9); c[0] = 1; return trackerMessage (0x40, c); }
            case 2: { auto c = dataBytes (19); c[0] = 2; return trackerMessage (0x40, c); }
            default: return trackerMessage (0x41, dataBytes (11));
        }
    }

    Bytes randomReport()
    {
        Bytes pairs;
        const int count = pick (8) == 0 ? pick (300) : pick (6);
        const juce::uint8 parameters[] = { 3, 4, 5, 17, 0, 1, 2, 0x7f };
        for (int i = 0; i < count; ++i)
        {
            pairs.push_back (parameters[pick (8)]);
            pairs.push_back (pick (4) == 0 ? anyByte() : dataByte());
        }
        return trackerMessage (0x42, pairs);
    }

    Bytes mutate (Bytes bytes)
    {
        const int changes = pick (4);
        for (int i = 0; i < changes; ++i)
            bytes[(size_t) pick ((int) bytes.size())] = anyByte();

        switch (pick (4))
        {
            case 0: bytes.resize ((size_t) std::max (1, (int) bytes.size() - 1 - pick (3))); break;
            case 1: for (int i = pick (3); i >= 0; --i) bytes.push_back (anyByte()); break;
            default: break;
        }
        return bytes;
    }

    std::mt19937 random;
};

void expectRecordInAllowedState (const Tracker::Properties& record)
{
    EXPECT_STREQ (record.name, "T1");
    EXPECT_EQ (record.angleMode, Tracker::AngleMode::quaternion);
    EXPECT_EQ (record.rate, Tracker::Rate::rate1);
    EXPECT_GE ((int) record.travelMode, 0);
    EXPECT_LE ((int) record.travelMode, 2);
    EXPECT_GE ((int) record.compassState, 0);
    EXPECT_LE ((int) record.compassState, 5);
    EXPECT_LE (record.shakeStage, 247);

    const auto& h = record.headMatrix;
    EXPECT_TRUE (h.writeIndex == 0 || h.writeIndex == 9);
    EXPECT_EQ (h.writeMatrix, h.buffer + h.writeIndex);
    EXPECT_EQ (h.readMatrix.load(), h.buffer + (9 - h.writeIndex));

    // Angles, quaternion parts and matrix values all lie in [-4, 4).
    for (float v : h.buffer)
    {
        EXPECT_TRUE (std::isfinite (v));
        EXPECT_LE (std::abs (v), 64.0f);
    }
}
} // namespace

TEST (ConnectionFuzz, ArbitraryMessagesFromATracker)
{
    NoPorts ports;
    Midi::MidiScanner scanner (ports);
    BoundsCheckingConnection connection (&scanner);
    Counter counter;
    connection.addOrientationListener (&counter);
    connection.addPropertyListener (&counter);
    connection.scannerDeviceAdded ("T1");
    const auto& record = *connection.findProperties ("T1");

    MessageMaker maker (20240611u);
    int kinds[5] = {};

    for (int i = 0; i < 20000; ++i)
    {
        const Bytes bytes = maker.next();
        const juce::MidiMessage message (bytes.data(), (int) bytes.size());
        const Bytes stored (message.getRawData(), message.getRawData() + message.getRawDataSize());
        ASSERT_EQ (stored, bytes);

        connection.begin = message.getRawData();
        connection.end = message.getRawData() + message.getRawDataSize();
        const int othersBefore = connection.otherCalls;
        const int orientationsBefore = counter.orientations;
        std::array<float, 9> headBefore;
        record.headMatrix.read (headBefore.data());

        // A name without a record: nothing at all happens.
        connection.handleIncomingMidiMessage ("T2", message);
        ASSERT_EQ (connection.otherCalls, othersBefore);
        ASSERT_EQ (counter.orientations, orientationsBefore);

        connection.handleIncomingMidiMessage ("T1", message);

        const Kind kind = expectedKind (bytes);
        ++kinds[(int) kind];
        const int others = connection.otherCalls - othersBefore;
        const int orientations = counter.orientations - orientationsBefore;

        switch (kind)
        {
            case Kind::ignored:
            case Kind::report:
                ASSERT_EQ (others, 0) << i;
                ASSERT_EQ (orientations, 0) << i;
                break;
            case Kind::orientation:
                ASSERT_EQ (others, 0) << i;
                // A rotation (straightened or not) goes to the record and the
                // listeners alike; what is none leaves the record as it was.
                ASSERT_LE (orientations, 1) << i;
                for (int k = 0; k < 9; ++k)
                    ASSERT_EQ (record.headMatrix.readMatrix[k], orientations == 1 ? counter.last[k] : headBefore[(size_t) k]) << i;
                break;
            case Kind::raw:
            case Kind::other:
                ASSERT_EQ (others, 1) << i;
                ASSERT_EQ (connection.lastOtherLength, bytes.size() - 2) << i;
                ASSERT_EQ (orientations, 0) << i;
                break;
        }

        ASSERT_TRUE (connection.inBounds) << i;
        expectRecordInAllowedState (record);
        if (HasFailure())
            FAIL() << "message " << i;
    }

    // The generator reached every path.
    for (int k = 0; k < 5; ++k)
        EXPECT_GT (kinds[k], 100) << "kind " << k;
    EXPECT_GT (counter.properties, 1000);
    EXPECT_EQ (Midi::TrackerConnectionPeer (connection).trackers().size(), 1);
}
