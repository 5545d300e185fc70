// What the FFmpeg program does with its command line: refusals that must leave no file behind,
// the overwrite rule, and the options beyond the presets' (-t -ss -s -vf -ar -ac).

#include <gtest/gtest.h>

#include "encoder/encoder_options.h"
#include "encoder_test_support.h"

namespace encoder_test {
namespace {

class CommandLineTest : public FlvClipTest {
protected:
    ChildResult encode(std::vector<std::string> args) {
        args.insert(args.begin(), encoderPath());
        return runChild(args, folder_.path());
    }
};

TEST_F(CommandLineTest, RefusedCommandLinesWriteNothing) {
    const fs::path out = folder_.file("out.avi");
    struct Refusal {
        std::vector<std::string> args;
        std::string message;
    };
    const Refusal refusals[] = {
        {{"-y", "-i", clip_.string(), "-foo", "-vcodec", "msmpeg4", out.string()},
         "Unrecognized option '-foo'"},
        {{"-y", "-i", clip_.string(), "-vcodec", "nosuchcodec", out.string()},
         "Unknown encoder 'nosuchcodec'"},
        {{"-y", "-i", clip_.string(), "-acodec", "msmpeg4", out.string()}, "not a audio encoder"},
        {{"-y", "-i", clip_.string(), "-b", "fast", out.string()}, "'-b'"},
        {{"-y", "-i", clip_.string(), "-r", "0", out.string()}, "'-r'"},
        {{"-y", "-i", clip_.string(), "-vf", "nosuchfilter", out.string()}, "nosuchfilter"},
        {{"-y", "-i", clip_.string(), "-vcodec", "msmpeg4", "-r"},
         "Missing argument for option '-r'"},
        {{"-y", "-vcodec", "msmpeg4", out.string()}, "No input file"},
        {{"-y", "-i", clip_.string()}, "No output file"},
        {{"-y", "-i", folder_.file("absent.flv").string(), out.string()}, "absent.flv"},
        {{"-y", "-i", clip_.string(), folder_.file("out.unknownext").string()}, "-f"},
    };
    for (const Refusal& r : refusals) {
        ChildResult result = encode(r.args);
        EXPECT_TRUE(result.exitedWith(1)) << r.message << ": exit " << result.exitCode;
        EXPECT_NE(result.err.find(r.message), std::string::npos)
            << "expected '" << r.message << "' in: " << result.err;
        EXPECT_FALSE(fs::exists(out)) << r.message;
        EXPECT_FALSE(fs::exists(folder_.file("out.unknownext")));
    }
    ChildResult usage = encode({});
    EXPECT_TRUE(usage.exitedWith(1));
    EXPECT_NE(usage.err.find("usage"), std::string::npos);
}

TEST_F(CommandLineTest, ExistingOutputIsKeptWithoutY) {
    const fs::path out = folder_.file("movie.avi");
    writeFile(out, "the user's movie");
    ChildResult r = encode({"-i", clip_.string(), "-vcodec", "msmpeg4", out.string()});
    EXPECT_TRUE(r.exitedWith(1));
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(out), "the user's movie");

