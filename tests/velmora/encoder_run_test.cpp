// The filter inside the real encoder: a clip made with Debian's ffmpeg, encoded by the program
// folder's FFmpeg with -vhook, decoded again with Debian's ffmpeg.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "velmora_harness.h"

namespace velmora_test {
namespace {

const char* kDebianFfmpeg = "/usr/bin/ffmpeg";
const std::string kEncoder = std::string(LUMIVOX_PROGRAM_DIR) + "/FFmpeg";

// Runs `command` in `folder` with its output in `log`; returns the exit code.
int runIn(const fs::path& folder, const std::string& command, std::string& log) {
    const fs::path logFile = folder / "run.log";
    const std::string line = "cd '" + folder.string() + "' && " + command + " </dev/null >'" +
                             logFile.string() + "' 2>&1";
    const int status = std::system(line.c_str());
    std::ifstream in(logFile, std::ios::binary);
    log.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class EncoderRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kEncoder) || !fs::exists(kDebianFfmpeg)) {
            GTEST_SKIP() << "needs " << kEncoder << " and " << kDebianFfmpeg;
        }
        ASSERT_FALSE(folder_.path().empty());
        std::string log;
        ASSERT_EQ(runIn(folder_.path(),
                        std::string(kDebianFfmpeg) +
                            " -loglevel error -y -f lavfi -i color=c=gray:size=320x240:rate=25 "
                            "-t 2 -pix_fmt yuv420p -c:v ffv1 clip.avi",
                        log),
                  0)
            << log;
    }

    TempFolder folder_;
};

TEST_F(EncoderRunTest, PureRedCommentDecodesAsRedOnItsFramesOnly) {
    Block block;
    block.mail = "ue red";
    block.position = "1";
    block.x = "40";
    block.y = "60";
    block.startFrame = "10";
    block.endFrame = "20";
    block.colour = "FF 00 00";
    block.fontSize = "36";
    block.text = "■■■";
    Header header;
    writeFile(folder_.file("comment.ini"), commentIniText(header, {block}));
    writeFile(folder_.file("data.ini"), dataIniText({block}));

    std::string log;
    ASSERT_EQ(runIn(folder_.path(),
                    "'" + kEncoder +
                        "' -y -i clip.avi -vcodec ffv1 -vhook \"velmora.dll -N comment.ini -D "
                        "data.ini \" out.avi",
                    log),
              0)
        << log;
    ASSERT_EQ(runIn(folder_.path(),
                    std::string(kDebianFfmpeg) +
                        " -loglevel error -i out.avi -f rawvideo -pix_fmt rgb24 out.rgb",
                    log),
              0)
        << log;
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
        if (frame >= 10 && frame < 20) {
            EXPECT_GT(red, 2000);
        } else {
            EXPECT_EQ(red, 0);
        }
        EXPECT_EQ(redOutsideBox, 0);
    }
}

TEST_F(EncoderRunTest, MissingCommentFileStopsTheEncoderWithTheReason) {
    std::string log;
    EXPECT_NE(runIn(folder_.path(),
                    "'" + kEncoder +
                        "' -y -i clip.avi -vcodec ffv1 -vhook \"velmora.dll -N comment.ini -D "
                        "data.ini \" out.avi",
                    log),
              0);
    EXPECT_NE(log.find("velmora: cannot read the comment file \"comment.ini\""), std::string::npos)
        << log;
}

}  // namespace
}  // namespace velmora_test
