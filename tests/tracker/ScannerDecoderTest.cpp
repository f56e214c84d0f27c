#include "ScannerFixture.h"

#include "tracker/FileDump.h"

using Sim::SimulatedTracker;

namespace ScannerTests
{
namespace
{
// A data packet: the given encoded bytes after P5 (the byte count), padded to
// the given payload length, with a good checksum unless spoiled.
juce::MidiMessage dataPacket (int number, int byteCount, std::vector<juce::uint8> encoded,
                              int payloadLength = 20, bool goodChecksum = true, int p0 = 0x7e, int p1 = 0x00)
{
    std::vector<juce::uint8> payload { (juce::uint8) p0, (juce::uint8) p1, 0x07, 0x02, (juce::uint8) number, (juce::uint8) byteCount };
    payload.insert (payload.end(), encoded.begin(), encoded.end());
    payload.resize ((size_t) payloadLength - 1, 0);

    juce::uint8 sum = 0;

    for (auto b : payload)
        sum ^= b;

    payload.push_back (goodChecksum ? sum : (juce::uint8) (sum ^ 0x20));

    std::vector<juce::uint8> message { 0xf0 };
    message.insert (message.end(), payload.begin(), payload.end());
    message.push_back (0xf7);
    return juce::MidiMessage (message.data(), (int) message.size());
}

// "=", then "#42": serial 42 (encoded with its high-bit byte).
const std::vector<juce::uint8> serialText { 0x00, '=', '\n', '#', '4', '2' };

juce::MidiMessage header (int senderId = 0x01)
{
    return SimulatedTracker::makeSysEx ({ 0x7e, 0x00, 0x07, 0x01, senderId, 'T', 'E', 'X', 'T', 0, 0, 0, 0, 'I', 'N', 'F', 'O' });
}

SimulatedTracker::Identity serialOnly (const char* serial)
{
    SimulatedTracker::Identity identity;
    identity.serial = serial;
    return identity;
}
} // namespace

class ScannerDecoderTest : public ScannerTest
{
protected:
    // A tracker whose own replies never pass: it is asked, and the test
    // sends the packets.
    void probe (SimulatedTracker& tracker)
    {
        tracker.corruptChecksums (1000000);
        tracker.plugIn();
        scan ({ &tracker });
        ASSERT_EQ (tracker.numInfoRequests(), 1);
        ASSERT_EQ (numDuplexes(), 0);
    }

    void deliver (SimulatedTracker& tracker, const juce::MidiMessage& message)
    {
        tracker.send (message);
        settle ({});
    }

    juce::String nameOfIdentified (SimulatedTracker::Identity identity)
    {
        SimulatedTracker tracker (ports, "Head Tracker", "t", identity);
        tracker.plugIn();
        scan ({ &tracker });
        return numDuplexes() == 1 ? duplex (0)->name : juce::String ("none");
    }
};

TEST_F (ScannerDecoderTest, KeywordFormNamesTheTrackerLikewise)
{
    SimulatedTracker::Identity identity;
    identity.keywordForm = true;
    EXPECT_EQ (nameOfIdentified (identity), "0042");
    EXPECT_EQ (duplex (0)->tokens[2]->code, '#');
}

TEST_F (ScannerDecoderTest, ShortSerialNamesTheTrackerAfterItsInput)
{
    EXPECT_EQ (nameOfIdentified (serialOnly ("7")), "t-in");
}

TEST_F (ScannerDecoderTest, EmptySerialNamesTheTrackerAfterItsInput)
{
    EXPECT_EQ (nameOfIdentified (serialOnly ("")), "t-in");
}

TEST_F (ScannerDecoderTest, TwoCharacterSerialIsTheName)
{
    EXPECT_EQ (nameOfIdentified (serialOnly ("42")), "42");
}

TEST_F (ScannerDecoderTest, TextWithoutSerialNamesTheTrackerAfterItsInput)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setInfoText (juce::MemoryBlock ("=A1\n/HW2", 8));
    tracker.plugIn();
    scan ({ &tracker });
    ASSERT_EQ (numDuplexes(), 1);
    EXPECT_EQ (duplex (0)->name, "t-in");
    EXPECT_EQ (duplex (0)->tokens.size(), 2);
}

TEST_F (ScannerDecoderTest, EmptyTextIdentifiesUnderTheInput)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setInfoText ({});
    tracker.plugIn();
    scan ({ &tracker });
    ASSERT_EQ (numDuplexes(), 1);
    EXPECT_EQ (duplex (0)->name, "t-in");
    EXPECT_TRUE (duplex (0)->tokens.isEmpty());
}

