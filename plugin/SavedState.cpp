#include "plugin/SavedState.h"

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

void read (PluginState& state, const juce::String& text)
{
    juce::StringArray lines;
    lines.addLines (text); // splits at CR LF, LF or CR
    for (const auto& line : lines)
        applyLine (state, line);
}

juce::String textFromData (const void* data, int size)
{
    if (data == nullptr || size == 0 || *static_cast<const char*> (data) == 0)
        return {};
    if (size < 0)
        return juce::String::fromUTF8 (static_cast<const char*> (data));
    return juce::String::fromUTF8 (static_cast<const char*> (data), size);
}
} // namespace SavedState
