#pragma once
// Shared pieces of the layout tests. Figures used throughout (512 x 384 at 29.97 fps):
// D = 29.97 * 2.799999952316284 = 83.916, N = 84 display frames, prune horizon ceil(3 D) = 252,
// frame(vpos) = trunc(round2(vpos * 0.2997)); the no-device measurer makes every box 40 x 24.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "comments/comment_layout.h"

namespace layout_test {

inline ChatRecord chat(int32_t vpos, std::u16string text = u"x", std::string mail = "",
                       int32_t no = 0) {
    ChatRecord r;
    r.seq = r.no = no;
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
            if (next_ < values_.size())
                return values_[next_++];
            ADD_FAILURE() << "random source asked more often than expected";
            return 0;
        };
    }
    std::size_t calls() const { return calls_; }

private:
    std::vector<int> values_;
    std::size_t next_ = 0, calls_ = 0;
};

// Every UTF-16 unit advances `unitAdvance` px unless `advances` names another, plus 2 px of
// overhang per line (which the layout takes off again). Lines are `lineHeight` px high, or
// round(size * lineHeightPerPt) when that is set. Records the lines and sizes it is asked for.
class FixedWidthMeasurer final : public TextMeasurer {
public:
    int unitAdvance = 10, lineHeight = 24, dpiValue = 96;
    double lineHeightPerPt = 0.0;
    std::map<char16_t, int> advances;
    std::vector<std::pair<std::u16string, int>> calls;

    bool hasDevice() const override { return true; }
    int dpi() const override { return dpiValue; }
    TextExtent lineExtent(std::u16string_view line, int sizePt) override {
        calls.emplace_back(std::u16string(line), sizePt);
        int cx = 2;
        for (char16_t unit : line) {
            auto it = advances.find(unit);
            cx += it != advances.end() ? it->second : unitAdvance;
        }
        return {cx, lineHeightPerPt > 0 ? static_cast<int>(sizePt * lineHeightPerPt + 0.5)
                                        : lineHeight};
    }
};

// A layout job over a 60-second 512 x 384 video at 29.97 fps (frameCount 1798), base size 18,
// a filter period spanning every date, the no-device measurer unless another is set.
struct LayoutFixture {
    VideoInfo video{29.97, 6000, 0, 512, 384};
    int fontSizePt = 18;
    CommentFilterSettings filter{0, 2'000'000'000, {}, {}};
    NoDeviceMeasurer noDevice;
    TextMeasurer* measurer = &noDevice;
    SequenceRandom random{{}};
    bool hideOldComments = false;
    LayoutOutcome outcome;  // of the last run

    LayoutJob job() { return {video, fontSizePt, hideOldComments, filter, random.source()}; }
    void run(ChatList& chats) {
        LayoutFonts fonts{*measurer};
        outcome = layOutComments(chats, job(), fonts);
    }
    ChatList laidOut(ChatList chats) {
        run(chats);
        return chats;
    }
};

// One field of every record, ordered by comment number (the layout reorders the list).
template <class T>
std::vector<T> byNo(ChatList chats, T ChatRecord::*field) {
    std::sort(chats.begin(), chats.end(), [](auto& a, auto& b) { return a.no < b.no; });
    std::vector<T> values;
    for (const ChatRecord& r : chats)
        values.push_back(r.*field);
    return values;
}

}  // namespace layout_test
