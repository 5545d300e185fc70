// Frames, the end clamp and the placement search, worked out by hand on a 512 x 384 video at
// 29.97 fps with the no-device measurer (every comment a 40 x 24 box) or a font of fixed
// advances. See layout_test_support.h for D, N and the prune horizon.

#include <cstdint>
#include <limits>

#include "layout_test_support.h"

namespace {

using layout_test::byNo;
using layout_test::chat;
using layout_test::FixedWidthMeasurer;
using layout_test::LayoutFixture;
using layout_test::SequenceRandom;

TEST(LayoutFrames, FrameOfVposRoundsToHundredthsThenTruncatesTowardZero) {
    // 1000 * 29.97 * 0.01 = 299.7 -> round2 299.70 -> 299.
    EXPECT_EQ(frameOfVpos(1000, 29.97), 299);
    // 5723 * 0.2997 = 1715.1831 -> 1715.18 -> 1715.
    EXPECT_EQ(frameOfVpos(5723, 29.97), 1715);
    // -50 * 0.2997 = -14.985 -> floor(-1498.5 + 0.5) * 0.01 = -14.98 -> toward zero: -14.
    EXPECT_EQ(frameOfVpos(-50, 29.97), -14);
    // 2.8 s in single precision: 29.97 * 2.799999952316284.
    EXPECT_DOUBLE_EQ(displayFrames(29.97), 83.91599857091903);
}

TEST(LayoutFrames, CommentsEndingAfterTheLastFrameStart280CsBeforeTheEnd) {
    // frameCount = trunc(6000 * 29.97 * 0.01) = trunc(1798.2) = 1798.
    // vpos 5722: frame 1714 (1714.8834 -> 1714.88), 1714 + 84 = 1798, not beyond: stays.
    // vpos 5723: frame 1715, 1715 + 84 = 1799 > 1798: vpos = 6000 - 280 = 5720, vposSec 57,
    // startFrame = frame(5720) = trunc(1714.28) = 1714.
    LayoutFixture f;
    ChatList chats{chat(5722, u"x", "", 1), chat(5723, u"x", "", 2)};
    f.run(chats);
    EXPECT_EQ(f.video.frameCount, 1798);
    EXPECT_EQ(byNo(chats, 1).vpos, 5722);
    EXPECT_EQ(byNo(chats, 1).vposSec, 57);
    const ChatRecord& moved = byNo(chats, 2);
    EXPECT_EQ(moved.vpos, 5720);
    EXPECT_EQ(moved.vposSec, 57);
    EXPECT_EQ(moved.startFrame, 1714);
    EXPECT_EQ(moved.endFrame, 1714 + 84);
}

TEST(LayoutPlacement, ScrollingCommentsAtTheSameTimeStack) {
    // Both enter at [512, 552) x [0, 24); the second is pushed to the first's bottom, 24.
    // speed = trunc(round2((40 + 512) / 83.916)) = trunc(round2(6.578)) = trunc(6.58) = 6.
    LayoutFixture f;
    ChatList chats{chat(1000, u"x", "", 1), chat(1000, u"x", "", 2)};
    f.run(chats);
    ASSERT_EQ(chats.size(), 2u);
    for (const ChatRecord& r : chats) {
        EXPECT_EQ(r.position, 0);
        EXPECT_EQ(r.speed, 6);
        EXPECT_EQ(r.x, -95);  // scrolling comments keep the reader's x
        EXPECT_EQ(r.fontSize, 18);
        EXPECT_EQ(r.colour, "FF FF FF");
        EXPECT_EQ(r.startFrame, 299);
        EXPECT_EQ(r.endFrame, 299 + 84);
    }
    EXPECT_EQ(byNo(chats, 1).y, 0);
    EXPECT_EQ(byNo(chats, 2).y, 24);
}

TEST(LayoutPlacement, BottomCommentsStackUpward) {
    // The first starts at y = 384 - 24 = 360; its box spans the whole width, so the second
    // goes to 360 - 24 = 336. Both are centred: x = 512 / 2 - 40 / 2 = 236.
    LayoutFixture f;
    ChatList chats{chat(0, u"x", "shita", 1), chat(0, u"x", "shita", 2)};
    f.run(chats);
    EXPECT_EQ(byNo(chats, 1).y, 360);
    EXPECT_EQ(byNo(chats, 2).y, 336);
    for (const ChatRecord& r : chats) {
        EXPECT_EQ(r.position, 2);
        EXPECT_EQ(r.x, 236);
        EXPECT_EQ(r.speed, 0);
    }
}

TEST(LayoutPlacement, TopCommentBlocksUntilItsEndFrameHasPassed) {
    // The first top comment shows frames 0 .. 84 (endFrame 84). A top comment starting at
    // frame 84 (vpos 281: 84.2157 -> 84) is still blocked; one at frame 85 (vpos 285:
    // 85.4145 -> 85) is not, because 84 < 85.
    {
        LayoutFixture f;
        ChatList chats{chat(0, u"x", "ue", 1), chat(281, u"x", "ue", 2)};
        f.run(chats);
        EXPECT_EQ(byNo(chats, 2).startFrame, 84);
        EXPECT_EQ(byNo(chats, 2).y, 24);
    }
    {
        LayoutFixture f;
        ChatList chats{chat(0, u"x", "ue", 1), chat(285, u"x", "ue", 2)};
        f.run(chats);
        EXPECT_EQ(byNo(chats, 2).startFrame, 85);
        EXPECT_EQ(byNo(chats, 2).y, 0);
    }
}

TEST(LayoutPlacement, FasterCommentGoesBelowASlowerOneItWouldCatchUpWith) {
    // Advances of 10 px: "a" is 10 px wide, speed trunc(round2(522 / 83.916)) = 6;
    // 30 letters are 300 px wide, speed trunc(round2(812 / 83.916)) = trunc(9.68) = 9.
    // At the fast one's start s the slow box spans [512 - 6s, 522 - 6s), far left of the
    // fast one's start rectangle [512, 812). After k more frames the fast one's left edge
    // 512 - 9k is left of the slow right edge 522 - 6s - 6k when 3k > 6s - 10, and the slow box
    // is still in the frame while 522 - 6s - 6k > 0.
    // s = 29 (vpos 97): k = 55 meets both (17 < 18): the fast comment goes below, y = 24.
    // s = 30 (vpos 101): the first k is 57, where the slow right edge is 0: out of the frame,
    // no hit, y = 0.
    const std::u16string fast(30, u'b');
    for (const auto& [vpos, expectedY] : {std::pair{97, 24}, std::pair{101, 0}}) {
        LayoutFixture f;
        FixedWidthMeasurer font;
        f.measurer = &font;
        ChatList chats{chat(0, u"a", "", 1), chat(vpos, fast, "", 2)};
        f.run(chats);
        EXPECT_EQ(byNo(chats, 1).speed, 6);
        EXPECT_EQ(byNo(chats, 2).speed, 9);
        EXPECT_EQ(byNo(chats, 2).y, expectedY) << "vpos " << vpos;
    }
}

TEST(LayoutPlacement, FullScreenGivesARandomPlaceAboveTheLastRow) {
    // 16 comments fill rows 0 .. 360. The 17th is pushed to 384: 384 + 24 > 385, no place.
    // r = 384 - 24 = 360: random 32767 -> trunc(32767 / 32768 * 360) = trunc(359.989) = 359,
    // random 0 -> 0.
    LayoutFixture f;
    f.random = SequenceRandom({32767, 0});
    ChatList chats;
    for (int i = 1; i <= 18; ++i) {
        chats.push_back(chat(0, u"x", "", i));
    }
    f.run(chats);
    for (int i = 1; i <= 16; ++i) {
        EXPECT_EQ(byNo(chats, i).y, (i - 1) * 24);
    }
    EXPECT_EQ(byNo(chats, 17).y, 359);
    EXPECT_EQ(byNo(chats, 18).y, 0);
    EXPECT_EQ(f.random.calls(), 2u);
}

TEST(LayoutPlacement, RandomlyPlacedCommentBlocksNobody) {
    // Video 48 px high: top comments 1 and 2 (frames 0 .. 84) fill it. Comment 3 starts at
    // frame 59 (vpos 200): pushed to 24, then 48, 48 + 24 > 49: random, r = 24,
    // trunc(16383 / 32768 * 24) = trunc(11.9993) = 11, so it shows at [11, 35) until 143.
    // Comment 4 starts at frame 85 (vpos 285): 1 and 2 have ended, and 3 is no box, so 4 takes
    // y = 0 although it would overlap 3.
    LayoutFixture f;
    f.video.height = 48;
    f.random = SequenceRandom({16383});
    ChatList chats{chat(0, u"x", "ue", 1), chat(0, u"x", "ue", 2), chat(200, u"x", "ue", 3),
                   chat(285, u"x", "ue", 4)};
    f.run(chats);
    EXPECT_EQ(byNo(chats, 1).y, 0);
    EXPECT_EQ(byNo(chats, 2).y, 24);
    EXPECT_EQ(byNo(chats, 3).y, 11);
    EXPECT_EQ(byNo(chats, 3).x, 236);
    EXPECT_EQ(byNo(chats, 4).y, 0);
    EXPECT_EQ(f.random.calls(), 1u);
}

TEST(LayoutPlacement, CommentAsHighAsTheFrameIsPutAtTheTopWithoutDrawing) {
    // 24 px video, 24 px boxes: the second is pushed to 24, 24 + 24 > 25; r = 0, so y = 0 and
    // the random source is not asked. The same for a frame lower than the box (r < 0).
    for (int height : {24, 20}) {
        LayoutFixture f;
        f.video.height = height;
        ChatList chats{chat(0, u"x", "", 1), chat(0, u"x", "", 2)};
        f.run(chats);
        EXPECT_EQ(byNo(chats, 1).y, 0);
        EXPECT_EQ(byNo(chats, 2).y, 0);
        EXPECT_EQ(f.random.calls(), 0u);
    }
}

TEST(LayoutPlacement, PlaceOnePixelAboveTheFrameWrapsToTheLastRow) {
    // 25 px lines on a 49 px video: the first bottom comment takes 49 - 25 = 24, the second
    // 24 - 25 = -1, which the 1-pixel tolerance allows; -1 is written as 49 - 1 = 48.
    LayoutFixture f;
    f.video.height = 49;
    FixedWidthMeasurer font;
    font.lineHeight = 25;
    f.measurer = &font;
    ChatList chats{chat(0, u"x", "shita", 1), chat(0, u"x", "shita", 2)};
    f.run(chats);
    EXPECT_EQ(byNo(chats, 1).y, 24);
    EXPECT_EQ(byNo(chats, 2).y, 48);
}

TEST(LayoutPlacement, SweepPushToTheBottomEdgeWrapsToZero) {
    // 48 px video, 10 px advances. Two slow "a" (speed 6) take rows 0 and 24 at frame 0. A fast
    // 30-letter comment (speed 9) starts at frame 10 (vpos 34): the slow boxes are at
    // [452, 462). The sweep catches the row-0 box at k = 17 (512 - 153 = 359 < 462 - 102 = 360)
    // and pushes to 24, then the row-24 box the same way and pushes to 48. The sweep has no
    // edge test, so the place is 48, written as 0.
    LayoutFixture f;
    f.video.height = 48;
    FixedWidthMeasurer font;
    f.measurer = &font;
    ChatList chats{chat(0, u"a", "", 1), chat(0, u"a", "", 2),
                   chat(34, std::u16string(30, u'b'), "", 3)};
    f.run(chats);
    EXPECT_EQ(byNo(chats, 1).y, 0);
    EXPECT_EQ(byNo(chats, 2).y, 24);
    EXPECT_EQ(byNo(chats, 3).y, 0);
    EXPECT_EQ(f.random.calls(), 0u);
}

TEST(LayoutPlacement, ScrollingCommentTooSlowForASpeedStandsForTheDisplayTime) {
    // A 64 px wide video: "a" (10 px) gets speed trunc(round2(74 / 83.916)) = trunc(0.88) = 0.
    // Its box does not move and ends at 0 + N = 84; it is dropped from the list once a comment
    // starts after 84 + 252 = 336. Comment 2 at frame 337 (vpos 1125) is still pushed below it
    // (y = 24) and drops it; comment 3 at frame 338 (vpos 1128) finds row 0 free.
    LayoutFixture f;
    f.video.width = 64;
    f.video.height = 48;
    FixedWidthMeasurer font;
    f.measurer = &font;
    ChatList chats{chat(0, u"a", "", 1), chat(1125, u"a", "", 2), chat(1128, u"a", "", 3)};
    f.run(chats);
    EXPECT_EQ(byNo(chats, 1).speed, 0);
    EXPECT_EQ(byNo(chats, 1).endFrame, 84);
    EXPECT_EQ(byNo(chats, 2).startFrame, 337);
    EXPECT_EQ(byNo(chats, 2).y, 24);
    EXPECT_EQ(byNo(chats, 3).startFrame, 338);
    EXPECT_EQ(byNo(chats, 3).y, 0);
}

}  // namespace
