// The layout against a plain, step-by-step version of the same rules (the box list sorted and
// copied for every comment, the sweep stepping through every frame of the display time), on
// random comment threads. The layout keeps its box list sorted and finds each box's first
// overlapping sweep step by arithmetic; both must place every comment identically.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "comments/comment_commands.h"
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

bool overlap(int64_t l1, int64_t t1, int64_t r1, int64_t b1, int64_t l2, int64_t t2, int64_t r2,
             int64_t b2) {
    return std::max(l1, l2) < std::min(r1, r2) && std::max(t1, t2) < std::min(b1, b2);
}

struct Placed {
    int position;
    int fontSize;
    int64_t startFrame, endFrame;
    int x, y, speed;
};

int sizeFor(const ChatRecord& r, const CommandResult& c, int base) {
    const int64_t lines = std::count(r.text.begin(), r.text.end(), u'\n') + 1;
    int size = c.size;
    if (!c.shrunk && r.text.size() > 31 && size > base) {
        size = base;
    } else if (size > base) {
        if (lines > 2)
            size = base;
    } else if (size == base) {
        if (lines > 4)
            size = size - static_cast<int>(std::ceil(base * 0.3));
    } else {
        if (lines > 6)
            size = size - static_cast<int>(std::ceil(size * 0.3));
    }
    return std::max(size, 1);
}

// Lays out `ordered` (already clamped, filtered and sorted) the plain way.
std::vector<Placed> referenceLayout(const ChatList& ordered, const VideoInfo& v, int base,
                                    TextMeasurer& measurer, const std::vector<int>& randoms) {
    const double d = displayFrames(v.fps);
    const int64_t n = static_cast<int64_t>(std::ceil(d));
    const int64_t horizon = static_cast<int64_t>(std::ceil(3 * d));
    std::size_t nextRandom = 0;
    std::vector<Box> boxes;
    std::vector<Placed> result;
    for (const ChatRecord& r : ordered) {
        const CommandResult c = readCommands(r.mail, base);
        Placed p{};
        p.position = c.position.value_or(0);
        p.fontSize = sizeFor(r, c, base);
        p.startFrame = frameOfVpos(r.vpos, v.fps);
        p.endFrame = p.startFrame + n;
        const int64_t s = p.startFrame;

        std::stable_sort(boxes.begin(), boxes.end(),
                         [](const Box& a, const Box& b) { return a.top < b.top; });
        const std::vector<Box> snapshot = boxes;
        for (Box& b : boxes) {
            if (b.kind == 0) {
                b.left -= (s - b.frame) * b.speed;
                b.right -= (s - b.frame) * b.speed;
                b.frame = s;
            }
        }
        std::erase_if(boxes, [](const Box& b) { return b.right < 0; });
        std::erase_if(boxes, [s](const Box& b) { return b.kind != 0 && b.endFrame < s; });

        const CommentExtent e = measureText(measurer, r.text, p.fontSize);
        const int64_t w = e.width;
        const int64_t h = e.height;
        p.speed = p.position == 0
                      ? static_cast<int>(std::floor((w + v.width) / d * 100 + 0.5) * 0.01)
                      : 0;
        p.x = p.position == 0 ? r.x : static_cast<int>(v.width / 2 - w / 2);
        int64_t y = p.position == 2 ? v.height - h : 0;
        const int64_t x0 = p.position == 0 ? v.width : p.x;
        bool random = false;
        for (;;) {
            const Box* hit = nullptr;
            for (const Box& b : boxes) {
                if (b.kind == p.position &&
                    overlap(x0, y, x0 + w, y + h, b.left, b.top, b.right, b.bottom)) {
                    hit = &b;
                    break;
                }
            }
            if (hit != nullptr) {
                y = p.position == 2 ? hit->top - h : hit->bottom;
                if (y + h > v.height + 1 || y < -1) {
                    random = true;
                    break;
                }
                continue;
            }
            bool moved = false;
            for (int64_t k = 0; k < n && !moved; ++k) {
                for (const Box& b : boxes) {
                    if (b.kind != p.position) {
                        continue;
                    }
                    const int64_t bl = b.left - k * b.speed;
                    const int64_t br = b.right - k * b.speed;
                    if (br > 0 && overlap(bl, b.top, br, b.bottom, x0 - k * p.speed, y,
                                          x0 + w - k * p.speed, y + h)) {
                        y = b.bottom;
                        moved = true;
                        break;
                    }
                }
            }
            if (!moved) {
                break;
            }
        }
        if (random) {
            const int64_t room = v.height - h;
            y = room > 0 ? static_cast<int64_t>(randoms.at(nextRandom++) / 32768.0 * room) : 0;
        }
        Box box{p.position,
                p.position == 0 ? v.width : 0,
                y,
                p.position == 0 ? v.width + w : v.width,
                y + h,
                p.speed,
                p.speed != 0 ? s + (v.width + w) / p.speed : s + n,
                s};
        boxes = snapshot;
        if (s > horizon) {
            std::erase_if(boxes, [&](const Box& b) { return b.endFrame < s - horizon; });
        }
        if (!random) {
            boxes.push_back(box);
        }
        p.y = static_cast<int>(((y % v.height) + v.height) % v.height);
        result.push_back(p);
    }
    return result;
}

