#pragma once
// How a job talks to its front end. The worker calls these from its own thread and never waits
// for the front end: an implementation queues the message (onto the GUI thread, or the CLI's
// loop) and returns at once. Every message carries the serial of its job, so that a front end
// can recognise, and ignore, a late message of a job it has already stopped.

#include <cstdint>
#include <string>

#include "comments/comment_counts.h"

// Where a download stands: in segments (today's service delivers the video in segments) or, for
// a single stream, in bytes of a known length.
struct DownloadProgress {
    int segmentsDone = 0;
    int segmentsTotal = 0;  // 0: a single stream
    int64_t bytesDone = 0;
    double bytesPerSecond = 0;  // 0: not known yet
    double secondsLeft = -1;    // -1: not known yet
    int64_t bytesTotal = 0;     // a single stream's length; 0: not known

    // segmentsDone × 100 / segmentsTotal, else bytesDone × 100 / bytesTotal; 0 without a total.
    int percent() const {
        if (segmentsTotal > 0) {
            return static_cast<int>(int64_t{segmentsDone} * 100 / segmentsTotal);
        }
        return bytesTotal > 0 ? static_cast<int>(bytesDone * 100 / bytesTotal) : 0;
    }
};

// "12/30 segments, 45.2 MB, 12.3 MB/s, 0:07 left" (a single stream: "45.2 MB of 100.0 MB, ..."):
// the progress for a person; speed and time left only once known.
std::string describeDownloadProgress(const DownloadProgress& progress);

// Where the encoding stands.
struct EncodingProgress {
    int percent = 0;             // of the probed frame count; may pass 100
    double framesPerSecond = 0;  // frames of the movie encoded per second; 0: not known yet
    double secondsLeft = -1;     // -1: not known yet
};

// "45.0 fps, 0:03 left": speed and time left for a person, each only once known.
std::string describeEncodingProgress(const EncodingProgress& progress);

// "1:05": whole seconds as minutes and seconds (hours added from an hour on: "1:02:05").
std::string describeSecondsLeft(double seconds);

class JobSink {
public:
    virtual ~JobSink() = default;

    // Download or encoding progress in percent. Values outside 1..100 may arrive
    // (a download without a known total, frames beyond the probed count); front ends ignore them.
    virtual void jobProgress(uint64_t jobSerial, int percent) = 0;

    // The encoding stage begins: the front end resets its bar and shows "エンコード中...".
    virtual void encodingBegins(uint64_t jobSerial) = 0;

    // The job has ended, whatever the outcome. Sent exactly once per job, as its last message.
    virtual void jobDone(uint64_t jobSerial) = 0;

    // A failed HTTP operation's error text, for the front end to show (message box, stderr).
    virtual void serviceError(uint64_t jobSerial, const std::string& text) = 0;

    // Download progress in segments and bytes, with speed and time left. A front end that
    // shows only percentages keeps this default, which passes the segments' percentage on.
    virtual void downloadProgress(uint64_t jobSerial, const DownloadProgress& progress) {
        jobProgress(jobSerial, progress.percent());
    }

    // Encoding progress with its speed. A front end that shows only percentages keeps this
    // default, which passes the percentage on.
    virtual void encodingProgress(uint64_t jobSerial, const EncodingProgress& progress) {
        jobProgress(jobSerial, progress.percent);
    }

    // A note for the user that is no error (the account a session belongs to). Default: none.
    virtual void jobNotice(uint64_t /*jobSerial*/, const std::string& /*text*/) {}

    // The comments are laid out: how many were read, removed by each filter, and will be drawn.
    // Sent once per job that reaches the layout, before the encoder starts. Default: nothing.
    virtual void commentsCounted(uint64_t /*jobSerial*/, const CommentCounts& /*counts*/) {}
};
