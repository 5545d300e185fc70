// What the frame filter draws: where, when, in which colour, with which outline.

#include <gtest/gtest.h>

#include <memory>

#include "support/missing_tool.h"
#include "support/scoped_environment.h"
#include "text/comment_style.h"
#include "text/text_engine.h"
#include "velmora_harness.h"

namespace velmora_test {
namespace {

TextExtent extentOf(const std::u16string& text, int size) {
    auto engine = TextEngine::open(std::string(kFontFolder) + kFontFile, 0, 96);
    return engine ? (*engine)->lineExtent(text, size) : TextExtent{};
}

Block block(const char* position, const char* x, const char* y, const char* size, const char* text,
            const char* colour = "FF FF FF") {
    Block b;
    b.position = position;
    b.x = x;
    b.y = y;
    b.fontSize = size;
    b.text = text;
    b.colour = colour;
    return b;
}

TEST_F(VelmoraTest, RedTopCommentIsRedInsideItsBoxOnItsFramesOnly) {
    // Solid squares in pure red, big enough for whole 2 x 2 chroma blocks inside.
    const TextExtent extent = extentOf(u"■■■", 36);
    ASSERT_GT(extent.cx, 0);
    Block red = block("1", "40", "60", "36", "■■■", "FF 00 00");
    red.startFrame = "5";
    red.endFrame = "9";
    auto filter = openOn({red});
    // The measured box of the layout (width less the 2-pixel correction); a point inside the
    // first square.
    const int right = 40 + extent.cx - 2, bottom = 60 + extent.cy;
    const int x = 40 + extent.cx / 6, y = 60 + extent.cy / 2;
    for (int64_t index = 3; index <= 10; ++index) {
        SCOPED_TRACE("frame " + std::to_string(index));
        const TestFrame frame = filter->draw(index);
        const InkBox ink = findInk(frame);
        if (index < 5 || index >= 9) {
            EXPECT_TRUE(ink.empty());
            continue;
        }
        // Ink only within the box and the room of its outline.
        EXPECT_GE(ink.left, 40 - 5);
        EXPECT_GE(ink.top, 60 - 5);
        EXPECT_LE(ink.right, right + 5);
        EXPECT_LE(ink.bottom, bottom + 5);
        // Most of the box reads as red when decoded back to RGB: BT.601 limited-range red.
        EXPECT_GT(countRed(frame, 40, 60, right, bottom), extent.cx * extent.cy / 4);
        EXPECT_NEAR(frame.luma(x, y), 82, 1);
        EXPECT_NEAR(frame.cb(x, y), 90, 1);
        EXPECT_NEAR(frame.cr(x, y), 240, 1);
    }
    // A BT.709 full-range frame gets that matrix's red: Y' 54, Cb 99, Cr 255.
    TestFrame full(320, 240, 128, 128);
    ASSERT_EQ(filter->process(full, 6, 709, 1), 0);
    EXPECT_GT(countRed(full, 40, 60, right, bottom, 709, true), extent.cx * extent.cy / 4);
    EXPECT_NEAR(full.luma(x, y), 54, 1);
    EXPECT_NEAR(full.cb(x, y), 99, 1);
    EXPECT_NEAR(full.cr(x, y), 255, 1);
}

TEST_F(VelmoraTest, ScrollingCommentMovesLeftBySpeedPixelsPerFrame) {
    Block scrolling = block("0", "-95", "100", "24", "■あ", "FF 00 00");
    scrolling.endFrame = "200";
    scrolling.speed = "7";
    auto filter = openOn({scrolling});

    TestFrame previous = filter->draw(10);
    // It entered at the right edge (x = 320 on frame 0) and moved 70 pixels.
    EXPECT_NEAR(findInk(previous).left, 320 - 70, 4);
    for (int64_t index = 11; index <= 14; ++index) {
        SCOPED_TRACE("frame " + std::to_string(index));
        const TestFrame frame = filter->draw(index);
        const InkBox ink = findInk(frame), before = findInk(previous);
        ASSERT_FALSE(ink.empty());
        EXPECT_EQ((std::vector{ink.left + 7, ink.right + 7, ink.top, ink.pixels}),
                  (std::vector{before.left, before.right, before.top, before.pixels}));
        // Every luma value moved with it, not just the edges.
        for (int y = ink.top; y < ink.bottom; ++y) {
            for (int x = ink.left; x < ink.right; ++x) {
                ASSERT_EQ(frame.luma(x, y), previous.luma(x + 7, y)) << x << "," << y;
            }
        }
        // An odd speed changes the chroma grid's parity every frame; red stays red on both.
        EXPECT_GT(countRed(frame, ink.left, ink.top, ink.right, ink.bottom), 100);
        previous = frame;
    }
}

TEST_F(VelmoraTest, CommentsPartlyOutsideTheFrameAreClipped) {
    // Odd sizes put the last chroma column and row half outside the picture.
    const int width = 161, height = 121;
    Block topLeft = block("1", "-30", "-12", "36", "■■■");
    Block bottomRight = block("2", "140", "110", "36", "■■■");
    Block scrolling = block("0", "-30", "50", "36", "■■■■■■■■", "FF 00 00");
    scrolling.speed = "13";
    for (Block* b : {&topLeft, &bottomRight, &scrolling}) {
        b->endFrame = "50";
    }
    auto filter = openOn({topLeft, bottomRight, scrolling}, width, height);
    for (int64_t index = 0; index < 50; ++index) {
        const InkBox ink = findInk(filter->draw(index, width, height));  // guards checked there
        EXPECT_EQ((std::vector{ink.left, ink.top, ink.right, ink.bottom}),
                  (std::vector{0, 0, width, height}))
            << "frame " << index;
    }
}

TEST_F(VelmoraTest, OutlineIsDarkAroundLightTextAndLightAroundBlackText) {
    auto filter = openOn(
        {block("1", "10", "10", "24", "あ"), block("1", "10", "120", "24", "あ", "00 00 00")});
    // White text on a white picture shows by its near-black outline; black text on a black
    // picture by its light one.
    TestFrame light(320, 240, 235, 128), dark(320, 240, 16, 128);
    ASSERT_EQ(filter->process(light, 0), 0);
    ASSERT_EQ(filter->process(dark, 1), 0);
    int darkPixels = 0, lightPixels = 0;
    for (int x = 0; x < 100; ++x) {
        for (int y = 0; y < 100; ++y) {
            darkPixels += light.luma(x, y) < 40 ? 1 : 0;
            lightPixels += dark.luma(x, y + 110) > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(darkPixels, 30);
    EXPECT_GT(lightPixels, 30);
}

TEST_F(VelmoraTest, FramesInAnyOrderDrawWhatThatFrameShows) {
    Block scrolling = block("0", "0", "40", "24", "■■");
    scrolling.startFrame = "10";
    scrolling.endFrame = "40";
    scrolling.speed = "5";
    writeOverlay({scrolling});
    // Reference: frame 22 reached in order.
    std::unique_ptr<TestFrame> reference;
    {
        auto filter = open();
        ASSERT_TRUE(filter->ok()) << filter->error();
        for (int64_t index = 0; index < 22; ++index) {
            filter->draw(index);
        }
        reference = std::make_unique<TestFrame>(filter->draw(22));
    }
    ASSERT_FALSE(findInk(*reference).empty());

    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();
    for (int64_t index : {int64_t{30}, int64_t{5}, INT64_MAX, int64_t{12}, INT64_MIN, int64_t{-3},
                          int64_t{45}, int64_t{22}}) {
        const TestFrame frame = filter->draw(index);
        EXPECT_EQ(findInk(frame).empty(), index < 10 || index >= 40) << "frame " << index;
        if (index == 22) {
            EXPECT_TRUE(frame == *reference);
        }
    }
}

// Later comments are drawn over earlier ones. The values after the texts of data.ini: owner=1
// is drawn above later comments, opacity=128 at half strength, face=INDEX:PATH in that font.
TEST_F(VelmoraTest, LaterCommentsAndExtraDrawingValuesSetLayerOpacityAndFace) {
    Block under = block("1", "20", "20", "48", "■", "00 FF 00");
    Block over = block("1", "20", "20", "48", "■", "FF 00 00");
    over.startFrame = "1";
    const auto drawWith = [&](const std::vector<Block>& blocks, const std::string& values) {
        return drawOverlay(blocks, 2, values);
    };
    // The red one starts later and covers the green one, whatever the file's order; as the
    // owner's, the green one covers the red one.
    EXPECT_GT(countRed(drawWith({over, under}, ""), 0, 0, 320, 240), 500);
    EXPECT_LT(countRed(drawWith({under, over}, "0 owner=1"), 0, 0, 320, 240), 50);
    EXPECT_GT(countRed(drawWith({over, under}, "0 owner=1"), 0, 0, 320, 240), 500);

    Block white = block("1", "20", "20", "48", "■");
    const TestFrame opaque = drawWith({white}, "5 opacity=128");  // no such block: ignored
    const TestFrame half = drawWith({white}, "0 opacity=128");
    const int x = 20 + extentOf(u"■", 48).cx / 2, y = 20 + extentOf(u"■", 48).cy / 2;
    EXPECT_NEAR(opaque.luma(x, y), 235, 2);
    EXPECT_NEAR(half.luma(x, y), (235 + kGreyY) / 2, 3);

    Block text = block("1", "20", "20", "40", "永遠");
    const std::string mincho = "/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf";
    if (!fs::exists(mincho)) {
        SKIP_FOR_MISSING_TOOL("fonts-ipafont-mincho");
    }
    const TestFrame gothic = drawWith({text}, "0 face=0:/no/such/font.ttf");
    const TestFrame serif = drawWith({text}, "0 face=0:" + mincho);
    EXPECT_TRUE(gothic == drawWith({text}, "0 opacity=255"));  // unloadable: the header's font
    EXPECT_FALSE(serif == gothic);
    EXPECT_FALSE(findInk(serif).empty());
}

// A white comment with an emoji: the emoji keeps its own colours (the grinning face is yellow)
// and, unlike the text, gets no outline: its ink is one em high at most.
TEST_F(VelmoraTest, AnEmojiIsDrawnInItsOwnColoursWithoutAnOutline) {
    if (!fs::exists("/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf")) {
        SKIP_FOR_MISSING_TOOL("fonts-noto-color-emoji");
    }
    const int before = extentOf(u"あ", 36).cx;
    const TextExtent whole = extentOf(u"あ\U0001F600", 36);
    const std::vector<Block> blocks{block("1", "40", "60", "36", "あ\U0001F600")};
    const TestFrame frame = drawOverlay(blocks, 0, "0 owner=0");
    // The emoji's columns: right of あ and its outline, up to the measured end of the line.
    const int left = 40 + before + 4, right = 40 + whole.cx;
    int yellow = 0, top = INT32_MAX, bottom = INT32_MIN, strongX = 0, strongY = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = left; x < right; ++x) {
            const Rgb c = frame.rgb(x, y);
            yellow += c.r > 180 && c.g > 140 && c.b < 100;
            const int change = std::abs(frame.luma(x, y) - kGreyY);
            if (change > 12) {
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
            if (change > std::abs(frame.luma(strongX, strongY) - kGreyY)) {
                strongX = x, strongY = y;
            }
        }
    }
    constexpr int kEm = 48;  // 36 pt at 96 dpi
    EXPECT_GT(yellow, kEm * kEm / 4);
    EXPECT_GE(top, 60);
    EXPECT_LE(bottom, 60 + whole.cy);
    EXPECT_LE(bottom - top, kEm + 1) << "no outline above and below the emoji";
    // At half opacity the emoji fades with its comment.
    const TestFrame half = drawOverlay(blocks, 0, "0 opacity=128");
    EXPECT_NEAR(half.luma(strongX, strongY), (frame.luma(strongX, strongY) + kGreyY) / 2.0, 3);
}

// Room for the bitmaps of one standing "■■■■" at 36 points, not of two, as the bitmap ceiling
// of the filters opened while the setting lives.
ScopedEnvironment ceilingForOneSquareRow() {
    auto engine = TextEngine::open(std::string(kFontFolder) + kFontFile, 0, 96);
    const int outline = outlineWidthFor(emPixelsFor(36));
    const CommentBitmap bitmap =
        engine ? (*engine)->renderComment(u"■■■■", 36, outline) : CommentBitmap{};
    // Luma takes 2 bytes a pixel, chroma 3 a 2 x 2 block: 2.75 a pixel; 4 leaves room for one.
    const std::size_t kib = static_cast<std::size_t>(bitmap.width) * bitmap.height * 4 / 1024;
    EXPECT_GT(kib, 0u);
    return ScopedEnvironment("LUMIVOX_COMMENT_BITMAP_KIB", std::to_string(kib));
}

Block squares(const char* y, const char* start, const char* end) {
    Block b = block("1", "0", y, "36", "■■■■");
    b.startFrame = start;
    b.endFrame = end;
    return b;
}

// Rows [top, top + 80) hold ink.
bool inkIn(const TestFrame& frame, int top) {
    return !findInk(frame, top, top + 80).empty();
}

TEST_F(VelmoraTest, ACrowdedFrameDrawsItsOldestCommentsWithinTheBitmapCeiling) {
    const ScopedEnvironment ceiling = ceilingForOneSquareRow();
    // Three comments from frame 0 to 10 (rows 0, 80, 160), two more from 10 to 20 (160, 80).
    auto filter =
        openOn({squares("0", "0", "10"), squares("80", "0", "10"), squares("160", "0", "10"),
                squares("160", "10", "20"), squares("80", "10", "20")});
    testing::internal::CaptureStderr();
    // {frame, ink in rows 0.., 80.., 160..}: the oldest fits; those that did not fit stay
    // away even on later frames; the ceiling's room comes back when the first one ends.
    const struct {
        int64_t frame;
        bool rows[3];
    } cases[] = {{0, {true, false, false}}, {5, {true, false, false}}, {10, {false, false, true}}};
    for (const auto& c : cases) {
        const TestFrame frame = filter->draw(c.frame);
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(inkIn(frame, row * 80), c.rows[row]) << "frame " << c.frame << " row " << row;
        }
    }
    const std::string messages = testing::internal::GetCapturedStderr();
    const std::string warning = "newest comments of crowded frames are not drawn";
    EXPECT_NE(messages.find("velmora: the comments on frame 0 need more than "), std::string::npos)
        << messages;
    EXPECT_EQ(messages.find(warning), messages.rfind(warning)) << "one warning: " << messages;
}

TEST_F(VelmoraTest, AScrollingCommentGivesUpItsBitmapOnceItHasLeftTheFrame) {
    const ScopedEnvironment ceiling = ceilingForOneSquareRow();
    // Gone over the left edge after some 13 frames, shown until frame 100; a standing comment
    // from frame 20 needs the room its bitmap held.
    Block scrolling = squares("0", "0", "100");
    scrolling.position = "0";
    scrolling.speed = "40";
    auto filter = openOn({scrolling, squares("160", "20", "30")});
    EXPECT_TRUE(inkIn(filter->draw(1), 0));
    EXPECT_FALSE(inkIn(filter->draw(19), 0));
    const TestFrame later = filter->draw(20);
    EXPECT_TRUE(inkIn(later, 160));
}

}  // namespace
}  // namespace velmora_test
