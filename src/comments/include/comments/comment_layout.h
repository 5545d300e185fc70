#pragma once
// The comment layout: decides for every comment of a job when it is shown, how large it is,
// where it stands on the frame and how fast it moves, so that the frame filter can draw it.
//
// Units: lengths are pixels of the video frame, times are video frames, `vpos` is in 1/100 s,
// font sizes are points. Everything here runs on the job's worker thread; a TextMeasurer is
// used by one thread at a time.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "comments/chat_record.h"
#include "comments/comment_commands.h"
#include "comments/comment_counts.h"
#include "comments/comment_filter.h"
#include "comments/video_info.h"
#include "text/text_measurer.h"

// Pseudo-random numbers in 0..32767, for the places of comments that find no free room.
using RandomSource = std::function<int()>;

// The generator of the product: the C library's classic linear congruential generator with its
// own state, seeded from the current time, so that random places differ from run to run.
RandomSource clockSeededRandom();

// The same generator started from `seed`: the same seed gives the same places.
RandomSource seededRandom(uint32_t seed);

// A face that comments may ask for by command, with the measurer that measures it. Without a
// measurer such comments are measured and drawn with the job's face.
struct CommandFace {
    std::string file;  // font file path
    int index = 0;     // face inside the file
    TextMeasurer* measurer = nullptr;
};

// What one layout run is asked to do: values, read and never changed by the run.
struct LayoutJob {
    VideoInfo video;  // fps, durationCs, width, height (frameCount is not read)
    // The job's base font size in points. 0 means automatic: the run computes it once with
    // defaultFontSize (see LayoutOutcome).
    int fontSizePt = 0;
    bool hideOldComments = false;  // cap the comment count by the video's length
    CommentFilterSettings filter;  // period, NG and extract user IDs
    // Called for the places of comments that find no free room; the run calls a copy of it.
    // Empty: clockSeededRandom(), seeded at the run's start.
    RandomSource random;
    // The command words the mails are read with: the old table, or today's words (durations,
    // invisible, _live, ender, faces, colour codes).
    CommandVocabulary vocabulary = CommandVocabulary::Classic;
};

// The measurers a layout run measures the comments with: the one thing of the caller's that
// the run changes (their caches fill). They must outlive the call.
struct LayoutFonts {
    TextMeasurer& comment;    // the comment font (or the no-device measurer)
    CommandFace mincho = {};  // the face of "mincho" comments (today's words)
    CommandFace gothic = {};  // the face of "gothic" comments
};

// What a layout run settled besides the records.
struct LayoutOutcome {
    int frameCount = 0;  // the video's frames at its fps: trunc(durationCs * fps * 0.01)
    // The base size used: the job's, or the automatic one when the job gave 0, so that the
    // overlay files show the size the comments were measured with.
    int fontSizePt = 0;
    // What the count cap and the filter removed, and how many of the rest reach a frame.
    CommentCounts counts;
};

// Lays out `chats` in place: drops what is never drawn (the owner's script comments, whose
// text begins with "@" or "＠", and, with today's words, "invisible" ones), moves comments that
// would end after the last frame to 2.8 s before the end, runs the count cap and the filter (which
// remove records), sorts the rest into layout order and fills the layout fields of every record
// (position, colour, startFrame, endFrame, y, x of top and bottom comments, speed, fontSize, and
// with today's words opacity and face). The owner's comments end up after all others, so that they
// are drawn on top.
//
// A video that cannot carry comments (fps not a finite number in (0, 1e6], width or height 0
// or less) is not laid out on: frameCount is 0 for an unusable fps, the filter and the order
// still apply and every record gets its commands, size and colour, but is never shown
// (startFrame = endFrame = 0, speed 0, y 0). The automatic size is then computed only when the
// height is positive.
LayoutOutcome layOutComments(ChatList& chats, const LayoutJob& job, LayoutFonts& fonts);

// Whether a laid-out comment appears on at least one of the video's `frameCount` frames: it has
// a text and its frames [startFrame, endFrame) meet [0, frameCount).
bool reachesAFrame(const ChatRecord& laidOut, int frameCount);

// The box of a comment text in pixels.
struct CommentExtent {
    int width = 0;
    int height = 0;
};

// Box of `text` at `sizePt` points: TABs become two ideographic spaces and a space, lines are
// split at line feeds, an empty line counts as "あ" and only two empty lines in a row count.
// The width is the widest line's advance less 2 (never below 0), the height the tallest line
// times the number of lines counted. Without a device every text is 40 x 24.
CommentExtent measureText(TextMeasurer& measurer, std::u16string_view text, int sizePt);

// The automatic base size in points for a video `videoHeight` pixels high: the 18-point line
// height of "御" scaled by videoHeight / 384, converted from pixels to points at the measurer's
// resolution (96 dpi when it reports 0 or less).
int defaultFontSize(TextMeasurer& measurer, int videoHeight);

// The frame on which a comment at `vpos` (1/100 s) starts: trunc(round2(vpos * fps * 0.01)),
// where round2 rounds to two decimals. Saturates at the int64 range.
int64_t frameOfVpos(int32_t vpos, double fps);

// The display time D = fps * 2.8 s in frames. The 2.8 is a single-precision constant widened to
// double (2.799999952316284): at 29.97 fps D = 83.91599857091903, N = ceil(D) = 84.
double displayFrames(double fps);
