#pragma once
// What the lumivox-cli end-to-end tests share: a folder of their own with the work and save
// folders, the real program run through the shell or started directly (so that a signal reaches
// it), a clip that Debian's ffmpeg makes, ffprobe's view of a movie, the red pixels of one of its
// frames, and the laid-out comments of comment.ini.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service/service_test_support.h"

extern char** environ;

namespace cli_test {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

const fs::path kProgramFolder = LUMIVOX_PROGRAM_DIR;

// The clip: 4 s of a dark blue picture (nothing red in it) at 320 x 240, 29.97 fps, Sorenson
// video and MP3 audio, as the service's FLV streams are.
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// A red comment fixed at the top at 1 s (frame 29), and scrolling and bottom comments in other
// colours, posted at 1700000001..5.
const char* const kComments =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<packet>\n"
    "<thread resultcode=\"0\" thread=\"1173108780\" last_res=\"5\"/>\n"
    "<chat thread=\"1173108780\" no=\"1\" vpos=\"50\" date=\"1700000001\" "
    "user_id=\"a\">流れるコメント</chat>\n"
    "<chat thread=\"1173108780\" no=\"2\" vpos=\"100\" date=\"1700000002\" mail=\"red ue\" "
    "user_id=\"b\">赤い上コメント</chat>\n"
    "<chat thread=\"1173108780\" no=\"3\" vpos=\"120\" date=\"1700000003\" mail=\"yellow\" "
    "user_id=\"c\">wwwwwwww</chat>\n"
    "<chat thread=\"1173108780\" no=\"4\" vpos=\"200\" date=\"1700000004\" mail=\"shita\" "
    "user_id=\"d\">下のコメント</chat>\n"
    "<chat thread=\"1173108780\" no=\"5\" vpos=\"220\" date=\"1700000005\" "
    "user_id=\"e\">もう一つ</chat>\n"
    "</packet>\n";

inline std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline void runShell(const std::string& command) {
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// What `command` writes to its standard output; a failure is a test failure.
inline std::string outputOf(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, n);
        }
        EXPECT_EQ(::pclose(pipe), 0) << command;
    }
    return output;
}

inline fs::path makeClip(const fs::path& clip) {
    runShell("ffmpeg -nostdin -v error -y -f lavfi -i color=c=0x203050:s=" +
             std::to_string(kWidth) + "x" + std::to_string(kHeight) +
             ":r=30000/1001:d=4 -f lavfi -i sine=f=440:d=4 -c:v flv -q:v 2 -c:a libmp3lame "
             "-ar 22050 " +
             quote(clip.string()));
    return clip;
}

// What ffprobe reports about `file`: `entries` (its options) one value a line.
inline std::string ffprobe(const fs::path& file, const std::string& entries) {
    return outputOf("ffprobe -v error -of default=nw=1:nk=1 " + entries + " " +
                    quote(file.string()));
}

// The codec of the stream `stream` ("v" or "a") of `file` and a line end; empty without one.
inline std::string codecOf(const fs::path& file, const std::string& stream) {
    return ffprobe(file, "-select_streams " + stream + " -show_entries stream=codec_name");
}

// `movie` is an AVI of `clip` as the default format makes it: MS-MPEG4 v3 and MP3, as long as
// the clip, every frame of it.
inline void expectAviOf(const fs::path& movie, const fs::path& clip) {
    EXPECT_EQ(codecOf(movie, "v"), "msmpeg4v3\n");
    EXPECT_EQ(codecOf(movie, "a"), "mp3\n");
    EXPECT_NEAR(std::stod(ffprobe(movie, "-show_entries format=duration")), 4.0, 0.15);
    const std::string frames =
        "-count_frames -select_streams v -show_entries stream=nb_read_frames";
    EXPECT_EQ(ffprobe(movie, frames), ffprobe(clip, frames));
}

// The lines of comment.ini, without their CR LF.
inline std::vector<std::string> iniLines(const fs::path& commentIni) {
    std::vector<std::string> lines;
    std::istringstream text(readBytes(commentIni));
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line.substr(0, line.find('\r')));
    }
    return lines;
}

// One laid-out comment of comment.ini: ten lines each after a five-line header (mail, place, y,
// start frame, ..., size, ..., end frame, x).
struct OverlayBlock {
    std::string mail;
    int position = 0, y = 0, startFrame = 0, fontSize = 0, endFrame = 0, x = 0;
};

