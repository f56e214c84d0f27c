#include "tracker/FileDump.h"

namespace Midi::FileDump
{
namespace
{
constexpr int minimumLength = 10;
constexpr juce::uint8 fileDumpId = 0x07;
constexpr juce::uint8 headerId = 0x01;
constexpr juce::uint8 dataPacketId = 0x02;
constexpr juce::uint8 trackerId = 0x01;
constexpr int packetNumberIndex = 4;
constexpr int byteCountIndex = 5;
constexpr int firstDataIndex = 6;
} // namespace

juce::MidiMessage makeInfoRequest()
{
    const juce::uint8 request[] = { 0xf0, 0x7e, 0x01, 0x07, 0x03, 0x00,
                                    'T', 'E', 'X', 'T', 'I', 'N', 'F', 'O', 0xf7 };
    return juce::MidiMessage (request, (int) sizeof (request));
}

Kind classify (const juce::uint8* data, int size, const juce::uint8*& payload, int& payloadLength)
{
    if (size < 2 || data[0] != 0xf0)
        return Kind::other;

    const auto* p = data + 1;
    const int n = size - 2;

    if (n < minimumLength || p[2] != fileDumpId)
        return Kind::other;

    payload = p;
    payloadLength = n;

    if (p[3] == headerId && p[4] == trackerId)
        return Kind::header;

    if (p[3] == dataPacketId)
        return Kind::dataPacket;

    return Kind::other;
}

bool checksumIsGood (const juce::uint8* payload, int payloadLength)
{
    juce::uint8 sum = 0;

    for (int i = 0; i < payloadLength; ++i)
        sum ^= payload[i];

    return sum == 0;
}

int unpackData (const juce::uint8* payload, int payloadLength, juce::uint8* out)
{
    const int byteCount = payload[byteCountIndex];

    // The encoded bytes must end before the checksum.
    if (byteCount > 0x7f || firstDataIndex + byteCount > payloadLength - 1)
        return -1;

    const auto* encoded = payload + firstDataIndex;
    int decoded = 0;

    for (int group = 0; group < byteCount; group += 8)
    {
        const juce::uint8 highBits = encoded[group];

        for (int k = 1; k < 8 && group + k < byteCount; ++k)
        {
            const bool highBit = (highBits & (0x80 >> k)) != 0;
            out[decoded++] = (juce::uint8) (encoded[group + k] | (highBit ? 0x80 : 0));
        }
    }

    return decoded;
}

//==============================================================================
void Decoder::reset() noexcept
{
    nextPacket = 0;
    decodedLength = 0;
}

bool Decoder::take (const juce::uint8* data, int size) noexcept
{
    const juce::uint8* payload = nullptr;
    int payloadLength = 0;

    switch (classify (data, size, payload, payloadLength))
    {
        case Kind::header:
            nextPacket = 0;
            return false;

        case Kind::dataPacket:
            return takeDataPacket (payload, payloadLength);

        case Kind::other:
            break;
    }

    return false;
}

bool Decoder::takeDataPacket (const juce::uint8* payload, int payloadLength) noexcept
{
    const juce::uint8 packetNumber = payload[packetNumberIndex];

    if (packetNumber != nextPacket || ! checksumIsGood (payload, payloadLength))
        return false;

    const int length = unpackData (payload, payloadLength, decoded);

    if (length < 0)
        return false;

    decodedLength = length;
    nextPacket = (juce::uint8) ((packetNumber + 1) & 0x7f);
    return true;
}
} // namespace Midi::FileDump
