// Every built-in format preset that encodes, run the way the job runs it: the template with
// its file placeholders filled (the comment filter left out; its own tests cover it), split by
// the Windows command-line rules into the arguments of the built FFmpeg. The output is read
// back with ffprobe: container, codecs, length, frame count, and the status lines.

#include <gtest/gtest.h>

#include <cmath>

#include "encoder_test_support.h"
#include "job/argument_template.h"
#include "platform/command_line.h"
#include "support/missing_tool.h"

namespace encoder_test {
namespace {

struct Preset {
    const char* name;
    const char* templateText;  // without <%Lumivox%>
    const char* extension;
    const char* format;      // ffprobe's format_name holds this
    const char* videoCodec;  // ffprobe's codec name, "" for none
    const char* audioCodec;
    double frameRate;  // forced by -r, 0 = the input's
};

const Preset kPresets[] = {
    {"AVI", R"( -y -i "<%InputFile%>"  -vcodec msmpeg4 -acodec libmp3lame "<%TemporaryFile%>.avi")",
     "avi", "avi", "msmpeg4v3", "mp3", 0},
    {"AVI_normal",
     R"( -y -i "<%InputFile%>"  -vcodec msmpeg4 -b 1000k -acodec libmp3lame "<%TemporaryFile%>.avi")",
     "avi", "avi", "msmpeg4v3", "mp3", 0},
    {"AVI_high",
     R"( -y -i "<%InputFile%>"  -vcodec msmpeg4 -acodec libmp3lame -sameq "<%TemporaryFile%>.avi")",
     "avi", "avi", "msmpeg4v3", "mp3", 0},
    {"MP4",
     R"( -y -i "<%InputFile%>"  -vcodec mpeg4 -acodec libfaac -r 24 "<%TemporaryFile%>.mp4")",
     "mp4", "mp4", "mpeg4", "aac", 24},
    {"MP4_high",
     R"( -y -i "<%InputFile%>"  -vcodec mpeg4 -acodec libfaac -r 24 -sameq "<%TemporaryFile%>.mp4")",
     "mp4", "mp4", "mpeg4", "aac", 24},
    {"WMV", R"( -y -i "<%InputFile%>"  -vcodec wmv2 -acodec wmav2 "<%TemporaryFile%>.wmv")", "wmv",
     "asf", "wmv2", "wmav2", 0},
    {"WMV_high",
     R"( -y -i "<%InputFile%>"  -vcodec wmv2 -acodec wmav2 -sameq "<%TemporaryFile%>.wmv")", "wmv",
     "asf", "wmv2", "wmav2", 0},
    // The "AVI" preset without comments names a .wmv file: ASF with the AVI preset's codecs.
    {"AVI_plain",
     R"( -y -i "<%InputFile%>" -vcodec msmpeg4 -acodec libmp3lame -sameq "<%TemporaryFile%>.wmv")",
     "wmv", "asf", "msmpeg4v3", "mp3", 0},
    {"MP4_plain",
     R"( -y -i "<%InputFile%>" -vcodec mpeg4 -acodec libfaac -r 29.97 -sameq "<%TemporaryFile%>.mp4")",
     "mp4", "mp4", "mpeg4", "aac", 29.97},
    {"WMV_plain",
     R"( -y -i "<%InputFile%>" -vcodec wmv2 -acodec wmav2 -sameq "<%TemporaryFile%>.wmv")", "wmv",
     "asf", "wmv2", "wmav2", 0},
    {"MP3", R"( -y -i "<%InputFile%>" -vn -acodec libmp3lame "<%TemporaryFile%>.mp3")", "mp3",
     "mp3", "", "mp3", 0},
};

struct Input {
    const char* name;
    std::vector<std::string> args;  // Debian ffmpeg's arguments before the file name
    const char* extension;
    double frameRate;  // 0 = no video
    bool audio;
};

const double kNtsc = 30000.0 / 1001.0;
const double kSeconds = 2.0;

const Input kInputs[] = {
    {"FlvH263Mp3",
     {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=30000/1001", "-f", "lavfi", "-i",
      "sine=sample_rate=44100", "-t", "2", "-c:v", "flv", "-c:a", "libmp3lame", "-ac", "2"},
     "flv",
     kNtsc,
     true},
    {"FlvH264Aac",
     {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=30000/1001", "-f", "lavfi", "-i",
      "sine=sample_rate=44100", "-t", "2", "-c:v", "libx264", "-preset", "veryfast", "-c:a", "aac"},
     "flv",
     kNtsc,
     true},
    {"Mp4H264Aac",
     {"-f", "lavfi", "-i", "testsrc=size=192x108:rate=25", "-f", "lavfi", "-i",
      "sine=sample_rate=48000", "-t", "2", "-c:v", "libx264", "-preset", "veryfast", "-c:a", "aac"},
     "mp4",
     25,
     true},
    {"FlvNoAudio",
     {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=30000/1001", "-t", "2", "-c:v", "flv"},
     "flv",
     kNtsc,
     false},
    {"Mp3Only",
     {"-f", "lavfi", "-i", "sine=sample_rate=44100", "-t", "2", "-c:a", "libmp3lame"},
     "mp3",
     0,
     true},
};

// Readable parameters in test listings.
void PrintTo(const Preset& p, std::ostream* os) {
    *os << p.name;
}
void PrintTo(const Input& i, std::ostream* os) {
    *os << i.name;
}

using Case = std::tuple<Preset, Input>;

class PresetTemplateTest : public ::testing::TestWithParam<Case> {};

TEST_P(PresetTemplateTest, WritesTheNamedContainerAndCodecs) {
    if (!debianToolsPresent()) {
        SKIP_FOR_MISSING_TOOL("Debian's ffmpeg and ffprobe");
    }
    const auto& [preset, input] = GetParam();
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const fs::path clip = folder.file(std::string("input.") + input.extension);
    ASSERT_EQ(makeClip(clip, input.args), "");

    // The folder path has a blank, as save folders often do; quoting keeps it one argument.
    fs::create_directory(folder.file("save folder"));
    const std::string outBase = folder.file("save folder/sm9").string();
    std::vector<std::string> argv = splitCommandLine(fillPlaceholders(
        preset.templateText,
        {{"<%InputFile%>", clip.string(), true}, {"<%TemporaryFile%>", outBase, true}}));
    argv.insert(argv.begin(), encoderPath());
    ChildResult r = runChild(argv);
    ASSERT_TRUE(r.exitedWith(0)) << "exit " << r.exitCode << " signal " << r.signal << "\n"
                                 << r.err;

    const fs::path out = outBase + "." + preset.extension;
    MediaInfo info = probeWithFfprobe(out);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_NE(info.formatName.find(preset.format), std::string::npos) << info.formatName;
    EXPECT_NEAR(info.duration, kSeconds, 0.25);

    const MediaStream* video = info.first("video");
    const MediaStream* audio = info.first("audio");
    if (preset.videoCodec[0] != '\0') {
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->codec, preset.videoCodec);
        const double rate = preset.frameRate > 0 ? preset.frameRate : input.frameRate;
        EXPECT_NEAR(static_cast<double>(video->packets), rate * kSeconds, 2.0)
            << "frames written at " << rate << " fps";
        // The job's progress reader must see the frames written.
        EXPECT_EQ(lastStatusFrame(r.err), video->packets) << r.err;
    } else {
        EXPECT_EQ(video, nullptr);
        EXPECT_EQ(lastStatusFrame(r.err), 0) << r.err;
    }
    if (input.audio) {
        ASSERT_NE(audio, nullptr);
        EXPECT_EQ(audio->codec, preset.audioCodec);
    } else {
        EXPECT_EQ(audio, nullptr);
    }
    EXPECT_NE(r.err.find("fps="), std::string::npos);
}

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (const Preset& p : kPresets) {
        const bool mp3 = std::string(p.extension) == "mp3";
        for (const Input& in : kInputs) {
            const bool hasVideo = in.frameRate > 0;
            // Video presets need a video; the MP3 preset needs sound.
            if ((!mp3 && hasVideo) || (mp3 && in.audio)) {
                cases.emplace_back(p, in);
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, PresetTemplateTest, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace encoder_test
