#pragma once
// How a job ended, for the front end to show once the job is over: whether the movie was written,
// the one-line reason when it was not, and how long the encoding stages took.

#include <cstdint>
#include <optional>
#include <string>

#include "comments/comment_counts.h"

enum class JobResult {
    Succeeded,  // the movie was written (for the no-encode format: the video was downloaded)
    Stopped,    // the front end asked the job to stop before the movie was complete
    Failed,     // a stage failed; `reason` says which and why
};

// Wall-clock seconds of the encoding stages; empty for a stage that did not run.
struct StageTimings {
    std::optional<double> probe;         // the encoder's -in run
    std::optional<double> layout;        // opening the comment font and laying the comments out
    std::optional<double> overlayFiles;  // writing comment.ini and data.ini
    std::optional<double> encoder;       // the encoder run, from its start until it was reaped
};

struct JobOutcome;

// Logs how job `jobSerial` ended (the movie, the stop, or the failure with its reason), for a
// front end whose own display does not say it otherwise.
void logJobOutcome(uint64_t jobSerial, const JobOutcome& outcome);

struct JobOutcome {
    JobResult result = JobResult::Failed;
    // One line without a line break, in English: why the job failed ("the video could not be
    // probed", "the encoder failed with exit status 1: ..."); empty when it succeeded or stopped.
    std::string reason;
    // The file the job produced: the movie, or the downloaded video for the no-encode format.
    // Set when the encoder ended well (even if an earlier stage's failure makes the result
    // Failed, as when the movie lacks its comments); empty otherwise.
    std::string moviePath;
    StageTimings timings;
    // What the layout did with the comments; empty when the job did not reach it.
    std::optional<CommentCounts> comments;
};
