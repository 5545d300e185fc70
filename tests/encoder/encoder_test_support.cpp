#include "encoder_test_support.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "job/movie_length_check.h"
#include "platform/child_process.h"
#include "support/missing_tool.h"

namespace encoder_test {

ChildResult runChild(const std::vector<std::string>& argv, const fs::path& cwd,
                     int timeoutSeconds) {
    // ChildProcess joins standard error to standard output: the shell sends it to a file.
    const TempFolder errors;
    const fs::path errFile = errors / "stderr";
    std::vector<std::string> args = {"-c", "exec \"$@\" 2>\"$0\"", errFile.string()};
    args.insert(args.end(), argv.begin(), argv.end());
    ChildResult result;
    ChildProcess child;
    if (Status started = child.start("/bin/sh", args, (cwd.empty() ? fs::current_path() : cwd));
        !started) {
        result.err = started.error();
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    result.timedOut = !child.readToEnd([&](const std::string& chunk) { result.out += chunk; },
                                       [&] { return std::chrono::steady_clock::now() > deadline; });
    if (result.timedOut) {
        child.terminate();
    }
    const auto status = child.wait();
    result.err = readBytes(errFile);
    if (status) {
        (status->signalled ? result.signal : result.exitCode) = status->code;
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
    const ChildResult r = runChild(argv);
    return r.exitedWith(0) ? "" : "ffmpeg failed making " + file.string() + ": " + r.err;
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
    const ChildResult r =
        runChild({kFfprobe, "-v", "error", "-count_packets", "-show_entries",
                  "format=format_name,duration:stream=codec_type,codec_name,"
                  "nb_read_packets,avg_frame_rate,width,height,sample_rate,codec_tag_string",
                  "-of", "flat", file.string()});
    if (!r.exitedWith(0)) {
        info.error = "ffprobe failed: " + r.err;
        return info;
    }
    // Lines of the form key="value" or key=number.
    std::map<std::string, std::string> values;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
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
        const auto number = [&](const char* key) { return std::atol(values[p + key].c_str()); };
        info.streams.push_back(
            {values[p + "codec_type"], values[p + "codec_name"], number("nb_read_packets"),
             values[p + "avg_frame_rate"], static_cast<int>(number("width")),
             static_cast<int>(number("height")), static_cast<int>(number("sample_rate")),
             values[p + "codec_tag_string"]});
    }
    info.ok = true;
    return info;
}

long lastStatusFrame(const std::string& text) {
    EncodedFrameCounter counter;
    counter.add(text);
    return static_cast<long>(counter.last().value_or(-1));
}

}  // namespace encoder_test
