#pragma once
// How a job talks to its front end. The worker calls these from its own thread and never waits
// for the front end: an implementation queues the message (onto the GUI thread, or the CLI's
// loop) and returns at once. Every message carries the serial of its job, so that a front end
// can recognise, and ignore, a late message of a job it has already stopped.

#include <cstdint>
#include <string>

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
};
