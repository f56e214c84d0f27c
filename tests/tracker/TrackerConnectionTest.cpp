#include "ConnectionTestRig.h"

#include <cstring>

using namespace ConnectionTest;

namespace
{
const float identity[9] = { 1, 0, 0, 0, 1, 0, 0, 0, 1 };

class TrackerConnectionTest : public ::testing::Test
{
protected:
    TrackerConnectionTest()
    {
        first = addDevice (scanner, "T1", "port 1");
        second = addDevice (scanner, "T2", "port 2");
    }

    Tracker::Properties& addRecord (const juce::String& name)
    {
        connection.scannerDeviceAdded (name);
        first.output->clear();
        second.output->clear();
        return *peer.trackers().getLast();
    }

    NoPorts ports;
    Midi::MidiScanner scanner { ports };
    RecordingConnection connection { &scanner };
    Midi::TrackerConnectionPeer peer { connection };
    Device first, second;
};

// What the decoder hands to Tracker::Listener.
class DecodeRecorder : public Tracker::Listener
{
public:
    void trackerOrientationYPR (const char* name, float y, float p, float r) override
    {
        calls.push_back (std::string ("ypr ") + name);
        values = { y, p, r };
    }
    void trackerOrientationQ (const char* name, float w, float x, float y, float z) override
    {
        calls.push_back (std::string ("q ") + name);
        values = { w, x, y, z };
    }
    void trackerOrientationM (const char* name, const float* m) override
    {
        calls.push_back (std::string ("m ") + name);
        values.assign (m, m + 9);
    }
    void trackerRaw (const char* name, const float* v, juce::uint8 a, juce::uint8 b) override
    {
        calls.push_back (std::string ("raw ") + name);
        values.assign (v, v + 3);
        rawA = a;
        rawB = b;
    }
    void trackerCompassStateChanged (const Tracker::Properties&) override { calls.push_back ("compass"); }
    void trackerGyroCalibrated (const Tracker::Properties&) override { calls.push_back ("gyro"); }
    void trackerPropertiesChanged (const Tracker::Properties&) override { calls.push_back ("properties"); }
    void trackerShakeStage (const Tracker::Properties&) override { calls.push_back ("shake"); }

    std::vector<std::string> calls;
    std::vector<float> values;
    int rawA = -1, rawB = -1;
};

// Row-major product of three 3 by 3 matrices.
void multiply3 (const double* a, const double* b, const double* c, float* out)
{
    double ab[9];
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            ab[3 * r + col] = a[3 * r] * b[col] + a[3 * r + 1] * b[3 + col] + a[3 * r + 2] * b[6 + col];
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            out[3 * r + col] = (float) (ab[3 * r] * c[col] + ab[3 * r + 1] * c[3 + col] + ab[3 * r + 2] * c[6 + col]);
}
} // namespace

//==============================================================================
TEST (TrackerProperties, NewRecordStartsWithTheInitialValues)
{
    Tracker::Properties record ("Head Tracker 7");
    EXPECT_STREQ (record.name, "Head Tracker 7");
    EXPECT_EQ (record.angleMode, Tracker::AngleMode::quaternion);
    EXPECT_EQ ((int) record.angleMode, 1);
    EXPECT_EQ ((int) record.rate, 1);
    EXPECT_FALSE (record.chirality);
    EXPECT_FALSE (record.useCompass);
    EXPECT_FALSE (record.slowCentralPull);
    EXPECT_FALSE (record.param4HighBits);
    EXPECT_EQ (record.shakeStage, 0);
    EXPECT_EQ (record.travelMode, Tracker::TravelMode::off);
    EXPECT_EQ (record.compassState, CompassState::off);

    const float* m = record.headMatrix.readMatrix;
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ (m[i], identity[i]);

    for (size_t i = std::strlen (record.name); i < sizeof (record.name); ++i)
        EXPECT_EQ (record.name[i], 0);
}

