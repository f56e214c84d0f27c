#include "ScannerFixture.h"

using Sim::SimulatedTracker;

namespace ScannerTests
{
namespace
{
SimulatedTracker::Identity withSerial (const char* serial)
{
    SimulatedTracker::Identity identity;
    identity.serial = serial;
    return identity;
}

const auto doubleClick = SimulatedTracker::makeSysEx ({ 0x00, 0x3c, 0x19, 0x01, 0x00, 0x01 });

// Calls back into the scanner while a removal is announced.
class RemovalProbe : public RecordingListener
{
public:
    explicit RemovalProbe (Midi::MidiScanner& s) : scanner (s) {}

    void scannerDeviceRemoved (const juce::String& name) override
    {
        RecordingListener::scannerDeviceRemoved (name);
        duplexFound = scanner.findDuplex (name) != nullptr;
        scanner.sendMessage (name, doubleClick);
    }

    Midi::MidiScanner& scanner;
    bool duplexFound = false;
};
} // namespace

TEST_F (ScannerTest, OpensPortsWhoseNameStartsWithAPrefix)
{
    SimulatedTracker longer (ports, "Head Tracker 2", "longer");
    SimulatedTracker ahead (ports, "My Head Tracker", "ahead");
    SimulatedTracker lowerCase (ports, "head tracker", "lower");
    SimulatedTracker bootloader (ports, "Vontaleer Bootloader", "boot");

    for (auto* t : { &longer, &ahead, &lowerCase, &bootloader })
        t->plugIn();

    scan ({ &longer, &bootloader });

    ASSERT_EQ (peer.inputs().size(), 2);
    EXPECT_EQ (peer.inputs()[0]->identifier, "longer-in");
    EXPECT_FALSE (peer.inputs()[0]->bootloader);
    EXPECT_EQ (peer.inputs()[1]->identifier, "boot-in");
    EXPECT_TRUE (peer.inputs()[1]->bootloader);

    ASSERT_EQ (peer.outputs().size(), 2);
    EXPECT_EQ (peer.outputs()[0]->identifier, "longer-out");
    EXPECT_EQ (peer.outputs()[1]->identifier, "boot-out");

    EXPECT_EQ (ahead.numInfoRequests(), 0);
    EXPECT_EQ (lowerCase.numInfoRequests(), 0);
    EXPECT_EQ (ports.numOpens ("ahead-in") + ports.numOpens ("lower-in"), 0);
}

TEST_F (ScannerTest, BootloaderTrackerCarriesTheFlag)
{
    SimulatedTracker tracker (ports, "Vontaleer Bootloader 1", "t");
    tracker.plugIn();
    scan ({ &tracker });

    ASSERT_EQ (numDuplexes(), 1);
    EXPECT_TRUE (duplex (0)->bootloader);
    EXPECT_EQ (duplex (0)->name, "0042");
}

TEST_F (ScannerTest, IdentifiesUnderSerialAndAnnouncesAtNextScan)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.plugIn();
    scan ({ &tracker });

    EXPECT_EQ (tracker.numInfoRequests(), 1);
    ASSERT_EQ (numDuplexes(), 1);

    auto* d = duplex (0);
    EXPECT_EQ (d->name, "0042");
    EXPECT_TRUE (d->connected);
    EXPECT_FALSE (d->bootloader);
    EXPECT_EQ (d->tokens.size(), 5);
    EXPECT_EQ (Midi::MidiScannerPeer::input (*d), peer.inputs()[0]);
    EXPECT_EQ (Midi::MidiScannerPeer::output (*d), peer.outputs()[0]);
    EXPECT_TRUE (Midi::MidiScannerPeer::output (*d)->paired);
    EXPECT_TRUE (Midi::MidiScannerPeer::input (*d)->tokens.isEmpty());
    EXPECT_TRUE (listener.events.empty());

    // The data packet that identified it and the end-of-file handshake are
    // forwarded; the header came before the pairing.
    auto forwarded = listener.forwarded();
    ASSERT_EQ (forwarded.size(), 2u);
    EXPECT_EQ (forwarded[0].first, "0042");
    EXPECT_EQ (forwarded[0].second.getRawData()[4], 0x02);

    // Later messages are forwarded at once, before the announcement.
    tracker.send (doubleClick);
    settle ({});
    EXPECT_EQ (listener.forwarded().size(), 3u);
    EXPECT_TRUE (listener.events.empty());

