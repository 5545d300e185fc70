// Colour glyphs made of layers (COLR/CPAL, version 0) rather than of bitmap strikes: FreeType
// draws the layers at the size asked for. tests/data/colour-layers.ttf (made by
// make_colour_layers_font.py beside it) has U+1F600 as a red square (left) and a blue square
// (right), each 0.4 em wide and 0.8 em high on the baseline, and 'A' as a plain 0.8 em square.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "text_test_support.h"

namespace {

const std::string kLayeredFont = std::string(LUMIVOX_TEST_DATA) + "/colour-layers.ttf";

// Red, green, blue and alpha of the colour plane at (x, y) in the comment's coordinates.
std::array<int, 4> colourAt(const CommentBitmap& bitmap, int x, int y) {
    const size_t i = (static_cast<size_t>(y - bitmap.originY) * bitmap.width + x - bitmap.originX);
    const uint8_t* p = &bitmap.colour.at(i * 4);
    return {p[0], p[1], p[2], p[3]};
}

// Each layer in its own colour and place, at two sizes, after a plain glyph of the same font:
// the plain glyph is in the fill with its outline, the layered one only in the colour plane.
TEST(LayeredColourGlyphs, AreDrawnLayerByLayerAtTheSizeWithoutAnOutline) {
    auto opened = TextEngine::open(kLayeredFont, 0);
    ASSERT_TRUE(opened) << opened.error();
    TextEngine& engine = **opened;
    for (const int size : {18, 39}) {
        SCOPED_TRACE(size);
        const int em = engine.emPixels(size);
        const int outline = 2;
        const CommentBitmap bitmap = engine.renderComment(u"A\U0001F600", size, outline);
        ASSERT_EQ(bitmap.colour.size(), bitmap.fill.size() * 4) << "no colour plane";

        const InkBox plain = inkBox(bitmap, bitmap.fill);
        const InkBox layered = colourInkBox(bitmap);
        EXPECT_NEAR(plain.left, em / 10, 1);
        EXPECT_NEAR(plain.right, em * 9 / 10, 1) << "only 'A' is in the fill";
        EXPECT_LE(inkBox(bitmap, bitmap.outline).right, plain.right + outline + 1)
            << "no outline around the colour glyph";
        // The colour glyph one advance (one em) on, on the same baseline and as high.
        EXPECT_NEAR(layered.left, em + em / 10, 1);
        EXPECT_NEAR(layered.right, em + em * 9 / 10, 1);
        EXPECT_NEAR(layered.top, plain.top, 1);
        EXPECT_NEAR(layered.bottom, plain.bottom, 1);

        const int middle = (layered.top + layered.bottom) / 2;
        const std::array<int, 4> red{255, 0, 0, 255}, blue{0, 0, 255, 255};
        EXPECT_EQ(colourAt(bitmap, em + em * 3 / 10, middle), red);
        EXPECT_EQ(colourAt(bitmap, em + em * 7 / 10, middle), blue);
        EXPECT_EQ(colourAt(bitmap, em / 2, middle)[3], 0) << "'A' is not in the colour plane";
    }
}

}  // namespace