TEST (TrackerProperties, DefaultRecordHasAnEmptyNameAndCopiesKeepTheirOwnMatrix)
{
    Tracker::Properties empty;
    EXPECT_STREQ (empty.name, "");

    Tracker::Properties record ("A");
    const float m[9] = { 0, -1, 0, 1, 0, 0, 0, 0, 1 };
    record.headMatrix.write (m);
    record.travelMode = Tracker::TravelMode::slowCorrection;

    empty = record;
    EXPECT_STREQ (empty.name, "A");
    EXPECT_EQ (empty.travelMode, Tracker::TravelMode::slowCorrection);
    const float* copied = empty.headMatrix.readMatrix;
    EXPECT_TRUE (copied == empty.headMatrix.buffer || copied == empty.headMatrix.buffer + 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ (copied[i], m[i]);
}

TEST_F (TrackerConnectionTest, NamesAreStoredUpTo127BytesAndFoundExactly)
{
    const juce::String name127 = juce::String::repeatedString ("a", 126) + "b";
    const juce::String name128 = name127 + "c";

    connection.scannerDeviceAdded (name127);
    connection.scannerDeviceAdded (name128);

    EXPECT_EQ (std::strlen (peer.trackers()[0]->name), 127u);
    EXPECT_EQ (std::strlen (peer.trackers()[1]->name), 127u);
    EXPECT_EQ (connection.findProperties (name127), peer.trackers()[0]);
    EXPECT_EQ (connection.findProperties (name128), nullptr);

    EXPECT_EQ (connection.findProperties ("T1"), nullptr);
    addRecord ("T1");
    EXPECT_NE (connection.findProperties ("T1"), nullptr);
    EXPECT_EQ (connection.findProperties ("t1"), nullptr);
    EXPECT_EQ (connection.findProperties ("T"), nullptr);
    EXPECT_EQ (connection.findProperties ("T1 "), nullptr);
}

//==============================================================================
TEST_F (TrackerConnectionTest, ConnectionIsTheScannersListener)
{
    ASSERT_EQ (Midi::MidiScannerPeer (scanner).listeners().size(), 1u);
    EXPECT_EQ (Midi::MidiScannerPeer (scanner).listeners()[0], static_cast<Midi::MidiScanner::Listener*> (&connection));
    EXPECT_EQ (peer.scanner(), &scanner);

    {
        Midi::TrackerConnection other (&scanner);
        EXPECT_EQ (Midi::MidiScannerPeer (scanner).listeners().size(), 2u);
    }
    EXPECT_EQ (Midi::MidiScannerPeer (scanner).listeners().size(), 1u);
}

TEST_F (TrackerConnectionTest, AddedTrackerGetsARecordAndTheReadRequest)
{
    connection.scannerDeviceAdded ("T1");

    ASSERT_EQ (peer.trackers().size(), 1);
    EXPECT_STREQ (peer.trackers()[0]->name, "T1");

    const auto sent = first.output->messages();
    ASSERT_EQ (sent.size(), 1u);
    EXPECT_EQ (sent[0], bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x02, 0x03, 0x04, 0x11, 0xf7 }));
    EXPECT_TRUE (second.output->messages().empty());
}

TEST_F (TrackerConnectionTest, NameAddedTwiceGivesTwoRecordsAndTheFirstIsUsed)
{
    addRecord ("T1");
    addRecord ("T1");
    ASSERT_EQ (peer.trackers().size(), 2);
    auto* firstRecord = peer.trackers()[0];
    auto* secondRecord = peer.trackers()[1];
    EXPECT_EQ (connection.findProperties ("T1"), firstRecord);

    connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage ({ 17, 7 })));
    EXPECT_EQ (firstRecord->travelMode, Tracker::TravelMode::fastCorrection);
    EXPECT_EQ (secondRecord->travelMode, Tracker::TravelMode::off);

    connection.scannerDeviceRemoved ("T1");
    ASSERT_EQ (peer.trackers().size(), 1);
    EXPECT_EQ (peer.trackers()[0], secondRecord);
    EXPECT_EQ (connection.findProperties ("T1"), secondRecord);
}

TEST_F (TrackerConnectionTest, RemovalDeletesTheRecordAndSendsNothing)
{
    addRecord ("T1");
    addRecord ("T2");
    connection.scannerDeviceRemoved ("unknown");
    EXPECT_EQ (peer.trackers().size(), 2);

    connection.scannerDeviceRemoved ("T1");
    ASSERT_EQ (peer.trackers().size(), 1);
    EXPECT_STREQ (peer.trackers()[0]->name, "T2");
    EXPECT_TRUE (first.output->messages().empty());

    // Messages of a name without a record are dropped, not even passed on.
    connection.handleIncomingMidiMessage ("T1", toMidi (trackerMessage (0x7e, { 1, 2 })));
    connection.handleIncomingMidiMessage ("T1", toMidi (yawPitchRollMessage (0.1f, 0, 0)));
    EXPECT_TRUE (connection.others.empty());
}

//==============================================================================
TEST_F (TrackerConnectionTest, SwitchOnMessageForEveryRateAndFormat)
{
    auto& record = addRecord ("T1");

    connection.turnOn ("T1", Tracker::Rate::rate1, Tracker::AngleMode::quaternion);
    auto sent = first.output->messages();
    ASSERT_EQ (sent.size(), 1u);
    EXPECT_EQ (sent[0], bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x00, 0x08, 0x01, 0x05, 0x03, 0x40, 0xf7 }));

    struct Case { int rate, mode, rateCode, modeCode; };
    const Case cases[] = { { 0, 0, 0x18, 0x01 }, { 1, 1, 0x08, 0x05 }, { 2, 2, 0x28, 0x09 },
                           { 0, 2, 0x18, 0x09 }, { 5, 7, 0x28, 0x09 }, { -1, -3, 0x28, 0x09 } };

    for (const auto& c : cases)
    {
        first.output->clear();
        connection.turnOn ("T1", (Tracker::Rate) c.rate, (Tracker::AngleMode) c.mode);
        sent = first.output->messages();
        ASSERT_EQ (sent.size(), 1u);
        EXPECT_EQ (sent[0], bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x00, c.rateCode, 0x01, c.modeCode, 0x03, 0x40, 0xf7 }));
        EXPECT_EQ ((int) record.rate, c.rate);
        EXPECT_EQ ((int) record.angleMode, c.mode);
    }
    EXPECT_TRUE (second.output->messages().empty());
}

