#include "platform/text_conv.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace std::string_literals;

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

std::u16string withoutReplacements(std::u16string text) {
    std::erase(text, kReplacement);
    return text;
}

}  // namespace

TEST(TextConv, Utf8AndUtf16RoundTrip) {
    const std::string samples[] = {
        "",
        "plain ASCII",
        "弾幕コメント ＭＳ Ｐゴシック",                     // three-byte characters
        "\xC3\xA9t\xC3\xA9",                                // two-byte characters
        "emoji \xF0\x9F\x98\x80 and \xF4\x8F\xBF\xBF end",  // U+1F600 and U+10FFFF
        "\xEF\xBF\xBF \xEE\x80\x80",  // U+FFFF and U+E000 next to the surrogates
        "nul\0inside"s,
    };
    for (const std::string& utf8 : samples) {
        const std::u16string utf16 = utf8ToUtf16(utf8);
        EXPECT_TRUE(isWellFormedUtf16(utf16)) << utf8;
        EXPECT_EQ(utf16ToUtf8(utf16), utf8);
    }
}

TEST(TextConv, CharactersBeyondTheBasicPlaneBecomeSurrogatePairs) {
    EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80"), u"\xD83D\xDE00");
    EXPECT_EQ(utf8ToUtf16("\xF0\x90\x80\x80"), u"\xD800\xDC00");  // U+10000
    EXPECT_EQ(utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\xDBFF\xDFFF");  // U+10FFFF
    EXPECT_EQ(utf16ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(utf8ToUtf16("あ"), u"あ");
}

TEST(TextConv, IllFormedUtf8IsReplacedAndTheRestKept) {
    const std::string badSequences[] = {
        "\x80",              // continuation byte without a lead
        "\xC0\xAF",          // overlong "/"
        "\xE0\x80\xAF",      // overlong "/" in three bytes
        "\xED\xA0\x80",      // an encoded surrogate
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        "\xF5\x80\x80\x80",  // lead byte that never occurs
        "\xFF",
        "\xE3\x81",      // truncated
        "\xF0\x9F\x98",  // truncated four-byte sequence
    };
    for (const std::string& bad : badSequences) {
        const std::u16string utf16 = utf8ToUtf16("a" + bad + "b");
        EXPECT_NE(utf16.find(kReplacement), std::u16string::npos);
        EXPECT_EQ(withoutReplacements(utf16), u"ab");
        EXPECT_TRUE(isWellFormedUtf16(utf16));
    }
    // A truncated sequence must not swallow the valid character that follows it.
    EXPECT_EQ(withoutReplacements(utf8ToUtf16("\xE3\x81\xE3\x81\x82")), u"あ");
    EXPECT_EQ(withoutReplacements(utf8ToUtf16("\xF0\x9F\xF0\x9F\x98\x80")), u"\xD83D\xDE00");
    // A truncated sequence at the very end does not read past it.
    const std::string cut("\xE3\x81\x82\xE3", 4);
    EXPECT_EQ(utf8ToUtf16(std::string_view(cut.data(), 3)), u"あ");
    EXPECT_EQ(utf8ToUtf16(cut), u"あ\uFFFD");
}

TEST(TextConv, LoneSurrogatesAreReplaced) {
    EXPECT_EQ(utf16ToUtf8(u"a\xD800"
                          u"b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(u"x\xD83D"), "x\xEF\xBF\xBD");                  // high at the end
    EXPECT_EQ(utf16ToUtf8(u"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // reversed pair
    EXPECT_EQ(utf16ToUtf8(u"\xD83D\xD83D\xDE00"), "\xEF\xBF\xBD\xF0\x9F\x98\x80");

    EXPECT_FALSE(isWellFormedUtf16(u"a\xD800"));
    EXPECT_FALSE(isWellFormedUtf16(u"\xDC00"));
    EXPECT_FALSE(isWellFormedUtf16(u"\xDE00\xD83D"));
    EXPECT_TRUE(isWellFormedUtf16(u"\xD83D\xDE00"));
    EXPECT_TRUE(isWellFormedUtf16(u""));
}

TEST(TextConv, BlanksAreExactlyTheSixSingleByteOnes) {
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        EXPECT_TRUE(isBlank(c)) << int(c);
    }
    for (char c : {'\0', '\x1C', '\x1F', 'a', '\x85', '\xA0', '\xE3'}) {
        EXPECT_FALSE(isBlank(c)) << int(c);
    }
    EXPECT_EQ(trimBlanks(" \t\n\v\f\rtext in\tside \r\n"), "text in\tside");
    EXPECT_EQ(trimBlanks(" \t\r\n"), "");
    EXPECT_EQ(trimBlanks(""), "");
    // Full-width space (U+3000) and no-break space (U+00A0) are text, not blanks.
    EXPECT_EQ(trimBlanks("\u3000x\u3000"), "\u3000x\u3000");
    EXPECT_EQ(trimBlanks(" \xC2\xA0x\xC2\xA0 "), "\xC2\xA0x\xC2\xA0");
    EXPECT_EQ(trimBlanks("\0x\0"s), "\0x\0"s);

    EXPECT_EQ(trimTrailingBlanks("  lead kept \t\r\n"), "  lead kept");
    EXPECT_EQ(trimTrailingBlanks("x\u3000"), "x\u3000");
}

TEST(TextConv, StringToLongReadsLeadingBlanksSignAndDigits) {
    // No digits after the optional blanks and sign: 0. Always decimal; a full-width space is
    // not a blank nor are full-width digits digits. The view's end is the end of the text.
    const std::string digits = "123456";
    // clang-format off
    const std::pair<std::string_view, long> cases[] = {
        {"42", 42}, {"12abc", 12}, {" -3", -3}, {"+7", 7}, {" \t\n\v\f\r9", 9}, {"007", 7},
        {"1 2", 1}, {"3.9", 3}, {"abc", 0}, {"", 0}, {"-", 0}, {"- 5", 0}, {"0x1A", 0},
        {"\u3000" "5", 0}, {"１２", 0}, {std::string_view(digits.data(), 2), 12},
        {std::string_view("4\0" "5", 3), 4},
        {"99999999999999999999999", LONG_MAX}, {"-99999999999999999999999", LONG_MIN}};
    // clang-format on
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(stringToLong(text), value) << text;
    }
    // 32-bit numbers clamp to their own range.
    EXPECT_EQ(stringToInt32("2147483647"), INT32_MAX);
    EXPECT_EQ(stringToInt32("3000000000"), INT32_MAX);
    EXPECT_EQ(stringToInt32("-3000000000"), INT32_MIN);
    EXPECT_EQ(stringToInt32(" -12pt"), -12);
}

TEST(TextConv, StartsWithNoCaseFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(startsWithNoCase("Hello world", "hELLO"));
    EXPECT_TRUE(startsWithNoCase("MS Gothic", "ms gothic"));
    EXPECT_TRUE(startsWithNoCase("anything", ""));
    EXPECT_FALSE(startsWithNoCase("he", "hello"));
    EXPECT_FALSE(startsWithNoCase("Hello", "help"));
    EXPECT_FALSE(startsWithNoCase("[", "{"))
        << "'[' and '{' differ by the case bit but are no letters";
    EXPECT_FALSE(startsWithNoCase("@", "`"));
    // Multi-byte characters compare byte for byte: full-width letters are not folded.
    EXPECT_TRUE(startsWithNoCase("ＭＳ Ｐゴシック", "ＭＳ"));
    EXPECT_FALSE(startsWithNoCase("ＭＳ Ｐゴシック", "ｍｓ"));
    EXPECT_FALSE(startsWithNoCase("\xC3\x84", "\xC3\xA4"));  // Ä is not ä here

    EXPECT_EQ(asciiLower("ABC xyz ÄÖ [@]"), "abc xyz ÄÖ [@]");
}

TEST(CutUtf8, NeverEndsInsideACharacter) {
    // あ takes bytes 2..4: a cut that would split it ends before it; a text that fits is kept.
    const std::string text = "abあc";
    for (const auto& [limit, cut] :
         {std::pair<size_t, std::string>{10, text}, {5, "abあ"}, {4, "ab"}, {3, "ab"}, {2, "ab"}}) {
        EXPECT_EQ(cutUtf8(text, limit), cut) << limit;
    }
    // Not UTF-8 where it is cut (continuation bytes only): cut at the limit as it stands.
    EXPECT_EQ(cutUtf8("\x80\x80\x80\x80\x80\x80", 4), "\x80\x80\x80\x80");
}
