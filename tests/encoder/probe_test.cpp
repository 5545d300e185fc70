// The probe mode (-in file) as the job runs it: the block the job parses, byte for byte, and
// failures that leave no block.

#include <gtest/gtest.h>

#include "encoder/media_probe.h"
#include "encoder_test_support.h"
#include "support/missing_tool.h"

namespace encoder_test {
namespace {

// Whole seconds and truncated hundredths of ffprobe's decimal duration text, read from the
// digits so that no floating-point rounding enters the expectation.
std::string expectedDurationLines(const std::string& durationText) {
    size_t dot = durationText.find('.');
    std::string whole = durationText.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : durationText.substr(dot + 1);
    frac += "00";
    int hundredths = std::stoi(frac.substr(0, 2));
    return std::to_string(std::stol(whole)) + "\n" + std::to_string(hundredths) + "\n";
}

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!debianToolsPresent()) {
            SKIP_FOR_MISSING_TOOL("Debian's ffmpeg and ffprobe");
        }
        ASSERT_FALSE(folder_.path().empty());
    }

    // Probes `clip` and checks the whole standard output: one banner line, then the block.
    void expectBlock(const fs::path& clip, const std::string& size, const std::string& rate) {
        MediaInfo reference = probeWithFfprobe(clip);
        ASSERT_TRUE(reference.ok) << reference.error;
        ChildResult r = runChild({encoderPath(), "-in", clip.string()});
        ASSERT_TRUE(r.exitedWith(0)) << r.err;
        const std::string block = "niconico++\r\n" + expectedDurationLines(reference.durationText) +
                                  size + rate + "niconico_end\n";
        size_t banner = r.out.find('\n');
        ASSERT_NE(banner, std::string::npos);
        EXPECT_NE(r.out.find("FFmpeg"), std::string::npos);
        EXPECT_EQ(r.out.substr(banner + 1), block);
        EXPECT_EQ(r.out.find("niconico++"), banner + 1);
    }

    TempFolder folder_;
};

TEST_F(ProbeTest, FlvAtNtscRateGivesExactRationalRate) {
    // FLV keeps the rate as the decimal 29.97...: the block must still say 30000/1001.
    const fs::path clip = folder_.file("ntsc.flv");
    ASSERT_EQ(makeClip(clip, {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=30000/1001", "-f",
                              "lavfi", "-i", "sine=sample_rate=44100", "-t", "2.5", "-c:v", "flv",
                              "-c:a", "libmp3lame"}),
              "");
    expectBlock(clip, "320\n240\n", "30000\n1001\n");
}

TEST_F(ProbeTest, Mp4At25AndAtNtscRate) {
    const fs::path pal = folder_.file("pal.mp4");
    ASSERT_EQ(makeClip(pal, {"-f", "lavfi", "-i", "testsrc=size=176x144:rate=25", "-f", "lavfi",
                             "-i", "sine", "-t", "3", "-c:v", "libx264", "-preset", "ultrafast",
                             "-c:a", "aac"}),
              "");
    expectBlock(pal, "176\n144\n", "25\n1\n");

    const fs::path ntsc = folder_.file("ntsc.mp4");
    ASSERT_EQ(makeClip(ntsc, {"-f", "lavfi", "-i", "testsrc=size=640x360:rate=30000/1001", "-t",
                              "1.3", "-c:v", "libx264", "-preset", "ultrafast"}),
              "");
    expectBlock(ntsc, "640\n360\n", "30000\n1001\n");
}

TEST_F(ProbeTest, UnusableInputsExitOneWithoutBlock) {
    const fs::path audioOnly = folder_.file("sound.mp3");
    ASSERT_EQ(makeClip(audioOnly, {"-f", "lavfi", "-i", "sine", "-t", "1", "-c:a", "libmp3lame"}),
              "");
    const fs::path text = folder_.file("notes.flv");
    writeBytes(text, "this is not a video\n");
    for (const fs::path& input : {folder_.file("missing.flv"), audioOnly, text}) {
        ChildResult r = runChild({encoderPath(), "-in", input.string()});
        EXPECT_TRUE(r.exitedWith(1)) << input << " exit " << r.exitCode << " " << r.err;
        EXPECT_EQ(r.out.find("niconico"), std::string::npos) << input;
        EXPECT_EQ(r.err.find("niconico"), std::string::npos) << input;
        EXPECT_NE(r.err.find(input.filename().string()), std::string::npos)
            << "the message should name the file: " << r.err;
    }
}

TEST_F(ProbeTest, ProbeTakesNoOtherOptions) {
    ChildResult r = runChild({encoderPath(), "-in", "x.flv", "-y"});
    EXPECT_TRUE(r.exitedWith(1));
    EXPECT_EQ(r.out.find("niconico"), std::string::npos);
    EXPECT_NE(r.err.find("'-y'"), std::string::npos) << r.err;
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