TEST_F (TrackerConnectionTest, SwitchOnWithoutRecordStillSends)
{
    connection.turnOn ("T2", Tracker::Rate::rate0, Tracker::AngleMode::matrix);
    EXPECT_EQ (peer.trackers().size(), 0);
    ASSERT_EQ (second.output->messages().size(), 1u);
    EXPECT_TRUE (first.output->messages().empty());

    // An empty name goes to every connected tracker.
    connection.turnOn ({}, Tracker::Rate::rate1, Tracker::AngleMode::quaternion);
    EXPECT_EQ (first.output->messages().size(), 1u);
    EXPECT_EQ (second.output->messages().size(), 2u);

    // A disconnected tracker is sent nothing.
    second.duplex->connected = false;
    connection.turnOn ({}, Tracker::Rate::rate1, Tracker::AngleMode::quaternion);
    EXPECT_EQ (first.output->messages().size(), 2u);
    EXPECT_EQ (second.output->messages().size(), 2u);
}

TEST_F (TrackerConnectionTest, ChiralityMessageAndStore)
{
    auto& record = addRecord ("T1");

    connection.setChirality ("T1", true);
    EXPECT_TRUE (record.chirality);
    connection.setChirality ("T1", false);
    EXPECT_FALSE (record.chirality);

    const auto sent = first.output->messages();
    ASSERT_EQ (sent.size(), 2u);
    EXPECT_EQ (sent[0], bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x04, 0x03, 0xf7 }));
    EXPECT_EQ (sent[1], bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x04, 0x02, 0xf7 }));

    // An empty name stores nothing and sends to every connected tracker.
    connection.setChirality ({}, true);
    EXPECT_FALSE (record.chirality);
    EXPECT_EQ (first.output->messages().size(), 3u);
    EXPECT_EQ (second.output->messages().size(), 1u);
}

TEST_F (TrackerConnectionTest, CompassMessageForEveryCombination)
{
    auto& record = addRecord ("T1");

    struct Case { bool use, slow; int code; };
    const Case cases[] = { { false, true, 0x60 }, { true, true, 0x70 }, { false, false, 0x68 }, { true, false, 0x78 } };

    for (const auto& c : cases)
    {
        first.output->clear();
        connection.setCompass ("T1", c.use, c.slow);
        const auto sent = first.output->messages();
        ASSERT_EQ (sent.size(), 1u);
        EXPECT_EQ (sent[0], bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x03, c.code, 0xf7 }));
        EXPECT_EQ (record.useCompass, c.use);
        EXPECT_EQ (record.slowCentralPull, c.slow);
    }
}

TEST_F (TrackerConnectionTest, TravelModeMessageAndStore)
{
    auto& one = addRecord ("T1");
    auto& two = addRecord ("T2");

    struct Case { int mode, code; };
    const Case cases[] = { { 0, 0x04 }, { 1, 0x06 }, { 2, 0x07 }, { 3, 0x04 }, { -1, 0x04 } };

    for (const auto& c : cases)
    {
        first.output->clear();
        connection.setTravelMode ("T1", (Tracker::TravelMode) c.mode);
        const auto sent = first.output->messages();
        ASSERT_EQ (sent.size(), 1u);
        EXPECT_EQ (sent[0], bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x01, 0x01, c.code, 0xf7 }));
        EXPECT_EQ ((int) one.travelMode, c.mode);
    }
    EXPECT_EQ (two.travelMode, Tracker::TravelMode::off);
    EXPECT_TRUE (second.output->messages().empty());

    // An empty name: every record, and one message to every connected tracker.
    first.output->clear();
    connection.setTravelMode ({}, Tracker::TravelMode::slowCorrection);
    EXPECT_EQ (one.travelMode, Tracker::TravelMode::slowCorrection);
    EXPECT_EQ (two.travelMode, Tracker::TravelMode::slowCorrection);
    EXPECT_EQ (first.output->messages().size(), 1u);
    EXPECT_EQ (second.output->messages().size(), 1u);
}

TEST_F (TrackerConnectionTest, TravelModeToEveryoneWithoutRecordsStillSends)
{
    connection.setTravelMode ({}, Tracker::TravelMode::fastCorrection);
    ASSERT_EQ (first.output->messages().size(), 1u);
    EXPECT_EQ (first.output->messages()[0], bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x01, 0x01, 0x07, 0xf7 }));
    EXPECT_EQ (second.output->messages().size(), 1u);
}

TEST_F (TrackerConnectionTest, FixedPanelMessagesAreAssembledInTheSysexBuffer)
{
    const auto calibrate = connection.assembleMessage ({ 0x00, 0x03, 0x44 });
    const Bytes calibrateBytes (calibrate.getRawData(), calibrate.getRawData() + calibrate.getRawDataSize());
    EXPECT_EQ (calibrateBytes, bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x03, 0x44, 0xf7 }));
    EXPECT_EQ (std::memcmp (connection.sysexBuffer, calibrateBytes.data(), calibrateBytes.size()), 0);

    const auto doubleClick = connection.assembleMessage ({ 0x01, 0x00, 0x01 });
    const Bytes doubleClickBytes (doubleClick.getRawData(), doubleClick.getRawData() + doubleClick.getRawDataSize());
    EXPECT_EQ (doubleClickBytes, bytesOf ({ 0xf0, 0x00, 0x3c, 0x19, 0x01, 0x00, 0x01, 0xf7 }));
}

