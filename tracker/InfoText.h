#pragma once

#include <juce_core/juce_core.h>

namespace InfoText
{
// One entry of a tracker's information text: a one-character code and/or a
// keyword, and a value. The five known entries pair their code and keyword:
// "=" asset, "/" hwver, "#" serial, "b" boot, "m" main.
struct Token
{
    char code = ' ';
    juce::String keyword;
    juce::String value;

    // Fills in the code from the keyword or the keyword from the code.
    void completeToken();
};

// Splits the text into tokens, replacing the list's contents. Bytes 0x20 to
// 0x7F are text, all others separate the pieces; an empty piece ends the text.
// A text that starts with "=" is in one-character form, any other in keyword
// form ("keyword:value").
void splitText (const juce::uint8* text, int length, juce::OwnedArray<Token>& tokens);
} // namespace InfoText
