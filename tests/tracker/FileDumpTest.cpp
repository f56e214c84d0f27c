#include "FileDumpMessages.h"

#include "tracker/FileDump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace FileDumpMessages;

namespace
{
struct DecoderStep
{
    juce::MidiMessage message;
    bool taken;
    int expectedPacket; // after the message
    int textLength;
};

bool take (Midi::FileDump::Decoder& decoder, const juce::MidiMessage& message)
{
    return decoder.take (message.getRawData(), message.getRawDataSize());
}

std::string textOf (const Midi::FileDump::Decoder& decoder)
{
    return std::string ((const char*) decoder.text(), (size_t) decoder.textLength());
}
} // namespace

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

TEST (FileDumpDecoder, TakesOnlyTheExpectedPacketWithAGoodChecksumAndByteCount)
{
    const DecoderStep steps[] = {
        { dataPacket (1, 6, serialText), false, 0, 0 },
        { dataPacket (0, 6, serialText, 20, false), false, 0, 0 },
        // 20 payload bytes hold at most 13 encoded bytes before the checksum.
        { dataPacket (0, 14, serialText), false, 0, 0 },
        { dataPacket (0, 6, serialText), true, 1, 5 },
        { dataPacket (5, 6, serialText), false, 1, 5 },
        { header (0x02), false, 1, 5 }, // not from the tracker: not a header
        { header(), false, 0, 5 },      // restarts the count, keeps the text
        { dataPacket (0, 1, { 0x00 }), true, 1, 0 },
        { dataPacket (1, 13, serialText, 20, true, 0x12, 0x34), true, 2, 11 }, // any sender bytes
    };

    Midi::FileDump::Decoder decoder;
    int index = 0;
    for (const auto& step : steps)
    {
        EXPECT_EQ (take (decoder, step.message), step.taken) << index;
        EXPECT_EQ (decoder.expectedPacket(), step.expectedPacket) << index;
        EXPECT_EQ (decoder.textLength(), step.textLength) << index;
        ++index;
    }
    EXPECT_EQ (textOf (decoder).substr (0, 5), "=\n#42");

    decoder.reset();
    EXPECT_EQ (decoder.expectedPacket(), 0);
    EXPECT_EQ (decoder.textLength(), 0);
}

TEST (FileDumpDecoder, PacketNumber127IsFollowedBy0)
{
    Midi::FileDump::Decoder decoder;

    for (int number = 0; number < 128; ++number)
        ASSERT_TRUE (take (decoder, dataPacket (number, 6, serialText))) << number;

    EXPECT_EQ (decoder.expectedPacket(), 0);
    EXPECT_TRUE (take (decoder, dataPacket (0, 6, serialText)));
    EXPECT_EQ (decoder.expectedPacket(), 1);
    EXPECT_EQ (textOf (decoder), "=\n#42");
}

TEST (FileDumpDecoder, ShortOrForeignMessagesAreNotPackets)
{
    Midi::FileDump::Decoder decoder;
    ASSERT_TRUE (take (decoder, dataPacket (0, 6, serialText)));

    // Nine payload bytes, sub-ID other than 07, a handshake, a message without F0.
    const juce::uint8 shortPacket[] = { 0xf0, 0x7e, 0x00, 0x07, 0x02, 0x00, 0x00, 0x00, 0x00, 0x7b, 0xf7 };
    const juce::MidiMessage messages[] = {
        juce::MidiMessage (shortPacket, (int) sizeof (shortPacket)),
        Sim::SimulatedTracker::makeSysEx ({ 0x7e, 0x00, 0x08, 0x02, 0, 0, 0, 0, 0, 0, 0x74 }),
        Sim::SimulatedTracker::makeSysEx ({ 0x7e, 0x00, 0x7f, 0x00 }),
        juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100),
    };
    for (const auto& message : messages)
        EXPECT_FALSE (take (decoder, message));

    EXPECT_EQ (decoder.expectedPacket(), 1);
    EXPECT_EQ (textOf (decoder), "=\n#42");
}
