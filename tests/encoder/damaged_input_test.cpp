// Damaged inputs must end in a correct shorter file or a failure exit, never in a hang or a
// crash; a failure while encoding must show in the exit code.

#include <gtest/gtest.h>

#include "encoder_test_support.h"

namespace encoder_test {
namespace {

class DamagedInputTest : public FlvClipTest {
protected:
    void SetUp() override {
        FlvClipTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        bytes_ = readBytes(clip_);
        ASSERT_GT(bytes_.size(), 10000u);
    }

    // Encodes `input` with the default AVI preset's options, within a time limit.
    ChildResult encode(const fs::path& input, const fs::path& out) {
        return runChild({encoderPath(), "-y", "-i", input.string(), "-vcodec", "msmpeg4", "-acodec",
                         "libmp3lame", out.string()},
                        {}, 60);
    }

    // Exit 0 must mean a readable file of a plausible length; any other exit is allowed.
    void expectSoundOutcome(const ChildResult& r, const fs::path& out, double maxSeconds) {
        ASSERT_FALSE(r.timedOut) << "the encoder hung";
        ASSERT_EQ(r.signal, 0) << "the encoder crashed:\n" << r.err;
        if (r.exitCode == 0) {
            MediaInfo info = probeWithFfprobe(out);
            ASSERT_TRUE(info.ok) << info.error;
            EXPECT_GT(info.duration, 0.3);
            EXPECT_LE(info.duration, maxSeconds + 0.2);
            ASSERT_NE(info.first("video"), nullptr);
            EXPECT_EQ(lastStatusFrame(r.err), info.first("video")->packets);
        }
    }

    std::string bytes_;
};

TEST_F(DamagedInputTest, TruncatedFileGivesShorterMovie) {
    const fs::path cut = folder_.file("cut.flv");
    writeBytes(cut, bytes_.substr(0, bytes_.size() * 55 / 100));
    const fs::path out = folder_.file("cut.avi");
    ChildResult r = encode(cut, out);
    expectSoundOutcome(r, out, 3.0);
    if (r.exitCode == 0) {
        EXPECT_LT(probeWithFfprobe(out).duration, 2.5);
    }
}

TEST_F(DamagedInputTest, CorruptBytesInTheMiddleAreSurvived) {
    std::string damaged = bytes_;
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 1500; ++i) {
        damaged[i] = static_cast<char>((i * 37) & 0xFF);
    }
    const fs::path bad = folder_.file("bad.flv");
    writeBytes(bad, damaged);
    const fs::path out = folder_.file("bad.avi");
    expectSoundOutcome(encode(bad, out), out, 3.0);
}

TEST_F(DamagedInputTest, HeaderOnlyAndEmptyFilesFail) {
    for (size_t keep : {size_t{0}, size_t{13}}) {
        const fs::path stub = folder_.file("stub" + std::to_string(keep) + ".flv");
        writeBytes(stub, bytes_.substr(0, keep));
        const fs::path out = folder_.file("stub.avi");
        ChildResult r = encode(stub, out);
        ASSERT_FALSE(r.timedOut);
        ASSERT_EQ(r.signal, 0) << r.err;
        EXPECT_NE(r.exitCode, 0) << "an input without any frame cannot give a movie: " << r.err;
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
    ChildResult r = runChild(
        {encoderPath(), "-y", "-i", script.string(), "-map", "0:s", "-c", "copy", out.string()}, {},
        60);
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    EXPECT_NE(readBytes(out).find("[Events]"), std::string::npos);
}

}  // namespace
}  // namespace encoder_test