//==============================================================================
TEST (TrackerEncoding, FourteenBitValues)
{
    using C = Midi::TrackerConnection;
    EXPECT_FLOAT_EQ (C::orientationValue (0x3f, 0x7f), 3.99951171875f);
    EXPECT_EQ (C::orientationValue (0x40, 0x00), -4.0f);
    EXPECT_EQ (C::orientationValue (0x7f, 0x7f), -0.00048828125f);
    EXPECT_EQ (C::orientationValue (0x00, 0x00), 0.0f);
    EXPECT_EQ (C::orientationValue (0x00, 0x01), 0.00048828125f);
    EXPECT_EQ (C::orientationValue (0x10, 0x00), 1.0f);
    EXPECT_EQ (C::orientationValue (0x70, 0x00), -1.0f);
}

TEST (TrackerEncoding, RawSensorValues)
{
    using C = Midi::TrackerConnection;
    EXPECT_EQ (C::rawSensorValue (0, 0, 0), 0.0f);
    EXPECT_EQ (C::rawSensorValue (0, 0, 1), 3.0517578125e-05f);
    EXPECT_EQ (C::rawSensorValue (2, 0, 0), -1.0f);              // 32768
    EXPECT_FLOAT_EQ (C::rawSensorValue (1, 0x7f, 0x7f), 0.99996948f); // 32767
    EXPECT_EQ (C::rawSensorValue (3, 0x7f, 0x7f), -3.0517578125e-05f); // 65535
    EXPECT_EQ (C::rawSensorValue (4, 0, 0), 0.0f);               // 65536: only the low 16 bits count
    EXPECT_EQ (C::rawSensorValue (4, 0, 1), 3.0517578125e-05f);
    EXPECT_EQ (C::rawSensorValue (6, 0, 0), -1.0f);              // 98304 -> 32768
    EXPECT_EQ (C::rawSensorValue (1, 0, 0), 0.5f);
}

TEST (TrackerEncoding, YawPitchRollMatrices)
{
    float m[9];
    Midi::TrackerConnection::yawPitchRollToMatrix (0, 0, 0, m);
    expectMatrixNear (m, identity, 0);

    Midi::TrackerConnection::yawPitchRollToMatrix (0.5f, 0, 0, m);
    const float c = std::cos (0.5f), s = std::sin (0.5f);
    const float yawOnly[9] = { c, -s, 0, s, c, 0, 0, 0, 1 };
    expectMatrixNear (m, yawOnly);

    Midi::TrackerConnection::yawPitchRollToMatrix (0, 0.5f, 0, m);
    const float pitchOnly[9] = { 1, 0, 0, 0, c, -s, 0, s, c };
    expectMatrixNear (m, pitchOnly);

    Midi::TrackerConnection::yawPitchRollToMatrix (0, 0, 0.5f, m);
    const float rollOnly[9] = { c, 0, s, 0, 1, 0, -s, 0, c };
    expectMatrixNear (m, rollOnly);

    // Rz(yaw) Rx(pitch) Ry(roll) for angles together.
    const double y = 0.7, p = -0.4, r = 1.3;
    const double rz[9] = { std::cos (y), -std::sin (y), 0, std::sin (y), std::cos (y), 0, 0, 0, 1 };
    const double rx[9] = { 1, 0, 0, 0, std::cos (p), -std::sin (p), 0, std::sin (p), std::cos (p) };
    const double ry[9] = { std::cos (r), 0, std::sin (r), 0, 1, 0, -std::sin (r), 0, std::cos (r) };
    float expected[9];
    multiply3 (rz, rx, ry, expected);
    Midi::TrackerConnection::yawPitchRollToMatrix ((float) y, (float) p, (float) r, m);
    expectMatrixNear (m, expected, 1.0e-6f);
}

TEST (TrackerEncoding, QuaternionMatrices)
{
    float m[9];
    Midi::TrackerConnection::quaternionToMatrix (1, 0, 0, 0, m);
    expectMatrixNear (m, identity, 0);

    Midi::TrackerConnection::quaternionToMatrix (2, 0, 0, 0, m);
    const float four[9] = { 4, 0, 0, 0, 4, 0, 0, 0, 4 };
    expectMatrixNear (m, four, 0);

    // A turn of a about z is the yaw matrix of a.
    const float a = 0.8f;
    Midi::TrackerConnection::quaternionToMatrix (std::cos (a / 2), 0, 0, std::sin (a / 2), m);
    float yaw[9];
    Midi::TrackerConnection::yawPitchRollToMatrix (a, 0, 0, yaw);
    expectMatrixNear (m, yaw, 1.0e-6f);

    // Every formula once, with distinct components.
    Midi::TrackerConnection::quaternionToMatrix (1, 2, 3, 4, m);
    const float expected[9] = { 1 + 4 - 9 - 16, 2 * (6 - 4), 2 * (8 + 3),
                                2 * (6 + 4), 1 - 4 + 9 - 16, 2 * (12 - 2),
                                2 * (8 - 3), 2 * (12 + 2), 1 - 4 - 9 + 16 };
    expectMatrixNear (m, expected, 0);
}

//==============================================================================
TEST_F (TrackerConnectionTest, YawPitchRollMessageWritesTheMatrixAndTellsListeners)
{
    auto& record = addRecord ("T1");
    OrientationRecorder orientations;
    connection.addOrientationListener (&orientations);

    connection.handleIncomingMidiMessage ("T1", toMidi (yawPitchRollMessage (0.5f, 0, 0)));

    const float c = std::cos (0.5f), s = std::sin (0.5f);
    const float expected[9] = { c, -s, 0, s, c, 0, 0, 0, 1 };
    EXPECT_EQ (record.headMatrix.readMatrix.load(), record.headMatrix.buffer + 9);
    expectMatrixNear (record.headMatrix.readMatrix, expected);

    ASSERT_EQ (orientations.matrices.size(), 1u);
    EXPECT_EQ (orientations.names[0], "T1");
    expectMatrixNear (orientations.matrices[0].data(), expected);
    EXPECT_TRUE (connection.others.empty());
}

