// The probe mode (-in file) as the job runs it: the block the job parses, byte for byte, and
// failures that leave no block.

#include <gtest/gtest.h>

#include "encoder/media_probe.h"
#include "encoder_test_support.h"
#include "platform/command_line.h"
#include "support/missing_tool.h"

namespace encoder_test {
namespace {

// Whole seconds and truncated hundredths of ffprobe's decimal duration text, read from the
// digits so that no floating-point rounding enters the expectation.
std::string expectedDurationLines(const std::string& durationText) {
    const size_t dot = durationText.find('.');
    const std::string digits =
        (dot == std::string::npos ? "" : durationText.substr(dot + 1)) + "00";
    return std::to_string(std::stol(durationText.substr(0, dot))) + "\n" +
           std::to_string(std::stoi(digits.substr(0, 2))) + "\n";
}

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!debianToolsPresent()) {
            SKIP_FOR_MISSING_TOOL("Debian's ffmpeg and ffprobe");
        }
    }

    TempFolder folder_;
};

TEST_F(ProbeTest, OneBannerLineThenTheBlockWithTheExactRationalRate) {
    // FLV keeps the rate as the decimal 29.97...: the block must still say 30000/1001.
    const struct {
        const char* file;
        const char* size;
        const char* rate;
        const char* args;
    } cases[] = {
        {"ntsc.flv", "320\n240\n", "30000\n1001\n",
         "-f lavfi -i testsrc=size=320x240:rate=30000/1001 -f lavfi -i sine=sample_rate=44100 "
         "-t 2.5 -c:v flv -c:a libmp3lame"},
        {"pal.mp4", "176\n144\n", "25\n1\n",
         "-f lavfi -i testsrc=size=176x144:rate=25 -f lavfi -i sine -t 3 -c:v libx264 "
         "-preset ultrafast -c:a aac"},
        {"ntsc.mp4", "640\n360\n", "30000\n1001\n",
         "-f lavfi -i testsrc=size=640x360:rate=30000/1001 -t 1.3 -c:v libx264 -preset ultrafast"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path clip = folder_.file(c.file);
        ASSERT_EQ(makeClip(clip, splitCommandLine(c.args)), "");
        const MediaInfo reference = probeWithFfprobe(clip);
        ASSERT_TRUE(reference.ok) << reference.error;
        const ChildResult r = runChild({encoderPath(), "-in", clip.string()});
        ASSERT_TRUE(r.exitedWith(0)) << r.err;
        const size_t banner = r.out.find('\n');
        ASSERT_NE(banner, std::string::npos);
        EXPECT_THAT(r.out, HasSubstr("FFmpeg"));
        EXPECT_EQ(r.out.substr(banner + 1), "niconico++\r\n" +
                                                expectedDurationLines(reference.durationText) +
                                                c.size + c.rate + "niconico_end\n");
        EXPECT_EQ(r.out.find("niconico++"), banner + 1);
    }
}

TEST_F(ProbeTest, UnusableInputsAndOtherOptionsExitOneWithoutBlock) {
    const fs::path audioOnly = folder_.file("sound.mp3");
    ASSERT_EQ(makeClip(audioOnly, {"-f", "lavfi", "-i", "sine", "-t", "1", "-c:a", "libmp3lame"}),
              "");
    const fs::path text = folder_.file("notes.flv");
    writeBytes(text, "this is not a video\n");
    // {the arguments, what the message names}
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-in", folder_.file("missing.flv").string()}, "missing.flv"},
        {{"-in", audioOnly.string()}, "sound.mp3"},
        {{"-in", text.string()}, "notes.flv"},
        {{"-in", "x.flv", "-y"}, "'-y'"}};
    for (auto [args, named] : cases) {
        args.insert(args.begin(), encoderPath());
        const ChildResult r = runChild(args);
        EXPECT_TRUE(r.exitedWith(1)) << named << " exit " << r.exitCode << " " << r.err;
        EXPECT_THAT(r.out, Not(HasSubstr("niconico"))) << named;
        EXPECT_THAT(r.err, Not(HasSubstr("niconico"))) << named;
        EXPECT_THAT(r.err, HasSubstr(named));
    }
}

TEST(ProbeBlockText, HundredthsAreTruncatedNotRounded) {
    ProbeFacts f;
    f.durationUs = 120'999'999;
    f.width = 512;
    f.height = 384;
    f.frameRate = AVRational{30000, 1001};
    EXPECT_EQ(probeBlockText(f), "niconico++\r\n120\n99\n512\n384\n30000\n1001\nniconico_end\n");
    f.durationUs = 5'009'999;
    f.frameRate = AVRational{25, 1};
    EXPECT_EQ(probeBlockText(f), "niconico++\r\n5\n0\n512\n384\n25\n1\nniconico_end\n");
}

}  // namespace
}  // namespace encoder_test
