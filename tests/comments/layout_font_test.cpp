// The layout with a real font: IPAPGothic (ipagp.ttf) through the text engine at 96 dpi.
//
// The font's numbers: 2048 units per em, Windows ascent 1802, Windows descent 401; advances
// "御" 2048, "あ" 1884, U+3000 2048, space 553, "w" 1540, "1" and "8" 1290. The engine sizes
// a face at round(pt * 96 / 72) pixels per em and scales every number on its own to 26.6
// (FT_MulFix rounds) and then to whole pixels (half up):
//   18 pt -> 24 ppem, scale 0.75 px per 64 units:
//       ascent 1802 * 0.75 = 1351.5 -> 1352/64 = 21.1 -> 21; descent 401 * 0.75 = 300.75 ->
//       301/64 = 4.7 -> 5; line 26.  "御" 1536/64 = 24; "あ" 1413/64 = 22.1 -> 22;
//       U+3000 24; space 414.75 -> 415/64 = 6.5 -> 6 (415 + 32 = 447, 447 >> 6 = 6);
//       "w" 1155/64 = 18.0 -> 18; "1"/"8" 967.5 -> 968/64 = 15.1 -> 15.
//   19 pt -> 25 ppem (25.33), scale 0.78125: ascent 1407.8 -> 1408 -> (1408 + 32) >> 6 = 22;
//       descent 313.3 -> 313 -> 5; line 27. "御" 1600/64 = 25.
//   27 pt -> 36 ppem, scale 1.125: ascent 2027.25 -> 2027 -> 32; descent 451.1 -> 451 -> 7;
//       line 39. "w" 1732.5 -> 1733/64 = 27.1 -> 27.
// A box is the widest line's advance less 2 by the line height times the lines.

#include <memory>
#include <string>

#include "layout_test_support.h"
#include "text/text_engine.h"

namespace {

using layout_test::byNo;
using layout_test::chat;
using layout_test::LayoutFixture;

constexpr const char* kIpaPGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";

class LayoutWithFont : public ::testing::Test {
protected:
    void SetUp() override {
        font_ = makeTextMeasurer(kIpaPGothic, 0);
        ASSERT_TRUE(font_->hasDevice()) << "IPAPGothic not found at " << kIpaPGothic;
    }
    TextMeasurer& font() { return *font_; }

private:
    std::unique_ptr<TextMeasurer> font_;
};

TEST_F(LayoutWithFont, MeasuresFromTheFontsAdvancesAndWindowsMetrics) {
    CommentExtent box = measureText(font(), u"御", 18);
    EXPECT_EQ(box.width, 22);  // 24 - 2
    EXPECT_EQ(box.height, 26);
    // "8", あ, あ, "8" (the third empty line is skipped): widest あ 22 - 2, 4 lines of 26.
    box = measureText(font(), u"8\n\n\n\n8", 18);
    EXPECT_EQ(box.width, 20);
    EXPECT_EQ(box.height, 104);
    // The TAB becomes U+3000 U+3000 U+0020: 15 + 24 + 24 + 6 + 15 = 84, less 2.
    box = measureText(font(), u"1\t1", 18);
    EXPECT_EQ(box.width, 82);
    EXPECT_EQ(box.height, 26);
    // 27 pt: 3 * 27 - 2 by 39.
    box = measureText(font(), u"www", 27);
    EXPECT_EQ(box.width, 79);
    EXPECT_EQ(box.height, 39);
}

TEST_F(LayoutWithFont, AutomaticSizeFromThe18PointLine) {
    // p = trunc(round2(26 * height / 384)); size = p * 72 / 96.
    // 384: 26 -> 19 (19.5). 512: 34.67 -> 34 -> 25 (25.5). 720: 48.75 -> 48 -> 36.
    EXPECT_EQ(defaultFontSize(font(), 384), 19);
    EXPECT_EQ(defaultFontSize(font(), 512), 25);
    EXPECT_EQ(defaultFontSize(font(), 720), 36);
}

TEST_F(LayoutWithFont, PlacesCommentsByTheirMeasuredBoxes) {
    // Base 18 on 512 x 384 at 29.97 fps (D = 83.916).
    // 1: "www" big: 27 pt, 79 x 39, speed trunc(round2(591 / 83.916 = 7.043)) = 7, y 0.
    // 2: "御": 18 pt, 22 x 26, speed trunc(round2(534 / 83.916 = 6.364)) = 6; its start
    //    rectangle [512, 534) x [0, 26) overlaps 1's [512, 591) x [0, 39): y = 39.
    // 3: "8" ue: 13 x 26, x = 256 - 13 / 2 = 250, y 0.
    // 4: "8" shita: y = 384 - 26 = 358, x 250.
    LayoutFixture f;
    f.measurer = &font();
    ChatList chats{chat(0, u"www", "big", 1), chat(0, u"御", "", 2), chat(0, u"8", "ue", 3),
                   chat(0, u"8", "shita", 4)};
    f.run(chats);
    EXPECT_EQ(byNo(chats, 1).fontSize, 27);
    EXPECT_EQ(byNo(chats, 1).speed, 7);
    EXPECT_EQ(byNo(chats, 1).y, 0);
    EXPECT_EQ(byNo(chats, 2).fontSize, 18);
    EXPECT_EQ(byNo(chats, 2).speed, 6);
    EXPECT_EQ(byNo(chats, 2).y, 39);
    EXPECT_EQ(byNo(chats, 3).x, 250);
    EXPECT_EQ(byNo(chats, 3).y, 0);
    EXPECT_EQ(byNo(chats, 4).x, 250);
    EXPECT_EQ(byNo(chats, 4).y, 358);
}

TEST_F(LayoutWithFont, AutomaticSizeDrivesTheLayout) {
    // Automatic size 19 at 384 px: "御" is 25 - 2 = 23 by 27, speed
    // trunc(round2(535 / 83.916 = 6.375)) = 6; the second at the same time goes to y = 27.
    LayoutFixture f;
    f.measurer = &font();
    f.fontSizePt = 0;
    ChatList chats{chat(500, u"御", "", 1), chat(500, u"御", "", 2)};
    f.run(chats);
    EXPECT_EQ(f.fontSizePt, 19);
    EXPECT_EQ(byNo(chats, 1).fontSize, 19);
    EXPECT_EQ(byNo(chats, 1).speed, 6);
    EXPECT_EQ(byNo(chats, 1).y, 0);
    EXPECT_EQ(byNo(chats, 2).y, 27);
}

}  // namespace
