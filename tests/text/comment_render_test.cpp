#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>

#include "support/missing_tool.h"
#include "text/comment_lines.h"
#include "text/glyph_rasterizer.h"
#include "text_test_support.h"

namespace {

const char* kColourEmojiFont = "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf";
constexpr int kLineHeight18 = 26;  // IPAPGothic's line at 18 pt (see text_engine_test.cpp)

// Coverage of a plane at (x, y) in the comment's own coordinates (0, 0 = its box's corner).
int at(const CommentBitmap& bitmap, const std::vector<uint8_t>& plane, int x, int y) {
    const int col = x - bitmap.originX;
    const int row = y - bitmap.originY;
    if (col < 0 || row < 0 || col >= bitmap.width || row >= bitmap.height) {
        return 0;
    }
    return plane[static_cast<size_t>(row) * bitmap.width + col];
}

using CommentRenderTest = IpaPGothicTest;

// The lines as one text: "|" between lines, "_" for a blank line, "?" for an empty non-blank.
std::u16string linesOf(std::u16string_view text) {
    std::u16string joined;
    for (const CommentLine& line : splitCommentLines(text)) {
        joined.append(joined.empty() ? u"" : u"|")
            .append(line.blank          ? u"_"
                    : line.text.empty() ? u"?"
                                        : line.text);
    }
    return joined;
}

TEST(SplitCommentLines, KeepsAtMostTwoEmptyLinesInARowAndAnEmptyTextIsOneBlankLine) {
    // The third empty line in a row takes no room; a non-empty line starts the count again.
    EXPECT_EQ(linesOf(u"a\n\n\n\nb\n\nc"), u"a|_|_|b|_|c");
    EXPECT_EQ(linesOf(u""), u"_");
    EXPECT_EQ(linesOf(u"a\n"), u"a|_");
    EXPECT_EQ(linesOf(u"\n\n\n\n\n"), u"_|_");
}

TEST_F(CommentRenderTest, GlyphsStandAtTheMeasuredAdvances) {
    // The second 御 is the first one moved right by exactly the measured width of 御; after an
    // "o" (15 px by the 1/64-pixel rounding) it stands at 15.
    const CommentBitmap one = engine->renderComment(u"御", 18, 0);
    const CommentBitmap two = engine->renderComment(u"御御", 18, 0);
    const CommentBitmap afterO = engine->renderComment(u"o御", 18, 0);
    const int advance = engine->lineExtent(u"御", 18).cx;
    const int oAdvance = engine->lineExtent(u"o", 18).cx;
    const InkBox glyph = inkBox(one, one.fill);
    ASSERT_FALSE(glyph.empty());
    ASSERT_LE(glyph.right, advance);  // 御 does not overhang its box, so the copies don't touch
    int inked = 0;
    for (int y = -2; y < kLineHeight18 + 2; ++y) {
        for (int x = glyph.left; x < glyph.right; ++x) {
            const int expected = at(one, one.fill, x, y);
            EXPECT_EQ(at(two, two.fill, x + advance, y), expected) << x << "," << y;
            EXPECT_EQ(at(afterO, afterO.fill, x + oAdvance, y), expected) << x << "," << y;
            inked += expected != 0;
        }
    }
    EXPECT_GT(inked, 50);
}

TEST_F(CommentRenderTest, LinesStandOneLineHeightApart) {
    const CommentBitmap bitmap = engine->renderComment(u"御あ\n御あ", 18, 0);
    EXPECT_GE(bitmap.originY + bitmap.height, 2 * kLineHeight18);
    const InkBox first = inkBox(bitmap, bitmap.fill, INT_MIN, kLineHeight18);
    const InkBox second = inkBox(bitmap, bitmap.fill, kLineHeight18, INT_MAX);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    // Two separate bands, each inside its own line.
    EXPECT_GE(first.top, 0);
    EXPECT_LT(first.bottom, second.top);
    EXPECT_LE(second.bottom, 2 * kLineHeight18);
    // The second line is the first, one line height lower, pixel for pixel.
    for (int y = first.top; y < first.bottom; ++y) {
        for (int x = first.left; x < first.right; ++x) {
            ASSERT_EQ(at(bitmap, bitmap.fill, x, y + kLineHeight18), at(bitmap, bitmap.fill, x, y))
                << x << "," << y;
        }
    }
}

TEST_F(CommentRenderTest, EmptyLinesTakeRoomButDrawNothing) {
    // 御, two empty lines that count, a third that does not, then 御 on the fourth line.
    const CommentBitmap bitmap = engine->renderComment(u"御\n\n\n\n御", 18, 0);
    EXPECT_EQ(bitmap.originY + bitmap.height, 4 * kLineHeight18);
    EXPECT_TRUE(inkBox(bitmap, bitmap.fill, kLineHeight18, 3 * kLineHeight18).empty());
    const InkBox first = inkBox(bitmap, bitmap.fill, INT_MIN, kLineHeight18);
    const InkBox last = inkBox(bitmap, bitmap.fill, 3 * kLineHeight18, INT_MAX);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.top, first.top + 3 * kLineHeight18);

