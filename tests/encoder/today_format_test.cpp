// Today's built-in formats, run the way the job runs them: the shipped template with its
// placeholders filled (the comment filter left out; its own tests cover it), split into the
// arguments of the built FFmpeg, on a short FLV and a short MP4 clip. ffprobe reads the result
// back: container, codecs, the video's frame rate and size kept, length, the subtitle track.

#include <gtest/gtest.h>

#include "comments/ass_script_writer.h"
#include "encoder_test_support.h"
#include "job/argument_template.h"
#include "job/format_presets.h"
#include "platform/command_line.h"
#include "support/missing_tool.h"

namespace encoder_test {
namespace {

struct Expected {
    const char* name;
    const char* extension;
    const char* format;  // ffprobe's format_name holds this
    const char* videoCodec;
    const char* audioCodec;
    const char* subtitleCodec;  // "" for none
    bool copiesInput;           // the input's codecs come out unchanged
};

const Expected kFormats[] = {
    {"MP4(H.264)", "mp4", "mp4", "h264", "aac", "", false},
    {"MP4(H.264 高画質)", "mp4", "mp4", "h264", "aac", "", false},
    {"MP4(H.265)", "mp4", "mp4", "hevc", "aac", "", false},
    {"WebM(VP9)", "webm", "webm", "vp9", "opus", "", false},
    {"MKV(AV1)", "mkv", "matroska", "av1", "opus", "", false},
    {"MKV(字幕)", "mkv", "matroska", "", "", "ass", true},
    {"ASS(字幕のみ)", "ass", "ass", "", "", "ass", false},
};

struct Clip {
    const char* name;
    std::vector<std::string> args;
    const char* extension;
    double frameRate;
    const char* videoCodec;
    const char* audioCodec;
};

const Clip kClips[] = {
    {"Flv",
     {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=30000/1001", "-f", "lavfi", "-i",
      "sine=sample_rate=44100", "-t", "2", "-c:v", "flv", "-c:a", "libmp3lame", "-ac", "2"},
     "flv",
     30000.0 / 1001.0,
     "flv1",
     "mp3"},
    {"Mp4",
     {"-f", "lavfi", "-i", "testsrc=size=192x108:rate=25", "-f", "lavfi", "-i",
      "sine=sample_rate=48000", "-t", "2", "-c:v", "libx264", "-preset", "veryfast", "-c:a", "aac"},
     "mp4",
     25,
     "h264",
     "aac"},
};

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

using Case = std::tuple<Expected, Clip>;

class TodayFormatTest : public ::testing::TestWithParam<Case> {};

TEST_P(TodayFormatTest, WritesTheNamedContainerAndKeepsTheVideo) {
    if (!debianToolsPresent()) {
        SKIP_FOR_MISSING_TOOL("Debian's ffmpeg and ffprobe");
    }
    const auto& [format, clip] = GetParam();
    TempFolder folder;
    const fs::path input = folder.file(std::string("input.") + clip.extension);
    ASSERT_EQ(makeClip(input, clip.args), "");
    const fs::path script = folder.file("comment.ass");
    AssScriptHeader header{160, 120, clip.frameRate, "IPAPGothic", 1.0};
    writeBytes(script, composeAssScript(header, twoComments(clip.frameRate)));

    ASSERT_FALSE(templateOf(format.name).empty()) << format.name;
    const std::string outBase = folder.file("sm9").string();
    const std::string text =
        fillPlaceholders(templateOf(format.name), {{"<%InputFile%>", input.string(), true},
                                                   {"<%SubtitleFile%>", script.string(), true},
                                                   {"<%TemporaryFile%>", outBase, true},
                                                   {"<%Lumivox%>", ""}});
    std::vector<std::string> argv = splitCommandLine(text);
    argv.insert(argv.begin(), encoderPath());
    const ChildResult r = runChild(argv);
    ASSERT_TRUE(r.exitedWith(0)) << text << "\n" << r.err;

    const fs::path out = outBase + "." + format.extension;
    const MediaInfo info = probeWithFfprobe(out);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_NE(info.formatName.find(format.format), std::string::npos) << info.formatName;
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
    EXPECT_NEAR(info.duration, 2.0, 0.1);
    const MediaStream* video = info.first("video");
    const MediaStream* audio = info.first("audio");
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(video->codec, format.copiesInput ? clip.videoCodec : format.videoCodec);
    EXPECT_EQ(audio->codec, format.copiesInput ? clip.audioCodec : format.audioCodec);
    EXPECT_EQ(video->width, clip.extension == std::string("flv") ? 160 : 192);
    EXPECT_NEAR(video->frameRate(), clip.frameRate, clip.frameRate * 0.01) << video->avgFrameRate;
    EXPECT_NEAR(static_cast<double>(video->packets), clip.frameRate * 2, 1.5);
    if (format.videoCodec == std::string("hevc")) {
        EXPECT_EQ(video->codecTag, "hvc1");
    }
    if (format.extension == std::string("mp4")) {
        // +faststart: the index comes before the media data.
        const std::string bytes = readBytes(out);
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
    }
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, TodayFormatTest,
                         ::testing::Combine(::testing::ValuesIn(kFormats),
                                            ::testing::ValuesIn(kClips)),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (char c : std::string(std::get<0>(info.param).name)) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return std::to_string(info.index) + "_" + name.substr(0, 10) + "_" +
                                    std::get<1>(info.param).name;
                         });

TEST(TodayFormats, FollowTheClassicTwelveUnchanged) {
    const std::vector<FormatPreset>& presets = FormatPresetList::builtInPresets();
    ASSERT_EQ(presets.size(), 12u + std::size(kFormats));
    EXPECT_EQ(presets[0].name, "AVI");
    EXPECT_EQ(presets[11].name, "無変換");
    for (size_t i = 0; i < std::size(kFormats); ++i) {
        EXPECT_EQ(presets[12 + i].name, kFormats[i].name);
    }
}

}  // namespace
}  // namespace encoder_test
