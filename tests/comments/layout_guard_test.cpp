// Videos whose properties leave nothing to lay out on, and extreme values that must not turn
// into undefined arithmetic (run these under the sanitizer build as well).

#include <cmath>
#include <cstdint>
#include <limits>

#include "layout_test_support.h"

namespace {

using layout_test::byNo;
using layout_test::chat;
using layout_test::LayoutFixture;

void expectNotShown(const ChatRecord& r) {
    EXPECT_EQ(r.startFrame, 0);
    EXPECT_EQ(r.endFrame, 0);
    EXPECT_EQ(r.speed, 0);
    EXPECT_EQ(r.y, 0);
}

TEST(LayoutGuards, UnusableFrameRateShowsNothing) {
    const double rates[] = {0.0,
                            -29.97,
                            std::nan(""),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            2e6};
    for (double fps : rates) {
        LayoutFixture f;
        f.video.fps = fps;
        // 5999 would be moved by the end clamp on a usable video; here nothing is moved.
        ChatList chats{chat(5999, u"x", "ue big red", 1), chat(100, u"x", "", 2)};
        f.run(chats);
        EXPECT_EQ(f.video.frameCount, 0) << fps;
        ASSERT_EQ(chats.size(), 2u);
        // The commands, size and colour are still read; the order still applies.
        EXPECT_EQ(chats[0].no, 2);
        const ChatRecord& top = byNo(chats, 1);
        EXPECT_EQ(top.vpos, 5999);
        EXPECT_EQ(top.position, 1);
        EXPECT_EQ(top.fontSize, 27);
        EXPECT_EQ(top.colour, "FF 00 00");
        for (const ChatRecord& r : chats) {
            expectNotShown(r);
        }
    }
}

TEST(LayoutGuards, EmptyFrameShowsNothing) {
    for (const auto& [width, height] :
         {std::pair{0, 384}, std::pair{512, 0}, std::pair{-512, 384}, std::pair{512, -1}}) {
        LayoutFixture f;
        f.video.width = width;
        f.video.height = height;
        f.fontSizePt = 0;
        ChatList chats{chat(100, u"x", "", 1), chat(100, u"x", "", 2)};
        f.run(chats);
        EXPECT_EQ(f.video.frameCount, 1798);  // the frame rate is fine
        // The automatic size needs a height.
        EXPECT_EQ(f.fontSizePt, height > 0 ? 18 : 0);
        for (const ChatRecord& r : chats) {
            expectNotShown(r);
            EXPECT_GE(r.fontSize, 1);
        }
    }
}

TEST(LayoutGuards, TinyFrameRateSaturatesTheSpeed) {
    // fps 1e-300: frameCount 0 and N = ceil(2.8e-300) = 1, so every comment ends after the last
    // frame and moves to 6000 - 280 = 5720, frame 0. The speed (40 + 512) / 2.8e-300 does not
    // fit an int and becomes its largest value; the box then ends at 0 + 552 / INT_MAX = 0.
    LayoutFixture f;
    f.video.fps = 1e-300;
    ChatList chats{chat(100, u"x", "", 1), chat(100, u"x", "", 2)};
    f.run(chats);
    EXPECT_EQ(f.video.frameCount, 0);
    for (const ChatRecord& r : chats) {
        EXPECT_EQ(r.vpos, 5720);
        EXPECT_EQ(r.startFrame, 0);
        EXPECT_EQ(r.endFrame, 1);
        EXPECT_EQ(r.speed, std::numeric_limits<int32_t>::max());
    }
    EXPECT_EQ(byNo(chats, 1).y, 0);
    EXPECT_EQ(byNo(chats, 2).y, 24);
}

TEST(LayoutGuards, ExtremeDurationsStayInRange) {
    {
        // INT_MAX cs at 1e6 fps is 2.1e13 frames: frameCount stops at INT_MAX.
        LayoutFixture f;
        f.video.fps = 1e6;
        f.video.durationCs = std::numeric_limits<int>::max();
        ChatList chats{chat(100, u"x", "", 1)};
        f.run(chats);
        EXPECT_EQ(f.video.frameCount, std::numeric_limits<int>::max());
        EXPECT_EQ(chats[0].startFrame, 1'000'000);  // 100 * 1e6 * 0.01
    }
    {
        // A negative length moves every comment; durationCs - 280 stays within an int.
        LayoutFixture f;
        f.video.durationCs = std::numeric_limits<int>::min();
        ChatList chats{chat(100, u"x", "", 1)};
        f.run(chats);
        // trunc(-2147483648 * 29.97 * 0.01) = trunc(-643600849.9)
        EXPECT_EQ(f.video.frameCount, -643'600'849);
        EXPECT_EQ(chats[0].vpos, std::numeric_limits<int32_t>::min());
    }
}

TEST(LayoutGuards, EmptyListIsFine) {
    LayoutFixture f;
    f.fontSizePt = 0;
    ChatList chats;
    f.run(chats);
    EXPECT_TRUE(chats.empty());
    EXPECT_EQ(f.video.frameCount, 1798);
    EXPECT_EQ(f.fontSizePt, 18);
}

}  // namespace