    // An empty text is the box of "あ" with no ink.
    const CommentBitmap empty = engine->renderComment(u"", 18, 2);
    EXPECT_GE(empty.originX + empty.width, engine->lineExtent(u"あ", 18).cx);
    EXPECT_TRUE(inkBox(empty, empty.outline).empty());
}

// The bitmap holds the lines' boxes and the outline around the glyphs, none of it cut at the
// bitmap's edges: the outline reaches its width beyond the glyphs on every side.
TEST_F(CommentRenderTest, OutlineCoversTheGlyphsAndReachesOutlineWidthBeyond) {
    constexpr int kOutline = 3;
    const CommentBitmap bitmap = engine->renderComment(u"御あAbc\n草", 18, kOutline);
    EXPECT_LE(bitmap.originX, -1);
    EXPECT_LE(bitmap.originY, 0);
    EXPECT_GE(bitmap.originX + bitmap.width, engine->lineExtent(u"御あAbc", 18).cx);
    EXPECT_GE(bitmap.originY + bitmap.height, 2 * kLineHeight18);
    ASSERT_EQ(bitmap.fill.size(), static_cast<size_t>(bitmap.width) * bitmap.height);
    ASSERT_EQ(bitmap.outline.size(), bitmap.fill.size());
    for (size_t i = 0; i < bitmap.fill.size(); ++i) {
        ASSERT_GE(bitmap.outline[i], bitmap.fill[i]) << i;
    }
    const InkBox fill = inkBox(bitmap, bitmap.fill);
    const InkBox outline = inkBox(bitmap, bitmap.outline);
    for (int reach : {fill.left - outline.left, outline.right - fill.right, fill.top - outline.top,
                      outline.bottom - fill.bottom}) {
        EXPECT_GE(reach, kOutline - 1);
        EXPECT_LE(reach, kOutline + 1);
    }
    // Without an outline width the outline plane is the glyphs themselves.
    const CommentBitmap plain = engine->renderComment(u"御あAbc", 18, 0);
    EXPECT_EQ(plain.outline, plain.fill);
}

TEST_F(CommentRenderTest, FallbackCharactersAreDrawn) {
    // Hebrew alef comes from a fallback face: ink, not an empty box or nothing.
    const std::u16string alef = u"\u05D0";
    const CommentBitmap bitmap = engine->renderComment(alef, 18, 0);
    const InkBox ink = inkBox(bitmap, bitmap.fill);
    ASSERT_FALSE(ink.empty());
    EXPECT_LE(ink.right, engine->lineExtent(alef, 18).cx + 2);
    EXPECT_GT(ink.bottom - ink.top, 8);
    EXPECT_TRUE(bitmap.colour.empty());
}

// Opaque pixels of the colour plane whose channels differ widely: colour, not grey.
int vividPixels(const CommentBitmap& bitmap) {
    int vivid = 0;
    for (size_t i = 0; i + 3 < bitmap.colour.size(); i += 4) {
        const uint8_t* p = &bitmap.colour[i];
        vivid += p[3] > 200 && std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 100;
    }
    return vivid;
}

