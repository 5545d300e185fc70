#include "comments/comment_layout.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "comments/comment_commands.h"
#include "comments/placed_box_list.h"
#include "comments/today_commands.h"
#include "platform/local_time.h"

namespace {

// 2.8 s held in single precision: D = fps * 2.799999952316284.
constexpr double kDisplaySeconds = static_cast<double>(2.8f);
constexpr int32_t kEndMarginCs = 280;
// Longer texts (in UTF-16 units) are not enlarged.
constexpr std::size_t kLongTextUnits = 31;
// More lines than these make the font smaller, by this factor.
constexpr int64_t kEnlargedLineLimit = 2;
constexpr int64_t kNormalLineLimit = 4;
constexpr int64_t kShrunkLineLimit = 6;
constexpr double kShrinkFactor = 0.3;
// Taken off every line's advance: the measured advance includes the pen's overhang.
constexpr int kWidthCorrection = 2;
constexpr std::u16string_view kEmptyLineStandIn = u"\u3042";  // "あ"
constexpr int kCountedEmptyLines = 2;
constexpr std::u16string_view kTabReplacement = u"\u3000\u3000\u0020";
constexpr CommentExtent kNoDeviceExtent{40, 24};
// Boxes are kept this many display times after their end.
constexpr double kPruneDisplayTimes = 3.0;
// The automatic size: the 18-point line of "御" scaled by height / 384.
constexpr double kPerReferenceHeight = 0.0026041666666666665;
constexpr int kReferenceSizePt = 18;
constexpr std::u16string_view kReferenceText = u"\u5FA1";  // "御"
constexpr int kDefaultDpi = 96;
// Above this a frame rate is no frame rate; frame numbers would leave the 64-bit range.
constexpr double kMaxUsableFps = 1e6;
constexpr int kRandomRange = 32768;
constexpr int32_t kHalfOpacity = 128;

// round2(v) = floor(v * 100 + 0.5) * 0.01.
double round2(double v) {
    return std::floor(v * 100 + 0.5) * 0.01;
}

// Truncation toward zero into Int; values beyond its range become its limits and NaN becomes 0,
// so that no conversion is undefined.
template <typename Int>
Int truncSaturated(double v) {
    constexpr Int kMax = std::numeric_limits<Int>::max();
    constexpr Int kMin = std::numeric_limits<Int>::min();
    if (std::isnan(v)) {
        return 0;
    }
    if (v >= static_cast<double>(kMax)) {
        return kMax;
    }
    if (v <= static_cast<double>(kMin)) {
        return kMin;
    }
    return static_cast<Int>(v);
}

int64_t ceilOf(double v) {
    return truncSaturated<int64_t>(std::ceil(v));
}

int clampToInt(int64_t v) {
    return static_cast<int>(
        std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// `line` with every TAB replaced, in `scratch` when there is a TAB to replace.
std::u16string_view expandTabs(std::u16string_view line, std::u16string& scratch) {
    if (line.find(u'\t') == std::u16string_view::npos) {
        return line;
    }
    scratch.clear();
    for (char16_t unit : line) {
        if (unit == u'\t') {
            scratch.append(kTabReplacement);
        } else {
            scratch.push_back(unit);
        }
    }
    return scratch;
}

// measureText with a caller's buffer for TAB expansion, so that a run allocates it once.
CommentExtent measureTextWith(TextMeasurer& measurer, std::u16string_view text, int sizePt,
                              std::u16string& scratch) {
    if (!measurer.hasDevice()) {
        return kNoDeviceExtent;
    }
    int maxWidth = 0;
    int maxHeight = 0;
    int64_t measuredLines = 0;
    int emptyRun = 0;
    std::optional<TextExtent> emptyLineExtent;  // "あ" is measured once per text
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = text.find(u'\n', begin);
        const std::u16string_view line =
            text.substr(begin, end == std::u16string_view::npos ? end : end - begin);
        std::optional<TextExtent> extent;
        if (!line.empty()) {
            emptyRun = 0;
            extent = measurer.lineExtent(expandTabs(line, scratch), sizePt);
        } else if (++emptyRun <= kCountedEmptyLines) {
            if (!emptyLineExtent) {
                emptyLineExtent = measurer.lineExtent(kEmptyLineStandIn, sizePt);
            }
            extent = emptyLineExtent;
        }
        if (extent) {
            maxWidth = std::max(maxWidth, extent->cx - kWidthCorrection);
            maxHeight = std::max(maxHeight, extent->cy);
            ++measuredLines;
        }
        if (end == std::u16string_view::npos) {
            break;
        }
        begin = end + 1;
    }
    return {maxWidth, clampToInt(maxHeight * measuredLines)};
}

// The font size of a comment from its commands, its length and its number of lines.
int applySizeRules(const CommandResult& commands, int baseSize, std::size_t textUnits,
                   int64_t lines, bool keepSizeForLines = false) {
    const int64_t base = baseSize;
    int64_t size = commands.size;
    if (!commands.shrunk && textUnits > kLongTextUnits && size > base) {
        size = base;  // long texts are never enlarged, whatever their lines
    } else if (keepSizeForLines) {
        // "ender": as many lines as the poster wrote, at the size asked for
    } else if (size > base) {
        if (lines > kEnlargedLineLimit) {
            size = base;
        }
    } else if (size == base) {
        if (lines > kNormalLineLimit) {
            size -= ceilOf(static_cast<double>(base) * kShrinkFactor);
        }
    } else if (lines > kShrunkLineLimit) {
        size -= ceilOf(static_cast<double>(size) * kShrinkFactor);
    }
    return clampToInt(std::max<int64_t>(size, 1));
}

// The keys of the layout order, with the local hour worked out once per record.
struct OrderKey {
    int32_t vposSec;
    int32_t hour;
    int32_t date;
    int32_t premium;
    int32_t vpos;
    int32_t no;
    std::size_t index;
};

// Within one second, comments posted in different hours of the day come oldest first, the
// others premium first, then by vpos and number. This is not always a strict weak order (two
// comments of the same hour on different days can stand on either side of one of another
// hour), so it is applied with a merge sort, which stays within bounds and gives a
// deterministic result whatever the comparisons answer.
bool precedes(const OrderKey& a, const OrderKey& b) {
    if (a.vposSec != b.vposSec) {
        return a.vposSec < b.vposSec;
    }
    if (a.hour != b.hour) {
        return a.date < b.date;
    }
    if (a.premium != b.premium) {
        return a.premium > b.premium;
    }
    if (a.vpos != b.vpos) {
        return a.vpos < b.vpos;
    }
    return a.no < b.no;
}

void mergeSort(std::vector<OrderKey>& keys) {
    std::vector<OrderKey> buffer(keys.size());
    std::vector<OrderKey>* from = &keys;
    std::vector<OrderKey>* to = &buffer;
    const std::size_t n = keys.size();
    for (std::size_t run = 1; run < n; run *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * run) {
            const std::size_t mid = std::min(lo + run, n);
            const std::size_t hi = std::min(lo + 2 * run, n);
            std::size_t left = lo;
            std::size_t right = mid;
            std::size_t out = lo;
            while (left < mid && right < hi) {
                (*to)[out++] =
                    precedes((*from)[right], (*from)[left]) ? (*from)[right++] : (*from)[left++];
            }
            while (left < mid) {
                (*to)[out++] = (*from)[left++];
            }
            while (right < hi) {
                (*to)[out++] = (*from)[right++];
            }
        }
        std::swap(from, to);
    }
    if (from != &keys) {
        keys.swap(buffer);
    }
}

void sortIntoLayoutOrder(ChatList& chats) {
    std::vector<OrderKey> keys;
    keys.reserve(chats.size());
    for (std::size_t i = 0; i < chats.size(); ++i) {
        const ChatRecord& r = chats[i];
        keys.push_back({r.vposSec, localHourOf(r.date), r.date, r.premium, r.vpos, r.no, i});
    }
    mergeSort(keys);
    ChatList sorted;
    sorted.reserve(chats.size());
    for (const OrderKey& key : keys) {
        sorted.push_back(std::move(chats[key.index]));
    }
    chats.swap(sorted);
}

// Comments that would still be shown after the last frame (`frameCount`) start 2.8 s before the
// end instead.
void clampLateComments(ChatList& chats, const VideoInfo& video, int frameCount,
                       int64_t displayFrameCount) {
    const int32_t lateVpos = clampToInt(int64_t{video.durationCs} - kEndMarginCs);
    for (ChatRecord& r : chats) {
        if (frameOfVpos(r.vpos, video.fps) + displayFrameCount > frameCount) {
            r.vpos = lateVpos;
            r.vposSec = lateVpos / 100;
        }
    }
}

// The owner's script comments ("@" or "＠" first) drive the owner's player script and are never
// drawn; with today's words neither are "invisible" comments.
void dropUndrawn(ChatList& chats, CommandVocabulary vocabulary) {
    std::erase_if(chats, [&](const ChatRecord& r) {
        if (r.owner && (r.text.starts_with(u'@') || r.text.starts_with(u'\uFF20'))) {
            return true;
        }
        return vocabulary == CommandVocabulary::Today &&
               readTodayCommands(r.mail, 1, false).invisible;
    });
}

int64_t wrapIntoFrame(int64_t y, int64_t height) {
    return ((y % height) + height) % height;
}

// One run's fixed values and working state.
class LayoutRun {
public:
    LayoutRun(const LayoutJob& job, LayoutFonts& fonts, int fontSizePt, double displayFrameTime)
        : job_(job),
          fonts_(fonts),
          fontSizePt_(fontSizePt),
          width_(job.video.width),
          height_(job.video.height),
          displayTime_(displayFrameTime),
          displayFrameCount_(ceilOf(displayFrameTime)),
          boxes_(job.video.height, displayFrameCount_,
                 ceilOf(kPruneDisplayTimes * displayFrameTime)) {}