inline std::vector<OverlayBlock> overlayBlocks(const fs::path& commentIni) {
    const std::vector<std::string> l = iniLines(commentIni);
    std::vector<OverlayBlock> blocks;
    for (size_t i = 5; i + 10 <= l.size(); i += 10) {
        blocks.push_back({l[i], std::stoi(l[i + 1]), std::stoi(l[i + 2]), std::stoi(l[i + 3]),
                          std::stoi(l[i + 6]), std::stoi(l[i + 8]), std::stoi(l[i + 9])});
    }
    return blocks;
}

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

class CliE2eTest : public ::testing::Test {
protected:
    // Every test begins with the work folder and the comments in comments.xml beside it.
    void SetUp() override {
        fs::create_directories(work);
        writeBytes(commentFile, kComments);
    }

    // Runs `program` (lumivox-cli) with the work folder in LUMIVOX_HOME and waits for its end.
    RunResult run(const std::vector<std::string>& args,
                  const fs::path& program = kProgramFolder / "lumivox-cli") {
        RunResult result;
        result.exitCode = exitCodeOf(std::system(commandLine(program, args).c_str()));
        result.out = readBytes(root.path() / "stdout.txt");
        result.err = readBytes(errPath());
        return result;
    }

    // Starts the program as run() does but without waiting. The shell execs it in its own
    // place, so that a signal to the returned process goes to lumivox-cli itself.
    pid_t spawn(const fs::path& program, const std::vector<std::string>& args) {
        const std::string command = "exec " + commandLine(program, args);
        const char* const argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ),
                  0);
        return pid;
    }

    // The shell command of a run: standard output to stdout.txt, standard error to errPath().
    std::string commandLine(const fs::path& program, const std::vector<std::string>& args) const {
        std::string command = "env LUMIVOX_HOME=" + quote(work.string());
        command.append(" ").append(quote(program.string()));
        for (const std::string& arg : args) {
            command.append(" ").append(quote(arg));
        }
        command.append(" > ").append(quote((root.path() / "stdout.txt").string()));
        return command.append(" 2> ").append(quote(errPath())).append(" < /dev/null");
    }

    // Waits up to 60 s for `ready` (and a moment more), sends `signalNumber` to `pid` and waits
    // for its end: it must exit with 130 within `limitSeconds`, far below what the stand-ins
    // it waits for would take. One that does not end in 30 s is killed and reaped.
    void expectStoppedBy(int signalNumber, pid_t pid, const std::function<bool()>& ready,
                         double limitSeconds) {
        ASSERT_GT(pid, 0);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!ready() && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(ready()) << readBytes(errPath());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto signalled = std::chrono::steady_clock::now();
        EXPECT_EQ(::kill(pid, signalNumber), 0);
        int status = 0;
        pid_t reaped = 0;
        for (int i = 0; i < 3000 && (reaped = ::waitpid(pid, &status, WNOHANG)) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (reaped == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            FAIL() << "lumivox-cli did not end after signal " << signalNumber;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - signalled;
        EXPECT_EQ(exitCodeOf(status), 130);
        EXPECT_LT(took.count(), limitSeconds);
    }

    // The red pixels of frame `frame` of `movie`, decoded to RGB by Debian's ffmpeg: inside the
    // box of `block` (one line of its size below its y, between x and the width less x) and in
    // the whole frame; -1 for both when the frame cannot be decoded.
    std::pair<int, int> redPixels(const fs::path& movie, int frame, const OverlayBlock& block) {
        const std::string rgb = outputOf("ffmpeg -nostdin -v error -i " + quote(movie.string()) +
                                         " -vf 'select=eq(n\\," + std::to_string(frame) +
                                         ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
        if (rgb.size() != size_t{kWidth} * kHeight * 3) {
            ADD_FAILURE() << "frame " << frame << " has " << rgb.size() << " bytes";
            return {-1, -1};
        }
        const int lineHeight = block.fontSize * 96 / 72 * 3 / 2;
        int inBox = 0;
        int total = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const auto* p = reinterpret_cast<const unsigned char*>(&rgb[(y * kWidth + x) * 3]);
                if (p[0] > 170 && p[1] < 90 && p[2] < 90) {
                    ++total;
                    inBox += y >= block.y && y < block.y + lineHeight && x >= block.x &&
                             x < kWidth - block.x;
                }
            }
        }
        return {inBox, total};
    }

    std::string errPath() const { return (root.path() / "stderr.txt").string(); }

    service_test::TempFolder root;
    fs::path work = root.path() / "work";
    fs::path save = root.path() / "save";
    const fs::path commentFile = root.path() / "comments.xml";
};

}  // namespace cli_test