TEST_F (TrackerConnectionTest, DecoderReportsTheAnglesAsTheyCame)
{
    addRecord ("T1");
    DecodeRecorder decoded;
    peer.trackerListener() = &decoded;

    connection.handleIncomingMidiMessage ("T1", toMidi (trackerMessage (0x40, bytesOf ({ 0x00, 0x3f, 0x7f, 0x40, 0x00, 0x7f, 0x7f }))));
    ASSERT_EQ (decoded.calls.size(), 1u);
    EXPECT_EQ (decoded.calls[0], "ypr T1");
    EXPECT_FLOAT_EQ (decoded.values[0], 3.99951171875f);
    EXPECT_EQ (decoded.values[1], -4.0f);
    EXPECT_EQ (decoded.values[2], -0.00048828125f);

    connection.handleIncomingMidiMessage ("T1", toMidi (quaternionMessage (0.5f, -0.25f, 1.0f, 0)));
    ASSERT_EQ (decoded.calls.size(), 2u);
    EXPECT_EQ (decoded.calls[1], "q T1");
    EXPECT_EQ (decoded.values, (std::vector<float> { 0.5f, -0.25f, 1.0f, 0.0f }));
}

TEST_F (TrackerConnectionTest, QuaternionMessage)
{
    auto& record = addRecord ("T1");
    OrientationRecorder orientations;
    connection.addOrientationListener (&orientations);

    // An unnormalised quaternion: four times the identity, straightened.
    connection.handleIncomingMidiMessage ("T1", toMidi (quaternionMessage (2, 0, 0, 0)));
    expectMatrixNear (record.headMatrix.readMatrix, identity, 0);
    ASSERT_EQ (orientations.matrices.size(), 1u);
    expectMatrixNear (orientations.matrices[0].data(), identity, 0);

    const float halfTurn[9] = { -1, 0, 0, 0, -1, 0, 0, 0, 1 };
    connection.handleIncomingMidiMessage ("T1", toMidi (quaternionMessage (0, 0, 0, 1)));
    expectMatrixNear (record.headMatrix.readMatrix, halfTurn, 0);
    EXPECT_EQ (record.headMatrix.readMatrix.load(), record.headMatrix.buffer);

    // A zero quaternion is no rotation: the record keeps the last one, no listener hears of it.
    connection.handleIncomingMidiMessage ("T1", toMidi (quaternionMessage (0, 0, 0, 0)));
    expectMatrixNear (record.headMatrix.readMatrix, halfTurn, 0);
    EXPECT_EQ (orientations.matrices.size(), 2u);
}

TEST_F (TrackerConnectionTest, MatrixMessagePassesTheValuesUnchanged)
{
    auto& record = addRecord ("T1");
    OrientationRecorder orientations;
    connection.addOrientationListener (&orientations);
    DecodeRecorder decoded;

    const float rotation[9] = { 0, 0, 1, -1, 0, 0, 0, -1, 0 };
    connection.handleIncomingMidiMessage ("T1", toMidi (matrixMessage (rotation)));
    expectMatrixNear (record.headMatrix.readMatrix, rotation, 0);
    ASSERT_EQ (orientations.matrices.size(), 1u);
    expectMatrixNear (orientations.matrices[0].data(), rotation, 0);

    // The decoder reports the values as they came, rotation or not; the record
    // keeps its rotation.
    peer.trackerListener() = &decoded;
    const float m[9] = { 0.5f, -0.25f, 3.99951171875f, -4.0f, 0, 1, -1, 0.125f, -0.00048828125f };
    connection.handleIncomingMidiMessage ("T1", toMidi (matrixMessage (m)));
    ASSERT_EQ (decoded.calls.size(), 1u);
    EXPECT_EQ (decoded.calls[0], "m T1");
    expectMatrixNear (decoded.values.data(), m, 0);
    expectMatrixNear (record.headMatrix.readMatrix, rotation, 0);
}

TEST_F (TrackerConnectionTest, HeadPanelStyleSecondWriteFlipsOnceMore)
{
    auto& record = addRecord ("T1");

    // Writes the orientation into the record once more, as the head panel does.
    struct SecondWriter : Midi::TrackerConnection::OrientationListener
    {
        Midi::TrackerConnection* connection = nullptr;
        void trackerOrientation (const juce::String& name, float* matrix) override
        {
            if (auto* r = connection->findProperties (name))
                r->headMatrix.write (matrix);
        }
    } writer;
    writer.connection = &connection;
    connection.addOrientationListener (&writer);

    connection.handleIncomingMidiMessage ("T1", toMidi (yawPitchRollMessage (0.25f, 0, 0)));
    EXPECT_EQ (record.headMatrix.writeIndex, 9);
    EXPECT_EQ (record.headMatrix.readMatrix.load(), record.headMatrix.buffer);
    expectMatrixNear (record.headMatrix.buffer, record.headMatrix.buffer + 9, 0);
}

