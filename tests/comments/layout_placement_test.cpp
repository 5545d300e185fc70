// Frames, the end clamp, the placement search and videos that leave nothing to lay out on,
// worked out by hand (figures in layout_test_support.h). Run under the sanitizer build as well.

#include <cmath>
#include <cstdint>
#include <limits>

#include "layout_test_support.h"

namespace {

using layout_test::byNo;
using layout_test::chat;
using layout_test::FixedWidthMeasurer;
using layout_test::LayoutFixture;
using layout_test::SequenceRandom;
using Ints = std::vector<int32_t>;

TEST(LayoutFrames, FrameOfVposAndTheEndClamp) {
    EXPECT_EQ(frameOfVpos(1000, 29.97), 299);   // 299.70
    EXPECT_EQ(frameOfVpos(5723, 29.97), 1715);  // 1715.1831 -> 1715.18
    EXPECT_EQ(frameOfVpos(-50, 29.97), -14);    // -14.985 -> -14.98, toward zero
    EXPECT_DOUBLE_EQ(displayFrames(29.97), 83.91599857091903);
    // vpos 5722: frame 1714 + 84 = 1798 stays. 5723: 1715 + 84 > 1798, moved to 6000 - 280.
    LayoutFixture f;
    const ChatList chats = f.laidOut({chat(5722, u"x", "", 1), chat(5723, u"x", "", 2)});
    EXPECT_EQ(f.outcome.frameCount, 1798);
    EXPECT_EQ(byNo(chats, &ChatRecord::vpos), (Ints{5722, 5720}));
    EXPECT_EQ(byNo(chats, &ChatRecord::vposSec), (Ints{57, 57}));
    EXPECT_EQ(byNo(chats, &ChatRecord::startFrame), (std::vector<int64_t>{1714, 1714}));
    EXPECT_EQ(byNo(chats, &ChatRecord::endFrame), (std::vector<int64_t>{1798, 1798}));
}

TEST(LayoutPlacement, ScrollingTopAndBottomCommentsStack) {
    // Scrolling: speed trunc(round2(552 / 83.916)) = 6, the second pushed below the first.
    // Bottom: from 384 - 24 upward, centred at 256 - 20. Top: 5 blocks until its end frame 84
    // has passed: 6 at frame 84 (vpos 281) is pushed down, 7 at frame 85 (vpos 285) is not.
    LayoutFixture f;
    const ChatList chats =
        f.laidOut({chat(1000, u"x", "", 1), chat(1000, u"x", "", 2), chat(0, u"x", "shita", 3),
                   chat(0, u"x", "shita", 4), chat(0, u"x", "ue", 5), chat(281, u"x", "ue", 6),
                   chat(285, u"x", "ue", 7)});
    EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{0, 24, 360, 336, 0, 24, 0}));
    EXPECT_EQ(byNo(chats, &ChatRecord::position), (Ints{0, 0, 2, 2, 1, 1, 1}));
    EXPECT_EQ(byNo(chats, &ChatRecord::speed), (Ints{6, 6, 0, 0, 0, 0, 0}));
    EXPECT_EQ(byNo(chats, &ChatRecord::x), (Ints{-95, -95, 236, 236, 236, 236, 236}));
    EXPECT_EQ(byNo(chats, &ChatRecord::startFrame),
              (std::vector<int64_t>{299, 299, 0, 0, 0, 84, 85}));
    EXPECT_EQ(byNo(chats, &ChatRecord::endFrame)[0], 299 + 84);
}

TEST(LayoutPlacement, FasterCommentGoesBelowASlowerOneItWouldCatchUpWith) {
    // "a" is 10 px, speed 6; 30 letters are 300 px, speed trunc(812 / 83.916 = 9.68) = 9. The
    // fast one's left edge passes the slow right edge after k frames when 3k > 6s - 10, while
    // the slow box is in the frame as long as 522 - 6s - 6k > 0. Start s = 29 (vpos 97): k = 55
    // meets both, y = 24. s = 30 (vpos 101): k = 57, where the slow box has left: y = 0.
    for (const auto& [vpos, expectedY] : {std::pair{97, 24}, std::pair{101, 0}}) {
        LayoutFixture f;
        FixedWidthMeasurer font;
        f.measurer = &font;
        const ChatList chats =
            f.laidOut({chat(0, u"a", "", 1), chat(vpos, std::u16string(30, u'b'), "", 2)});
        EXPECT_EQ(byNo(chats, &ChatRecord::speed), (Ints{6, 9}));
        EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{0, expectedY})) << "vpos " << vpos;
    }
}

