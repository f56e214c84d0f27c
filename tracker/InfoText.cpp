#include "tracker/InfoText.h"

namespace InfoText
{
namespace
{
struct KnownEntry
{
    char code;
    const char* keyword;
};

constexpr KnownEntry knownEntries[] = {
    { '=', "asset" },
    { '/', "hwver" },
    { '#', "serial" },
    { 'b', "boot" },
    { 'm', "main" },
};

bool isText (juce::uint8 byte)
{
    return byte >= 0x20 && byte <= 0x7f;
}

// The string of count text bytes. JUCE looks at the first byte before it
// checks the count, so an empty run never reaches it.
juce::String makeString (const juce::uint8* bytes, int count)
{
    if (count <= 0)
        return {};
    return juce::String (reinterpret_cast<const char*> (bytes), (size_t) count);
}

Token* makeOneCharacterToken (const juce::uint8* piece, int length)
{
    auto* token = new Token();
    token->code = (char) piece[0];
    token->value = makeString (piece + 1, length - 1);
    return token;
}

Token* makeKeywordToken (const juce::uint8* piece, int length)
{
    auto* token = new Token();
    int colon = 0;

    while (colon < length && piece[colon] != ':')
        ++colon;

    token->keyword = makeString (piece, colon);

    if (colon < length)
        token->value = makeString (piece + colon + 1, length - colon - 1);

    return token;
}
} // namespace

void Token::completeToken()
{
    for (const auto& entry : knownEntries)
    {
        if (code == entry.code)
        {
            keyword = entry.keyword;
            return;
        }

        if (keyword == entry.keyword)
        {
            code = entry.code;
            return;
        }
    }
}

void splitText (const juce::uint8* text, int length, juce::OwnedArray<Token>& tokens)
{
    tokens.clear();

    const bool oneCharacterForm = length > 0 && text[0] == '=';
    int position = 0;

    for (;;)
    {
        const int start = position;

        while (position < length && isText (text[position]))
            ++position;

        const int pieceLength = position - start;

        if (pieceLength == 0)
            return;

        auto* token = oneCharacterForm ? makeOneCharacterToken (text + start, pieceLength)
                                       : makeKeywordToken (text + start, pieceLength);
        token->completeToken();
        tokens.add (token);

        if (position < length)
            ++position; // the one separator after the piece
    }
}
} // namespace InfoText
