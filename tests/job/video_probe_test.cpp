#include "job/video_probe.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string kBlock =
    "niconico++\r\n"
    "120\n"
    "50\n"
    "512\n"
    "384\n"
    "30000\n"
    "1001\n"
    "niconico_end\r\n";

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "lumivox-probe-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void expectBlockValues(const std::optional<VideoInfo>& info) {
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->durationCs, 12050);
    EXPECT_EQ(info->width, 512);
    EXPECT_EQ(info->height, 384);
    EXPECT_DOUBLE_EQ(info->fps, 30000.0 / 1001.0);
    EXPECT_NEAR(info->fps, 29.97002997, 1e-8);
    EXPECT_EQ(info->frameCount, 0);
}

}  // namespace

TEST(ParseProbeOutput, FindsTheBlockAfterOtherOutput) {
    expectBlockValues(parseProbeOutput(kBlock));
    expectBlockValues(parseProbeOutput(
        "FFmpeg version SVN-r15815, Copyright (c) 2000-2008 Fabrice Bellard, et al.\r\n"
        "[flv @ 0x1234]warning: estimating duration from bitrate\n" +
        kBlock + "trailing text\n"));
    // CR LF line ends: the CR before each line feed does not disturb the numbers.
    expectBlockValues(parseProbeOutput(
        "niconico++\r\n120\r\n50\r\n512\r\n384\r\n30000\r\n1001\r\nniconico_end\r\n"));
    // Leading blanks before a value are skipped, like strtol does.
    expectBlockValues(
        parseProbeOutput("niconico++\r\n 120\n\t50\n512\n384\n30000\n1001\nniconico_end"));
}

TEST(ParseProbeOutput, OnlyTheFirstBlockCounts) {
    const auto info =
        parseProbeOutput(kBlock + "niconico++\r\n1\n0\n640\n480\n25\n1\nniconico_end\r\n");
    expectBlockValues(info);
}

TEST(ParseProbeOutput, AnIncompleteBlockGivesNothing) {
    EXPECT_FALSE(parseProbeOutput(""));
    EXPECT_FALSE(parseProbeOutput("no block at all\n"));
    EXPECT_FALSE(parseProbeOutput("niconico++"));
    // Five values.
    EXPECT_FALSE(parseProbeOutput("niconico++\r\n120\n50\n512\n384\n30000\nniconico_end\r\n"));
    // The sixth value without its line feed.
    EXPECT_FALSE(parseProbeOutput("niconico++\r\n120\n50\n512\n384\n30000\n1001niconico_end"));
    // No end marker.
    EXPECT_FALSE(parseProbeOutput("niconico++\r\n120\n50\n512\n384\n30000\n1001\n"));
    // The end marker before the start marker does not end the block.
    EXPECT_FALSE(parseProbeOutput("niconico_end\nniconico++\r\n120\n50\n512\n384\n30000\n1001\n"));
}

TEST(ParseProbeOutput, TheStartMarkersLineBreakIsTwoCharacters) {
    // With a bare LF after the marker the first character of "120" is skipped.
    const auto info =
        parseProbeOutput("niconico++\n120\n50\n512\n384\n30000\n1001\nniconico_end\n");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->durationCs, 20 * 100 + 50);
}

TEST(ParseProbeOutput, ValuesThatCannotDescribeAVideoGiveNothing) {
    const auto block = [](const std::string& values) {
        return "niconico++\r\n" + values + "niconico_end\r\n";
    };
    EXPECT_FALSE(parseProbeOutput(block("120\n50\n512\n384\n30000\n0\n")));   // rate n/0
    EXPECT_FALSE(parseProbeOutput(block("120\n50\n512\n384\n0\n1001\n")));    // rate 0
    EXPECT_FALSE(parseProbeOutput(block("120\n50\n512\n384\n-25\n1\n")));     // rate < 0
    EXPECT_FALSE(parseProbeOutput(block("120\n50\n0\n384\n25\n1\n")));        // width 0
    EXPECT_FALSE(parseProbeOutput(block("120\n50\n512\n-384\n25\n1\n")));     // height < 0
    EXPECT_FALSE(parseProbeOutput(block("-1\n0\n512\n384\n25\n1\n")));        // length < 0
    EXPECT_FALSE(parseProbeOutput(block("30000000\n0\n512\n384\n25\n1\n")));  // length overflow
    EXPECT_FALSE(parseProbeOutput(block("x\ny\nw\nh\nn\nd\n")));              // no digits: 0
    // A length of 0 is a video whose length the encoder does not know: still usable.
    const auto unknownLength = parseProbeOutput(block("0\n0\n320\n240\n25\n1\n"));
    ASSERT_TRUE(unknownLength.has_value());
    EXPECT_EQ(unknownLength->durationCs, 0);
    EXPECT_DOUBLE_EQ(unknownLength->fps, 25.0);
}

