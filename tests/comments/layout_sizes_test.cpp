// Font sizes of comments, the measured box of a text and the automatic base size.

#include <string>

#include "layout_test_support.h"

namespace {

using layout_test::byNo;
using layout_test::chat;
using layout_test::FixedWidthMeasurer;
using layout_test::LayoutFixture;

std::u16string lines(int count) {
    std::u16string text = u"a";
    for (int i = 1; i < count; ++i) {
        text += u"\na";
    }
    return text;
}

struct SizeCase {
    std::u16string text;
    std::string mail;
    int expected;
};

TEST(LayoutSizes, SizeRulesOnBase18) {
    // readCommands with base 18: "big" 18 + ceil(9) = 27; "small" 18 - ceil(5.4) = 12 (shrunk);
    // both 27 - ceil(8.1) = 18 (shrunk).
    const std::u16string longText(40, u'a');
    std::u16string emoji31;  // 15 surrogate pairs and one letter: 31 UTF-16 units
    std::u16string emoji32;  // 16 surrogate pairs: 32 units, 16 characters
    for (int i = 0; i < 15; ++i) {
        emoji31 += u"\U0001F600";
    }
    emoji32 = emoji31 + u"\U0001F600";
    emoji31 += u"a";
    const SizeCase cases[] = {
        {longText, "big", 18},                  // more than 31 units: not enlarged
        {std::u16string(31, u'a'), "big", 27},  // 31 is not more than 31
        {emoji32, "big", 18},                   // 32 UTF-16 units count, not 16 characters
        {emoji31, "big", 27},
        {lines(2), "big", 27},
        {lines(3), "big", 18},                // enlarged with more than 2 lines: the base size
        {lines(5), "big", 18},                // ... and nothing more (not 18 - 6)
        {longText + u"\n\n\n\n", "big", 18},  // long: the line rules are skipped
        {lines(4), "", 18},
        {lines(5), "", 12},       // 18 - ceil(18 * 0.3) = 18 - 6
        {u"a\n\n\n\nb", "", 12},  // empty lines count as lines
        {lines(6), "small", 12},
        {lines(7), "small", 8},                     // 12 - ceil(12 * 0.3) = 12 - 4
        {longText, "big small", 18},                // shrunk: the length rule does not apply
        {longText + u"\n\n\n\n", "small big", 12},  // ... the base-size line rule does
    };
    LayoutFixture f;
    ChatList chats;
    int no = 0;
    for (const SizeCase& c : cases) {
        chats.push_back(chat(no * 10, c.text, c.mail, no));
        ++no;
    }
    f.run(chats);
    for (int i = 0; i < no; ++i) {
        EXPECT_EQ(byNo(chats, i).fontSize, cases[i].expected)
            << "case " << i << " mail '" << cases[i].mail << "'";
    }
}

TEST(LayoutSizes, SizeNeverFallsBelowOne) {
    // Base 1: "small" gives 1 - ceil(0.3) = 0, raised to 1 by the commands; 5 normal lines give
    // 1 - ceil(0.3) = 0, raised to 1 by the layout.
    LayoutFixture f;
    f.fontSizePt = 1;
    ChatList chats{chat(0, u"a", "small", 1), chat(0, lines(5), "", 2)};
    f.run(chats);
    EXPECT_EQ(byNo(chats, 1).fontSize, 1);
    EXPECT_EQ(byNo(chats, 2).fontSize, 1);
}

TEST(LayoutMeasure, WidestLineLess2ByTallestLineTimesLines) {
    FixedWidthMeasurer font;  // 10 px per unit + 2, 24 px lines
    const CommentExtent box = measureText(font, u"ab\nabcd\nabc", 18);
    EXPECT_EQ(box.width, 40);  // 42 - 2
    EXPECT_EQ(box.height, 72);
    ASSERT_EQ(font.calls.size(), 3u);
    EXPECT_EQ(font.calls[1].first, u"abcd");
    EXPECT_EQ(font.calls[1].second, 18);  // sizes go to the measurer in points
}

TEST(LayoutMeasure, OnlyTwoEmptyLinesInARowCount) {
    FixedWidthMeasurer font;
    font.advances[u'\u3042'] = 20;
    // "a", "", "", "" , "b": the third empty line is skipped; each empty line is "あ".
    CommentExtent box = measureText(font, u"a\n\n\n\nb", 18);
    EXPECT_EQ(box.width, 20);       // "あ" is the widest: 22 - 2
    EXPECT_EQ(box.height, 4 * 24);  // a, あ, あ, b
    // A line with text starts the count again.
    box = measureText(font, u"a\n\n\nb\n\n\nc", 18);
    EXPECT_EQ(box.height, 7 * 24);
    box = measureText(font, u"\n\n\n", 18);  // four empty lines
    EXPECT_EQ(box.height, 2 * 24);
}

TEST(LayoutMeasure, EmptyTextIsOneLineOfA) {
    FixedWidthMeasurer font;
    font.advances[u'\u3042'] = 20;
    const CommentExtent box = measureText(font, u"", 27);
    EXPECT_EQ(box.width, 20);
    EXPECT_EQ(box.height, 24);
    ASSERT_EQ(font.calls.size(), 1u);
    EXPECT_EQ(font.calls[0].first, u"\u3042");
    EXPECT_EQ(font.calls[0].second, 27);
}

TEST(LayoutMeasure, TabsBecomeTwoIdeographicSpacesAndASpaceWithoutCuttingTheText) {
    FixedWidthMeasurer font;
    CommentExtent box = measureText(font, u"a\tb", 18);
    ASSERT_EQ(font.calls.size(), 1u);
    EXPECT_EQ(font.calls[0].first, u"a\u3000\u3000 b");
    EXPECT_EQ(box.width, 50);
    // The longest comment made of TABs triples in length and is measured whole.
    box = measureText(font, std::u16string(kMaxCommentUnits, u'\t'), 18);
    EXPECT_EQ(font.calls.back().first.size(), 3 * kMaxCommentUnits);
    EXPECT_EQ(box.width, 30 * static_cast<int>(kMaxCommentUnits));
}

TEST(LayoutMeasure, LineNarrowerThanTheCorrectionMeasuresZeroWide) {
    FixedWidthMeasurer font;
    font.advances[u'z'] = -1;  // the line's advance is 1 px
    const CommentExtent box = measureText(font, u"z", 18);
    EXPECT_EQ(box.width, 0);
    EXPECT_EQ(box.height, 24);
}

TEST(LayoutMeasure, WithoutADeviceEveryTextIs40By24) {
    NoDeviceMeasurer none;
    const CommentExtent box = measureText(none, u"a much longer text\nwith two lines", 40);
    EXPECT_EQ(box.width, 40);
    EXPECT_EQ(box.height, 24);
}

TEST(LayoutDefaultSize, Line24PxGives18At384And24At512) {
    // p = trunc(round2(24 * height / 384)); size = p * 72 / 96.
    // 384: p = 24, 24 * 72 / 96 = 18. 512: p = 32, 24. 360: round2(22.5) = 22.5, p = 22,
    // 22 * 72 / 96 = 16 (16.5 truncated).
    NoDeviceMeasurer none;
    EXPECT_EQ(defaultFontSize(none, 384), 18);
    EXPECT_EQ(defaultFontSize(none, 512), 24);
    FixedWidthMeasurer font;
    EXPECT_EQ(defaultFontSize(font, 384), 18);
    EXPECT_EQ(defaultFontSize(font, 360), 16);
    ASSERT_FALSE(font.calls.empty());
    EXPECT_EQ(font.calls[0].first, u"\u5FA1");
    EXPECT_EQ(font.calls[0].second, 18);
}

TEST(LayoutDefaultSize, UsesTheMeasuredLineAndTheResolution) {
    FixedWidthMeasurer font;
    font.lineHeightPerPt = 1.5;  // 27 px at 18 pt: p = 27 at 384, 27 * 72 / 96 = 20
    EXPECT_EQ(defaultFontSize(font, 384), 20);
    font.lineHeightPerPt = 0;
    font.dpiValue = 72;  // p = 24, 24 * 72 / 72 = 24
    EXPECT_EQ(defaultFontSize(font, 384), 24);
    font.dpiValue = 0;  // no resolution: 96 dpi
    EXPECT_EQ(defaultFontSize(font, 384), 18);
}

TEST(LayoutDefaultSize, RunComputesTheAutomaticSizeOnceAndStoresIt) {
    LayoutFixture f;
    f.fontSizePt = 0;
    ChatList chats{chat(0, u"a", "", 1), chat(0, u"a", "big", 2)};
    f.run(chats);
    EXPECT_EQ(f.fontSizePt, 18);
    EXPECT_EQ(byNo(chats, 1).fontSize, 18);
    EXPECT_EQ(byNo(chats, 2).fontSize, 27);
    // A second run with the stored size keeps it.
    f.run(chats);
    EXPECT_EQ(f.fontSizePt, 18);
}

}  // namespace