TEST(LayoutPlacement, FullScreenGivesARandomPlaceAboveTheLastRow) {
    // Rows 0 .. 360 filled; the 17th would need 384 + 24 > 385: trunc(r / 32768 * 360).
    LayoutFixture f;
    f.random = SequenceRandom({32767, 0});
    ChatList chats;
    Ints expected;
    for (int i = 0; i < 18; ++i) {
        chats.push_back(chat(0, u"x", "", i));
        expected.push_back(i < 16 ? i * 24 : i == 16 ? 359 : 0);
    }
    f.run(chats);
    EXPECT_EQ(byNo(chats, &ChatRecord::y), expected);
    EXPECT_EQ(f.random.calls(), 2u);
}

TEST(LayoutPlacement, RandomlyPlacedCommentBlocksNobody) {
    // 48 px high: top 1 and 2 fill it until frame 84. 3 (frame 59) gets trunc(16383 / 32768 *
    // 24) = 11; 4 (frame 85) takes y = 0 although it would overlap 3, which is no box.
    LayoutFixture f;
    f.video.height = 48;
    f.random = SequenceRandom({16383});
    const ChatList chats = f.laidOut({chat(0, u"x", "ue", 1), chat(0, u"x", "ue", 2),
                                      chat(200, u"x", "ue", 3), chat(285, u"x", "ue", 4)});
    EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{0, 24, 11, 0}));
    EXPECT_EQ(f.random.calls(), 1u);
}

TEST(LayoutPlacement, PlacesAtTheFramesEdges) {
    // A box as high as the frame or higher goes to y = 0 without asking the random source.
    for (int height : {24, 20}) {
        LayoutFixture f;
        f.video.height = height;
        const ChatList chats = f.laidOut({chat(0, u"x", "", 1), chat(0, u"x", "", 2)});
        EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{0, 0}));
    }
    FixedWidthMeasurer font;
    {
        // 25 px lines, 49 px frame: the second bottom comment at -1 (allowed) is written as 48.
        LayoutFixture f;
        f.video.height = 49;
        font.lineHeight = 25;
        f.measurer = &font;
        const ChatList chats = f.laidOut({chat(0, u"x", "shita", 1), chat(0, u"x", "shita", 2)});
        EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{24, 48}));
    }
    {
        // The sweep has no edge test: a fast comment (frame 10) catching up with both slow rows
        // of a 48 px frame is pushed to 48, written as 0.
        LayoutFixture f;
        f.video.height = 48;
        font.lineHeight = 24;
        f.measurer = &font;
        const ChatList chats = f.laidOut({chat(0, u"a", "", 1), chat(0, u"a", "", 2),
                                          chat(34, std::u16string(30, u'b'), "", 3)});
        EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{0, 24, 0}));
    }
}

TEST(LayoutPlacement, StandingScrollingCommentExpiresAfterThePruneHorizon) {
    // 64 px wide: "a" gets speed trunc(74 / 83.916) = 0 and stands until 84; it is dropped once
    // a comment starts after 84 + 252. Frame 337 (vpos 1125) still meets it, 338 (1128) not.
    LayoutFixture f;
    f.video.width = 64;
    f.video.height = 48;
    FixedWidthMeasurer font;
    f.measurer = &font;
    const ChatList chats =
        f.laidOut({chat(0, u"a", "", 1), chat(1125, u"a", "", 2), chat(1128, u"a", "", 3)});
    EXPECT_EQ(byNo(chats, &ChatRecord::speed), (Ints{0, 0, 0}));
    EXPECT_EQ(byNo(chats, &ChatRecord::startFrame), (std::vector<int64_t>{0, 337, 338}));
    EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{0, 24, 0}));
}

TEST(LayoutGuards, UnusableFrameRateOrFrameShowsNothing) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double fps;
        int width, height, frameCount, autoSize;
    } cases[] = {{0.0, 512, 384, 0, 18},          {-29.97, 512, 384, 0, 18},
                 {std::nan(""), 512, 384, 0, 18}, {inf, 512, 384, 0, 18},
                 {-inf, 512, 384, 0, 18},         {2e6, 512, 384, 0, 18},
                 {29.97, 0, 384, 1798, 18},       {29.97, 512, 0, 1798, 0},
                 {29.97, -512, 384, 1798, 18},    {29.97, 512, -1, 1798, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fps << " " << c.width << "x" << c.height);
        LayoutFixture f;
        f.video = {c.fps, 6000, 0, c.width, c.height};
        f.fontSizePt = 0;
        // The end clamp needs a frame rate; the commands, colour and order still apply.
        const ChatList chats =
            f.laidOut({chat(5999, u"x", "ue big red", 1), chat(100, u"x", "", 2)});
        EXPECT_EQ(f.outcome.frameCount, c.frameCount);
        EXPECT_EQ(f.outcome.fontSizePt, c.autoSize);
        ASSERT_EQ(chats.size(), 2u);
        EXPECT_EQ(chats[0].no, 2);
        EXPECT_EQ(chats[1].vpos, c.frameCount == 0 ? 5999 : 5720);
        EXPECT_EQ(chats[1].position, 1);
        EXPECT_EQ(chats[1].colour, "FF 00 00");
        EXPECT_EQ(chats[1].fontSize, c.autoSize == 0 ? 1 : 27);
        for (const ChatRecord& r : chats) {
            EXPECT_EQ((std::vector<int64_t>{r.startFrame, r.endFrame, r.speed, r.y}),
                      std::vector<int64_t>(4, 0));
        }
        EXPECT_EQ(f.outcome.counts.notShown, 2);
        EXPECT_EQ(f.outcome.counts.drawn, 0);
    }
}