TEST_F (TrackerConnectionTest, OrientationGoesToTheFirstRecordOfItsNameOnly)
{
    auto& one = addRecord ("T1");
    auto& two = addRecord ("T2");
    connection.handleIncomingMidiMessage ("T2", toMidi (yawPitchRollMessage (0.5f, 0, 0)));
    EXPECT_EQ (one.headMatrix.readMatrix.load(), one.headMatrix.buffer);
    EXPECT_EQ (two.headMatrix.readMatrix.load(), two.headMatrix.buffer + 9);
}

TEST_F (TrackerConnectionTest, RawMessageIsReportedThenPassedOn)
{
    auto& record = addRecord ("T1");
    DecodeRecorder decoded;
    auto* own = peer.trackerListener();
    peer.trackerListener() = &decoded;

    const Bytes raw = trackerMessage (0x41, bytesOf ({ 0x12, 0x34, 2, 0, 0, 1, 0x7f, 0x7f, 0, 0, 1 }));
    connection.handleIncomingMidiMessage ("T1", toMidi (raw));

    ASSERT_EQ (decoded.calls.size(), 1u);
    EXPECT_EQ (decoded.calls[0], "raw T1");
    EXPECT_EQ (decoded.rawA, 0x12);
    EXPECT_EQ (decoded.rawB, 0x34);
    EXPECT_EQ (decoded.values[0], -1.0f);
    EXPECT_FLOAT_EQ (decoded.values[1], 0.99996948f);
    EXPECT_EQ (decoded.values[2], 3.0517578125e-05f);

    ASSERT_EQ (connection.others.size(), 1u);
    EXPECT_EQ (connection.others[0], Bytes (raw.begin() + 1, raw.end() - 1));
    EXPECT_EQ (record.headMatrix.readMatrix.load(), record.headMatrix.buffer);

    // Through the connection itself, trackerRaw does nothing more.
    peer.trackerListener() = own;
    OrientationRecorder orientations;
    connection.addOrientationListener (&orientations);
    connection.handleIncomingMidiMessage ("T1", toMidi (raw));
    EXPECT_TRUE (orientations.matrices.empty());
    EXPECT_EQ (connection.others.size(), 2u);
}

//==============================================================================
TEST_F (TrackerConnectionTest, ReportAppliesEachPairInTurn)
{
    auto& record = addRecord ("T1");
    PropertyRecorder properties;
    connection.addPropertyListener (&properties);

    connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage ({ 0x03, 0x13, 0x04, 0x03, 0x11, 0x07 })));

    EXPECT_TRUE (record.useCompass);
    EXPECT_TRUE (record.slowCentralPull);
    EXPECT_EQ (record.compassState, CompassState::calibrating);
    EXPECT_TRUE (record.chirality);
    EXPECT_FALSE (record.param4HighBits);
    EXPECT_EQ (record.travelMode, Tracker::TravelMode::fastCorrection);
    EXPECT_EQ (properties.calls, (std::vector<std::string> { "compass", "properties" }));

    EXPECT_TRUE (connection.others.empty());
}

TEST_F (TrackerConnectionTest, CallbackSeesTheRecordBeforeLaterPairs)
{
    addRecord ("T1");

    struct Snapshot : Midi::TrackerConnection::PropertyListener
    {
        void trackerCompassStateChanged (const Tracker::Properties& r) override { chiralityAtCompass = r.chirality; }
        bool chiralityAtCompass = true;
    } snapshot;
    connection.addPropertyListener (&snapshot);

    connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage ({ 0x03, 0x13, 0x04, 0x03 })));
    EXPECT_FALSE (snapshot.chiralityAtCompass);
    EXPECT_TRUE (connection.findProperties ("T1")->chirality);
}

TEST_F (TrackerConnectionTest, CompassParameterBits)
{
    auto& record = addRecord ("T1");
    PropertyRecorder properties;
    connection.addPropertyListener (&properties);

    struct Case { int value; bool use, slow; CompassState state; };
    const Case cases[] = { { 0x00, false, true, CompassState::off },
                           { 0x01, false, true, CompassState::badData },
                           { 0x02, false, true, CompassState::goodData },
                           { 0x03, false, true, CompassState::calibrating },
                           { 0x08, false, false, CompassState::off },
                           { 0x10, true, true, CompassState::off },
                           { 0x1a, true, false, CompassState::goodData },
                           { 0x7c, true, false, CompassState::off } };

    for (const auto& c : cases)
    {
        properties.calls.clear();
        connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage (bytesOf ({ 3, c.value }))));
        EXPECT_EQ (record.useCompass, c.use) << c.value;
        EXPECT_EQ (record.slowCentralPull, c.slow) << c.value;
        EXPECT_EQ (record.compassState, c.state) << c.value;
        EXPECT_EQ (properties.calls, (std::vector<std::string> { "compass" })) << c.value;
    }
}

TEST_F (TrackerConnectionTest, ChiralityParameterBits)
{
    auto& record = addRecord ("T1");
    PropertyRecorder properties;
    connection.addPropertyListener (&properties);

    struct Case { int value; bool chirality, highBits; };
    const Case cases[] = { { 0x03, true, false }, { 0x02, false, false }, { 0x01, false, false },
                           { 0x18, false, true }, { 0x1b, true, true }, { 0x10, false, false },
                           { 0x08, false, false }, { 0x07, true, false } };

    for (const auto& c : cases)
    {
        connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage (bytesOf ({ 4, c.value }))));
        EXPECT_EQ (record.chirality, c.chirality) << c.value;
        EXPECT_EQ (record.param4HighBits, c.highBits) << c.value;
    }
    EXPECT_TRUE (properties.calls.empty());
}

