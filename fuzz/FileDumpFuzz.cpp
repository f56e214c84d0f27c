// One MIDI message through the File Dump decoder and the identification-text
// splitter, as the scanner runs them on every message from a port.
#include "tracker/FileDump.h"
#include "tracker/InfoText.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size == 0 || size > 4096)
        return 0;

    const juce::uint8* payload = nullptr;
    int payloadLength = 0;
    const auto kind = Midi::FileDump::classify (data, (int) size, payload, payloadLength);
    if (kind != Midi::FileDump::Kind::dataPacket)
        return 0;

    Midi::FileDump::checksumIsGood (payload, payloadLength);
    juce::uint8 text[Midi::FileDump::maxDecodedBytes];
    const int length = Midi::FileDump::unpackData (payload, payloadLength, text);
    if (length > Midi::FileDump::maxDecodedBytes)
        __builtin_trap();
    if (length < 0)
        return 0;

    juce::OwnedArray<InfoText::Token> tokens;
    InfoText::splitText (text, length, tokens);
    for (auto* token : tokens)
        if (token->value.length() > length)
            __builtin_trap();
    return 0;
}