    void layOut(ChatRecord& r, RandomSource& random) {
        const Commands commands = applyCommands(r);
        const int size = commands.size;
        r.startFrame = frameOfVpos(r.vpos, job_.video.fps);
        // A comment shown for its own time crosses the screen in that time.
        const double shownTime =
            commands.shownSeconds ? job_.video.fps * *commands.shownSeconds : displayTime_;
        r.endFrame =
            r.startFrame + (commands.shownSeconds ? ceilOf(shownTime) : displayFrameCount_);
        boxes_.prepare(r.position, r.startFrame);

        const CommentExtent extent = measureTextWith(*commands.measurer, r.text, size, scratch_);
        const bool scrolling = r.position == 0;
        r.speed = scrolling ? truncSaturated<int32_t>(round2(
                                  static_cast<double>(int64_t{extent.width} + width_) / shownTime))
                            : 0;
        r.fontSize = size;
        if (!scrolling) {
            r.x = clampToInt(width_ / 2 - int64_t{extent.width / 2});
        }

        PlacementCandidate candidate;
        candidate.kind = r.position;
        candidate.left = scrolling ? width_ : r.x;
        candidate.width = extent.width;
        candidate.height = extent.height;
        candidate.speed = r.speed;
        const std::optional<int64_t> freeTop = boxes_.findFreeTop(candidate);
        const int64_t top = freeTop ? *freeTop : randomTop(extent.height, random);

        PlacedBox box;
        box.kind = r.position;
        box.left = scrolling ? width_ : 0;
        box.right = scrolling ? width_ + extent.width : width_;  // top/bottom block the width
        box.top = top;
        box.bottom = top + extent.height;
        box.speed = r.speed;
        box.frame = r.startFrame;
        // A scrolling comment too short and slow to get a speed of 1 stands still; it then
        // blocks for the display time like a fixed comment instead of dividing by zero.
        box.endFrame = r.speed != 0 ? r.startFrame + (width_ + extent.width) / r.speed
                                    : r.startFrame + displayFrameCount_;
        // A comment placed at random blocks nobody.
        boxes_.finishComment(r.startFrame, freeTop ? &box : nullptr);

        r.y = static_cast<int32_t>(wrapIntoFrame(top, height_));
    }

