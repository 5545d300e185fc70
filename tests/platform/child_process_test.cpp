#include "platform/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// Everything the child writes, read with a generous overall limit so that a fault cannot hang
// the test run. Every chunk must respect the chunk size.
std::string readAll(ChildProcess& child) {
    std::string output;
    std::string chunk;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < giveUp) {
        switch (child.read(chunk, 100)) {
            case ChildProcess::ReadResult::Data:
                EXPECT_LE(chunk.size(), ChildProcess::kMaxChunkBytes);
                output += chunk;
                break;
            case ChildProcess::ReadResult::Idle:
                break;
            case ChildProcess::ReadResult::End:
                return output;
            case ChildProcess::ReadResult::Failed:
                ADD_FAILURE() << "read failed";
                return output;
        }
    }
    ADD_FAILURE() << "the output did not end";
    return output;
}

// Waits for the first chunk, so that the child has got past its set-up.
std::string readFirstChunk(ChildProcess& child) {
    std::string chunk;
    for (int tries = 0; tries < 300; ++tries) {
        if (child.read(chunk, 100) != ChildProcess::ReadResult::Idle) {
            break;
        }
    }
    return chunk;
}

// True when this process has no child left, neither running nor a zombie.
bool noChildrenLeft() {
    errno = 0;
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

std::vector<std::string> shell(const std::string& script) {
    return {"-c", script};
}

// The pipes among the open descriptors of process `pid` ("self": the lister), by descriptor,
// as a child lists them.
std::map<int, std::string> openPipes(const std::string& pid) {
    ChildProcess lister;
    EXPECT_TRUE(lister
                    .start("/usr/bin/find",
                           {"/proc/" + pid + "/fd/", "-mindepth", "1", "-printf", "%f %l\\n"}, "/")
                    .ok());
    std::map<int, std::string> pipes;
    std::istringstream lines(readAll(lister));
    std::string target;
    for (int fd; lines >> fd && std::getline(lines >> std::ws, target);) {
        if (target.starts_with("pipe:")) {
            pipes[fd] = target;
        }
    }
    lister.wait();
    return pipes;
}

// Blocks until `pid`, a child of this process, ends or `limit` passes; its wait status, or
// nothing when it still runs.
std::optional<int> waitWithin(pid_t pid, std::chrono::seconds limit) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < giveUp) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return status;
        }
        ::usleep(10000);
    }
    return std::nullopt;
}

}  // namespace

TEST(ChildProcess, JoinsStandardOutputAndErrorAndReportsTheExitOrTheSignal) {
    const struct {
        const char* script;
        const char* output;
        bool signalled;
        int code;
        const char* description;
    } cases[] = {{"echo out; echo err >&2; exit 3", "out\nerr\n", false, 3, "exit code 3"},
                 {"kill -KILL $$", "", true, SIGKILL, "signal 9"}};
    for (const auto& c : cases) {
        ChildProcess child;
        ASSERT_TRUE(child.start("/bin/sh", shell(c.script), "/").ok());
        EXPECT_EQ(readAll(child), c.output);
        const auto status = child.wait();
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(status->signalled, c.signalled);
        EXPECT_EQ(status->code, c.code);
        EXPECT_EQ(describeExitStatus(*status), c.description);
        // Once reaped, the same status again, and the output stays at its end.
        EXPECT_EQ(child.wait()->code, c.code);
        std::string chunk = "stale";
        EXPECT_EQ(child.read(chunk, 0), ChildProcess::ReadResult::End);
        EXPECT_TRUE(chunk.empty());
        EXPECT_TRUE(noChildrenLeft());
    }
}

TEST(ChildProcess, RunsInTheGivenFolderWithTheArgumentsUnchangedAndInputAtItsEnd) {
    TestTempFolder folder;
    const fs::path sub = folder / "作業 folder";
    fs::create_directory(sub);
    ChildProcess child;
    // cat would wait forever for an input that is not at its end.
    ASSERT_TRUE(child
                    .start("/bin/sh",
                           {"-c", "pwd -P; cat; printf '[%s]' \"$@\"", "sh", "a  b", "日本語", "",
                            "\"q\"", "x\\y"},
                           sub.string())
                    .ok());
    EXPECT_EQ(readAll(child), fs::canonical(sub).string() + "\n[a  b][日本語][][\"q\"][x\\y]");
    EXPECT_EQ(child.wait()->code, 0);
}

TEST(ChildProcess, AProgramThatCannotStartIsAFailureResult) {
    TestTempFolder folder;
    ChildProcess child;
    // Each failure names the program and says why, in the system's words.
    const auto failsWith = [&](const std::string& program, const std::string& folder,
                               const std::string& reason) {
        const Status started = child.start(program, {}, folder);
        ASSERT_FALSE(started.ok()) << program;
        EXPECT_EQ(started.error(), program + ": " + reason);
    };
    failsWith((folder / "FFmpeg").string(), "/", systemErrorText(ENOENT));
    std::string chunk;
    EXPECT_EQ(child.read(chunk, 0), ChildProcess::ReadResult::Failed);
    EXPECT_FALSE(child.wait(0).has_value());
    child.terminate();

    failsWith("/bin/echo", (folder / "missing").string(), systemErrorText(ENOENT));
    failsWith("bin/echo", "/", "not an absolute path");

    const fs::path notExecutable = folder / "data.ini";
    writeBytes(notExecutable, "x");
    fs::permissions(notExecutable, fs::perms::owner_read | fs::perms::owner_write);
    failsWith(notExecutable.string(), "/", systemErrorText(EACCES));
    EXPECT_FALSE(child.wait(0).has_value());
    EXPECT_TRUE(noChildrenLeft());

    // The object is still usable after failures.
    ASSERT_TRUE(child.start("/bin/echo", {"ok"}, "/").ok());
    EXPECT_EQ(readAll(child), "ok\n");
    child.wait();
}