    scan ({ &tracker });
    EXPECT_EQ (listener.events, std::vector<std::string> { "added 0042" });

    scan ({ &tracker });
    EXPECT_EQ (listener.events.size(), 1u);
    EXPECT_EQ (tracker.numInfoRequests(), 1);
}

TEST_F (ScannerTest, UnidentifiedInputIsNotForwarded)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.corruptChecksums (1000);
    tracker.plugIn();
    scan ({ &tracker });
    tracker.send (doubleClick);
    settle ({});

    EXPECT_EQ (numDuplexes(), 0);
    EXPECT_TRUE (listener.forwarded().empty());
}

TEST_F (ScannerTest, AsksOnlyTheFirstUnpairedOutputOncePerScan)
{
    SimulatedTracker first (ports, "Head Tracker", "a");
    SimulatedTracker second (ports, "Head Tracker", "b", withSerial ("0043"));
    first.corruptChecksums (2);
    first.plugIn();
    second.plugIn();

    for (int i = 1; i <= 3; ++i)
    {
        scan ({ &first, &second });
        EXPECT_EQ (first.numInfoRequests(), i);
        EXPECT_EQ (second.numInfoRequests(), 0);
    }

    ASSERT_EQ (numDuplexes(), 1);
    EXPECT_EQ (duplex (0)->name, "0042");

    scan ({ &first, &second });
    EXPECT_EQ (first.numInfoRequests(), 3);
    EXPECT_EQ (second.numInfoRequests(), 1);
    EXPECT_EQ (numDuplexes(), 2);

    scan ({ &first, &second });
    EXPECT_EQ (listener.events, (std::vector<std::string> { "added 0042", "added 0043" }));
    EXPECT_EQ (first.numInfoRequests() + second.numInfoRequests(), 4);
}

TEST_F (ScannerTest, BadChecksumIsAskedAgainAtNextScan)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.corruptChecksums (1);
    tracker.plugIn();

    scan ({ &tracker });
    EXPECT_EQ (numDuplexes(), 0);

    scan ({ &tracker });
    EXPECT_EQ (tracker.numInfoRequests(), 2);
    EXPECT_EQ (numDuplexes(), 1);
}

TEST_F (ScannerTest, RemovedOnceWhenBothPortsVanish)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.plugIn();
    scan ({ &tracker });
    scan();

    tracker.unplug();
    scan();
    scan();

    EXPECT_EQ (listener.events, (std::vector<std::string> { "added 0042", "removed 0042" }));
    EXPECT_EQ (numDuplexes(), 0);
    EXPECT_TRUE (peer.inputs().isEmpty());
    EXPECT_TRUE (peer.outputs().isEmpty());
    EXPECT_EQ (ports.numOpenInputs(), 0);
    EXPECT_EQ (ports.numOpenOutputs(), 0);
}

TEST_F (ScannerTest, VanishedOutputAloneRemovesTheTrackerAndBothPorts)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.plugIn();
    scan ({ &tracker });

    ports.removeOutput (tracker.outputIdentifier());
    scan();
    EXPECT_EQ (listener.events, (std::vector<std::string> { "added 0042", "removed 0042" }));
    EXPECT_TRUE (peer.inputs().isEmpty());

    // The input is still listed: it is opened anew at the next scan.
    scan();
    ASSERT_EQ (peer.inputs().size(), 1);
    EXPECT_EQ (ports.numOpens (tracker.inputIdentifier()), 2);
}

TEST_F (ScannerTest, RemovedTrackerStillExistsWhileListenersAreTold)
{
    RemovalProbe probe (scanner);
    scanner.addListener (&probe);

    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.plugIn();
    scan ({ &tracker });
    scan();

    ports.removeInput (tracker.inputIdentifier());
    scan();

    EXPECT_TRUE (probe.duplexFound);
    EXPECT_EQ (tracker.numDoubleClicks(), 1); // its output was still open
    EXPECT_EQ (scanner.findDuplex ("0042"), nullptr);
    scanner.removeListener (&probe);
}

