#pragma once
// A child program whose standard output and standard error come back through one pipe, as the
// encoder runs: standard input at end of file, the given folder as its current folder. The
// parent reads the output in chunks, and can stop the child at any time.
//
// One thread owns an object and makes every call. The child is always reaped: by `wait`, by
// `terminate`, or at the latest by the destructor, which terminates a child still running.
// The child never outlives its parent: it is killed when the thread that started it ends
// (with the whole process on a kill -9, say), and does not run at all when the parent died
// while it was being started.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"

class ChildProcess {
public:
    // The largest chunk `read` returns, so that a chunk with a terminating zero fits 4096 bytes.
    static constexpr size_t kMaxChunkBytes = 4095;

    struct ExitStatus {
        bool signalled = false;  // ended by a signal rather than by exiting
        int code = 0;            // the exit code, or the signal number when `signalled`
    };

    enum class ReadResult {
        Data,    // `chunk` holds 1 to kMaxChunkBytes bytes
        Idle,    // nothing arrived within the time-out; call again (after checking for a stop)
        End,     // every writer closed the pipe: the output is complete
        Failed,  // reading failed (or nothing was started); the output is incomplete
    };

    ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Starts `program` (an absolute path) with the arguments `arguments` (argv[0] is the program
    // path) and `workingFolder` as its current folder; the environment is the parent's.
    // Fails, naming the program, when it could not be started: the system's reason (a missing
    // program or folder, a denied execution), a relative program path, or a child that this
    // object holds already. Never throws.
    Status start(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& workingFolder);

    // Waits at most `timeoutMs` milliseconds (-1: without limit) for output and puts the next
    // chunk into `chunk` (replacing its content; emptied unless Data).
    ReadResult read(std::string& chunk, int timeoutMs);

    // Reads to the end of the output, handing each chunk to `onChunk`. `stopRequested` is asked
    // about every `pollMs` milliseconds and after every chunk; when it says yes, reading stops
    // and the result is false (the child is left running: terminate it if it should end).
    // True when the output ended (End), false on Failed or a stop.
    template <typename OnChunk, typename StopRequested>
    bool readToEnd(OnChunk&& onChunk, StopRequested&& stopRequested, int pollMs = 150);

    // Asks the child to end (SIGTERM to the child and the processes it started), kills them
    // (SIGKILL) after a short grace period, and reaps the child. Returns at once when no child is
    // running. Reading may go on afterwards until End.
    void terminate();

    // Waits at most `timeoutMs` milliseconds (-1: without limit) for the child to end and reaps
    // it. The status, or nothing when the child still runs after the time-out or none was
    // started. Once reaped, the same status is returned again.
    std::optional<ExitStatus> wait(int timeoutMs = -1);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// "exit code 3", "signal 15 (Terminated)": for messages.
std::string describeExitStatus(const ChildProcess::ExitStatus& status);

template <typename OnChunk, typename StopRequested>
bool ChildProcess::readToEnd(OnChunk&& onChunk, StopRequested&& stopRequested, int pollMs) {
    std::string chunk;
    while (true) {
        switch (read(chunk, pollMs)) {
            case ReadResult::Data:
                onChunk(chunk);
                break;
            case ReadResult::Idle:
                break;
            case ReadResult::End:
                return true;
            case ReadResult::Failed:
                return false;
        }
        if (stopRequested()) {
            return false;
        }
    }
}
