// The frame-filter interface seen from the encoder: which module is loaded, what vhook_configure
// receives, the index, size, colour matrix and range of every frame, drawn frames reaching the
// output, and failures of the module ending the run without a movie. The recording module
// (vhook_recorder/) logs the calls; the real comment filter is tested in its own suite.

#include <gtest/gtest.h>

#include <sstream>

#include "encoder_test_support.h"
#include "platform/command_line.h"
#include "support/missing_tool.h"
#include "support/scoped_environment.h"

namespace encoder_test {
namespace {

// The folder of this test program, where the recording modules are built.
fs::path testFolder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        out.push_back(l);
    }
    return out;
}

class VhookTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!debianToolsPresent() || !fs::exists(recorder_)) {
            SKIP_FOR_MISSING_TOOL("Debian's ffmpeg and " << recorder_);
        }
    }

    // `name` in the test's folder, made by Debian's ffmpeg with the arguments of `args`.
    fs::path clip(const std::string& name, const std::string& args) {
        const fs::path file = folder_.file(name);
        EXPECT_EQ(makeClip(file, splitCommandLine(args)), "");
        return file;
    }
    fs::path smallFlv() {
        return clip("in.flv", "-f lavfi -i testsrc=size=160x120:rate=25 -t 1 -c:v flv");
    }

    // Encodes `input` with the filter option `vhook` and then the arguments of `rest`, where OUT
    // stands for out_.
    ChildResult encode(const fs::path& input, const std::string& vhook, const std::string& rest) {
        std::vector<std::string> argv = {encoderPath(),  "-y",     "-i",
                                         input.string(), "-vhook", vhook};
        for (const std::string& arg : splitCommandLine(rest)) {
            argv.push_back(arg == "OUT" ? out_.string() : arg);
        }
        return runChild(argv, folder_.path());
    }

    // The 8x8 top left luma block of frame `frame` of `movie`, as Debian's ffmpeg decodes it.
    std::string cornerLuma(const fs::path& movie, int frame) {
        const ChildResult r =
            runChild({kDebianFfmpeg, "-nostdin", "-v", "error", "-i", movie.string(), "-vf",
                      "select=eq(n\\," + std::to_string(frame) + "),crop=8:8:0:0", "-frames:v", "1",
                      "-f", "rawvideo", "-pix_fmt", "yuv420p", "-"});
        EXPECT_TRUE(r.exitedWith(0)) << r.err;
        return r.out.substr(0, 64);  // the Y plane, in its own (limited) range
    }

    const fs::path recorder_ = testFolder() / "vhook_recorder.so";
    TempFolder folder_;
    const fs::path out_ = folder_.file("out.avi");
    const fs::path log_ = folder_.file("calls.log");
};

TEST_F(VhookTest, EveryFrameInOrderWithItsIndexAndTheWordsOfTheOption) {
    const fs::path in = clip("ntsc.flv",
                             "-f lavfi -i testsrc=size=160x120:rate=30000/1001 -f lavfi -i sine "
                             "-t 2 -c:v flv -c:a libmp3lame");
    // One argument holding several words and a trailing blank, as the job passes it.
    const ChildResult r = encode(in, recorder_.string() + "  " + log_.string() + " ",
                                 "-vcodec ffv1 -acodec libmp3lame OUT");
    ASSERT_TRUE(r.exitedWith(0)) << r.err;

    const std::vector<std::string> calls = lines(readBytes(log_));
    ASSERT_EQ(calls.size(), 62u) << readBytes(log_);
    EXPECT_EQ(calls[0],
              "configure 2 " + recorder_.string() + "|" + log_.string() + " 160x120 30000/1001");
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(calls[1 + i], "frame " + std::to_string(i) + " 160x120 601 0");
    }
    EXPECT_EQ(calls.back(), "release");
    EXPECT_EQ(cornerLuma(out_, 0), std::string(64, static_cast<char>(235)));
    EXPECT_EQ(cornerLuma(out_, 59), std::string(64, static_cast<char>(235)));
}

TEST_F(VhookTest, IndicesStayInTheInputRateWhenTheOutputRateChanges) {
    const fs::path in = clip(
        "pal.mp4", "-f lavfi -i testsrc=size=128x96:rate=25 -t 2 -c:v libx264 -preset veryfast");
    // A Windows-style module name: the ".dll" stands for this platform's library.
    std::string dll = recorder_.string();
    dll.replace(dll.size() - 3, 3, ".dll");
    const ChildResult r = encode(in, dll + " " + log_.string(), "-vcodec mpeg4 -r 24 out.mp4");
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    const std::vector<std::string> calls = lines(readBytes(log_));
    ASSERT_EQ(calls.size(), 52u);
    EXPECT_THAT(calls[0], HasSubstr(" 128x96 25/1"));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(calls[1 + i], "frame " + std::to_string(i) + " 128x96 601 0");
    }
    const MediaInfo info = probeWithFfprobe(folder_.file("out.mp4"));
    ASSERT_TRUE(info.ok && info.first("video"));
    EXPECT_NEAR(static_cast<double>(info.first("video")->packets), 48, 2);
}