// After "あ", a character shown as an emoji (by default or asked for with U+FE0F) comes from the
// colour font: one em high inside its line, where the line was measured, in colour and without
// an outline. Shown as text (by default or with U+FE0E) it is an outline glyph as any other.
TEST_F(CommentRenderTest, EmojiAreDrawnInColourOneEmHighWithoutAnOutline) {
    if (!std::filesystem::exists(kColourEmojiFont)) {
        SKIP_FOR_MISSING_TOOL("fonts-noto-color-emoji");
    }
    const struct {
        std::u16string text;
        bool colour;
    } cases[] = {
        {u"あ\U0001F600", true},
        {u"あ\u2764\uFE0F", true},
        {u"あ\u2764", false},
        {u"あ\U0001F600\uFE0E", false},
    };
    for (const auto& c : cases) {
        for (const int size : {18, 36}) {
            SCOPED_TRACE(testing::Message() << c.text.size() << " units at " << size << " pt");
            const int outline = size / 9;
            const CommentBitmap bitmap = engine->renderComment(c.text, size, outline);
            const int before = engine->lineExtent(u"あ", size).cx;
            const TextExtent whole = engine->lineExtent(c.text, size);
            const InkBox fill = inkBox(bitmap, bitmap.fill);
            ASSERT_FALSE(fill.empty());
            if (!c.colour) {
                EXPECT_TRUE(bitmap.colour.empty());
                EXPECT_GT(fill.right, before + 2) << "the symbol is drawn as a glyph";
                continue;
            }
            ASSERT_EQ(bitmap.colour.size(), bitmap.fill.size() * 4);
            const InkBox emoji = colourInkBox(bitmap);
            ASSERT_FALSE(emoji.empty());
            EXPECT_GE(emoji.left, before - 1);
            EXPECT_LE(emoji.right, whole.cx + 1);
            // The picture fills most of its em box, some (the heart) not all of its height.
            EXPECT_LE(emoji.bottom - emoji.top, engine->emPixels(size) + 1);
            EXPECT_GE(emoji.bottom - emoji.top, engine->emPixels(size) * 3 / 4);
            EXPECT_GE(emoji.top, 0);
            EXPECT_LE(emoji.bottom, whole.cy);
            EXPECT_LE(fill.right, before + 1) << "only あ is in the fill";
            EXPECT_LE(inkBox(bitmap, bitmap.outline).right, before + outline + 1)
                << "no outline around the emoji";
            EXPECT_GT(vividPixels(bitmap), size * size / 4);
        }
    }
}

// Resampling keeps a flat colour flat and each part of the picture in its place, downwards and
// upwards.
TEST(ColourImageResampling, KeepsColoursAndPlaces) {
    ColourImage image;
    image.width = image.rows = 8;
    image.left = 4;
    image.top = 8;
    image.rgba.assign(8 * 8 * 4, 0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 4; ++x) {  // left half opaque (40, 80, 120), right half clear
            uint8_t* p = &image.rgba[(y * 8 + x) * 4];
            p[0] = 40, p[1] = 80, p[2] = 120, p[3] = 255;
        }
    }
    for (const double factor : {0.25, 0.5, 0.75, 2.0}) {
        SCOPED_TRACE(factor);
        const ColourImage out = resampled(image, factor);
        const int size = static_cast<int>(8 * factor);
        ASSERT_EQ(out.width, size);
        ASSERT_EQ(out.rows, size);
        EXPECT_EQ(out.left, static_cast<int>(4 * factor));
        EXPECT_EQ(out.top, static_cast<int>(8 * factor));
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const uint8_t* p = &out.rgba[(y * size + x) * 4];
                const double covered = std::clamp(size / 2.0 - x, 0.0, 1.0);
                EXPECT_NEAR(p[3], 255 * covered, 1) << x << "," << y;
                EXPECT_NEAR(p[0], 40 * covered, 1) << x << "," << y;
                EXPECT_NEAR(p[2], 120 * covered, 1) << x << "," << y;
            }
        }
    }
}

TEST_F(CommentRenderTest, AbsurdlyLargeCommentIsNotMade) {
    // 1000 characters at 3000 pt (an em of 4000 px): a box of about 4 million by 4 thousand
    // pixels. Nothing is drawn and nothing is allocated for it; the engine stays usable.
    const std::u16string text(1000, u'御');
    const CommentBitmap huge = engine->renderComment(text, 3000, 2);
    EXPECT_EQ(huge.width, 0);
    EXPECT_EQ(huge.height, 0);
    EXPECT_TRUE(huge.fill.empty());
    const CommentBitmap normal = engine->renderComment(u"御", 18, 2);
    EXPECT_FALSE(inkBox(normal, normal.fill).empty());
}

}  // namespace
