// The layout against a plain, step-by-step version of the placement (the box list sorted and
// copied for every comment, the sweep stepping through every frame of the display time) on
// random comment threads. The layout keeps its box list sorted and finds each box's first
// overlapping sweep step by arithmetic; both must place every comment identically. Sizes and
// start frames come from the layout's records (they are checked on their own elsewhere).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "layout_test_support.h"

namespace {

using layout_test::chat;
using layout_test::FixedWidthMeasurer;
using layout_test::LayoutFixture;
using layout_test::SequenceRandom;

struct Box {
    int kind;
    int64_t left, top, right, bottom, speed, endFrame, frame;
};

bool overlap(const Box& a, int64_t l, int64_t t, int64_t r, int64_t b) {
    return std::max(a.left, l) < std::min(a.right, r) && std::max(a.top, t) < std::min(a.bottom, b);
}

struct Placed {
    int x, y, speed;
};

// Places `ordered` (already laid out: clamped, filtered, sorted, sized) the plain way.
std::vector<Placed> referenceLayout(const ChatList& ordered, const VideoInfo& v,
                                    TextMeasurer& measurer, const std::vector<int>& randoms) {
    const double d = displayFrames(v.fps);
    const int64_t n = static_cast<int64_t>(std::ceil(d));
    const int64_t horizon = static_cast<int64_t>(std::ceil(3 * d));
    std::size_t nextRandom = 0;
    std::vector<Box> boxes;
    std::vector<Placed> result;
    for (const ChatRecord& r : ordered) {
        const int kind = r.position;
        const int64_t s = r.startFrame;
        std::stable_sort(boxes.begin(), boxes.end(),
                         [](const Box& a, const Box& b) { return a.top < b.top; });
        const std::vector<Box> snapshot = boxes;
        for (Box& b : boxes) {
            if (b.kind == 0) {
                b.left -= (s - b.frame) * b.speed;
                b.right -= (s - b.frame) * b.speed;
            }
        }
        std::erase_if(boxes,
                      [s](const Box& b) { return b.kind == 0 ? b.right < 0 : b.endFrame < s; });

        const CommentExtent e = measureText(measurer, r.text, r.fontSize);
        const int64_t w = e.width, h = e.height;
        Placed p{
            kind == 0 ? r.x : v.width / 2 - e.width / 2, 0,
            kind == 0 ? static_cast<int>(std::floor((w + v.width) / d * 100 + 0.5) * 0.01) : 0};
        int64_t y = kind == 2 ? v.height - h : 0;
        const int64_t x0 = kind == 0 ? v.width : p.x;
        bool random = false, moved = true;
        while (moved && !random) {
            moved = false;
            for (const Box& b : boxes) {  // the start rectangle against the boxes, top down
                if (b.kind == kind && overlap(b, x0, y, x0 + w, y + h)) {
                    y = kind == 2 ? b.top - h : b.bottom;
                    random = y + h > v.height + 1 || y < -1;
                    moved = true;
                    break;
                }
            }
            for (int64_t k = 0; k < n && !moved && !random; ++k) {  // the sweep, frame by frame
                for (Box b : boxes) {
                    b.left -= k * b.speed;
                    b.right -= k * b.speed;
                    if (b.kind == kind && b.right > 0 &&
                        overlap(b, x0 - k * p.speed, y, x0 + w - k * p.speed, y + h)) {
                        y = b.bottom;
                        moved = true;
                        break;
                    }
                }
            }
        }
        if (random) {
            const int64_t room = v.height - h;
            y = room > 0 ? static_cast<int64_t>(randoms.at(nextRandom++) / 32768.0 * room) : 0;
        }
        boxes = snapshot;
        if (s > horizon) {
            std::erase_if(boxes, [&](const Box& b) { return b.endFrame < s - horizon; });
        }
        if (!random) {
            boxes.push_back({kind, kind == 0 ? v.width : 0, y, kind == 0 ? v.width + w : v.width,
                             y + h, p.speed, p.speed != 0 ? s + (v.width + w) / p.speed : s + n,
                             s});
        }
        p.y = static_cast<int>(((y % v.height) + v.height) % v.height);
        result.push_back(p);
    }
    return result;
}

// Bursts of comments around random times, with repeated texts as real threads have them.
ChatList randomThread(int durationCs, int count, std::mt19937& gen) {
    // clang-format off
    static const char* const kMails[] = {"", "", "", "ue", "shita", "big", "small", "ue big",
                                         "shita small", "red", "big small", "184 ue blue2",
                                         "shita big green"};
    // clang-format on
    static const std::u16string kPool[] = {
        u"aaa", u"aaa\naaa", u"aaa\naaa\naaa", u"bbbbbbbb", u"bbbbbbbb\n", u"ccc\tccc", u""};
    const auto below = [&gen](int bound) { return static_cast<int>(gen() % bound); };
    ChatList chats;
    int burstAt = 0;
    for (int no = 0; no < count; ++no) {
        if (below(100) < 5) {
            burstAt = below(durationCs + 1);
        }
        const int vpos =
            below(100) < 60 ? std::max(0, burstAt + below(301) - 150) : below(durationCs + 1);
        std::u16string text;
        if (below(100) < 50) {
            text = kPool[below(std::size(kPool))];
        } else {
            for (int i = below(46); i > 0; --i) {
                const int p = below(100);
                text.push_back(p < 6 ? u'\n' : p < 8 ? u'\t' : static_cast<char16_t>(u'a' + p % 6));
            }
        }
        chats.push_back(chat(vpos, text, kMails[below(std::size(kMails))], no));
        chats.back().premium = below(100) < 20 ? 1 : 0;
    }
    return chats;
}

TEST(LayoutReference, RandomThreadsArePlacedAsStepByStep) {
    const struct {
        VideoInfo video;
        int baseSize, comments;
    } scenarios[] = {
        {{29.97, 18000, 0, 512, 384}, 18, 800},  // 3 minutes, a busy thread
        {{23.976, 6000, 0, 640, 360}, 24, 500}, {{59.94, 12000, 0, 1280, 720}, 30, 700},
        {{29.97, 3000, 0, 96, 72}, 12, 300},  // a tiny frame: most places at random
        {{15.0, 2000, 0, 320, 240}, 0, 300},  // automatic size
    };
    std::mt19937 gen(20240611);
    for (const auto& sc : scenarios) {
        FixedWidthMeasurer font;
        font.unitAdvance = 9;
        font.lineHeightPerPt = 1.3;
        font.advances = {{u'a', 7}, {u'b', 13}, {u'c', 4}, {u'\u3000', 16}, {u'\u3042', 15}};
        std::vector<int> randoms(sc.comments);
        for (int& value : randoms) {
            value = static_cast<int>(gen() % 32768);
        }
        LayoutFixture f;
        f.video = sc.video;
        f.fontSizePt = sc.baseSize;
        f.measurer = &font;
        f.random = SequenceRandom(randoms);
        ChatList chats = randomThread(sc.video.durationCs, sc.comments, gen);
        f.run(chats);

        const std::vector<Placed> expected = referenceLayout(chats, f.video, font, randoms);
        int mismatches = 0;
        for (std::size_t i = 0; i < chats.size() && mismatches < 5; ++i) {
            const ChatRecord& r = chats[i];
            const Placed& p = expected[i];
            if (r.x != p.x || r.y != p.y || r.speed != p.speed) {
                ++mismatches;
                ADD_FAILURE() << sc.video.width << "x" << sc.video.height << " record " << i
                              << " (no " << r.no << "): y " << r.y << " vs " << p.y << ", x " << r.x
                              << " vs " << p.x << ", speed " << r.speed << " vs " << p.speed;
            }
        }
        if (sc.video.width == 96) {
            EXPECT_GT(f.random.calls(), 50u);  // the tiny frame exercised the random places
        }
    }
}

}  // namespace