TEST_F(VhookTest, ColourMatrixRangeAndPlanarConversion) {
    const struct {
        const char* file;
        const char* frameLine;  // size, matrix, range as logged
        const char* args;
    } cases[] = {
        // HD without colour tags: BT.709.
        {"hd.mp4", "1280x720 709 0",
         "-f lavfi -i testsrc=size=1280x720:rate=25 -t 0.2 -c:v libx264 -preset ultrafast"},
        // Tagged BT.709 at SD size: what the stream says wins.
        {"sd709.mp4", "320x240 709 0",
         "-f lavfi -i testsrc=size=320x240:rate=25 -t 0.2 -c:v libx264 -preset ultrafast "
         "-colorspace bt709"},
        // Full-range JPEG levels.
        {"full.avi", "320x240 601 1",
         "-f lavfi -i testsrc=size=320x240:rate=25 -t 0.2 -c:v mjpeg -pix_fmt yuvj420p"},
        // 4:4:4 input: the module still gets planar 4:2:0.
        {"full444.mp4", "320x240 601 0",
         "-f lavfi -i testsrc=size=320x240:rate=25 -t 0.2 -c:v libx264 -preset ultrafast "
         "-pix_fmt yuv444p"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const ChildResult r = encode(clip(c.file, c.args), recorder_.string() + " " + log_.string(),
                                     "-vcodec ffv1 OUT");
        ASSERT_TRUE(r.exitedWith(0)) << r.err;
        const std::vector<std::string> calls = lines(readBytes(log_));
        ASSERT_EQ(calls.size(), 7u);
        EXPECT_EQ(calls[1], std::string("frame 0 ") + c.frameLine);
        const std::string corner = cornerLuma(out_, 0);
        ASSERT_EQ(corner.size(), 64u);
        // The module wrote 235; in a full-range frame that reads back as 218 in limited range.
        const int drawn = std::string(c.frameLine).ends_with('1') ? 218 : 235;
        for (char px : corner) {
            EXPECT_NEAR(static_cast<unsigned char>(px), drawn, 1);
        }
    }
}

TEST_F(VhookTest, ModuleFailuresEndTheRunWithoutMovie) {
    const fs::path in = smallFlv();
    writeBytes(folder_.file("fake.so"), "not a library");
    // {the filter option, the message}
    const std::pair<std::string, std::string> failures[] = {
        {recorder_.string() + " " + log_.string() + " --fail-configure ", "recorder asked to fail"},
        {"nosuchfilter.dll -N comment.ini ", "nosuchfilter.so"},
        {(folder_.path() / "fake.dll").string() + " x", "fake.so"},
        {" ", "names no frame-filter module"},
    };
    for (const auto& [vhook, message] : failures) {
        const ChildResult r = encode(in, vhook, "-vcodec msmpeg4 OUT");
        EXPECT_TRUE(r.exitedWith(1)) << vhook << ": " << r.err;
        EXPECT_THAT(r.err, HasSubstr(message));
        EXPECT_FALSE(fs::exists(out_)) << vhook;
    }
    // A failure on a frame stops the encode and says so in the exit code.
    const ChildResult r = encode(in, recorder_.string() + " " + log_.string() + " --fail-at=10",
                                 "-vcodec msmpeg4 OUT");
    EXPECT_TRUE(r.exitedWith(1));
    EXPECT_THAT(r.err, HasSubstr("frame 10"));
    const std::vector<std::string> calls = lines(readBytes(log_));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "release");
}

TEST_F(VhookTest, AVersion2ModuleLogsThroughTheEncoderAndAVersion1ModuleStillRuns) {
    const fs::path in = smallFlv();
    const std::string v2 = (testFolder() / "vhook_recorder2.so").string();
    // The encoder logs down to the level its parent hands on (the info level here), else to
    // warnings; the module's lines come as the filter's.
    struct Case {
        std::string module;
        const char* level;  // LUMIVOX_LOG_LEVEL; null: not set
        std::vector<std::string> present, absent;
    };
    const Case cases[] = {
        {recorder_.string(),
         "info",
         {"[lumivox] info encoder: frame filter ", "(interface version 1)\n"},
         {"filter: recorder", "configure2"}},
        {v2,
         "info",
         {"(interface version 2)\n", "\n[lumivox] error filter: recorder error line\n",
          "\n[lumivox] warning filter: recorder warning line frame=99 fps=1\n",
          "\n[lumivox] info filter: recorder info line\n",
          "\n[lumivox] info filter: recorder released after ", "configure2"},
         {"recorder debug line"}},
        {v2,
         nullptr,
         {"[lumivox] error filter: recorder error line\n",
          "[lumivox] warning filter: recorder warning line"},
         {"info filter:", "info encoder:"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module + " " + (c.level ? c.level : "-"));
        const ScopedEnvironment level("LUMIVOX_LOG_LEVEL",
                                      c.level ? std::optional<std::string>(c.level) : std::nullopt);
        const ChildResult r = encode(in, c.module + " " + log_.string(), "-vcodec msmpeg4 OUT");
        ASSERT_TRUE(r.exitedWith(0)) << r.err;
        const std::string seen = r.err + readBytes(log_);
        for (const std::string& text : c.present) {
            EXPECT_THAT(seen, HasSubstr(text));
        }
        for (const std::string& text : c.absent) {
            EXPECT_THAT(seen, Not(HasSubstr(text)));
        }
        EXPECT_EQ(lines(readBytes(log_)).back(), "release");
    }
}

}  // namespace
}  // namespace encoder_test
