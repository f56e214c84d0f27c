#include "tracker/InfoText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{
juce::OwnedArray<InfoText::Token> split (const std::string& text)
{
    juce::OwnedArray<InfoText::Token> tokens;
    InfoText::splitText (reinterpret_cast<const juce::uint8*> (text.data()), (int) text.size(), tokens);
    return tokens;
}

void expectToken (const InfoText::Token* token, char code, const char* keyword, const char* value)
{
    ASSERT_NE (token, nullptr);
    EXPECT_EQ (token->code, code);
    EXPECT_EQ (token->keyword, keyword);
    EXPECT_EQ (token->value, value);
}
} // namespace

TEST (InfoText, OneCharacterFormNamesTheKnownCodes)
{
    auto tokens = split ("=A1\n#0042\nmB3");
    ASSERT_EQ (tokens.size(), 3);
    expectToken (tokens[0], '=', "asset", "A1");
    expectToken (tokens[1], '#', "serial", "0042");
    expectToken (tokens[2], 'm', "main", "B3");
}

TEST (InfoText, KeywordFormGivesTheSameCodes)
{
    auto tokens = split ("asset:A1\nserial:0042\nhwver\nboot:1:2");
    ASSERT_EQ (tokens.size(), 4);
    expectToken (tokens[0], '=', "asset", "A1");
    expectToken (tokens[1], '#', "serial", "0042");
    expectToken (tokens[2], '/', "hwver", "");
    expectToken (tokens[3], 'b', "boot", "1:2");
}

TEST (InfoText, UnknownEntriesKeepTheirHalf)
{
    auto keywordForm = split ("colour:red\nSerial:7");
    ASSERT_EQ (keywordForm.size(), 2);
    expectToken (keywordForm[0], ' ', "colour", "red");
    expectToken (keywordForm[1], ' ', "Serial", "7"); // keywords are case-sensitive

    auto oneCharacterForm = split ("=A1\nxyz\n/");
    ASSERT_EQ (oneCharacterForm.size(), 3);
    expectToken (oneCharacterForm[1], 'x', "", "yz");
    expectToken (oneCharacterForm[2], '/', "hwver", "");
}

TEST (InfoText, FormIsChosenByTheFirstByteOnly)
{
    // Without a leading "=", a "#" piece is a keyword.
    auto tokens = split ("#0042\n=A1");
    ASSERT_EQ (tokens.size(), 2);
    expectToken (tokens[0], ' ', "#0042", "");
    expectToken (tokens[1], ' ', "=A1", "");
}

TEST (InfoText, EmptyPieceEndsTheText)
{
    auto crlf = split ("=A1\r\n#0042");
    ASSERT_EQ (crlf.size(), 1);
    expectToken (crlf[0], '=', "asset", "A1");

    EXPECT_EQ (split ("\n=A1").size(), 0);
    EXPECT_EQ (split ("").size(), 0);
    EXPECT_EQ (split ("=A1\n").size(), 1);
}

TEST (InfoText, BytesOutsideTextSeparate)
{
    const std::string text { '=', 'A', '\x7f', '\x80', '#', '1', '2', '\0', 'm', 'Q', '\x1f' };
    auto tokens = split (text);
    ASSERT_EQ (tokens.size(), 3);
    expectToken (tokens[0], '=', "asset", "A\x7f");
    expectToken (tokens[1], '#', "serial", "12");
    expectToken (tokens[2], 'm', "main", "Q");
}

TEST (InfoText, SplittingReplacesEarlierTokens)
{
    juce::OwnedArray<InfoText::Token> tokens;
    tokens.add (new InfoText::Token());
    const juce::uint8 text[] = { 'b', 'o', 'o', 't', ':', '9' };
    InfoText::splitText (text, 6, tokens);
    ASSERT_EQ (tokens.size(), 1);
    expectToken (tokens[0], 'b', "boot", "9");
}

TEST (InfoText, CompleteTokenTriesThePairsInOrder)
{
    InfoText::Token token;
    token.code = '#';
    token.keyword = "main";
    token.completeToken();
    EXPECT_EQ (token.keyword, "serial"); // the code wins: "#" comes before "main"

    InfoText::Token byKeyword;
    byKeyword.code = 'm';
    byKeyword.keyword = "asset";
    byKeyword.completeToken();
    EXPECT_EQ (byKeyword.code, '='); // "asset" is tried before the code "m"
}

// Pieces with an empty value at the very end of the text: nothing past the
// text is read (the bytes sit in a heap block of exactly their length).
TEST (InfoText, EmptyValuesAtTheEndReadNothingPastTheText)
{
    struct Case
    {
        const char* text;
        char code;
        const char* keyword;
    };
    const Case cases[] = {
        { "serial:", '#', "serial" },
        { "asset:A1\nhwver:", '/', "hwver" },
        { "=A1\n#", '#', "serial" },
        { "=", '=', "asset" },
        { "=A1\nm", 'm', "main" },
        { "x", ' ', "x" },
    };
    for (const auto& c : cases)
    {
        const std::vector<juce::uint8> text (c.text, c.text + std::strlen (c.text));
        juce::OwnedArray<InfoText::Token> tokens;
        InfoText::splitText (text.data(), (int) text.size(), tokens);
        ASSERT_FALSE (tokens.isEmpty()) << c.text;
        expectToken (tokens.getLast(), c.code, c.keyword, "");
    }
}
