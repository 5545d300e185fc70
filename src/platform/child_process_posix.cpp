#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/child_process.h"

extern char** environ;

namespace {

// How long a child may take to end after SIGTERM before it is killed.
constexpr int kTerminateGraceMs = 500;
// The status of a child that something else in the process reaped (waitpid failed with
// ECHILD): it has ended, but how is unknown.
constexpr ChildProcess::ExitStatus kLostStatus{false, -1};
// How often a timed wait looks at the child again.
constexpr int kWaitStepMs = 5;

void closeQuietly(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Moves `fd` above the standard descriptors (keeping close-on-exec), so that the child's dup2
// onto 0, 1 and 2 never meets a pipe end that already sits there (a parent started with a
// standard descriptor closed gets low numbers from pipe2).
int moveAboveStandard(int fd) {
    if (fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return moved;
}

// A pipe whose two ends are close-on-exec, so that no other child inherits them.
int makePipe(int ends[2]) {
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return errno;
    }
    ends[0] = moveAboveStandard(ends[0]);
    ends[1] = moveAboveStandard(ends[1]);
    if (ends[0] < 0 || ends[1] < 0) {
        const int error = errno;
        closeQuietly(ends[0]);
        closeQuietly(ends[1]);
        return error;
    }
    return 0;
}

ChildProcess::ExitStatus toExitStatus(int waitStatus) {
    ChildProcess::ExitStatus status;
    if (WIFSIGNALED(waitStatus)) {
        status.signalled = true;
        status.code = WTERMSIG(waitStatus);
    } else {
        status.code = WEXITSTATUS(waitStatus);
    }
    return status;
}

void sleepMs(int ms) {
    timespec delay{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

// Everything the child needs between fork and exec, made before the fork: the child may only
// make system calls then (another thread of the parent may hold a lock of the allocator).
struct ChildSetup {
    const char* program;
    char* const* argv;
    const char* folder;
    int input;   // becomes standard input
    int output;  // becomes standard output and standard error
    int report;  // the child writes its errno here when it cannot start the program
    pid_t parent;
};

[[noreturn]] void failInChild(int report, int error) {
    ssize_t written;
    do {
        written = ::write(report, &error, sizeof error);
    } while (written < 0 && errno == EINTR);
    ::_exit(127);
}

// Runs in the child between fork and exec.
[[noreturn]] void execChild(const ChildSetup& setup) {
    // The child ends with the parent: a movie nobody waits for must not go on being written.
    // The signal comes when the parent's thread that started the child ends. A parent that died
    // before the call is caught by the check after it (the child then belongs to another process).
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != setup.parent) {
        ::_exit(127);
    }
    // A process group of its own, so that terminate() reaches the processes the child starts
    // (a shell's commands hold the output pipe open too).
    ::setpgid(0, 0);
    // Signals that the parent handles, blocks or ignores (SIGPIPE, often) are reset.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        ::sigaction(signal, &defaultAction, nullptr);
    }
    // dup2 clears close-on-exec on the copies; the originals close at exec.
    if (::dup2(setup.input, STDIN_FILENO) < 0 || ::dup2(setup.output, STDOUT_FILENO) < 0 ||
        ::dup2(setup.output, STDERR_FILENO) < 0 || ::chdir(setup.folder) != 0) {
        failInChild(setup.report, errno);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(setup.program, setup.argv, environ);
    failInChild(setup.report, errno);
}

// Starts the child and waits until it has run the program (or failed to): 0, or the errno of
// the step that failed. The child is reaped here when it failed.
int forkAndExec(ChildSetup setup, pid_t& pid) {
    int report[2] = {-1, -1};
    if (const int error = makePipe(report); error != 0) {
        return error;
    }
    setup.report = report[1];
    // No handler of the parent may run in the child before its dispositions are reset.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    pid = ::fork();
    if (pid == 0) {
        execChild(setup);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    closeQuietly(report[1]);
    if (pid < 0) {
        closeQuietly(report[0]);
        return forkError;
    }
    // End of file: the program runs (the pipe closed at exec). Otherwise the child's errno.
    int childError = 0;
    ssize_t count;
    do {
        count = ::read(report[0], &childError, sizeof childError);
    } while (count < 0 && errno == EINTR);
    closeQuietly(report[0]);
    if (count == 0) {
        return 0;
    }
    int waitStatus = 0;
    while (::waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    return count == sizeof childError ? childError : EIO;
}

}  // namespace

struct ChildProcess::Impl {
    pid_t pid = -1;     // the running child; -1 when none or once reaped
    int outputFd = -1;  // read end of the output pipe; -1 once it reported its end
    std::optional<ExitStatus> status;
    bool outputEnded = false;

    // Reaps the child if it has ended (without blocking); true once it is reaped.
    bool reapIfEnded() {
        if (pid < 0) {
            return status.has_value();
        }
        int waitStatus = 0;
        pid_t result;
        do {
            result = ::waitpid(pid, &waitStatus, WNOHANG);
        } while (result < 0 && errno == EINTR);
        if (result == 0) {
            return false;
        }
        status = result == pid ? toExitStatus(waitStatus) : kLostStatus;
        pid = -1;
        return true;
    }

    void reapBlocking() {
        if (pid < 0) {
            return;
        }
        int waitStatus = 0;
        pid_t result;
        do {
            result = ::waitpid(pid, &waitStatus, 0);
        } while (result < 0 && errno == EINTR);
        status = result == pid ? toExitStatus(waitStatus) : kLostStatus;
        pid = -1;
    }

    // True when the child has ended, without reaping it: while it is a zombie its process id,
    // which is also its process group id, cannot be reused, so signals to the group stay safe.
    bool hasEndedUnreaped() {
        siginfo_t info{};
        int result;
        do {
            result = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        } while (result < 0 && errno == EINTR);
        return result != 0 || info.si_pid == pid;
    }
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
    terminate();
    closeQuietly(impl_->outputFd);
}

Status ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& workingFolder) {
    if (impl_->pid >= 0 || impl_->outputFd >= 0) {
        return Failure{program + ": another child of this object is still running"};
    }
    if (program.empty() || program.front() != '/') {
        return Failure{program + ": not an absolute path"};
    }
    impl_->status.reset();
    impl_->outputEnded = false;

    int output[2] = {-1, -1};
    int input[2] = {-1, -1};
    if (const int error = makePipe(output); error != 0) {
        return systemFailure(program, error);
    }
    if (const int error = makePipe(input); error != 0) {
        closeQuietly(output[0]);
        closeQuietly(output[1]);
        return systemFailure(program, error);
    }
    // The child's standard input is a pipe without a writer: it reads end of file at once.
    closeQuietly(input[1]);

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int error = forkAndExec(
        {program.c_str(), argv.data(), workingFolder.c_str(), input[0], output[1], -1, ::getpid()},
        pid);
    closeQuietly(input[0]);
    closeQuietly(output[1]);
    if (error != 0) {
        closeQuietly(output[0]);
        return systemFailure(program, error);
    }
    impl_->pid = pid;
    impl_->outputFd = output[0];
    return {};
}

ChildProcess::ReadResult ChildProcess::read(std::string& chunk, int timeoutMs) {
    chunk.clear();
    if (impl_->outputEnded) {
        return ReadResult::End;
    }
    if (impl_->outputFd < 0) {
        return ReadResult::Failed;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        int waitMs = timeoutMs;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            waitMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd entry{impl_->outputFd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, waitMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return ReadResult::Failed;
        }
        if (ready == 0) {
            return ReadResult::Idle;
        }
        break;
    }
    char buffer[kMaxChunkBytes];
    ssize_t count;
    do {
        count = ::read(impl_->outputFd, buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        return ReadResult::Failed;
    }
    if (count == 0) {
        impl_->outputEnded = true;
        closeQuietly(impl_->outputFd);
        return ReadResult::End;
    }
    chunk.assign(buffer, static_cast<size_t>(count));
    return ReadResult::Data;
}

void ChildProcess::terminate() {
    Impl& impl = *impl_;
    if (impl.pid < 0) {
        return;
    }
    const pid_t group = impl.pid;
    ::kill(-group, SIGTERM);
    for (int waited = 0; waited < kTerminateGraceMs && !impl.hasEndedUnreaped();
         waited += kWaitStepMs) {
        sleepMs(kWaitStepMs);
    }
    // Also when the child itself has ended: what it started may still hold the pipe open.
    ::kill(-group, SIGKILL);
    impl.reapBlocking();
}

std::optional<ChildProcess::ExitStatus> ChildProcess::wait(int timeoutMs) {
    Impl& impl = *impl_;
    if (impl.pid < 0) {
        return impl.status;
    }
    if (timeoutMs < 0) {
        impl.reapBlocking();
        return impl.status;
    }
    for (int waited = 0;; waited += kWaitStepMs) {
        if (impl.reapIfEnded()) {
            return impl.status;
        }
        if (waited >= timeoutMs) {
            return std::nullopt;
        }
        sleepMs(kWaitStepMs);
    }
}