    // Position, size and colour only: for a video nothing can be shown on.
    void layOutNotShown(ChatRecord& r) {
        r.fontSize = applyCommands(r).size;
        r.startFrame = 0;
        r.endFrame = 0;
        r.speed = 0;
        r.y = 0;
    }

private:
    // What the commands of one comment settle besides its record's fields.
    struct Commands {
        int size = 0;
        std::optional<double> shownSeconds;
        TextMeasurer* measurer = nullptr;
    };

    // Reads the commands into position, colour, opacity and face, and returns the rest.
    Commands applyCommands(ChatRecord& r) const {
        const int64_t lines = std::count(r.text.begin(), r.text.end(), u'\n') + int64_t{1};
        Commands out;
        out.measurer = &fonts_.comment;
        if (job_.vocabulary == CommandVocabulary::Classic) {
            const CommandResult commands = readCommands(r.mail, fontSizePt_);
            if (commands.position) {
                r.position = *commands.position;
            }
            r.colour = colourForMail(r.mail);
            out.size = applySizeRules(commands, fontSizePt_, r.text.size(), lines);
            return out;
        }
        const TodayCommands commands =
            readTodayCommands(r.mail, fontSizePt_, r.premium != 0 || r.owner);
        if (commands.base.position) {
            r.position = *commands.base.position;
        }
        r.colour = commands.colour;
        r.opacity = commands.halfOpacity ? kHalfOpacity : 255;
        const CommandFace* face = commands.face == CommentFace::Mincho   ? &fonts_.mincho
                                  : commands.face == CommentFace::Gothic ? &fonts_.gothic
                                                                         : nullptr;
        if (face != nullptr && face->measurer != nullptr) {
            out.measurer = face->measurer;
            r.faceFile = face->file;
            r.faceIndex = face->index;
        }
        out.size = applySizeRules(commands.base, fontSizePt_, r.text.size(), lines, commands.ender);
        out.shownSeconds = commands.shownSeconds;
        return out;
    }