TEST(LayoutCounts, EachStepCountsWhatItRemovedAndWhatReachesAFrame) {
    LayoutFixture f;  // 60 s: the cap keeps 100
    f.hideOldComments = 1;
    ChatList chats;
    for (int no = 1; no <= 104; ++no) {
        chats.push_back(chat(100 + no, u"x", "", no));
    }
    chats[5].date = 2'100'000'000;             // after the period
    chats[6].userId = chats[7].userId = "ng";  // the NG list
    chats[8].userId = "keep";                  // with every odd one after it: extracted
    for (size_t i = 9; i < chats.size(); i += 2) {
        chats[i].userId = "keep";
    }
    chats[9].text.clear();     // nothing to draw
    chats[11].vpos = -50'000;  // ends long before the first frame
    f.filter.ngList = {"ng"};
    f.filter.extractList = {"keep"};
    f.run(chats);
    const CommentCounts& c = f.outcome.counts;
    EXPECT_EQ((std::vector<int64_t>{c.read, c.removedByCap, c.removedByPeriod, c.removedByNg,
                                    c.removedByExtract, c.notShown, c.drawn}),
              (std::vector<int64_t>{104, 4, 1, 2, 48, 2, 47}))
        << "the cap takes the four oldest (1..4) before the filters see them";
    EXPECT_EQ(c.notShown + c.drawn, static_cast<int64_t>(chats.size()));
    EXPECT_FALSE(c.nothingDrawn());

    ChatList late{chat(100, u"x", "", 1), chat(-50'000, u"y", "", 2), chat(200, u"", "", 3)};
    late[0].date = 2'100'000'000;
    f.hideOldComments = 0;
    f.filter = {0, 2'000'000'000, {}, {}};
    f.run(late);
    EXPECT_EQ((std::vector<int64_t>{f.outcome.counts.removedByPeriod, f.outcome.counts.notShown,
                                    f.outcome.counts.drawn}),
              (std::vector<int64_t>{1, 2, 0}));
    EXPECT_TRUE(f.outcome.counts.nothingDrawn());
    EXPECT_EQ(f.outcome.counts.emptyReason(), CommentCounts::EmptyReason::NotShown);
}

TEST(LayoutGuards, ExtremeRatesAndDurationsStayInRange) {
    {
        // fps 1e-300: N = 1, every comment moves to 5720, frame 0; the speed saturates.
        LayoutFixture f;
        f.video.fps = 1e-300;
        const ChatList chats = f.laidOut({chat(100, u"x", "", 1), chat(100, u"x", "", 2)});
        EXPECT_EQ(f.outcome.frameCount, 0);
        EXPECT_EQ(byNo(chats, &ChatRecord::vpos), (Ints{5720, 5720}));
        EXPECT_EQ(byNo(chats, &ChatRecord::endFrame), (std::vector<int64_t>{1, 1}));
        EXPECT_EQ(chats[0].speed, std::numeric_limits<int32_t>::max());
        EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{0, 24}));
    }
    {
        LayoutFixture f;  // INT_MAX cs at 1e6 fps: frameCount stops at INT_MAX
        f.video.fps = 1e6;
        f.video.durationCs = std::numeric_limits<int>::max();
        const ChatList chats = f.laidOut({chat(100, u"x", "", 1)});
        EXPECT_EQ(f.outcome.frameCount, std::numeric_limits<int>::max());
        EXPECT_EQ(chats[0].startFrame, 1'000'000);
    }
    {
        LayoutFixture f;  // a negative length moves every comment without overflow
        f.video.durationCs = std::numeric_limits<int>::min();
        const ChatList chats = f.laidOut({chat(100, u"x", "", 1)});
        EXPECT_EQ(f.outcome.frameCount, -643'600'849);  // trunc(-2147483648 * 0.2997)
        EXPECT_EQ(chats[0].vpos, std::numeric_limits<int32_t>::min());
    }
    LayoutFixture f;
    f.fontSizePt = 0;
    ChatList none;
    f.run(none);
    EXPECT_EQ(f.outcome.fontSizePt, 18);
}

}  // namespace
