#include "plugin/SavedState.h"

#include <algorithm>
#include <cstring>

namespace SavedState
{
namespace
{
char soloMuteLetter (SoloMuteState s)
{
    return s == soloed ? 's' : (s == muted ? 'm' : '-');
}

// Leading white space, an optional sign, then digits up to the first other character.
int atoiLike (const juce::String& value)
{
    auto p = value.getCharPointer();
    while (juce::CharacterFunctions::isWhitespace (*p))
        ++p;
    bool negative = false;
    if (*p == '-' || *p == '+')
        negative = (p.getAndAdvance() == '-');

    int64_t result = 0;
    while (juce::CharacterFunctions::isDigit (*p))
    {
        result = result * 10 + (p.getAndAdvance() - '0');
        if (result > 1000000)
            result = 1000000; // far past every range; keeps the clamp exact
    }
    return (int) (negative ? -result : result);
}

uint8_t clampedByte (const juce::String& value, int maxValue)
{
    return (uint8_t) juce::jlimit (0, maxValue, atoiLike (value));
}

void readSoloMutes (SoloMuteRecord& record, const juce::String& value)
{
    record.reset();
    const auto letters = value.toLowerCase();
    auto p = letters.getCharPointer();
    for (int i = 0; i < SoloMuteRecord::numChannels && ! p.isEmpty(); ++i)
    {
        const auto c = p.getAndAdvance();
        if (c == 'm')
            record.state[i].store (muted, std::memory_order_relaxed);
        else if (c == 's')
            record.state[i].store (soloed, std::memory_order_relaxed);
    }
    record.updateAnySolo();
}

void applyLine (PluginState& state, const juce::String& line)
{
    const int eq = line.indexOfChar ('=');
    if (eq <= 0)
        return;
    const auto key = line.substring (0, eq).trim();
    const auto value = line.substring (eq + 1).trim();

    if (key == "Bypassed")
    {
        const auto first = value[0];
        state.bypassed = (first == '1' || first == 'T' || first == 't') ? 1 : 0;
    }
    else if (key == "ChannelProfile")
        state.channelProfile = clampedByte (value, 15);
    else if (key == "SoloMutes")
        readSoloMutes (state.soloMutes, value);
    else if (key == "Room")
        state.room = (Zeph::ListeningRoom) clampedByte (value, Zeph::numListeningRooms - 1);
    else if (key == "Loudspeakers")
        state.loudspeakers = atoiLike (value) > 0 ? Zeph::Loudspeakers::nearfield : Zeph::Loudspeakers::fullRange;
    else if (key == "VolumeTrim")
        state.volumeTrim = clampedByte (value, PluginState::maxTrim);
    else if (key == "ReverbTrim")
        state.reverbTrim = clampedByte (value, PluginState::maxTrim);
}
} // namespace

juce::String write (const PluginState& state)
{
    juce::String soloMutes;
    if (const auto* profile = state.currentProfile())
        for (int i = 0; i < profile->numPositions() && i < SoloMuteRecord::numChannels; ++i)
            soloMutes << soloMuteLetter (state.soloMutes.get (i));

    juce::StringArray lines;
    lines.add ("Bypassed=" + juce::String (state.bypassed.load() != 0 ? "True" : "False"));
    lines.add ("ChannelProfile=" + juce::String ((int) state.channelProfile));
    lines.add ("SoloMutes=" + soloMutes);
    lines.add ("Room=" + juce::String ((int) state.room));
    lines.add ("Loudspeakers=" + juce::String ((int) state.loudspeakers));
    lines.add ("VolumeTrim=" + juce::String ((int) state.volumeTrim));
    lines.add ("ReverbTrim=" + juce::String ((int) state.reverbTrim));
    return lines.joinIntoString ("\r\n");
}

bool isValidUtf8 (const char* bytes, size_t length) noexcept
{
    const auto* p = reinterpret_cast<const unsigned char*> (bytes);
    const auto* end = p + length;
    auto isContinuation = [] (unsigned char b) { return (b & 0xc0) == 0x80; };

    while (p < end)
    {
        const unsigned char lead = *p;
        int count;
        unsigned char low = 0x80, high = 0xbf; // allowed range of the second byte
        if (lead < 0x80)
            count = 0;
        else if (lead >= 0xc2 && lead <= 0xdf)
            count = 1;
        else if (lead >= 0xe0 && lead <= 0xef)
        {
            count = 2;
            if (lead == 0xe0)
                low = 0xa0; // overlong
            else if (lead == 0xed)
                high = 0x9f; // surrogates
        }
        else if (lead >= 0xf0 && lead <= 0xf4)
        {
            count = 3;
            if (lead == 0xf0)
                low = 0x90; // overlong
            else if (lead == 0xf4)
                high = 0x8f; // past U+10FFFF
        }
        else
            return false;

        if (end - p <= count)
            return false; // truncated sequence
        if (count > 0 && (p[1] < low || p[1] > high))
            return false;
        for (int i = 2; i <= count; ++i)
            if (! isContinuation (p[i]))
                return false;
        p += count + 1;
    }
    return true;
}

void read (PluginState& state, const void* data, int size)
{
    if (data == nullptr || size == 0)
        return;
    const auto* text = static_cast<const char*> (data);
    const size_t length = size < 0 ? std::strlen (text)
                                   : (size_t) (std::find (text, text + size, '\0') - text);

    // Lines end at CR LF, LF or CR; each is checked before it is read as text.
    size_t start = 0;
    while (start < length)
    {
        size_t end = start;
        while (end < length && text[end] != '\r' && text[end] != '\n')
            ++end;
        const size_t lineLength = end - start;
        if (lineLength > 0 && isValidUtf8 (text + start, lineLength))
            applyLine (state, juce::String::fromUTF8 (text + start, (int) lineLength));

        if (end < length && text[end] == '\r' && end + 1 < length && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
}
} // namespace SavedState