// probeVideo against a stand-in encoder: a shell script named FFmpeg in a program folder. It
// prints banners, a warning on standard error and the block, and records its arguments and
// its current folder.
class ProbeVideo : public ::testing::Test {
protected:
    void writeEncoder(const std::string& body) {
        const fs::path script = programFolder.path() / "FFmpeg";
        std::ofstream(script) << "#!/bin/sh\n" << body;
        fs::permissions(script, fs::perms::owner_all);
    }

    TempFolder programFolder;
    TempFolder workFolder;
};

TEST_F(ProbeVideo, RunsTheEncoderInTheWorkFolderAndParsesItsOutput) {
    writeEncoder(
        "printf '%s\\n' \"$@\" > arguments.txt\n"
        "echo 'FFmpeg version lumivox'\n"
        "echo 'warning: estimating duration' >&2\n"
        "printf '" +
        std::string("niconico++\\r\\n120\\n50\\n512\\n384\\n30000\\n1001\\n"
                    "niconico_end\\r\\n") +
        "'\n");
    const std::string video = "/home/ユーザー/My Videos/sm9 \"1\".flv";
    expectBlockValues(probeVideo(programFolder.path().string(), workFolder.path().string(), video));
    EXPECT_EQ(readFile(workFolder.path() / "arguments.txt"), "-in\n" + video + "\n");
    errno = 0;
    EXPECT_TRUE(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD) << "encoder not reaped";
}

TEST_F(ProbeVideo, LargeOutputBeforeTheBlockIsReadToTheEnd) {
    writeEncoder("yes 'frame=   12 fps=25' | head -c 300000 >&2\nprintf '" +
                 std::string("niconico++\\r\\n120\\n50\\n512\\n384\\n30000\\n1001\\n"
                             "niconico_end\\r\\n") +
                 "'\nexit 1\n");
    // The encoder's exit code does not matter: the block decides.
    expectBlockValues(
        probeVideo(programFolder.path().string(), workFolder.path().string(), "/tmp/sm9.flv"));
}

TEST_F(ProbeVideo, FailsWithoutAUsableBlock) {
    writeEncoder("echo 'sm9.flv: Invalid data found when processing input' >&2\nexit 1\n");
    EXPECT_FALSE(probeVideo(programFolder.path().string(), workFolder.path().string(), "/x.flv"));
}

TEST_F(ProbeVideo, FailsWhenTheEncoderIsMissing) {
    EXPECT_FALSE(probeVideo(programFolder.path().string(), workFolder.path().string(), "/x.flv"));
    EXPECT_FALSE(probeVideo((programFolder.path() / "missing").string(), workFolder.path().string(),
                            "/x.flv"));
}

TEST_F(ProbeVideo, AStopRequestEndsASilentEncoder) {
    writeEncoder("sleep 30\n");
    int asked = 0;
    EXPECT_FALSE(probeVideo(programFolder.path().string(), workFolder.path().string(), "/x.flv",
                            [&] { return ++asked >= 2; }));
    EXPECT_EQ(asked, 2);
    errno = 0;
    EXPECT_TRUE(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD) << "encoder not reaped";
}

TEST_F(ProbeVideo, AnEncoderThatLingersAfterItsOutputIsEnded) {
    // It closes its output after the block but does not exit: the probe still returns.
    writeEncoder("printf '" +
                 std::string("niconico++\\r\\n120\\n50\\n512\\n384\\n30000\\n1001\\n"
                             "niconico_end\\r\\n") +
                 "'\nexec >&- 2>&-\nsleep 30\n");
    expectBlockValues(
        probeVideo(programFolder.path().string(), workFolder.path().string(), "/x.flv"));
    errno = 0;
    EXPECT_TRUE(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD) << "encoder not reaped";
}
