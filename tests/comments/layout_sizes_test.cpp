// Font sizes of comments, the measured box of a text and the automatic base size, with a font
// of fixed advances and with IPAPGothic through the text engine at 96 dpi.

#include <string>

#include "layout_test_support.h"
#include "text/text_test_support.h"

namespace {

using layout_test::byNo;
using layout_test::chat;
using layout_test::FixedWidthMeasurer;
using layout_test::LayoutFixture;
using Ints = std::vector<int32_t>;

std::u16string repeat(const std::u16string& part, int count, const std::u16string& between = u"") {
    std::u16string text = part;
    for (int i = 1; i < count; ++i) {
        text += between + part;
    }
    return text;
}
std::u16string lines(int count) {
    return repeat(u"a", count, u"\n");
}

TEST(LayoutSizes, SizeRules) {
    // Base 18: "big" 27, "small" 12 (shrunk), both 18 (shrunk). More than 31 UTF-16 units (not
    // characters) keep an unshrunk "big" at the base size, and then the line rules are skipped.
    // More than 2 lines take "big" back to the base, more than 4 shrink the base size by
    // ceil(30 %), more than 6 a smaller size by ceil(30 %) of itself; empty lines count.
    const std::u16string longText(40, u'a'), emoji15 = repeat(u"\U0001F600", 15);
    // clang-format off
    const struct {
        int base;
        std::u16string text;
        std::string mail;
        int expected;
    } cases[] = {
        {18, longText, "big", 18},                {18, std::u16string(31, u'a'), "big", 27},
        {18, emoji15 + u"\U0001F600", "big", 18}, {18, emoji15 + u"a", "big", 27},
        {18, lines(2), "big", 27},                {18, lines(3), "big", 18},
        {18, lines(5), "big", 18},                {18, longText + u"\n\n\n\n", "big", 18},
        {18, lines(4), "", 18},                   {18, lines(5), "", 12},
        {18, u"a\n\n\n\nb", "", 12},             {18, lines(6), "small", 12},
        {18, lines(7), "small", 8},               {18, longText, "big small", 18},
        {18, longText + u"\n\n\n\n", "small big", 12},
        {1, u"a", "small", 1},                    {1, lines(5), "", 1}};  // never below 1
    // clang-format on
    for (const auto& c : cases) {
        LayoutFixture f;
        f.fontSizePt = c.base;
        const ChatList chats = f.laidOut({chat(0, c.text, c.mail)});
        EXPECT_EQ(chats[0].fontSize, c.expected) << "mail '" << c.mail << "' base " << c.base;
    }
}

TEST(LayoutMeasure, BoxesOfTexts) {
    // Widest line's advance less 2 (never below 0) by the line height times the lines counted;
    // an empty line is "あ" (20 px here), only two empty lines in a row count, a TAB becomes
    // U+3000 U+3000 U+0020 (also in the longest text, measured whole); sizes go in points.
    // clang-format off
    const struct {
        std::u16string text;
        int width, height;
    } cases[] = {{u"ab\nabcd\nabc", 40, 72}, {u"a\n\n\n\nb", 20, 4 * 24}, {u"a\n\n\nb\n\n\nc", 20, 7 * 24},
                 {u"\n\n\n", 20, 2 * 24},    {u"", 20, 24},              {u"z", 0, 24},
                 {u"a\tb", 50, 24},           {std::u16string(kMaxCommentUnits, u'\t'), 30 * 1023, 24}};
    // clang-format on
    for (const auto& c : cases) {
        FixedWidthMeasurer font;
        font.advances = {{u'\u3042', 20}, {u'z', -1}};
        const CommentExtent box = measureText(font, c.text, 27);
        EXPECT_EQ((std::pair{box.width, box.height}), (std::pair{c.width, c.height}))
            << c.text.size();
        EXPECT_EQ(font.calls.at(0).second, 27);
    }
    FixedWidthMeasurer font;
    measureText(font, u"a\tb", 18);
    EXPECT_EQ(font.calls.at(0).first, u"a\u3000\u3000 b");
    NoDeviceMeasurer none;
    const CommentExtent box = measureText(none, u"a much longer text\nwith two lines", 40);
    EXPECT_EQ((std::pair{box.width, box.height}), (std::pair{40, 24}));
}

TEST(LayoutDefaultSize, FromThe18PointLineOfTheMeasurer) {
    // p = trunc(round2(line * height / 384)); size = p * 72 / dpi.
    NoDeviceMeasurer none;
    EXPECT_EQ(defaultFontSize(none, 384), 18);
    EXPECT_EQ(defaultFontSize(none, 512), 24);
    FixedWidthMeasurer font;
    EXPECT_EQ(defaultFontSize(font, 360), 16);  // p = 22 (22.5), 16.5 truncated
    EXPECT_EQ(font.calls.at(0), (std::pair<std::u16string, int>{u"\u5FA1", 18}));
    font.lineHeightPerPt = 1.5;  // 27 px at 18 pt
    EXPECT_EQ(defaultFontSize(font, 384), 20);
    font.lineHeightPerPt = 0;
    font.dpiValue = 72;
    EXPECT_EQ(defaultFontSize(font, 384), 24);
    font.dpiValue = 0;  // no resolution: 96 dpi
    EXPECT_EQ(defaultFontSize(font, 384), 18);

    // A run computes it once and stores it; "big" grows from it.
    LayoutFixture f;
    f.fontSizePt = 0;
    const ChatList chats = f.laidOut({chat(0, u"a", "", 1), chat(0, u"a", "big", 2)});
    EXPECT_EQ(f.outcome.fontSizePt, 18);
    EXPECT_EQ(byNo(chats, &ChatRecord::fontSize), (Ints{18, 27}));
}

// IPAPGothic (its metrics are worked out in tests/text/text_engine_test.cpp): at 18 pt the line
// is 26 px, "御" 24, "8" 15; at 19 pt the line is 27, "御" 25; at 27 pt the line is 39, "w" 27.
using LayoutWithFont = IpaPGothicTest;

TEST_F(LayoutWithFont, PlacesCommentsByTheirMeasuredBoxes) {
    // 1: "www" big, 79 x 39, speed trunc(591 / 83.916) = 7. 2: "御" 22 x 26, speed 6; its
    // start rectangle overlaps 1's: y = 39. 3 and 4: "8" is 13 wide, x = 256 - 6.
    LayoutFixture f;
    f.measurer = engine.get();
    const ChatList chats = f.laidOut({chat(0, u"www", "big", 1), chat(0, u"御", "", 2),
                                      chat(0, u"8", "ue", 3), chat(0, u"8", "shita", 4)});
    EXPECT_EQ(byNo(chats, &ChatRecord::fontSize), (Ints{27, 18, 18, 18}));
    EXPECT_EQ(byNo(chats, &ChatRecord::speed), (Ints{7, 6, 0, 0}));
    EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{0, 39, 0, 358}));
    EXPECT_EQ(byNo(chats, &ChatRecord::x), (Ints{-95, -95, 250, 250}));

    // Automatic size 19 at 384 px: "御" is 23 x 27, speed trunc(535 / 83.916) = 6.
    LayoutFixture automatic;
    automatic.measurer = engine.get();
    automatic.fontSizePt = 0;
    const ChatList same = automatic.laidOut({chat(500, u"御", "", 1), chat(500, u"御", "", 2)});
    EXPECT_EQ(automatic.outcome.fontSizePt, 19);
    EXPECT_EQ(byNo(same, &ChatRecord::fontSize), (Ints{19, 19}));
    EXPECT_EQ(byNo(same, &ChatRecord::speed), (Ints{6, 6}));
    EXPECT_EQ(byNo(same, &ChatRecord::y), (Ints{0, 27}));
}

}  // namespace
