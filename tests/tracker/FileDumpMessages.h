#pragma once

#include "SimulatedTracker.h"

#include <vector>

// File Dump messages as a tracker sends them in reply to the info request.
namespace FileDumpMessages
{
// A data packet: the given encoded bytes after P5 (the byte count), padded to
// the given payload length, with a good checksum unless spoiled.
inline juce::MidiMessage dataPacket (int number, int byteCount, std::vector<juce::uint8> encoded,
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
inline const std::vector<juce::uint8> serialText { 0x00, '=', '\n', '#', '4', '2' };

inline juce::MidiMessage header (int senderId = 0x01)
{
    return Sim::SimulatedTracker::makeSysEx ({ 0x7e, 0x00, 0x07, 0x01, senderId, 'T', 'E', 'X', 'T', 0, 0, 0, 0, 'I', 'N', 'F', 'O' });
}
} // namespace FileDumpMessages