    int64_t randomTop(int64_t boxHeight, RandomSource& random) const {
        const int64_t room = height_ - boxHeight;
        if (room <= 0) {
            return 0;
        }
        const int value = std::clamp(random(), 0, kRandomRange - 1);
        return truncSaturated<int64_t>(value / static_cast<double>(kRandomRange) *
                                       static_cast<double>(room));
    }

    const LayoutJob& job_;
    LayoutFonts& fonts_;
    const int fontSizePt_;  // the base size of the run
    const int64_t width_;
    const int64_t height_;
    const double displayTime_;         // D, frames
    const int64_t displayFrameCount_;  // N = ceil(D)
    PlacedBoxList boxes_;
    std::u16string scratch_;  // TAB expansion, reused by every record
};

}  // namespace

RandomSource clockSeededRandom() {
    return seededRandom(static_cast<uint32_t>(std::time(nullptr)));
}

RandomSource seededRandom(uint32_t seed) {
    uint32_t state = seed;
    return [state]() mutable {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    };
}

double displayFrames(double fps) {
    return fps * kDisplaySeconds;
}

int64_t frameOfVpos(int32_t vpos, double fps) {
    return truncSaturated<int64_t>(round2(vpos * fps * 0.01));
}

CommentExtent measureText(TextMeasurer& measurer, std::u16string_view text, int sizePt) {
    std::u16string scratch;
    return measureTextWith(measurer, text, sizePt, scratch);
}

int defaultFontSize(TextMeasurer& measurer, int videoHeight) {
    const int lineHeight = measureText(measurer, kReferenceText, kReferenceSizePt).height;
    const int64_t pixels = truncSaturated<int64_t>(
        round2(static_cast<double>(lineHeight) * videoHeight * kPerReferenceHeight));
    const int dpi = measurer.dpi() > 0 ? measurer.dpi() : kDefaultDpi;
    return clampToInt(pixels * 72 / dpi);
}

LayoutOutcome layOutComments(ChatList& chats, const LayoutJob& job, LayoutFonts& fonts) {
    RandomSource random = job.random ? job.random : clockSeededRandom();
    const VideoInfo& video = job.video;
    const bool fpsUsable = std::isfinite(video.fps) && video.fps > 0 && video.fps <= kMaxUsableFps;
    const bool sizeUsable = video.width > 0 && video.height > 0;

    LayoutOutcome outcome;
    outcome.frameCount = fpsUsable ? truncSaturated<int>(video.durationCs * video.fps * 0.01) : 0;
    outcome.fontSizePt = job.fontSizePt == 0 && video.height > 0
                             ? defaultFontSize(fonts.comment, video.height)
                             : job.fontSizePt;
    const double displayTime = fpsUsable ? displayFrames(video.fps) : 0.0;
    // Comments never drawn (scripts, "invisible") count as read and not shown.
    CommentCounts& counts = outcome.counts;
    counts.read = static_cast<int64_t>(chats.size());
    dropUndrawn(chats, job.vocabulary);
    counts.notShown = counts.read - static_cast<int64_t>(chats.size());
    if (fpsUsable) {
        clampLateComments(chats, video, outcome.frameCount, ceilOf(displayTime));
    }
    if (job.hideOldComments) {
        counts.removedByCap = limitOldComments(chats, video.durationCs);
    }
    const FilterRemovals removed = filterComments(chats, job.filter);
    counts.removedByPeriod = removed.period;
    counts.removedByNg = removed.ngList;
    counts.removedByExtract = removed.extractList;
    sortIntoLayoutOrder(chats);

    LayoutRun run(job, fonts, outcome.fontSizePt, displayTime);
    for (ChatRecord& r : chats) {
        if (fpsUsable && sizeUsable) {
            run.layOut(r, random);
        } else {
            run.layOutNotShown(r);
        }
        ++(reachesAFrame(r, outcome.frameCount) ? counts.drawn : counts.notShown);
    }
    std::stable_partition(chats.begin(), chats.end(), [](const ChatRecord& r) { return !r.owner; });
    return outcome;
}

bool reachesAFrame(const ChatRecord& laidOut, int frameCount) {
    return !laidOut.text.empty() && laidOut.startFrame < laidOut.endFrame && laidOut.endFrame > 0 &&
           laidOut.startFrame < frameCount;
}