TEST(ChildProcess, ReadsLargeOutputCompletelyInBoundedChunks) {
    ChildProcess child;
    // 5 000 000 bytes of "0123456789" repeated.
    ASSERT_TRUE(child.start("/bin/sh", shell("yes 012345678 | head -c 5000000"), "/").ok());
    const std::string output = readAll(child);
    ASSERT_EQ(output.size(), 5000000u);
    for (size_t i = 0; i < output.size(); i += 9973) {
        ASSERT_EQ(output[i], i % 10 == 9 ? '\n' : static_cast<char>('0' + i % 10)) << i;
    }
    EXPECT_EQ(child.wait()->code, 0);
}

TEST(ChildProcess, ReadReturnsIdleWhileTheChildIsSilentAndASecondStartIsRefused) {
    ChildProcess child;
    ASSERT_TRUE(child.start("/bin/sleep", {"30"}, "/").ok());
    EXPECT_FALSE(child.start("/bin/echo", {}, "/").ok());
    std::string chunk;
    EXPECT_EQ(child.read(chunk, 50), ChildProcess::ReadResult::Idle);
    EXPECT_FALSE(child.wait(20).has_value()) << "the child still runs";

    int polls = 0;
    int chunks = 0;
    EXPECT_FALSE(
        child.readToEnd([&](const std::string&) { ++chunks; }, [&] { return ++polls == 3; }, 20));
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(chunks, 0);
    child.terminate();
}

TEST(ChildProcess, TerminateEndsTheChildAndWhatItStartedKillsOneThatIgnoresItAndReaps) {
    // The shell's sleep holds the output pipe open too: the output ends only when both are gone.
    for (const auto& [script, signal] : {std::pair{"echo ready; sleep 30; echo late", SIGTERM},
                                         {"trap '' TERM; echo ready; sleep 30", SIGKILL}}) {
        ChildProcess child;
        ASSERT_TRUE(child.start("/bin/sh", shell(script), "/").ok());
        EXPECT_EQ(readFirstChunk(child), "ready\n");
        child.terminate();
        const auto status = child.wait(0);  // reaped by terminate
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(status->signalled);
        EXPECT_EQ(status->code, signal) << script;
        EXPECT_EQ(readAll(child), "");
        EXPECT_TRUE(noChildrenLeft());
    }
}

TEST(ChildProcess, DestroyingTheObjectLeavesNoChildBehind) {
    {
        ChildProcess running;
        ASSERT_TRUE(running.start("/bin/sleep", {"30"}, "/").ok());
    }
    EXPECT_TRUE(noChildrenLeft());
    {
        // Ended on its own, never waited for: reaped by the destructor.
        ChildProcess ended;
        ASSERT_TRUE(ended.start("/bin/echo", {"x"}, "/").ok());
        readAll(ended);
    }
    EXPECT_TRUE(noChildrenLeft());
}

TEST(ChildProcess, LaterChildrenDoNotInheritTheOutputPipe) {
    // Pipes this process already holds (from whoever started it) may be inherited by any child;
    // the output pipe of a running child must not be.
    std::set<std::string> pipesBefore;
    for (const auto& [fd, target] : openPipes(std::to_string(::getpid()))) {
        pipesBefore.insert(target);
    }
    ChildProcess first;
    ASSERT_TRUE(first.start("/bin/sleep", {"30"}, "/").ok());
    const std::map<int, std::string> inherited = openPipes("self");
    first.terminate();
    for (const auto& [fd, target] : inherited) {
        EXPECT_TRUE(fd <= 2 || pipesBefore.count(target))
            << "descriptor " << fd << " -> " << target;
    }
    EXPECT_EQ(inherited.count(0) + inherited.count(1) + inherited.count(2), 3u);
}

TEST(ChildProcess, TheChildEndsWhenItsParentIsKilled) {
    // This process adopts orphans, so that the grandchild can be waited for once its parent
    // is gone. The parent is a real process of its own (a fork of this one) that starts the
    // grandchild through ChildProcess, passes on its process id, and waits to be killed.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int ids[2];
    ASSERT_EQ(::pipe(ids), 0);
    const pid_t parent = ::fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        ChildProcess child;
        if (!child.start("/bin/sh", shell("echo $$; exec sleep 30"), "/").ok()) {
            ::_exit(1);
        }
        const std::string id = readFirstChunk(child);
        if (::write(ids[1], id.data(), id.size()) < 0) {
            ::_exit(1);
        }
        ::pause();
        ::_exit(0);
    }
    ::close(ids[1]);
    char text[32] = {};
    ASSERT_GT(::read(ids[0], text, sizeof text - 1), 0);
    ::close(ids[0]);
    const pid_t grandchild = std::atoi(text);
    ASSERT_GT(grandchild, 0);

    ASSERT_EQ(::kill(parent, SIGKILL), 0);
    ASSERT_TRUE(waitWithin(parent, std::chrono::seconds(10)).has_value());
    const std::optional<int> status = waitWithin(grandchild, std::chrono::seconds(10));
    if (!status) {
        ::kill(grandchild, SIGKILL);
        ::waitpid(grandchild, nullptr, 0);
    }
    ASSERT_TRUE(status.has_value()) << "the child ran on without its parent";
    EXPECT_TRUE(WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGKILL);
}
