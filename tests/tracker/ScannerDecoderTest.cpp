#include "FileDumpMessages.h"
#include "ScannerFixture.h"

using Sim::SimulatedTracker;
using namespace FileDumpMessages;

namespace ScannerTests
{
namespace
{
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
} // namespace ScannerTests
