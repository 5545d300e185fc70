#include "encoder_test_support.h"
#include "support/missing_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

extern char** environ;

namespace encoder_test {

ChildResult runChild(const std::vector<std::string>& argv, const fs::path& cwd,
                     int timeoutSeconds) {
    ChildResult result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        result.err = "pipe failed";
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    if (!cwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        result.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left)) < 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buf[4096];
                ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    sinks[i]->append(buf, static_cast<size_t>(n));
                } else {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    for (pollfd& f : fds) {
        if (f.fd >= 0) {
            close(f.fd);
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::string encoderPath() {
    return std::string(LUMIVOX_PROGRAM_DIR) + "/FFmpeg";
}

bool debianToolsPresent() {
    return access(kDebianFfmpeg, X_OK) == 0 && access(kFfprobe, X_OK) == 0;
}

void FlvClipTest::SetUp() {
    if (!debianToolsPresent()) {
        SKIP_FOR_MISSING_TOOL("Debian's ffmpeg and ffprobe");
    }
    ASSERT_FALSE(folder_.path().empty());
    clip_ = folder_.file("in.flv");
    ASSERT_EQ(makeClip(clip_, {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=30000/1001", "-f",
                               "lavfi", "-i", "sine=sample_rate=44100", "-t", "3", "-c:v", "flv",
                               "-c:a", "libmp3lame"}),
              "");
}

std::string makeClip(const fs::path& file, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {kDebianFfmpeg, "-nostdin", "-hide_banner",
                                     "-loglevel",   "error",    "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(file.string());
    ChildResult r = runChild(argv);
    if (!r.exitedWith(0)) {
        return "ffmpeg failed making " + file.string() + ": " + r.err;
    }
    return {};
}

const MediaStream* MediaInfo::first(const std::string& type) const {
    for (const MediaStream& s : streams) {
        if (s.type == type) {
            return &s;
        }
    }
    return nullptr;
}

double MediaStream::frameRate() const {
    double num = 0, den = 0;
    if (std::sscanf(avgFrameRate.c_str(), "%lf/%lf", &num, &den) != 2 || den <= 0) {
        return 0;
    }
    return num / den;
}

MediaInfo probeWithFfprobe(const fs::path& file) {
    MediaInfo info;
    ChildResult r =
        runChild({kFfprobe, "-v", "error", "-count_packets", "-show_entries",
                  "format=format_name,duration:stream=codec_type,codec_name,"
                  "nb_read_packets,avg_frame_rate,width,height,sample_rate,codec_tag_string",
                  "-of", "flat", file.string()});
    if (!r.exitedWith(0)) {
        info.error = "ffprobe failed: " + r.err;
        return info;
    }
    std::map<std::string, std::string> values;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        values[line.substr(0, eq)] = value;
    }
    info.formatName = values["format.format_name"];
    info.durationText = values["format.duration"];
    info.duration = std::atof(info.durationText.c_str());
    for (int i = 0;; ++i) {
        const std::string p = "streams.stream." + std::to_string(i) + ".";
        if (!values.count(p + "codec_type")) {
            break;
        }
        MediaStream s;
        s.type = values[p + "codec_type"];
        s.codec = values[p + "codec_name"];
        s.packets = std::atol(values[p + "nb_read_packets"].c_str());
        s.avgFrameRate = values[p + "avg_frame_rate"];
        s.width = std::atoi(values[p + "width"].c_str());
        s.height = std::atoi(values[p + "height"].c_str());
        s.sampleRate = std::atoi(values[p + "sample_rate"].c_str());
        s.codecTag = values[p + "codec_tag_string"];
        info.streams.push_back(s);
    }
    info.ok = true;
    return info;
}

long lastStatusFrame(const std::string& text) {
    long last = -1;
    size_t pos = 0;
    while ((pos = text.find("frame=", pos)) != std::string::npos) {
        pos += 6;
        size_t fps = text.find("fps", pos);
        if (fps == std::string::npos) {
            break;
        }
        last = std::strtol(text.substr(pos, fps - pos).c_str(), nullptr, 10);
    }
    return last;
}

}  // namespace encoder_test