    r = encode({"-y", "-i", clip_.string(), "-vcodec", "msmpeg4", out.string()});
    EXPECT_TRUE(r.exitedWith(0)) << r.err;
    EXPECT_TRUE(probeWithFfprobe(out).ok);
}

TEST_F(CommandLineTest, NeverWritesOverItsInput) {
    const std::string before = readFile(clip_);
    ChildResult r = encode({"-y", "-i", clip_.string(), "-f", "flv", clip_.string()});
    EXPECT_TRUE(r.exitedWith(1));
    EXPECT_EQ(readFile(clip_), before);
}

TEST_F(CommandLineTest, UnwritableOutputFails) {
    ChildResult r =
        encode({"-y", "-i", clip_.string(), folder_.file("no/such/dir/x.avi").string()});
    EXPECT_TRUE(r.exitedWith(1));
    EXPECT_NE(r.err.find("x.avi"), std::string::npos) << r.err;
}

TEST_F(CommandLineTest, NoStreamLeftIsAnError) {
    const fs::path silent = folder_.file("silent.flv");
    ASSERT_EQ(makeClip(silent, {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-t", "1",
                                "-c:v", "flv"}),
              "");
    const fs::path out = folder_.file("x.mp3");
    ChildResult r =
        encode({"-y", "-i", silent.string(), "-vn", "-acodec", "libmp3lame", out.string()});
    EXPECT_TRUE(r.exitedWith(1));
    EXPECT_NE(r.err.find("no stream"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(CommandLineTest, TimeSizeRateAndFilterOptions) {
    const fs::path out = folder_.file("cut.mkv");
    ChildResult r = encode({"-y",    "-ss",  "1",     "-i",   clip_.string(), "-t",
                            "1.5",   "-s",   "80x60", "-vf",  "hflip",        "-c:v",
                            "mpeg4", "-q:v", "3",     "-c:a", "libmp3lame",   "-ar",
                            "22050", "-ac",  "1",     "-b:a", "64k",          out.string()});
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    MediaInfo info = probeWithFfprobe(out);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_NEAR(info.duration, 1.5, 0.1);
    const MediaStream* v = info.first("video");
    const MediaStream* a = info.first("audio");
    ASSERT_TRUE(v && a);
    EXPECT_EQ(v->width, 80);
    EXPECT_EQ(v->height, 60);
    EXPECT_NEAR(static_cast<double>(v->packets), 1.5 * 30000 / 1001, 1.0);
    EXPECT_EQ(a->sampleRate, 22050);
    EXPECT_EQ(lastStatusFrame(r.err), v->packets);

    // -ss after -i decodes up to the point instead of seeking: the same length comes out.
    const fs::path out2 = folder_.file("cut2.avi");
    r = encode({"-y", "-i", clip_.string(), "-ss", "2", "-vcodec", "msmpeg4", out2.string()});
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    info = probeWithFfprobe(out2);
    ASSERT_TRUE(info.ok);
    EXPECT_NEAR(info.duration, 1.0, 0.15);
}

TEST_F(CommandLineTest, SameqEncodesAtConstantQuantiserTwo) {
    const fs::path out = folder_.file("q.avi");
    ChildResult r = encode({"-y", "-i", clip_.string(), "-vcodec", "msmpeg4", "-acodec",
                            "libmp3lame", "-sameq", out.string()});
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    size_t last = r.err.rfind("frame=");
    ASSERT_NE(last, std::string::npos);
    EXPECT_NE(r.err.find("q=2.0", last), std::string::npos) << r.err.substr(last);
}

TEST(EncoderOptionsParse, OldPresetSpellingsMapToTheirModernMeaning) {
    Result<ParsedArguments> p = parseEncoderArguments(
        {"-y", "-i", "in.flv", "-vhook", "velmora.dll -N comment.ini -D data.ini ", "-vcodec",
         "mpeg4", "-b", "1000k", "-acodec", "libfaac", "-r", "29.97", "-sameq", "out.mp4"});
    ASSERT_TRUE(p) << p.error();
    const EncoderOptions& o = p->options;
    EXPECT_EQ(o.videoBitrate, 1000000);  // -b is the video bitrate
    EXPECT_EQ(modernEncoderName(o.audioCodec), "aac");
    EXPECT_EQ(o.frameRate.num * 100, o.frameRate.den * 2997);
    ASSERT_TRUE(o.videoQuality.has_value());
    EXPECT_EQ(*o.videoQuality, kSameQualityQuantiser);
    EXPECT_EQ(o.vhook, "velmora.dll -N comment.ini -D data.ini ");
    EXPECT_EQ(o.outputFile, "out.mp4");

    // -ss before -i seeks the input, after it decodes up to the point.
    EXPECT_TRUE(parseEncoderArguments({"-ss", "5", "-i", "a", "b"})->options.seekInput);
    EXPECT_FALSE(parseEncoderArguments({"-i", "a", "-ss", "5", "b"})->options.seekInput);
    EXPECT_EQ(parseEncoderArguments({"-i", "a", "-ss", "1:02.5", "b"})->options.startUs, 62500000);
    EXPECT_EQ(parseEncoderArguments({"-i", "a", "-y", "-n", "b"}).error(),
              "Options '-y' and '-n' contradict each other");
}

}  // namespace
}  // namespace encoder_test
