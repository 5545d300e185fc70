// Every built-in format that encodes, run the way the job runs it: the shipped template with its
// placeholders filled (the comment filter left out; its own tests cover it), split by the Windows
// command-line rules into the arguments of the built FFmpeg, on short clips that Debian's ffmpeg
// makes. ffprobe reads the output back: container, codecs, length, frames, the subtitle track;
// the status lines must count the frames written, as the job's progress reader relies on them.

#include <gtest/gtest.h>

#include "comments/ass_script_writer.h"
#include "encoder_test_support.h"
#include "job/argument_template.h"
#include "job/format_presets.h"
#include "platform/command_line.h"
#include "support/missing_tool.h"

namespace encoder_test {
namespace {

struct Format {
    const char* label;  // for the test's name
    const char* name;   // the built-in format's
    const char* extension;
    const char* container;  // ffprobe's format_name holds this
    // ffprobe's codec names, "" for none; with copiesInput the clip's codecs come out.
    const char* videoCodec;
    const char* audioCodec;
    const char* subtitleCodec;
    double frameRate;  // forced by -r, 0 = the input's
    bool today;        // today's formats, run on the usual clips only and checked more closely
    bool copiesInput;
};

// In the order of the built-in list, without "無変換", which encodes nothing.
const Format kFormats[] = {
    {"AVI", "AVI", "avi", "avi", "msmpeg4v3", "mp3", "", 0, false, false},
    {"AVI_normal", "AVI(通常)", "avi", "avi", "msmpeg4v3", "mp3", "", 0, false, false},
    {"AVI_high", "AVI(高画質)", "avi", "avi", "msmpeg4v3", "mp3", "", 0, false, false},
    {"MP4", "MP4", "mp4", "mp4", "mpeg4", "aac", "", 24, false, false},
    {"MP4_high", "MP4(高画質)", "mp4", "mp4", "mpeg4", "aac", "", 24, false, false},
    {"WMV", "WMV", "wmv", "asf", "wmv2", "wmav2", "", 0, false, false},
    {"WMV_high", "WMV(高画質)", "wmv", "asf", "wmv2", "wmav2", "", 0, false, false},
    // Without comments "AVI" names a .wmv file: ASF with the AVI preset's codecs.
    {"AVI_plain", "AVI(コメントなし)", "wmv", "asf", "msmpeg4v3", "mp3", "", 0, false, false},
    {"MP4_plain", "MP4(コメントなし)", "mp4", "mp4", "mpeg4", "aac", "", 29.97, false, false},
    {"WMV_plain", "WMV(コメントなし)", "wmv", "asf", "wmv2", "wmav2", "", 0, false, false},
    {"MP3", "MP3", "mp3", "mp3", "", "mp3", "", 0, false, false},
    {"H264", "MP4(H.264)", "mp4", "mp4", "h264", "aac", "", 0, true, false},
    {"H264_high", "MP4(H.264 高画質)", "mp4", "mp4", "h264", "aac", "", 0, true, false},
    {"H265", "MP4(H.265)", "mp4", "mp4", "hevc", "aac", "", 0, true, false},
    {"VP9", "WebM(VP9)", "webm", "webm", "vp9", "opus", "", 0, true, false},
    {"AV1", "MKV(AV1)", "mkv", "matroska", "av1", "opus", "", 0, true, false},
    {"Subtitles", "MKV(字幕)", "mkv", "matroska", "", "", "ass", 0, true, true},
    {"SubtitlesOnly", "ASS(字幕のみ)", "ass", "ass", "", "", "ass", 0, true, false},
};

struct Clip {
    const char* label;
    const char* extension;
    double frameRate;  // 0 = no video
    int width;
    const char* videoCodec;  // ffprobe's codec names, "" for none
    const char* audioCodec;
    bool usual;        // the service's usual streams
    const char* args;  // Debian ffmpeg's arguments before the file name
};

const double kNtsc = 30000.0 / 1001.0;

// clang-format off
const Clip kClips[] = {
    {"FlvH263Mp3", "flv", kNtsc, 160, "flv1", "mp3", true,
     "-f lavfi -i testsrc=size=160x120:rate=30000/1001 -f lavfi -i sine=sample_rate=44100 -t 2 "
     "-c:v flv -c:a libmp3lame -ac 2"},
    {"FlvH264Aac", "flv", kNtsc, 160, "h264", "aac", false,
     "-f lavfi -i testsrc=size=160x120:rate=30000/1001 -f lavfi -i sine=sample_rate=44100 -t 2 "
     "-c:v libx264 -preset veryfast -c:a aac"},
    {"Mp4H264Aac", "mp4", 25, 192, "h264", "aac", true,
     "-f lavfi -i testsrc=size=192x108:rate=25 -f lavfi -i sine=sample_rate=48000 -t 2 "
     "-c:v libx264 -preset veryfast -c:a aac"},
    {"FlvNoAudio", "flv", kNtsc, 160, "flv1", "", false,
     "-f lavfi -i testsrc=size=160x120:rate=30000/1001 -t 2 -c:v flv"},
    {"Mp3Only", "mp3", 0, 0, "", "mp3", false,
     "-f lavfi -i sine=sample_rate=44100 -t 2 -c:a libmp3lame"},
};
// clang-format on

// Readable parameters in test listings.
void PrintTo(const Format& f, std::ostream* os) {
    *os << f.label;
}
void PrintTo(const Clip& c, std::ostream* os) {
    *os << c.label;
}

std::string templateOf(const std::string& name) {
    for (const FormatPreset& p : FormatPresetList::builtInPresets()) {
        if (p.name == name) {
            return p.argTemplate;
        }
    }
    return {};
}

// Two comments in the layout's terms: one scrolling, one fixed at the top.
ChatList twoComments(double fps) {
    ChatList chats(2);
    chats[0].text = u"テスト comment";
    chats[0].startFrame = 3;
    chats[0].endFrame = static_cast<int64_t>(fps * 1.5);
    chats[0].speed = 4;
    chats[0].fontSize = 18;
    chats[0].y = 10;
    chats[1].text = u"上";
    chats[1].position = 1;
    chats[1].x = 70;
    chats[1].startFrame = 10;
    chats[1].endFrame = 40;
    chats[1].fontSize = 18;
    chats[1].colour = "FF 00 00";
    return chats;
}

using Case = std::tuple<Format, Clip>;

class FormatTemplateTest : public ::testing::TestWithParam<Case> {};

TEST_P(FormatTemplateTest, WritesTheNamedContainerAndCodecs) {
    if (!debianToolsPresent()) {
        SKIP_FOR_MISSING_TOOL("Debian's ffmpeg and ffprobe");
    }
    const auto& [format, clip] = GetParam();
    TempFolder folder;
    const fs::path input = folder.file(std::string("input.") + clip.extension);
    ASSERT_EQ(makeClip(input, splitCommandLine(clip.args)), "");
    const fs::path script = folder.file("comment.ass");
    writeBytes(script, composeAssScript({160, 120, clip.frameRate, "IPAPGothic", 1.0},
                                        twoComments(clip.frameRate)));

    // The folder path has a blank, as save folders often do; quoting keeps it one argument.
    fs::create_directory(folder.file("save folder"));
    const std::string outBase = folder.file("save folder/sm9").string();
    ASSERT_FALSE(templateOf(format.name).empty()) << format.name;
    const std::string text =
        fillPlaceholders(templateOf(format.name), {{"<%InputFile%>", input.string(), true},
                                                   {"<%SubtitleFile%>", script.string(), true},
                                                   {"<%TemporaryFile%>", outBase, true},
                                                   {"<%Lumivox%>", ""}});
    std::vector<std::string> argv = splitCommandLine(text);
    argv.insert(argv.begin(), encoderPath());
    const ChildResult r = runChild(argv);
    ASSERT_TRUE(r.exitedWith(0)) << text << "\nexit " << r.exitCode << " signal " << r.signal
                                 << "\n"
                                 << r.err;
    EXPECT_THAT(r.err, HasSubstr("fps="));

    const fs::path out = outBase + "." + format.extension;
    const MediaInfo info = probeWithFfprobe(out);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_THAT(info.formatName, HasSubstr(format.container));
    const MediaStream* subtitle = info.first("subtitle");
    if (format.subtitleCodec[0] != '\0') {
        ASSERT_NE(subtitle, nullptr);
        EXPECT_EQ(subtitle->codec, format.subtitleCodec);
        EXPECT_EQ(subtitle->packets, 2);  // both comments
    } else {
        EXPECT_EQ(subtitle, nullptr);
    }
    if (format.extension == std::string("ass")) {
        EXPECT_EQ(info.streams.size(), 1u);
        return;
    }
    EXPECT_NEAR(info.duration, 2.0, format.today ? 0.1 : 0.25);

    const MediaStream* video = info.first("video");
    const std::string videoCodec = format.copiesInput ? clip.videoCodec : format.videoCodec;
    if (videoCodec.empty()) {
        EXPECT_EQ(video, nullptr);
        EXPECT_EQ(lastStatusFrame(r.err), 0) << r.err;
    } else {
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->codec, videoCodec);
        const double rate = format.frameRate > 0 ? format.frameRate : clip.frameRate;
        EXPECT_NEAR(static_cast<double>(video->packets), rate * 2, format.today ? 1.5 : 2.0)
            << "frames written at " << rate << " fps";
        if (!format.copiesInput) {
            EXPECT_EQ(lastStatusFrame(r.err), video->packets) << r.err;
        }
        if (format.today) {
            EXPECT_EQ(video->width, clip.width);
            EXPECT_NEAR(video->frameRate(), rate, rate * 0.01) << video->avgFrameRate;
        }
    }
    const MediaStream* audio = info.first("audio");
    const std::string audioCodec = format.copiesInput ? clip.audioCodec : format.audioCodec;
    if (clip.audioCodec[0] != '\0') {
        ASSERT_NE(audio, nullptr);
        EXPECT_EQ(audio->codec, audioCodec);
    } else {
        EXPECT_EQ(audio, nullptr);
    }
    if (format.videoCodec == std::string("hevc")) {
        EXPECT_EQ(video->codecTag, "hvc1");
    }
    if (format.today && format.extension == std::string("mp4")) {
        // +faststart: the index comes before the media data.
        const std::string bytes = readBytes(out);
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
    }
}

// Today's formats run on the usual clips; the others on every clip that has what they keep.
std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (const Format& f : kFormats) {
        for (const Clip& c : kClips) {
            if (f.today ? c.usual : (f.videoCodec[0] != '\0' ? c.frameRate > 0 : c.audioCodec[0])) {
                cases.emplace_back(f, c);
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, FormatTemplateTest, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(std::get<0>(info.param).label) + "_" +
                                    std::get<1>(info.param).label;
                         });

// Each row above names a built-in format (the test asserts its template), and every one but
// "無変換" has a row; their names and order are FormatPresets' tests.
TEST(BuiltInFormats, EveryFormatButTheCopyHasARowAbove) {
    EXPECT_EQ(FormatPresetList::builtInPresets().size(), std::size(kFormats) + 1);
}

}  // namespace
}  // namespace encoder_test
