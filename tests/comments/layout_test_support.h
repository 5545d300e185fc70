#pragma once
// Shared pieces of the layout tests: records, a fixed random sequence, a measurer with fixed
// per-character widths, and a job over a 512 x 384, 29.97 fps video.
//
// Figures used throughout (29.97 fps): D = 29.97 * 2.799999952316284 = 83.91599857091903,
// N = 84 display frames, prune horizon ceil(3 D) = 252. frame(vpos) = trunc(round2(vpos * 0.2997)).

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "comments/comment_layout.h"

namespace layout_test {

inline ChatRecord chat(int32_t vpos, std::u16string text = u"x", std::string mail = "",
                       int32_t no = 0) {
    ChatRecord r;
    r.seq = no;
    r.no = no;
    r.vpos = vpos;
    r.vposSec = vpos / 100;
    r.text = std::move(text);
    r.mail = std::move(mail);
    r.date = 1'300'000'000 + no;
    return r;
}

// Hands out the given values in order and counts the calls; a call past the end fails the test.
class SequenceRandom {
public:
    explicit SequenceRandom(std::vector<int> values) : values_(std::move(values)) {}

    RandomSource source() {
        return [this]() {
            ++calls_;
            if (next_ >= values_.size()) {
                ADD_FAILURE() << "random source asked more often than expected";
                return 0;
            }
            return values_[next_++];
        };
    }
    std::size_t calls() const { return calls_; }

private:
    std::vector<int> values_;
    std::size_t next_ = 0;
    std::size_t calls_ = 0;
};

// A font in which every character has a fixed advance: `unitAdvance` pixels per UTF-16 unit
// unless `advances` names another, plus 2 pixels of overhang per line (which the layout takes
// off again), so a line of n plain units measures W = n * unitAdvance. Lines are `lineHeight`
// pixels high at every size unless `lineHeightPerPt` is set (then round(size * it)). Records the
// lines it is asked for.
class FixedWidthMeasurer final : public TextMeasurer {
public:
    int unitAdvance = 10;
    int lineHeight = 24;
    double lineHeightPerPt = 0.0;
    int dpiValue = 96;
    std::map<char16_t, int> advances;
    std::vector<std::pair<std::u16string, int>> calls;  // line, size in points

    bool hasDevice() const override { return true; }
    int dpi() const override { return dpiValue; }
    TextExtent lineExtent(std::u16string_view line, int sizePt) override {
        calls.emplace_back(std::u16string(line), sizePt);
        int cx = 2;
        for (char16_t unit : line) {
            auto it = advances.find(unit);
            cx += it != advances.end() ? it->second : unitAdvance;
        }
        const int cy =
            lineHeightPerPt > 0 ? static_cast<int>(sizePt * lineHeightPerPt + 0.5) : lineHeight;
        return {cx, cy};
    }
};

// A layout job over a 60-second 512 x 384 video at 29.97 fps (frameCount 1798), base size 18,
// no filter (the period spans every date), the no-device measurer unless another is set.
struct LayoutFixture {
    VideoInfo video{29.97, 6000, 0, 512, 384};
    int fontSizePt = 18;
    CommentFilterSettings filter{0, 2'000'000'000, {}, {}};
    NoDeviceMeasurer noDevice;
    TextMeasurer* measurer = &noDevice;
    SequenceRandom random{{}};
    int hideOldComments = 0;

    void run(ChatList& chats) {
        LayoutJob job{video, fontSizePt, hideOldComments, filter, *measurer, random.source()};
        layOutComments(chats, job);
    }
};

// The record with comment number `no` after the layout (the layout reorders the list).
inline const ChatRecord& byNo(const ChatList& chats, int32_t no) {
    for (const ChatRecord& r : chats) {
        if (r.no == no) {
            return r;
        }
    }
    ADD_FAILURE() << "no record with no " << no;
    static const ChatRecord missing;
    return missing;
}

}  // namespace layout_test