TEST_F (TrackerConnectionTest, StatusParameterValues)
{
    auto& record = addRecord ("T1");
    PropertyRecorder properties;
    connection.addPropertyListener (&properties);

    auto report = [&] (int value) {
        properties.calls.clear();
        connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage (bytesOf ({ 5, value }))));
    };

    const CompassState states[] = { CompassState::calibrating, CompassState::succeeded, CompassState::failed,
                                    CompassState::badData, CompassState::goodData };
    for (int value = 1; value <= 5; ++value)
    {
        report (value);
        EXPECT_EQ (record.compassState, states[value - 1]) << value;
        EXPECT_EQ (properties.calls, (std::vector<std::string> { "compass" }));
    }

    report (6);
    EXPECT_EQ (record.compassState, CompassState::goodData);
    EXPECT_EQ (properties.calls, (std::vector<std::string> { "gyro" }));

    report (7);
    EXPECT_EQ (record.compassState, CompassState::goodData);
    EXPECT_EQ (properties.calls, (std::vector<std::string> { "compass" }));

    report (8);
    EXPECT_EQ (record.shakeStage, 0);
    EXPECT_EQ (properties.calls, (std::vector<std::string> { "shake" }));

    report (10);
    EXPECT_EQ (record.shakeStage, 2);
    EXPECT_EQ (properties.calls, (std::vector<std::string> { "shake" }));

    report (0x7f);
    EXPECT_EQ (record.shakeStage, 119);

    const auto before = record.shakeStage;
    report (0);
    EXPECT_TRUE (properties.calls.empty());
    EXPECT_EQ (record.shakeStage, before);
    EXPECT_EQ (record.compassState, CompassState::goodData);
}

TEST_F (TrackerConnectionTest, TravelModeParameterLowBits)
{
    auto& record = addRecord ("T1");
    PropertyRecorder properties;
    connection.addPropertyListener (&properties);

    struct Case { int value; Tracker::TravelMode mode; };
    const Case cases[] = { { 7, Tracker::TravelMode::fastCorrection }, { 6, Tracker::TravelMode::slowCorrection },
                           { 5, Tracker::TravelMode::off }, { 0x0f, Tracker::TravelMode::fastCorrection },
                           { 0x7e, Tracker::TravelMode::slowCorrection }, { 4, Tracker::TravelMode::off },
                           { 0, Tracker::TravelMode::off } };

    for (const auto& c : cases)
    {
        properties.calls.clear();
        connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage (bytesOf ({ 17, c.value }))));
        EXPECT_EQ (record.travelMode, c.mode) << c.value;
        EXPECT_EQ (properties.calls, (std::vector<std::string> { "properties" }));
        EXPECT_STREQ (properties.last.name, "T1");
    }
}

TEST_F (TrackerConnectionTest, OtherParametersAreSkipped)
{
    auto& record = addRecord ("T1");
    PropertyRecorder properties;
    connection.addPropertyListener (&properties);

    connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage ({ 0, 0x7f, 1, 0x7f, 2, 0x13, 16, 7, 18, 7, 0x7f, 0x7f, 4, 3 })));
    EXPECT_TRUE (properties.calls.empty());
    EXPECT_FALSE (record.useCompass);
    EXPECT_EQ (record.travelMode, Tracker::TravelMode::off);
    EXPECT_TRUE (record.chirality); // the walk went on to the last pair
}

TEST_F (TrackerConnectionTest, ReportLengths)
{
    auto& record = addRecord ("T1");
    PropertyRecorder properties;
    connection.addPropertyListener (&properties);

    // Length 6 carries one pair.
    connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage ({ 17, 6 })));
    EXPECT_EQ (record.travelMode, Tracker::TravelMode::slowCorrection);
    EXPECT_TRUE (connection.others.empty());

    // Odd lengths and length 4 are not decoded.
    const Bytes odd = reportMessage ({ 17, 7, 4 });
    const Bytes four = reportMessage ({});
    const Bytes five = reportMessage ({ 17 });
    connection.handleIncomingMidiMessage ("T1", toMidi (odd));
    connection.handleIncomingMidiMessage ("T1", toMidi (four));
    connection.handleIncomingMidiMessage ("T1", toMidi (five));
    EXPECT_EQ (record.travelMode, Tracker::TravelMode::slowCorrection);
    EXPECT_FALSE (record.chirality);
    ASSERT_EQ (connection.others.size(), 3u);
    EXPECT_EQ (connection.others[0], Bytes (odd.begin() + 1, odd.end() - 1));
    EXPECT_EQ (connection.others[1].size(), 4u);
    EXPECT_EQ (connection.others[2].size(), 5u);
    EXPECT_EQ (properties.calls, (std::vector<std::string> { "properties" }));
}

