#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace Midi::FileDump
{
// The MIDI File Dump messages of tracker identification. A message is viewed
// as its payload P: the bytes after F0, without the final byte (F7).

// F0 7E 01 07 03 00 "TEXT" "INFO" F7: asks device 01 for its file "INFO".
juce::MidiMessage makeInfoRequest();

enum class Kind
{
    other,
    header,
    dataPacket
};

// Kind of a raw message; payload and payloadLength are set for headers and
// data packets.
Kind classify (const juce::uint8* data, int size, const juce::uint8*& payload, int& payloadLength);

// True when the exclusive-or of the whole payload, checksum included, is 0.
bool checksumIsGood (const juce::uint8* payload, int payloadLength);

// Most bytes that one data packet can decode to (a byte count of 127).
constexpr int maxDecodedBytes = 111;

// Decodes the data packet's 8-to-7 packed bytes into out (room for
// maxDecodedBytes). Returns the number of decoded bytes, or -1 when the byte
// count is not a data byte or reaches past the packet's own bytes.
int unpackData (const juce::uint8* payload, int payloadLength, juce::uint8* out);

// The identification text of a reply, packet by packet: a header restarts the
// count at packet 0; the expected data packet with a good checksum and a byte
// count inside the packet replaces the text and advances the count (127 wraps
// to 0). Anything else changes nothing.
class Decoder
{
public:
    // Expects packet 0 and holds no text.
    void reset() noexcept;

    // One raw message; true when it was the expected data packet, whose bytes
    // text() now holds.
    bool take (const juce::uint8* data, int size) noexcept;

    const juce::uint8* text() const noexcept { return decoded; }
    int textLength() const noexcept { return decodedLength; }
    int expectedPacket() const noexcept { return nextPacket; }

private:
    bool takeDataPacket (const juce::uint8* payload, int payloadLength) noexcept;

    juce::uint8 decoded[maxDecodedBytes] = {};
    int decodedLength = 0;
    juce::uint8 nextPacket = 0;
};
} // namespace Midi::FileDump
