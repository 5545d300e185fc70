// Damaged inputs must end in a correct shorter file or a failure exit, never in a hang or a
// crash; a failure while encoding must show in the exit code.

#include <gtest/gtest.h>

#include "encoder_test_support.h"

namespace encoder_test {
namespace {

using DamagedInputTest = FlvClipTest;

TEST_F(DamagedInputTest, GiveAShorterMovieOrAFailureNeverAHangOrACrash) {
    const std::string bytes = readBytes(clip_);
    ASSERT_GT(bytes.size(), 10000u);
    std::string corrupt = bytes;
    for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 1500; ++i) {
        corrupt[i] = static_cast<char>((i * 37) & 0xFF);
    }
    const struct {
        const char* what;
        std::string bytes;
        double maxSeconds;  // of a movie made; 0: none may be made
    } cases[] = {{"cut short", bytes.substr(0, bytes.size() * 55 / 100), 2.5},
                 {"corrupt in the middle", corrupt, 3.2},
                 {"empty", "", 0},
                 {"the header alone", bytes.substr(0, 13), 0}};
    const fs::path input = folder_.file("damaged.flv");
    const fs::path out = folder_.file("damaged.avi");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(input, c.bytes);
        fs::remove(out);
        // The default AVI preset's options.
        const ChildResult r = runChild({encoderPath(), "-y", "-i", input.string(), "-vcodec",
                                        "msmpeg4", "-acodec", "libmp3lame", out.string()},
                                       {}, 60);
        ASSERT_FALSE(r.timedOut) << "the encoder hung";
        ASSERT_EQ(r.signal, 0) << "the encoder crashed:\n" << r.err;
        if (c.maxSeconds == 0) {
            EXPECT_NE(r.exitCode, 0) << "an input without any frame cannot give a movie: " << r.err;
        } else if (r.exitCode == 0) {  // any other exit is allowed
            const MediaInfo info = probeWithFfprobe(out);
            ASSERT_TRUE(info.ok) << info.error;
            EXPECT_GT(info.duration, 0.3);
            EXPECT_LT(info.duration, c.maxSeconds);
            ASSERT_NE(info.first("video"), nullptr);
            EXPECT_EQ(lastStatusFrame(r.err), info.first("video")->packets);
        }
    }
}

// A job whose comments were all filtered out writes a subtitle script without events; copied
// alone it is an empty track, not a failed run.
TEST_F(DamagedInputTest, ASubtitleScriptWithoutEventsCopiesToAnEmptyTrack) {
    const fs::path script = folder_.file("none.ass");
    writeBytes(script,
               "[Script Info]\nScriptType: v4.00+\nPlayResX: 512\nPlayResY: 384\n\n"
               "[V4+ Styles]\nFormat: Name, Fontname, Fontsize\nStyle: Default,Sans,24\n\n"
               "[Events]\nFormat: Layer, Start, End, Style, Text\n");
    const fs::path out = folder_.file("out.ass");
    const ChildResult r = runChild(
        {encoderPath(), "-y", "-i", script.string(), "-map", "0:s", "-c", "copy", out.string()}, {},
        60);
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    EXPECT_THAT(readBytes(out), HasSubstr("[Events]"));
}

}  // namespace
}  // namespace encoder_test
