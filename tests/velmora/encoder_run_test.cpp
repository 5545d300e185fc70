// The filter inside the real encoder: a clip made with Debian's ffmpeg, encoded by the program
// folder's FFmpeg with -vhook, decoded again with Debian's ffmpeg.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/missing_tool.h"
#include "velmora_harness.h"

namespace velmora_test {
namespace {

const std::string kDebianFfmpeg = "/usr/bin/ffmpeg";
const std::string kEncoder = std::string(LUMIVOX_PROGRAM_DIR) + "/FFmpeg";
const std::string kEncodeWithFilter = "'" + kEncoder +
                                      "' -y -i clip.avi -vcodec ffv1 -vhook \"velmora.dll -N "
                                      "comment.ini -D data.ini \" out.avi";

class EncoderRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kEncoder) || !fs::exists(kDebianFfmpeg)) {
            SKIP_FOR_MISSING_TOOL(kEncoder << " and " << kDebianFfmpeg);
        }
        ASSERT_EQ(run(kDebianFfmpeg +
                      " -loglevel error -y -f lavfi -i color=c=gray:size=320x240:rate=25 -t 2 "
                      "-pix_fmt yuv420p -c:v ffv1 clip.avi"),
                  0)
            << log_;
    }

    // Runs `command` in the test's folder, its output in log_; returns the exit code.
    int run(const std::string& command) {
        const int status = std::system(
            ("cd '" + folder_.path().string() + "' && " + command + " </dev/null >run.log 2>&1")
                .c_str());
        std::ifstream in(folder_.path() / "run.log", std::ios::binary);
        log_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempFolder folder_;
    std::string log_;
};

TEST_F(EncoderRunTest, PureRedCommentDecodesAsRedOnItsFramesOnly) {
    const Block block{.mail = "ue red",
                      .y = "60",
                      .startFrame = "10",
                      .colour = "FF 00 00",
                      .fontSize = "36",
                      .endFrame = "20",
                      .x = "40",
                      .text = "■■■"};
    writeBytes(folder_.file("comment.ini"), commentIniText(Header{}, {block}));
    writeBytes(folder_.file("data.ini"), dataIniText({block}));
    ASSERT_EQ(run(kEncodeWithFilter), 0) << log_;
    ASSERT_EQ(run(kDebianFfmpeg + " -loglevel error -i out.avi -f rawvideo -pix_fmt rgb24 out.rgb"),
              0)
        << log_;
    std::ifstream in(folder_.file("out.rgb"), std::ios::binary);
    const std::string rgb((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t frameBytes = 320 * 240 * 3;
    ASSERT_EQ(rgb.size(), 50 * frameBytes);
    for (std::size_t frame = 0; frame < 50; ++frame) {
        int red = 0, redOutsideBox = 0;
        for (std::size_t pixel = 0; pixel < 320 * 240; ++pixel) {
            const auto* p = reinterpret_cast<const uint8_t*>(&rgb[frame * frameBytes + pixel * 3]);
            if (isRed({double(p[0]), double(p[1]), double(p[2])})) {
                ++red;
                const int x = static_cast<int>(pixel % 320), y = static_cast<int>(pixel / 320);
                redOutsideBox += (x < 35 || y < 55 || y > 120) ? 1 : 0;
            }
        }
        SCOPED_TRACE("frame " + std::to_string(frame));
        EXPECT_EQ(red > 2000, frame >= 10 && frame < 20) << red;
        EXPECT_EQ(red == 0, frame < 10 || frame >= 20) << red;
        EXPECT_EQ(redOutsideBox, 0);
    }
}

TEST_F(EncoderRunTest, MissingCommentFileStopsTheEncoderWithTheReason) {
    EXPECT_NE(run(kEncodeWithFilter), 0);
    EXPECT_NE(log_.find("velmora: cannot read the comment file \"comment.ini\""), std::string::npos)
        << log_;
}

}  // namespace
}  // namespace velmora_test
