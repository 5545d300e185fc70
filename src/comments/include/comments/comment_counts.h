#pragma once
// How many comments of a job each step kept or removed, so that the front ends can say why a
// movie shows fewer comments than the thread holds (or none at all).

#include <cstdint>
#include <string>

struct CommentCounts {
    int64_t read = 0;              // records the comment file gave the job
    int64_t removedByCap = 0;      // the count cap of "do not show old comments"
    int64_t removedByPeriod = 0;   // posted before the period's start or after its end
    int64_t removedByNg = 0;       // posted by a user of the NG list
    int64_t removedByExtract = 0;  // posted by no user of a non-empty extract list
    int64_t notShown = 0;  // laid out but never on a frame: nothing to draw, outside the video
    int64_t drawn = 0;     // on at least one frame of the movie

    // Why no comment is drawn although some were read: the step that removed the most. Read
    // only when `read` > 0 and `drawn` == 0.
    enum class EmptyReason { Period, NgList, ExtractList, CountCap, NotShown };
    EmptyReason emptyReason() const;
    bool nothingDrawn() const { return read > 0 && drawn == 0; }
};

// "read 175, removed: period 175, NG list 0, extract list 0, count cap 0; not shown 0; drawn 0".
std::string describeCommentCounts(const CommentCounts& counts);
