#include "job/video_probe.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <vector>

#include "job_test_support.h"

namespace {

const std::string kBlock = "niconico++\r\n120\n50\n512\n384\n30000\n1001\nniconico_end\r\n";
// The same block as a shell printf argument.
const std::string kPrintBlock =
    "printf 'niconico++\\r\\n120\\n50\\n512\\n384\\n30000\\n1001\\nniconico_end\\r\\n'\n";

// 120.50 s of 512 x 384 at 29.97 fps.
void expectBlockValues(const std::optional<VideoInfo>& info) {
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ((std::vector<int64_t>{info->durationCs, info->width, info->height, info->frameCount}),
              (std::vector<int64_t>{12050, 512, 384, 0}));
    EXPECT_DOUBLE_EQ(info->fps, 30000.0 / 1001.0);
}

bool allChildrenReaped() {
    errno = 0;
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

}  // namespace

TEST(ParseProbeOutput, FindsTheFirstBlockAmongOtherOutput) {
    for (const std::string& output : {
             kBlock,
             "FFmpeg version SVN-r15815\r\n[flv @ 0x1234]warning: estimating duration\n" + kBlock +
                 "trailing text\n",
             kBlock + "niconico++\r\n1\n0\n640\n480\n25\n1\nniconico_end\r\n",  // only the first
             // CR LF line ends, and blanks before a value (skipped as strtol does).
             std::string("niconico++\r\n120\r\n50\r\n512\r\n384\r\n30000\r\n1001\r\nniconico_end"),
             std::string("niconico++\r\n 120\n\t50\n512\n384\n30000\n1001\nniconico_end"),
         }) {
        SCOPED_TRACE(output);
        expectBlockValues(parseProbeOutput(output));
    }
    // The start marker's line break is taken as two characters: after a bare LF the first
    // digit of "120" is skipped.
    const auto lf = parseProbeOutput("niconico++\n120\n50\n512\n384\n30000\n1001\nniconico_end\n");
    EXPECT_EQ(lf.value_or(VideoInfo{}).durationCs, 20 * 100 + 50);
    // A length of 0 is a video whose length the encoder does not know: still usable.
    const auto unknown = parseProbeOutput("niconico++\r\n0\n0\n320\n240\n25\n1\nniconico_end\r\n");
    EXPECT_EQ(unknown.value_or(VideoInfo{}).durationCs, 0);
    EXPECT_DOUBLE_EQ(unknown.value_or(VideoInfo{}).fps, 25.0);
}

TEST(ParseProbeOutput, AnIncompleteOrImpossibleBlockGivesNothing) {
    const auto block = [](const std::string& values) {
        return "niconico++\r\n" + values + "niconico_end\r\n";
    };
    for (const std::string& output : {
             std::string(), std::string("no block at all\n"), std::string("niconico++"),
             block("120\n50\n512\n384\n30000\n"),  // five values
             std::string("niconico++\r\n120\n50\n512\n384\n30000\n1001niconico_end"),  // no LF
             std::string("niconico++\r\n120\n50\n512\n384\n30000\n1001\n"),  // no end marker
             std::string(
                 "niconico_end\nniconico++\r\n120\n50\n512\n384\n30000\n1001\n"),  // end first
             block("120\n50\n512\n384\n30000\n0\n"),                               // rate n/0
             block("120\n50\n512\n384\n0\n1001\n"),                                // rate 0
             block("120\n50\n512\n384\n-25\n1\n"),                                 // rate < 0
             block("120\n50\n0\n384\n25\n1\n"),                                    // width 0
             block("120\n50\n512\n-384\n25\n1\n"),                                 // height < 0
             block("-1\n0\n512\n384\n25\n1\n"),                                    // length < 0
             block("30000000\n0\n512\n384\n25\n1\n"),  // length overflow
             block("x\ny\nw\nh\nn\nd\n"),              // no digits: 0
         }) {
        EXPECT_FALSE(parseProbeOutput(output)) << output;
    }
}

// probeVideo against a stand-in encoder in a program folder of its own.
class ProbeVideo : public ::testing::Test {
protected:
    std::optional<VideoInfo> probe(const std::string& body, const std::string& video = "/x.flv",
                                   const std::function<bool()>& stop = {}) {
        writeStandInEncoder(programFolder.path(), body);
        return probeVideo(programFolder.path().string(), workFolder.path().string(), video, stop);
    }

    TestTempFolder programFolder, workFolder;
};

TEST_F(ProbeVideo, RunsTheEncoderInTheWorkFolderAndReadsItsOutputToTheEnd) {
    const std::string video = "/home/ユーザー/My Videos/sm9 \"1\".flv";
    expectBlockValues(
        probe("printf '%s\\n' \"$@\" > arguments.txt\n"
              "echo 'FFmpeg version lumivox'\necho 'warning: estimating' >&2\n" +
                  kPrintBlock,
              video));
    EXPECT_EQ(readBytes(workFolder / "arguments.txt"), "-in\n" + video + "\n");
    EXPECT_TRUE(allChildrenReaped());
    // Much output before the block; the exit status does not matter, the block decides.
    expectBlockValues(
        probe("yes 'frame=   12 fps=25' | head -c 300000 >&2\n" + kPrintBlock + "exit 1\n"));
    // An encoder that closes its output after the block but lingers: the probe still returns.
    expectBlockValues(probe(kPrintBlock + "exec >&- 2>&-\nsleep 30\n"));
    EXPECT_TRUE(allChildrenReaped());
}

TEST_F(ProbeVideo, FailsWithoutABlockWithoutAnEncoderAndOnAStopRequest) {
    EXPECT_FALSE(probe("echo 'sm9.flv: Invalid data found when processing input' >&2\nexit 1\n"));
    EXPECT_FALSE(
        probeVideo((programFolder / "missing").string(), workFolder.path().string(), "/x.flv"));
    // A silent encoder ends at the second poll that asks for a stop.
    int asked = 0;
    EXPECT_FALSE(probe("sleep 30\n", "/x.flv", [&] { return ++asked >= 2; }));
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(allChildrenReaped());
}
