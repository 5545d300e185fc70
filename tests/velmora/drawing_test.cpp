// What the frame filter draws: where, when, in which colour, with which outline.

#include <gtest/gtest.h>

#include <memory>

#include "text/text_engine.h"
#include "velmora_harness.h"
#include "velmora_session.h"

namespace velmora_test {
namespace {

std::unique_ptr<TextEngine> openTestFont() {
    return TextEngine::open(std::string(kFontFolder) + kFontFile, 0, 96);
}

// A top comment of solid squares in pure red, big enough for whole 2 x 2 chroma blocks inside.
Block redTopComment() {
    Block b;
    b.position = "1";
    b.x = "40";
    b.y = "60";
    b.startFrame = "5";
    b.endFrame = "9";
    b.colour = "FF 00 00";
    b.fontSize = "36";
    b.text = "■■■";
    return b;
}

TextExtent extentOfSquares() {
    auto engine = openTestFont();
    return engine ? engine->lineExtent(u"■■■", 36) : TextExtent{};
}

TEST_F(VelmoraTest, RedTopCommentIsRedInsideItsBoxOnItsFramesOnly) {
    const TextExtent extent = extentOfSquares();
    ASSERT_GT(extent.cx, 0);
    const Block block = redTopComment();
    writeOverlay({block});
    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();

    for (int64_t index = 3; index <= 10; ++index) {
        TestFrame frame(320, 240);
        frame.fill(kGreyY, kGreyC, kGreyC);
        ASSERT_EQ(filter->process(frame, index), 0);
        const InkBox ink = findInk(frame, kGreyY);
        const bool shown = index >= 5 && index < 9;
        SCOPED_TRACE("frame " + std::to_string(index));
        if (!shown) {
            EXPECT_TRUE(ink.empty());
            continue;
        }
        // The measured box of the layout (width less the 2-pixel correction), with room for
        // the outline around it.
        const int right = 40 + extent.cx - 2, bottom = 60 + extent.cy;
        EXPECT_GE(ink.left, 40 - 5);
        EXPECT_GE(ink.top, 60 - 5);
        EXPECT_LE(ink.right, right + 5);
        EXPECT_LE(ink.bottom, bottom + 5);
        // Solid squares: most of the box reads as red when decoded back to RGB.
        EXPECT_GT(countRed(frame, 40, 60, right, bottom), extent.cx * extent.cy / 4);
        // Inside the first square: BT.601 limited-range red, Y' 82, Cb 90, Cr 240.
        const int x = 40 + extent.cx / 6, y = 60 + extent.cy / 2;
        EXPECT_NEAR(frame.luma(x, y), 82, 1);
        EXPECT_NEAR(frame.cb(x, y), 90, 1);
        EXPECT_NEAR(frame.cr(x, y), 240, 1);
        // Outside the outlined box nothing changed.
        EXPECT_EQ(countRed(frame, 0, 0, 320, 240), countRed(frame, 35, 55, right + 5, bottom + 5));
        EXPECT_TRUE(frame.guardsIntact());
    }
}

TEST_F(VelmoraTest, RedStaysRedInBt709FullRangeFrames) {
    writeOverlay({redTopComment()});
    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();
    TestFrame frame(320, 240);
    frame.fill(128, 128, 128);  // mid grey in full range
    ASSERT_EQ(filter->process(frame, 6, 709, 1), 0);
    EXPECT_GT(countRed(frame, 40, 60, 200, 120, 709, true), 1000);
    // Inside the first square: BT.709 full-range red, Y' 54, Cb 99, Cr 255 (not BT.601's).
    const int x = 40 + extentOfSquares().cx / 6, y = 60 + extentOfSquares().cy / 2;
    EXPECT_NEAR(frame.luma(x, y), 54, 1);
    EXPECT_NEAR(frame.cb(x, y), 99, 1);
    EXPECT_NEAR(frame.cr(x, y), 255, 1);
}

TEST_F(VelmoraTest, ScrollingCommentMovesLeftBySpeedPixelsPerFrame) {
    Block block;
    block.position = "0";
    block.x = "-95";
    block.y = "100";
    block.startFrame = "0";
    block.endFrame = "200";
    block.speed = "7";
    block.colour = "FF 00 00";
    block.fontSize = "24";
    block.text = "■あ";
    writeOverlay({block});
    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();

    TestFrame previous(320, 240);
    previous.fill(kGreyY, kGreyC, kGreyC);
    ASSERT_EQ(filter->process(previous, 10), 0);
    const InkBox first = findInk(previous, kGreyY);
    ASSERT_FALSE(first.empty());
    // It entered at the right edge (x = 320 on frame 0) and moved 70 pixels.
    EXPECT_NEAR(first.left, 320 - 70, 4);
    for (int64_t index = 11; index <= 14; ++index) {
        TestFrame frame(320, 240);
        frame.fill(kGreyY, kGreyC, kGreyC);
        ASSERT_EQ(filter->process(frame, index), 0);
        const InkBox ink = findInk(frame, kGreyY);
        const InkBox before = findInk(previous, kGreyY);
        SCOPED_TRACE("frame " + std::to_string(index));
        EXPECT_EQ(ink.left, before.left - 7);
        EXPECT_EQ(ink.right, before.right - 7);
        EXPECT_EQ(ink.top, before.top);
        EXPECT_EQ(ink.pixels, before.pixels);
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

TEST_F(VelmoraTest, TwoLineCommentDrawsTwoBandsOneLineHeightApart) {
    auto engine = openTestFont();
    ASSERT_TRUE(engine);
    const int lineHeight = engine->lineExtent(u"ー", 36).cy;
    Block block;
    block.position = "1";
    block.x = "20";
    block.y = "30";
    block.fontSize = "36";
    block.colour = "FF FF FF";
    block.text = "ー\nー";
    writeOverlay({block});
    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();
    TestFrame frame(320, 240);
    frame.fill(kGreyY, kGreyC, kGreyC);
    ASSERT_EQ(filter->process(frame, 0), 0);

    // Rows holding white glyph pixels (the outline is dark and does not count).
    std::vector<int> bandTops;
    bool inBand = false;
    for (int y = 0; y < frame.height(); ++y) {
        bool white = false;
        for (int x = 0; x < frame.width() && !white; ++x) {
            white = frame.luma(x, y) > 200;
        }
        if (white && !inBand) {
            bandTops.push_back(y);
        }
        inBand = white;
    }
    ASSERT_EQ(bandTops.size(), 2u);
    EXPECT_EQ(bandTops[1] - bandTops[0], lineHeight);
    EXPECT_GE(bandTops[0], 30);
    EXPECT_LT(bandTops[1], 30 + 2 * lineHeight);
}

TEST_F(VelmoraTest, CommentsPartlyOutsideTheFrameAreClipped) {
    // Odd sizes put the last chroma column and row half outside the picture.
    const int width = 161, height = 121;
    Block topLeft;
    topLeft.x = "-30";
    topLeft.y = "-12";
    topLeft.fontSize = "36";
    topLeft.text = "■■■";
    topLeft.endFrame = "50";
    Block bottomRight = topLeft;
    bottomRight.position = "2";
    bottomRight.x = "140";
    bottomRight.y = "110";
    Block scrolling = topLeft;
    scrolling.position = "0";
    scrolling.y = "50";
    scrolling.speed = "13";
    scrolling.text = "■■■■■■■■";
    scrolling.colour = "FF 00 00";
    writeOverlay({topLeft, bottomRight, scrolling});
    auto filter = open(width, height);
    ASSERT_TRUE(filter->ok()) << filter->error();
    for (int64_t index = 0; index < 50; ++index) {
        TestFrame frame(width, height);
        frame.fill(kGreyY, kGreyC, kGreyC);
        ASSERT_EQ(filter->process(frame, index), 0);
        ASSERT_TRUE(frame.guardsIntact()) << "frame " << index;
        const InkBox ink = findInk(frame, kGreyY);
        EXPECT_EQ(ink.left, 0) << "frame " << index;
        EXPECT_EQ(ink.top, 0) << "frame " << index;
        EXPECT_EQ(ink.right, width) << "frame " << index;
        EXPECT_EQ(ink.bottom, height) << "frame " << index;
    }
}

TEST_F(VelmoraTest, OutlineIsDarkAroundLightTextAndLightAroundBlackText) {
    Block white;
    white.x = "10";
    white.y = "10";
    white.fontSize = "24";
    white.text = "あ";
    Block black = white;
    black.y = "120";
    black.colour = "00 00 00";
    writeOverlay({white, black});
    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();

    // White text on a white picture still shows: its outline is near black.
    TestFrame light(320, 240);
    light.fill(235, 128, 128);
    ASSERT_EQ(filter->process(light, 0), 0);
    int darkPixels = 0, lightPixels = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            darkPixels += light.luma(x, y) < 40 ? 1 : 0;
        }
    }
    EXPECT_GT(darkPixels, 30);

    // Black text on a black picture shows too: its outline is light.
    TestFrame dark(320, 240);
    dark.fill(16, 128, 128);
    ASSERT_EQ(filter->process(dark, 1), 0);
    for (int y = 110; y < 200; ++y) {
        for (int x = 0; x < 100; ++x) {
            lightPixels += dark.luma(x, y) > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(lightPixels, 30);
}

TEST_F(VelmoraTest, FramesInAnyOrderDrawWhatThatFrameShows) {
    Block block;
    block.position = "0";
    block.y = "40";
    block.startFrame = "10";
    block.endFrame = "40";
    block.speed = "5";
    block.fontSize = "24";
    block.text = "■■";
    writeOverlay({block});

    // Reference: frame 22 reached in order.
    TestFrame reference(320, 240);
    {
        auto filter = open();
        ASSERT_TRUE(filter->ok()) << filter->error();
        for (int64_t index = 0; index < 22; ++index) {
            TestFrame frame(320, 240);
            frame.fill(kGreyY, kGreyC, kGreyC);
            ASSERT_EQ(filter->process(frame, index), 0);
        }
        reference.fill(kGreyY, kGreyC, kGreyC);
        ASSERT_EQ(filter->process(reference, 22), 0);
    }
    ASSERT_FALSE(findInk(reference, kGreyY).empty());

    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();
    const int64_t order[] = {30, 5, INT64_MAX, 12, INT64_MIN, -3, 45, 22};
    for (int64_t index : order) {
        TestFrame frame(320, 240);
        frame.fill(kGreyY, kGreyC, kGreyC);
        ASSERT_EQ(filter->process(frame, index), 0);
        const bool shown = index >= 10 && index < 40;
        EXPECT_EQ(findInk(frame, kGreyY).empty(), !shown) << "frame " << index;
        if (index == 22) {
            for (int y = 0; y < 240; ++y) {
                for (int x = 0; x < 320; ++x) {
                    ASSERT_EQ(frame.luma(x, y), reference.luma(x, y));
                    ASSERT_EQ(frame.cb(x, y), reference.cb(x, y));
                }
            }
        }
    }
}

TEST_F(VelmoraTest, LaterCommentsAreDrawnOverEarlierOnes) {
    Block under;
    under.x = "20";
    under.y = "20";
    under.fontSize = "48";
    under.text = "■";
    under.colour = "00 FF 00";
    Block over = under;
    over.colour = "FF 00 00";
    over.startFrame = "1";
    writeOverlay({over, under});  // file order differs from start order
    auto filter = open();
    ASSERT_TRUE(filter->ok()) << filter->error();
    TestFrame frame(320, 240);
    frame.fill(kGreyY, kGreyC, kGreyC);
    ASSERT_EQ(filter->process(frame, 2), 0);
    EXPECT_GT(countRed(frame, 0, 0, 320, 240), 500);
}

}  // namespace
}  // namespace velmora_test
