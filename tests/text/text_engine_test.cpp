#include "text/text_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_folder.h"
#include "text_test_support.h"

namespace {

// Expected numbers below are worked out by hand from IPAPGothic's own tables (ipagp.ttf, read
// once with FreeType): units per em 2048; OS/2 usWinAscent 1802, usWinDescent 401; advance
// widths in font units: 御 2048, あ 1884, A 1305, b 1278, c 1114, H 1536, e 1165, l 553,
// o 1237, U+3000 2048. The face has no kern or GPOS table and no hdmx table.
//
// At 18 pt and 96 dpi the em is 18 * 96 / 72 = 24 px; the scale is 24 / 2048 = 0.75 of a
// 1/64 pixel per unit. A value in units becomes units * 0.75 in 1/64 px (rounded), then
// whole pixels (rounded). At 27 pt the em is 36 px and the scale 1.125.
using TextEngineTest = IpaPGothicTest;

TEST_F(TextEngineTest, EmHeightIsPointsAtTheResolutionRounded) {
    EXPECT_EQ(engine->dpi(), 96);
    EXPECT_EQ(engine->emPixels(18), 24);
    EXPECT_EQ(engine->emPixels(27), 36);
    EXPECT_EQ(engine->emPixels(10), 13);  // 13.33
    EXPECT_EQ(engine->emPixels(11), 15);  // 14.67
    EXPECT_EQ(engine->emPixels(0), 1);    // never a zero-sized face
    // At 108 dpi one point is 1.5 px: halves round up.
    auto at108 = TextEngine::open(kIpaPGothic, 0, 108);
    ASSERT_TRUE(at108);
    EXPECT_EQ((*at108)->emPixels(1), 2);
    EXPECT_EQ((*at108)->emPixels(3), 5);
    // No resolution is taken as the screen's usual 96.
    EXPECT_EQ((*TextEngine::open(kIpaPGothic, 0, 0))->dpi(), 96);
}

TEST_F(TextEngineTest, LineHeightIsWindowsAscentPlusDescentEachRounded) {
    // 18 pt: ascent 1802 * 0.75 = 1351.5 -> 1352/64 = 21.13 -> 21; descent 401 * 0.75 =
    // 300.75 -> 301/64 = 4.70 -> 5; 21 + 5 = 26 (not the em of 24: the face's Windows
    // descent reaches below its em box).
    EXPECT_EQ(engine->lineExtent(u"御", 18).cy, 26);
    // 27 pt: 1802 * 1.125 = 2027.25 -> 2027/64 = 31.67 -> 32; 401 * 1.125 = 451.13 -> 451/64
    // = 7.05 -> 7; 39.
    EXPECT_EQ(engine->lineExtent(u"御", 27).cy, 39);
    // 12 pt (16 px, scale 0.5): 901/64 = 14.08 -> 14; 200.5 -> 201/64 = 3.14 -> 3; 17.
    EXPECT_EQ(engine->lineExtent(u"御", 12).cy, 17);
    // The height is the font's, whatever the line holds, even nothing.
    EXPECT_EQ(engine->lineExtent(u"", 18).cy, 26);
    EXPECT_EQ(engine->lineExtent(u"", 18).cx, 0);
    EXPECT_EQ(engine->lineExtent(u"Abc", 18).cy, 26);
}

TEST_F(TextEngineTest, WidthIsTheSumOfWholePixelAdvances) {
    EXPECT_EQ(engine->lineExtent(u"御", 18).cx, 24);  // 2048 * 0.75 = 1536/64 = 24
    EXPECT_EQ(engine->lineExtent(u"御", 27).cx, 36);
    EXPECT_EQ(engine->lineExtent(u"あ", 18).cx, 22);  // 1413/64 = 22.08
    // "o": 1237 * 0.75 = 927.75 -> 928/64 = 14.5 -> 15. Rounded in one step 1237 * 24 / 2048
    // = 14.496 would give 14; the rasteriser's 1/64-pixel step decides.
    EXPECT_EQ(engine->lineExtent(u"o", 18).cx, 15);
    // A 15 (978.75 -> 979 -> 15.30), b 15 (958.5 -> 959 -> 14.98), c 13 (835.5 -> 836 -> 13.06).
    EXPECT_EQ(engine->lineExtent(u"Abc", 18).cx, 43);
    // 27 pt: A 1468.13 -> 1468 -> 22.94 -> 23, b 1437.75 -> 1438 -> 22.47 -> 22,
    // c 1253.25 -> 1253 -> 19.58 -> 20.
    EXPECT_EQ(engine->lineExtent(u"Abc", 27).cx, 65);
    // H 18 (1152/64), e 14 (873.75 -> 874 -> 13.66), l 6 (414.75 -> 415 -> 6.48), l 6, o 15.
    EXPECT_EQ(engine->lineExtent(u"Hello", 18).cx, 59);
    // Mixed: 24 + 22 + 15 + 15 + 13. Whole-pixel advances add up with no drift.
    EXPECT_EQ(engine->lineExtent(u"御あAbc", 18).cx, 89);
    // The TAB replacement of the comments: two ideographic spaces and a space (553 -> 6).
    EXPECT_EQ(engine->lineExtent(u"\u3000\u3000 ", 18).cx, 24 + 24 + 6);
}

// IPAPGothic has no Hebrew and no emoji; fontconfig's closest font holding them here is
// DejaVu Sans (units per em 2048): alef 1369 units -> 1026.75 -> 1027/64 = 16.05 -> 16;
// U+1F600 2135 units -> 1601.25 -> 1601/64 = 25.02 -> 25.
TEST_F(TextEngineTest, MissingCharactersAreMeasuredInAFallbackFace) {
    EXPECT_EQ(engine->lineExtent(u"\u05D0", 18).cx, 16);
    EXPECT_EQ(engine->lineExtent(u"\U0001F600", 18).cx, 25);  // a surrogate pair
    EXPECT_EQ(engine->lineExtent(u"御\u05D0御", 18).cx, 24 + 16 + 24);
    // The line height stays the comment font's.
    EXPECT_EQ(engine->lineExtent(u"\u05D0", 18).cy, 26);
}

TEST_F(TextEngineTest, LoneSurrogateIsMeasuredAsTheReplacementCharacter) {
    const TextExtent lone = engine->lineExtent(u"a\xD800z", 18);
    const TextExtent replaced = engine->lineExtent(u"a\uFFFDz", 18);
    EXPECT_EQ(lone.cx, replaced.cx);
    EXPECT_GT(lone.cx, engine->lineExtent(u"az", 18).cx);
}

TEST_F(TextEngineTest, FacesAndSizesAreLoadedOnce) {
    EXPECT_EQ(engine->stats().faceLoads, 1);
    EXPECT_EQ(engine->stats().fallbackSorts, 0);
    const std::u16string lines[] = {u"御あAbc", u"ｗｗｗ草生える", u"8888888888", u"御\u05D0",
                                    u"\U0001F600 hello"};
    for (int round = 0; round < 200; ++round) {
        for (const auto& line : lines) {
            engine->lineExtent(line, 18);
            engine->lineExtent(line, 27);
        }
    }
    engine->renderComment(u"御あ\n\u05D0", 18, 2);
    const TextEngineStats stats = engine->stats();
    // IPAPGothic, DejaVu Sans and the colour emoji font, each of them at 24 and 36 px.
    const int faces =
        std::filesystem::exists("/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf") ? 3 : 2;
    EXPECT_EQ(stats.faceLoads, faces);
    EXPECT_EQ(stats.sizeLoads, 2 * faces);
    EXPECT_EQ(stats.fallbackSorts, 1);  // the fallback list was asked for once
}

TEST(TextEngineOpen, AnUnloadableFileIsAFailureThatSaysWhy) {
    TestTempFolder folder;
    const auto notAFont = folder / "font.ttf";
    writeBytes(notAFont, "not a font\n");
    const std::pair<std::string, std::string> cases[] = {
        {"/nonexistent/lumivox/font.ttf",
         "/nonexistent/lumivox/font.ttf (face 0): the file cannot be read"},
        {"", " (face 0): no such font"},
    };
    for (const auto& [path, reason] : cases) {
        const auto engine = TextEngine::open(path, 0);
        ASSERT_FALSE(engine) << path;
        EXPECT_EQ(engine.error(), reason);
    }
    // FreeType's own words: for a file that is no font, and a face the file does not hold.
    for (const auto& [path, face] : {std::pair{notAFont.string(), 0}, std::pair{kIpaPGothic, 5}}) {
        const auto engine = TextEngine::open(path, face);
        ASSERT_FALSE(engine) << path;
        const std::string named = path + " (face " + std::to_string(face) + "): ";
        EXPECT_EQ(engine.error().rfind(named, 0), 0u) << engine.error();
        EXPECT_GT(engine.error().size(), named.size() + 3) << engine.error();
        EXPECT_EQ(engine.error().find("FreeType error"), std::string::npos) << engine.error();
    }
}

TEST(MakeTextMeasurer, FallsBackToTheNoDeviceBox) {
    const auto missing = makeTextMeasurer("/nonexistent/lumivox/font.ttf", 0, 96);
    EXPECT_FALSE(missing->hasDevice());
    EXPECT_EQ(missing->dpi(), 96);
    const TextExtent box = missing->lineExtent(u"御御御御御御御御", 30);
    EXPECT_EQ(box.cx, 40);
    EXPECT_EQ(box.cy, 24);

    const auto real = makeTextMeasurer(kIpaPGothic, 0, 96);
    EXPECT_TRUE(real->hasDevice());
    EXPECT_EQ(real->lineExtent(u"御", 18).cx, 24);
}

}  // namespace