TEST_F (ScannerTest, SendsToOneTrackerOrToAllConnected)
{
    SimulatedTracker first (ports, "Head Tracker", "a");
    SimulatedTracker second (ports, "Head Tracker", "b", withSerial ("0043"));
    first.plugIn();
    second.plugIn();
    scan ({ &first, &second });
    scan ({ &first, &second });
    ASSERT_EQ (numDuplexes(), 2);

    scanner.sendMessage ({}, doubleClick);
    EXPECT_EQ (first.numDoubleClicks(), 1);
    EXPECT_EQ (second.numDoubleClicks(), 1);

    scanner.sendMessage ("0043", doubleClick);
    EXPECT_EQ (first.numDoubleClicks(), 1);
    EXPECT_EQ (second.numDoubleClicks(), 2);

    scanner.findDuplex ("0042")->disconnect();
    scanner.sendMessage ({}, doubleClick);
    scanner.sendMessage ("0042", doubleClick);
    scanner.sendMessage ("nobody", doubleClick);
    EXPECT_EQ (first.numDoubleClicks(), 1);
    EXPECT_EQ (second.numDoubleClicks(), 3);
}

TEST_F (ScannerTest, SendByNameReachesOnlyTheFirstTrackerOfThatName)
{
    SimulatedTracker first (ports, "Head Tracker", "a");
    SimulatedTracker second (ports, "Head Tracker", "b");
    first.plugIn();
    second.plugIn();
    scan ({ &first, &second });
    scan ({ &first, &second });
    ASSERT_EQ (numDuplexes(), 2);
    EXPECT_EQ (duplex (1)->name, "0042");

    scanner.sendMessage ("0042", doubleClick);
    EXPECT_EQ (first.numDoubleClicks(), 1);
    EXPECT_EQ (second.numDoubleClicks(), 0);
}

// Unplugged before it was identified and plugged in again: its ports are
// forgotten, then opened anew, and it is identified as if it were new.
TEST_F (ScannerTest, UnpairedPortsThatComeBackAreOpenedAnew)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.corruptChecksums (1);
    tracker.plugIn();
    scan ({ &tracker });
    ASSERT_EQ (peer.inputs().size(), 1);
    ASSERT_EQ (numDuplexes(), 0);

    tracker.unplug();
    scan();
    EXPECT_EQ (peer.inputs().size(), 0);
    EXPECT_EQ (peer.outputs().size(), 0);
    EXPECT_EQ (ports.numOpenInputs(), 0);
    EXPECT_EQ (ports.numOpenOutputs(), 0);

    tracker.plugIn();
    scan ({ &tracker });
    EXPECT_EQ (ports.numOpens (tracker.inputIdentifier()), 2);
    EXPECT_EQ (ports.numOpens (tracker.outputIdentifier()), 2);
    ASSERT_EQ (numDuplexes(), 1);
    scan();
    EXPECT_EQ (listener.events, std::vector<std::string> { "added 0042" });
    EXPECT_EQ (tracker.numInfoRequests(), 2);
}

// A device that vanished before it answered must not keep the request from the
// tracker plugged in after it.
TEST_F (ScannerTest, VanishedUnansweredOutputNoLongerHoldsUpTheNext)
{
    SimulatedTracker silent (ports, "Head Tracker", "a");
    SimulatedTracker tracker (ports, "Head Tracker", "b", withSerial ("0043"));
    silent.corruptChecksums (1000);
    silent.plugIn();
    scan ({ &silent });
    scan ({ &silent });
    EXPECT_EQ (silent.numInfoRequests(), 2);

    silent.unplug();
    tracker.plugIn();
    scan ({ &tracker });
    scan ({ &tracker });
    EXPECT_EQ (tracker.numInfoRequests(), 1);
    EXPECT_EQ (listener.events, std::vector<std::string> { "added 0043" });
    EXPECT_EQ (ports.numDroppedSends(), 0);
}

TEST_F (ScannerTest, DisconnectedTrackerStaysUntilItsPortVanishes)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.plugIn();
    scan ({ &tracker });
    scan();

    auto* d = scanner.findDuplex ("0042");
    ASSERT_NE (d, nullptr);
    d->disconnect();
    EXPECT_FALSE (d->connected);
    EXPECT_EQ (ports.numOpenInputs(), 0);
    EXPECT_EQ (ports.numOpenOutputs(), 0);

    scan();
    scan();
    EXPECT_EQ (scanner.findDuplex ("0042"), d);
    EXPECT_FALSE (d->connected);
    EXPECT_EQ (ports.numOpens (tracker.inputIdentifier()), 1);

    // Messages flow again after reconnection, without asking the tracker.
    d->connect();
    EXPECT_TRUE (d->connected);
    EXPECT_EQ (ports.numOpens (tracker.inputIdentifier()), 2);
    const auto before = listener.forwarded().size();
    tracker.send (doubleClick);
    settle ({});
    EXPECT_EQ (listener.forwarded().size(), before + 1);
    EXPECT_EQ (tracker.numInfoRequests(), 1);

    d->disconnect();
    tracker.unplug();
    scan();
    EXPECT_EQ (listener.events, (std::vector<std::string> { "added 0042", "removed 0042" }));
    EXPECT_EQ (numDuplexes(), 0);
}

