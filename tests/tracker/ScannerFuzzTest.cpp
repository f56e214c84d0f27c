#include "ScannerFixture.h"

#include "tracker/FileDump.h"

using Sim::SimulatedTracker;

namespace ScannerTests
{
namespace
{
// Arbitrary messages, many of them shaped like File Dump headers and data
// packets (some with good checksums and the packet numbers the decoder
// expects), so that the decoder's deeper paths are reached too.
class MessageFuzzer
{
public:
    explicit MessageFuzzer (juce::int64 seed) : random (seed) {}

    std::vector<juce::uint8> next()
    {
        const int length = 1 + random.nextInt (200);
        std::vector<juce::uint8> bytes ((size_t) length);

        for (auto& b : bytes)
            b = (juce::uint8) random.nextInt (256);

        switch (random.nextInt (4))
        {
            case 0: break; // anything at all
            case 1: makeSysEx (bytes); break;
            case 2: makeFileDump (bytes, 0x01); break;
            default: makeFileDump (bytes, 0x02); break;
        }

        return bytes;
    }

private:
    void makeSysEx (std::vector<juce::uint8>& bytes)
    {
        bytes[0] = 0xf0;

        for (size_t i = 1; i < bytes.size(); ++i)
            bytes[i] &= 0x7f;

        if (random.nextBool())
            bytes.back() = 0xf7;
    }

    void makeFileDump (std::vector<juce::uint8>& bytes, juce::uint8 kind)
    {
        if (bytes.size() < 8)
            return;

        makeSysEx (bytes);
        bytes[3] = 0x07;
        bytes[4] = kind;
        bytes[5] = kind == 0x01 ? 0x01 : (juce::uint8) (packetNumber++ % 3);
        bytes[6] = (juce::uint8) random.nextInt (random.nextBool() ? 256 : 128); // byte count

        if (random.nextBool() && bytes.size() > 8)
        {
            // A good checksum over the payload, as the last payload byte.
            juce::uint8 sum = 0;

            for (size_t i = 1; i + 2 < bytes.size(); ++i)
                sum ^= bytes[i];

            bytes[bytes.size() - 2] = sum;
        }
    }

    juce::Random random;
    int packetNumber = 0;
};

juce::MidiMessage toMessage (const std::vector<juce::uint8>& bytes)
{
    return juce::MidiMessage (bytes.data(), (int) bytes.size());
}
} // namespace

TEST_F (ScannerTest, ArbitraryMessagesFromTrackersAreSurvived)
{
    SimulatedTracker identified (ports, "Head Tracker", "a");
    SimulatedTracker probed (ports, "Head Tracker", "b");
    probed.corruptChecksums (1000000);
    identified.plugIn();
    scan ({ &identified });
    probed.plugIn();
    scan ({ &probed });
    ASSERT_EQ (numDuplexes(), 1);
    ASSERT_EQ (peer.inputs().size(), 2);

    const auto forwardedBefore = listener.forwarded().size();
    MessageFuzzer fuzzer (20240601);
    constexpr int numMessages = 20000;

    for (int i = 0; i < numMessages; ++i)
    {
        identified.send (toMessage (fuzzer.next()));
        probed.send (toMessage (fuzzer.next()));

        if (i % 2000 == 0)
            scanner.timerCallback(); // requests reset the decoder now and then
    }

    settle ({ &identified, &probed });

    // Every message of the identified tracker is forwarded; the probed input
    // may have been paired by a lucky packet, which is fine.
    const juce::ScopedLock sl (peer.listLock());
    EXPECT_GE (listener.forwarded().size(), forwardedBefore + (size_t) numMessages);
    EXPECT_GE (peer.dumpTextLength(), 0);
    EXPECT_LE (peer.dumpTextLength(), Midi::FileDump::maxDecodedBytes);
    EXPECT_LE (peer.duplexes().size(), 2);

    for (auto* duplex : peer.duplexes())
        EXPECT_TRUE (duplex->name.isNotEmpty());
}

// The decoder's result must depend only on the bytes of the message: the same
// bytes followed by different bytes in memory decode alike.
TEST (FileDumpFuzz, DecodingNeverReadsPastTheMessage)
{
    MessageFuzzer fuzzer (77);
    int goodPackets = 0, decodedPackets = 0, tokensSeen = 0;

    for (int i = 0; i < 20000; ++i)
    {
        auto bytes = fuzzer.next();
        const auto size = (int) bytes.size();
        std::vector<juce::uint8> results[2];

        for (juce::uint8 filler : { (juce::uint8) 0x00, (juce::uint8) 0xff })
        {
            auto padded = bytes;
            padded.resize (bytes.size() + 300, filler);

            const juce::uint8* payload = nullptr;
            int payloadLength = 0;
            auto kind = Midi::FileDump::classify (padded.data(), size, payload, payloadLength);
            auto& result = results[filler == 0 ? 0 : 1];
            result.push_back ((juce::uint8) kind);

            if (kind != Midi::FileDump::Kind::dataPacket)
                continue;

            ASSERT_LE (payload + payloadLength, padded.data() + size);
            const bool good = Midi::FileDump::checksumIsGood (payload, payloadLength);
            result.push_back (good ? 1 : 0);
            goodPackets += (filler == 0 && good) ? 1 : 0;

            juce::uint8 text[Midi::FileDump::maxDecodedBytes + 4];
            std::fill (std::begin (text), std::end (text), filler);
            const int decoded = Midi::FileDump::unpackData (payload, payloadLength, text);
            ASSERT_LE (decoded, Midi::FileDump::maxDecodedBytes);
            result.push_back ((juce::uint8) (decoded + 1));

            if (decoded < 0)
                continue;

            result.insert (result.end(), text, text + decoded);

            juce::OwnedArray<InfoText::Token> tokens;
            InfoText::splitText (text, decoded, tokens);

            if (filler == 0)
            {
                decodedPackets += good ? 1 : 0;
                tokensSeen += tokens.size();
            }

            for (auto* token : tokens)
                for (auto* s : { &token->keyword, &token->value })
                    result.insert (result.end(), s->toRawUTF8(), s->toRawUTF8() + s->getNumBytesAsUTF8());
        }

        ASSERT_EQ (results[0], results[1]) << "message " << i;
    }

    // The fuzzer reaches the unpacking and the splitting.
    EXPECT_GT (goodPackets, 500);
    EXPECT_GT (decodedPackets, 100);
    EXPECT_GT (tokensSeen, 100);
}
} // namespace ScannerTests