TEST_F (TrackerConnectionTest, ReportOfSeveralHundredBytesIsWalkedToItsEnd)
{
    auto& record = addRecord ("T1");
    PropertyRecorder properties;
    connection.addPropertyListener (&properties);

    Bytes pairs;
    for (int i = 0; i < 200; ++i)
    {
        pairs.push_back (5);
        pairs.push_back ((juce::uint8) (8 + i % 100));
    }
    pairs.push_back (17);
    pairs.push_back (7);
    pairs.push_back (4);
    pairs.push_back (3);
    const Bytes report = reportMessage (pairs);
    ASSERT_EQ (report.size(), 410u);

    connection.handleIncomingMidiMessage ("T1", toMidi (report));
    ASSERT_EQ (properties.calls.size(), 201u);
    EXPECT_EQ (properties.calls.back(), "properties");
    EXPECT_EQ (record.shakeStage, 99);
    EXPECT_EQ (record.travelMode, Tracker::TravelMode::fastCorrection);
    EXPECT_TRUE (record.chirality);
    EXPECT_TRUE (connection.others.empty());
}

//==============================================================================
TEST_F (TrackerConnectionTest, UndecodedMessagesGoToTheHook)
{
    auto& record = addRecord ("T1");
    OrientationRecorder orientations;
    connection.addOrientationListener (&orientations);

    std::vector<Bytes> undecoded = {
        trackerMessage (0x40, bytesOf ({ 0x01, 0, 0, 0, 0, 0, 0 })),              // n 11, sub-type 1
        trackerMessage (0x40, bytesOf ({ 0x00, 0, 0, 0, 0, 0, 0, 0, 0 })),        // n 13, sub-type 0
        trackerMessage (0x40, bytesOf ({ 0x03, 0, 0, 0, 0, 0, 0 })),              // unknown sub-type
        trackerMessage (0x40, bytesOf ({ 0x00, 0, 0, 0, 0, 0 })),                 // one byte short
        trackerMessage (0x41, bytesOf ({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 })),        // raw, n 14
        trackerMessage (0x43, bytesOf ({ 0, 0 })),
        trackerMessage (0x00, bytesOf ({ 0x00, 0x08, 0x01, 0x05, 0x03, 0x40 })),  // our own switch-on
        bytesOf ({ 0xf0, 0x7e, 0x00, 0x7f, 0x00, 0xf7 }),                          // a File Dump handshake
        bytesOf ({ 0xf0, 0x00, 0x3c, 0xf7 }),
        bytesOf ({ 0xf0, 0xf7 }),
    };

    for (const auto& bytes : undecoded)
        connection.handleIncomingMidiMessage ("T1", toMidi (bytes));

    ASSERT_EQ (connection.others.size(), undecoded.size());
    for (size_t i = 0; i < undecoded.size(); ++i)
        EXPECT_EQ (connection.others[i], Bytes (undecoded[i].begin() + 1, undecoded[i].end() - 1)) << i;

    EXPECT_TRUE (orientations.matrices.empty());
    EXPECT_EQ (record.headMatrix.readMatrix.load(), record.headMatrix.buffer);
}

TEST_F (TrackerConnectionTest, NonSysExMessagesAreIgnored)
{
    addRecord ("T1");
    connection.handleIncomingMidiMessage ("T1", juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100));
    connection.handleIncomingMidiMessage ("T1", juce::MidiMessage::controllerEvent (1, 7, 0));
    EXPECT_TRUE (connection.others.empty());
}

TEST_F (TrackerConnectionTest, ManufacturerIdIsNotExamined)
{
    auto& record = addRecord ("T1");
    Bytes bytes = yawPitchRollMessage (0.5f, 0, 0);
    bytes[1] = 0x7d;
    bytes[2] = 0x01;
    bytes[3] = 0x02;
    connection.handleIncomingMidiMessage ("T1", toMidi (bytes));
    EXPECT_EQ (record.headMatrix.readMatrix.load(), record.headMatrix.buffer + 9);
    EXPECT_NEAR (record.headMatrix.readMatrix[1], -std::sin (0.5f), 1.0e-6f);
}

TEST_F (TrackerConnectionTest, MessagesArriveThroughTheScanner)
{
    auto& record = addRecord ("T1");
    OrientationRecorder orientations;
    connection.addOrientationListener (&orientations);

    first.receive (yawPitchRollMessage (0, 0.5f, 0));
    second.receive (yawPitchRollMessage (0, 0.5f, 0)); // T2 has no record

    ASSERT_EQ (orientations.matrices.size(), 1u);
    EXPECT_EQ (orientations.names[0], "T1");
    EXPECT_NEAR (record.headMatrix.readMatrix[7], std::sin (0.5f), 1.0e-6f);
}

TEST_F (TrackerConnectionTest, ListenersAreCalledInOrderAndRemovable)
{
    addRecord ("T1");
    PropertyRecorder a, b;
    connection.addPropertyListener (&a);
    connection.addPropertyListener (&b);
    connection.addPropertyListener (&a);
    EXPECT_EQ (peer.propertyListeners().size(), 3u);

    connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage ({ 5, 6 })));
    EXPECT_EQ (a.calls.size(), 2u);
    EXPECT_EQ (b.calls.size(), 1u);

    connection.removePropertyListener (&a);
    connection.handleIncomingMidiMessage ("T1", toMidi (reportMessage ({ 5, 6 })));
    EXPECT_EQ (a.calls.size(), 2u);
    EXPECT_EQ (b.calls.size(), 2u);

    OrientationRecorder o;
    connection.addOrientationListener (&o);
    connection.removeOrientationListener (&o);
    connection.handleIncomingMidiMessage ("T1", toMidi (yawPitchRollMessage (0, 0, 0)));
    EXPECT_TRUE (o.matrices.empty());
}