TEST_F (ScannerTest, ReconnectionFailsWhenTheOutputDoesNotOpen)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.plugIn();
    scan ({ &tracker });
    auto* d = scanner.findDuplex ("0042");
    d->disconnect();

    ports.setOpenFails (tracker.outputIdentifier(), true);
    d->connect();
    EXPECT_FALSE (d->connected);
    EXPECT_EQ (Midi::MidiScannerPeer::input (*d)->input, nullptr);
    EXPECT_EQ (ports.numOpenInputs(), 0);

    ports.setOpenFails (tracker.outputIdentifier(), false);
    d->connect();
    EXPECT_TRUE (d->connected);
    EXPECT_EQ (ports.numOpenInputs(), 1);
    EXPECT_EQ (ports.numOpenOutputs(), 1);
}

TEST_F (ScannerTest, PortThatFailsToOpenIsTriedAgain)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.plugIn();
    ports.setOpenFails (tracker.inputIdentifier(), true);

    scan ({ &tracker });
    EXPECT_TRUE (peer.inputs().isEmpty());
    EXPECT_EQ (peer.outputs().size(), 1);
    EXPECT_EQ (numDuplexes(), 0);

    ports.setOpenFails (tracker.inputIdentifier(), false);
    scan ({ &tracker });
    EXPECT_EQ (peer.inputs().size(), 1);
    EXPECT_EQ (numDuplexes(), 1);
}

TEST_F (ScannerTest, DestroyingTheScannerClosesEveryPortAndCallsNoListener)
{
    RecordingListener other;
    SimulatedTracker first (ports, "Head Tracker", "a");
    SimulatedTracker second (ports, "Head Tracker", "b", withSerial ("0043"));
    first.plugIn();
    second.plugIn();

    {
        Midi::MidiScanner local (ports);
        local.normalPrefixes.add ("Head Tracker");
        local.addListener (&other);
        for (auto* tracker : { &first, &second })
        {
            ports.holdDelivery (true);
            local.timerCallback();
            ports.holdDelivery (false);
            settle ({ tracker });
        }

        first.startStreaming (1, std::chrono::microseconds (500));
        second.unplug(); // its ports vanish while open

        EXPECT_EQ (ports.numOpenInputs(), 2);
        EXPECT_EQ (ports.numOpenOutputs(), 2);
        EXPECT_EQ (other.events, std::vector<std::string> { "added 0042" });
        other.events.clear();
    }

    EXPECT_EQ (ports.numOpenInputs(), 0);
    EXPECT_EQ (ports.numOpenOutputs(), 0);
    EXPECT_TRUE (other.events.empty());

    const auto forwarded = other.forwarded().size();
    std::this_thread::sleep_for (std::chrono::milliseconds (5));
    settle ({});
    EXPECT_EQ (other.forwarded().size(), forwarded);
}

TEST_F (ScannerTest, FindDuplexComparesNamesExactly)
{
    SimulatedTracker tracker (ports, "Head Tracker", "t", withSerial ("Ab12"));
    tracker.plugIn();
    scan ({ &tracker });

    EXPECT_NE (scanner.findDuplex ("Ab12"), nullptr);
    EXPECT_EQ (scanner.findDuplex ("ab12"), nullptr);
    EXPECT_EQ (scanner.findDuplex ("Ab1"), nullptr);
    EXPECT_EQ (scanner.findDuplex ({}), nullptr);
}

TEST_F (ScannerTest, SystemPortsScanWithoutPortsDoesNothing)
{
    Midi::MidiScanner system;
    system.normalPrefixes.add ("Head Tracker");
    system.timerCallback();
    system.sendMessage ({}, doubleClick);
    EXPECT_EQ (system.findDuplex ("0042"), nullptr);
}
} // namespace ScannerTests