TEST_F (ScannerDecoderTest, ByteCountOfOneDecodesNothing)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    probe (tracker);
    deliver (tracker, dataPacket (0, 1, { 0x00 }));
    ASSERT_EQ (numDuplexes(), 1);
    EXPECT_EQ (duplex (0)->name, "t-in");
    EXPECT_EQ (peer.dumpTextLength(), 0);
}

TEST_F (ScannerDecoderTest, PacketNumberMustBeTheExpectedOne)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    probe (tracker);

    deliver (tracker, dataPacket (1, 6, serialText));
    EXPECT_EQ (numDuplexes(), 0);
    EXPECT_EQ (expectedPacket(), 0);

    deliver (tracker, dataPacket (0, 6, serialText, 20, false));
    EXPECT_EQ (numDuplexes(), 0);
    EXPECT_EQ (expectedPacket(), 0);

    deliver (tracker, dataPacket (0, 6, serialText));
    EXPECT_EQ (numDuplexes(), 1);
    EXPECT_EQ (duplex (0)->name, "42");
    EXPECT_EQ (expectedPacket(), 1);

    deliver (tracker, dataPacket (5, 6, serialText));
    EXPECT_EQ (expectedPacket(), 1);

    deliver (tracker, header (0x02)); // not from the tracker: not a header
    EXPECT_EQ (expectedPacket(), 1);

    deliver (tracker, header());
    EXPECT_EQ (expectedPacket(), 0);
}

TEST_F (ScannerDecoderTest, PacketNumber127IsFollowedBy0)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    probe (tracker);

    for (int number = 0; number < 128; ++number)
        tracker.send (dataPacket (number, 6, serialText));

    settle ({});
    EXPECT_EQ (expectedPacket(), 0);

    deliver (tracker, dataPacket (0, 6, serialText));
    EXPECT_EQ (expectedPacket(), 1);
    EXPECT_EQ (numDuplexes(), 1);
}

TEST_F (ScannerDecoderTest, AnySenderBytesAreDecoded)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    probe (tracker);
    deliver (tracker, dataPacket (0, 6, serialText, 20, true, 0x12, 0x34));
    ASSERT_EQ (numDuplexes(), 1);
    EXPECT_EQ (duplex (0)->name, "42");
}

TEST_F (ScannerDecoderTest, ByteCountPastTheMessageIsIgnored)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    probe (tracker);

    // 20 payload bytes hold at most 13 encoded bytes before the checksum.
    deliver (tracker, dataPacket (0, 14, serialText));
    EXPECT_EQ (numDuplexes(), 0);
    EXPECT_EQ (expectedPacket(), 0);

    deliver (tracker, dataPacket (0, 13, serialText));
    EXPECT_EQ (numDuplexes(), 1);
}

TEST_F (ScannerDecoderTest, ShortOrForeignMessagesAreNotPackets)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    probe (tracker);

    // Nine payload bytes, sub-ID other than 07, a handshake.
    const juce::uint8 shortPacket[] = { 0xf0, 0x7e, 0x00, 0x07, 0x02, 0x00, 0x00, 0x00, 0x00, 0x7b, 0xf7 };
    deliver (tracker, juce::MidiMessage (shortPacket, (int) sizeof (shortPacket)));
    deliver (tracker, SimulatedTracker::makeSysEx ({ 0x7e, 0x00, 0x08, 0x02, 0, 0, 0, 0, 0, 0, 0x74 }));
    deliver (tracker, SimulatedTracker::makeSysEx ({ 0x7e, 0x00, 0x7f, 0x00 }));
    EXPECT_EQ (numDuplexes(), 0);
    EXPECT_EQ (expectedPacket(), 0);
}

TEST_F (ScannerDecoderTest, LaterPacketsOfTheReplyPairNothing)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setBytesPerPacket (7); // "=A1\n/HW" carries no serial
    tracker.plugIn();
    scan ({ &tracker });

    ASSERT_EQ (numDuplexes(), 1);
    auto* d = duplex (0);
    EXPECT_EQ (d->name, "t-in");
    ASSERT_EQ (d->tokens.size(), 2);
    EXPECT_EQ (d->tokens[0]->value, "A1");
    EXPECT_EQ (d->tokens[1]->value, "HW");

    // The last packet, "9", went to the input's own list.
    const juce::ScopedLock sl (peer.listLock());
    ASSERT_EQ (Midi::MidiScannerPeer::input (*d)->tokens.size(), 1);
    EXPECT_EQ (Midi::MidiScannerPeer::input (*d)->tokens[0]->keyword, "9");
}