struct Scenario {
    double fps;
    int width;
    int height;
    int durationCs;
    int baseSize;
    int comments;
};

ChatList randomThread(const Scenario& sc, std::mt19937& gen) {
    static const char* const kMails[] = {"",
                                         "",
                                         "",
                                         "ue",
                                         "shita",
                                         "big",
                                         "small",
                                         "ue big",
                                         "shita small",
                                         "red",
                                         "big small",
                                         "184 ue blue2",
                                         "shita big green"};
    static const std::u16string kPool[] = {
        u"aaa", u"aaa\naaa", u"aaa\naaa\naaa", u"bbbbbbbb", u"bbbbbbbb\n", u"ccc\tccc", u""};
    std::uniform_int_distribution<int> pickMail(0, std::size(kMails) - 1);
    std::uniform_int_distribution<int> length(0, 45);
    std::uniform_int_distribution<int> letter(0, 5);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> anyTime(0, sc.durationCs);
    std::uniform_int_distribution<int> nearBy(-150, 150);
    ChatList chats;
    int burstAt = 0;
    for (int no = 0; no < sc.comments; ++no) {
        if (percent(gen) < 5) {
            burstAt = anyTime(gen);
        }
        const int vpos = percent(gen) < 60 ? std::max(0, burstAt + nearBy(gen)) : anyTime(gen);
        std::u16string text;
        if (percent(gen) < 50) {
            // Repeated texts, as real threads have them: equal widths, different heights.
            text = kPool[percent(gen) % std::size(kPool)];
        }
        const int units = text.empty() ? length(gen) : 0;
        for (int i = 0; i < units; ++i) {
            const int p = percent(gen);
            text.push_back(p < 6   ? u'\n'
                           : p < 8 ? u'\t'
                                   : static_cast<char16_t>(u'a' + letter(gen)));
        }
        chats.push_back(chat(vpos, text, kMails[pickMail(gen)], no));
        chats.back().premium = percent(gen) < 20 ? 1 : 0;
    }
    return chats;
}

TEST(LayoutReference, RandomThreadsArePlacedAsStepByStep) {
    const Scenario scenarios[] = {
        {29.97, 512, 384, 18000, 18, 800},  // 3 minutes, a busy thread
        {23.976, 640, 360, 6000, 24, 500}, {59.94, 1280, 720, 12000, 30, 700},
        {29.97, 96, 72, 3000, 12, 300},  // a tiny frame: most places at random
        {15.0, 320, 240, 2000, 0, 300},  // automatic size
    };
    std::mt19937 gen(20240611);
    std::uniform_int_distribution<int> anyRandom(0, 32767);
    for (const Scenario& sc : scenarios) {
        FixedWidthMeasurer font;
        font.unitAdvance = 9;
        font.lineHeightPerPt = 1.3;
        font.advances = {{u'a', 7}, {u'b', 13}, {u'c', 4}, {u'\u3000', 16}, {u'\u3042', 15}};
        std::vector<int> randoms(sc.comments);
        for (int& value : randoms) {
            value = anyRandom(gen);
        }
        LayoutFixture f;
        f.video = VideoInfo{sc.fps, sc.durationCs, 0, sc.width, sc.height};
        f.fontSizePt = sc.baseSize;
        f.measurer = &font;
        f.random = SequenceRandom(randoms);
        ChatList chats = randomThread(sc, gen);
        f.run(chats);

        const std::vector<Placed> expected =
            referenceLayout(chats, f.video, f.fontSizePt, font, randoms);
        ASSERT_EQ(expected.size(), chats.size());
        int mismatches = 0;
        for (std::size_t i = 0; i < chats.size() && mismatches < 5; ++i) {
            const ChatRecord& r = chats[i];
            const Placed& p = expected[i];
            const bool same = r.position == p.position && r.fontSize == p.fontSize &&
                              r.startFrame == p.startFrame && r.endFrame == p.endFrame &&
                              r.x == p.x && r.y == p.y && r.speed == p.speed;
            if (!same) {
                ++mismatches;
                ADD_FAILURE() << sc.width << "x" << sc.height << " record " << i << " (no " << r.no
                              << "): y " << r.y << " vs " << p.y << ", x " << r.x << " vs " << p.x
                              << ", speed " << r.speed << " vs " << p.speed << ", size "
                              << r.fontSize << " vs " << p.fontSize;
            }
        }
        // The tiny frame must have exercised the random places.
        if (sc.width == 96) {
            EXPECT_GT(f.random.calls(), 50u);
        }
    }
}

}  // namespace
