#include "hls_sample_maker.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "demo_crypto.h"
#include "platform/child_process.h"
#include "platform/file_content.h"
#include "platform/instance_lock.h"
#include "platform/replace_file.h"

namespace fs = std::filesystem;

namespace {

// Bumped whenever the recipe changes, so that samples of an older recipe are not taken.
constexpr const char* kRecipe = "hls-recipe-1 segments=6s";
constexpr const char* kFfmpeg = "/usr/bin/ffmpeg";
constexpr const char* kFfprobe = "/usr/bin/ffprobe";
constexpr auto kLockWait = std::chrono::minutes(15);

struct Output {
    std::string id;
    bool video;
    int width;
    int height;
    long bitRate;
};

// Runs `program` and returns its output, or why it failed with the output's last lines.
Result<std::string> run(const std::string& program, const std::vector<std::string>& arguments,
                        const fs::path& folder) {
    ChildProcess child;
    if (Status started = child.start(program, arguments, folder.string()); !started)
        return started.failure();
    std::string output;
    child.readToEnd([&](const std::string& chunk) { output += chunk; }, [] { return false; });
    const std::optional<ChildProcess::ExitStatus> status = child.wait();
    if (!status || status->signalled || status->code != 0) {
        std::string tail = output.substr(output.size() > 600 ? output.size() - 600 : 0);
        for (char& c : tail)
            c = c == '\n' ? ' ' : c;
        return Failure{program + " failed (" +
                       (status ? describeExitStatus(*status) : std::string("no status")) +
                       "): " + tail};
    }
    return output;
}

// The height class the service names a rendition after.
int heightClass(int height) {
    for (const int lines : {1080, 720, 480, 360}) {
        if (height >= lines)
            return lines;
    }
    return 144;
}

long nominalBitRate(int lines) {
    switch (lines) {
        case 1080:
            return 4000000;
        case 720:
            return 2000000;
        case 480:
            return 1000000;
        case 360:
            return 600000;
        default:
            return 150000;
    }
}

std::vector<std::string> hlsOutput(const fs::path& folder, const std::string& id) {
    return {"-f",
            "hls",
            "-hls_segment_type",
            "fmp4",
            "-hls_time",
            "6",
            "-hls_playlist_type",
            "vod",
            "-hls_fmp4_init_filename",
            "init.mp4",
            "-hls_segment_filename",
            (folder / id / "%02d.m4s").string(),
            (folder / id / "index.m3u8").string()};
}

std::string decimalFrameRate(const std::string& fraction) {
    const size_t slash = fraction.find('/');
    double rate = std::atof(fraction.c_str());
    if (slash != std::string::npos && std::atof(fraction.c_str() + slash + 1) > 0)
        rate /= std::atof(fraction.c_str() + slash + 1);
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", rate);
    return text;
}

}  // namespace

HlsSampleMaker::HlsSampleMaker(fs::path cacheFolder, std::string clip, bool copy)
    : cacheFolder_(std::move(cacheFolder)), clip_(std::move(clip)), copy_(copy) {}

Result<std::string> HlsSampleMaker::sampleKey() const {
    std::string material = std::string(kRecipe) + (copy_ ? " copy\n" : " ladder\n");
    if (clip_.empty()) {
        material += "generated";
    } else {
        Result<std::string> bytes = readWholeFile(clip_);
        if (!bytes)
            return Failure{"cannot read the clip: " + bytes.error()};
        material += sha256(*bytes);
    }
    return hexText(sha256(material)).substr(0, 24);
}

Result<HlsSampleMaker::ClipFacts> HlsSampleMaker::probeClip() const {
    ClipFacts facts;
    if (clip_.empty()) {
        facts = {512, 384, "30000/1001", "generated", "generated"};
        return facts;
    }
    Result<std::string> output = run(
        kFfprobe,
        {"-v", "error", "-show_entries", "stream=codec_type,codec_name,width,height,r_frame_rate",
         "-of", "default=nw=1", fs::absolute(clip_).string()},
        cacheFolder_);
    if (!output)
        return output.failure();
    std::istringstream lines(*output);
    std::string type;
    ClipFacts probed;
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
        if (key == "codec_name") {
            // codec_name comes before codec_type: keep it until the type is known
            type = value;
        } else if (key == "codec_type" && value == "video" && probed.videoCodec.empty()) {
            probed.videoCodec = type;
        } else if (key == "codec_type" && value == "audio" && probed.audioCodec.empty()) {
            probed.audioCodec = type;
        } else if (key == "width" && probed.width == 0) {
            probed.width = std::atoi(value.c_str());
        } else if (key == "height" && probed.height == 0) {
            probed.height = std::atoi(value.c_str());
        } else if (key == "r_frame_rate" && probed.frameRate.empty() && value != "0/0") {
            probed.frameRate = value;
        }
    }
    if (probed.videoCodec.empty() || probed.width <= 0 || probed.height <= 0)
        return Failure{clip_ + " has no video stream"};
    if (probed.audioCodec.empty())
        return Failure{clip_ + " has no audio stream"};
    if (copy_ && (probed.videoCodec != "h264" || probed.audioCodec != "aac"))
        return Failure{"--sample-copy needs an H.264 and AAC clip; " + clip_ + " holds " +
                       probed.videoCodec + " and " + probed.audioCodec};
    return probed;
}