TEST_F (ScannerDecoderTest, ReplyWithoutARequestPairsNothing)
{
    // An input with no output: nothing is ever asked.
    ports.addInput ("Head Tracker", "lonely");
    scan();
    ASSERT_EQ (peer.inputs().size(), 1);

    ports.post ("lonely", dataPacket (0, 6, serialText));
    settle ({});
    EXPECT_EQ (numDuplexes(), 0);

    const juce::ScopedLock sl (peer.listLock());
    ASSERT_EQ (peer.inputs()[0]->tokens.size(), 2);
    EXPECT_EQ (peer.inputs()[0]->tokens[1]->value, "42");
}

TEST_F (ScannerDecoderTest, OneDecoderServesAllInputs)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    ports.addInput ("Head Tracker", "other");
    probe (tracker);

    // A reply on any input pairs it with the output that was asked.
    ports.post ("other", header());
    ports.post ("other", dataPacket (0, 1, { 0x00 }));
    settle ({});
    EXPECT_EQ (expectedPacket(), 1);
    ASSERT_EQ (numDuplexes(), 1);
    EXPECT_EQ (duplex (0)->name, "other");
    EXPECT_EQ (Midi::MidiScannerPeer::output (*duplex (0))->identifier, "t-out");

    // Packet 1 on the tracker's input continues the count; the output is taken.
    deliver (tracker, dataPacket (1, 6, serialText));
    EXPECT_EQ (expectedPacket(), 2);
    EXPECT_EQ (numDuplexes(), 1);

    const juce::ScopedLock sl (peer.listLock());
    ASSERT_EQ (peer.inputs()[1]->identifier, "t-in");
    EXPECT_EQ (peer.inputs()[1]->tokens.size(), 2);
}

//==============================================================================
TEST (FileDump, RequestAsksDeviceOneForTheInfoText)
{
    const auto request = Midi::FileDump::makeInfoRequest();
    const juce::uint8 expected[] = { 0xf0, 0x7e, 0x01, 0x07, 0x03, 0x00, 0x54, 0x45, 0x58, 0x54, 0x49, 0x4e, 0x46, 0x4f, 0xf7 };
    ASSERT_EQ (request.getRawDataSize(), 15);
    EXPECT_EQ (std::memcmp (request.getRawData(), expected, 15), 0);
}

TEST (FileDump, ByteCountsDecodeToTheirDataBytes)
{
    juce::uint8 payload[140] = { 0x7e, 0x00, 0x07, 0x02, 0x00 };
    juce::uint8 out[Midi::FileDump::maxDecodedBytes];

    const int expected[][2] = { { 0, 0 }, { 1, 0 }, { 2, 1 }, { 8, 7 }, { 9, 7 }, { 10, 8 }, { 16, 14 }, { 127, 111 } };

    for (auto [byteCount, decoded] : expected)
    {
        payload[5] = (juce::uint8) byteCount;
        EXPECT_EQ (Midi::FileDump::unpackData (payload, 6 + byteCount + 1, out), decoded) << byteCount;
    }

    payload[5] = 0x80;
    EXPECT_EQ (Midi::FileDump::unpackData (payload, 140, out), -1);
}

TEST (FileDump, HighBitsGoToTheirDataBytes)
{
    juce::uint8 payload[20] = { 0x7e, 0x00, 0x07, 0x02, 0x00, 10,
                                0x41, 1, 2, 3, 4, 5, 6, 7, // bit 6 to the first, bit 0 to the seventh
                                0x20, 8, 9 };              // bit 5 would go to a second data byte
    juce::uint8 out[Midi::FileDump::maxDecodedBytes];
    ASSERT_EQ (Midi::FileDump::unpackData (payload, 20, out), 8);

    const juce::uint8 expected[] = { 0x81, 2, 3, 4, 5, 6, 0x87, 8 };
    EXPECT_EQ (std::memcmp (out, expected, 8), 0);

    payload[14] = 0x40; // the group's single data byte takes bit 6
    ASSERT_EQ (Midi::FileDump::unpackData (payload, 20, out), 8);
    EXPECT_EQ (out[7], 0x88);
}
} // namespace ScannerTests