Status HlsSampleMaker::make(const fs::path& folder) const {
    Result<ClipFacts> facts = probeClip();
    if (!facts)
        return facts.failure();
    const int lines = heightClass(facts->height);
    std::vector<Output> outputs;
    std::vector<std::string> arguments = {"-nostdin", "-v", "error", "-y"};
    if (clip_.empty()) {
        arguments.insert(arguments.end(),
                         {"-f", "lavfi", "-i", "testsrc2=size=512x384:rate=30000/1001:duration=14",
                          "-f", "lavfi", "-i", "sine=frequency=440:duration=14"});
    } else {
        arguments.insert(arguments.end(), {"-i", fs::absolute(clip_).string()});
    }
    const std::string videoInput = "0:v:0";
    const std::string audioInput = clip_.empty() ? "1:a:0" : "0:a:0";
    const std::vector<std::string> keyFrames = {"-force_key_frames", "expr:gte(t,n_forced*6)"};
    if (copy_) {
        outputs.push_back(
            {"video-h264-" + std::to_string(lines) + "p", true, facts->width, facts->height, 0});
        outputs.push_back({"audio-aac-128kbps", false, 0, 0, 128000});
        arguments.insert(arguments.end(), {"-map", videoInput, "-c:v", "copy"});
        for (const std::string& part : hlsOutput(folder, outputs[0].id))
            arguments.push_back(part);
        arguments.insert(arguments.end(), {"-map", audioInput, "-c:a", "copy"});
        for (const std::string& part : hlsOutput(folder, outputs[1].id))
            arguments.push_back(part);
    } else {
        outputs.push_back({"video-h264-" + std::to_string(lines) + "p", true, facts->width / 2 * 2,
                           facts->height / 2 * 2, nominalBitRate(lines)});
        if (lines > 144) {
            const int width = (facts->width * 144 / facts->height + 1) / 2 * 2;
            outputs.push_back({"video-h264-144p", true, width, 144, nominalBitRate(144)});
        }
        outputs.push_back({"audio-aac-128kbps", false, 0, 0, 128000});
        outputs.push_back({"audio-aac-64kbps", false, 0, 0, 64000});
        for (const Output& output : outputs) {
            const std::string rate = std::to_string(output.bitRate / 1000) + "k";
            if (output.video) {
                arguments.insert(arguments.end(), {"-map", videoInput, "-c:v", "libx264", "-preset",
                                                   "veryfast", "-pix_fmt", "yuv420p", "-s",
                                                   std::to_string(output.width) + "x" +
                                                       std::to_string(output.height),
                                                   "-b:v", rate, "-maxrate", rate, "-bufsize",
                                                   std::to_string(output.bitRate / 500) + "k"});
                arguments.insert(arguments.end(), keyFrames.begin(), keyFrames.end());
            } else {
                arguments.insert(arguments.end(), {"-map", audioInput, "-c:a", "aac", "-b:a", rate,
                                                   "-ar", "48000", "-ac", "2"});
            }
            for (const std::string& part : hlsOutput(folder, output.id))
                arguments.push_back(part);
        }
    }
    std::string list;
    for (const Output& output : outputs) {
        std::error_code error;
        fs::create_directories(folder / output.id, error);
        if (error)
            return systemFailure("cannot make " + (folder / output.id).string(), error.value());
        list += output.id + (output.video ? " video " : " audio ") + std::to_string(output.width) +
                " " + std::to_string(output.height) + " " + std::to_string(output.bitRate) + " " +
                (output.video ? decimalFrameRate(facts->frameRate) : "-") + "\n";
    }
    if (Result<std::string> made = run(kFfmpeg, arguments, folder); !made)
        return made.failure();
    return replaceFile(folder / "renditions.txt", list);
}

Result<HlsSample> HlsSampleMaker::prepare() const {
    std::error_code error;
    fs::create_directories(cacheFolder_, error);
    if (error)
        return systemFailure("cannot make " + cacheFolder_.string(), error.value());
    Result<std::string> key = sampleKey();
    if (!key)
        return key.failure();
    const fs::path folder = cacheFolder_ / *key;

    // Another run may be making the same sample: wait for it rather than make it twice.
    InstanceLock lock((cacheFolder_ / (*key + ".lock")).string());
    const auto giveUp = std::chrono::steady_clock::now() + kLockWait;
    InstanceLock::State state;
    while ((state = lock.acquire()) == InstanceLock::State::HeldElsewhere &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (state != InstanceLock::State::Held)
        return Failure{"cannot lock the sample folder " + folder.string()};

    if (!fs::exists(folder / "renditions.txt")) {
        std::fprintf(stderr,
                     "lumivox-demo-service: making the HLS sample from %s with ffmpeg (once; "
                     "kept in %s)\n",
                     clip_.empty() ? "a generated clip" : clip_.c_str(), folder.c_str());
        const fs::path making = cacheFolder_ / (*key + ".making");
        fs::remove_all(making, error);
        if (Status made = make(making); !made) {
            fs::remove_all(making, error);
            return made.failure();
        }
        fs::remove_all(folder, error);
        fs::rename(making, folder, error);
        if (error)
            return systemFailure("cannot move the sample to " + folder.string(), error.value());
    }
    return HlsSample::load(folder);
}
