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
        // Today's options: each refused where it cannot do what it says.
        {{"-y", "-i", clip_.string(), "-vcodec", "msmpeg4", "-crf", "20", out.string()},
         "Option '-crf' is not understood by the encoder 'msmpeg4'"},
        {{"-y", "-i", clip_.string(), "-vcodec", "msmpeg4", "-movflags", "+faststart",
          out.string()},
         "Option '-movflags' is not understood by the container 'avi'"},
        {{"-y", "-i", clip_.string(), "-vcodec", "copy", "-vhook", "x.dll", out.string()},
         "'-vhook' cannot change a video stream that is copied"},
        {{"-y", "-i", clip_.string(), "-c", "copy", "-ss", "1", out.string()},
         "'-ss' cannot be combined with stream copy"},
        {{"-y", "-i", clip_.string(), "-map", "1", out.string()}, "names input 1"},
        {{"-y", "-i", clip_.string(), "-map", "0:s", out.string()}, "matches no stream"},
        {{"-y", "-i", clip_.string(), "-map", "0:x:y", out.string()}, "'-map'"},
        {{"-y", "-i", clip_.string(), "-i", clip_.string(), "-map", "1:v", out.string()},
         "Only the streams of the first input can be encoded"},
        {{"-y", "-i", clip_.string(), "-tag:v", "toolong", out.string()}, "'-tag:v'"},
        {{"-y", "-i", clip_.string(), folder_.file("no/such/dir/x.avi").string()}, "x.avi"},
        {{"-y", "-i", clip_.string(), "-f", "flv", clip_.string()}, ""},  // never over its input
    };
    const std::string input = readBytes(clip_);
    for (const Refusal& r : refusals) {
        ChildResult result = encode(r.args);
        EXPECT_TRUE(result.exitedWith(1)) << r.message << ": exit " << result.exitCode;
        EXPECT_NE(result.err.find(r.message), std::string::npos)
            << "expected '" << r.message << "' in: " << result.err;
        EXPECT_FALSE(fs::exists(out)) << r.message;
        EXPECT_FALSE(fs::exists(folder_.file("out.unknownext")));
        EXPECT_EQ(readBytes(clip_), input) << r.message;
    }
    ChildResult usage = encode({});
    EXPECT_TRUE(usage.exitedWith(1));
    EXPECT_NE(usage.err.find("usage"), std::string::npos);
}

TEST_F(CommandLineTest, ExistingOutputIsKeptWithoutY) {
    const fs::path out = folder_.file("movie.avi");
    writeBytes(out, "the user's movie");
    ChildResult r = encode({"-i", clip_.string(), "-vcodec", "msmpeg4", out.string()});
    EXPECT_TRUE(r.exitedWith(1));
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(out), "the user's movie");

    r = encode({"-y", "-i", clip_.string(), "-vcodec", "msmpeg4", out.string()});
    EXPECT_TRUE(r.exitedWith(0)) << r.err;
    EXPECT_TRUE(probeWithFfprobe(out).ok);
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

// Stream copy hands the packets on untouched: the copied streams hash alike, packet by packet,
// and a stream whose codec nothing here decodes is copied all the same.
TEST_F(CommandLineTest, StreamCopyWritesTheInputPacketsUnchanged) {
    const fs::path out = folder_.file("copy.mkv");
    ChildResult r = encode({"-y", "-i", clip_.string(), "-map", "0:v", "-map", "0:a?", "-map",
                            "0:s?", "-c", "copy", "-t", "2", out.string()});
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    const auto hashes = [](const fs::path& file, const std::string& limit) {
        std::vector<std::string> argv = {kDebianFfmpeg, "-v", "error", "-i", file.string()};
        if (!limit.empty()) {
            argv.insert(argv.end(), {"-t", limit});
        }
        argv.insert(argv.end(), {"-c", "copy", "-f", "streamhash", "-hash", "md5", "-"});
        return runChild(argv).out;
    };
    const std::string copied = hashes(out, "");
    EXPECT_NE(copied.find("0,v,MD5="), std::string::npos) << copied;
    EXPECT_EQ(copied, hashes(clip_, "2"));
    const MediaInfo info = probeWithFfprobe(out);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_NEAR(info.duration, 2.0, 0.1);
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

TEST(EncoderOptionsParse, TodaysOptionsAreStoredForTheirComponents) {
    Result<ParsedArguments> p = parseEncoderArguments(
        {"-i",         "in.flv", "-i",      "c.ass",     "-map", "0:v",    "-map",
         "0:a:1?",     "-map",   "1",       "-c",        "copy", "-c:s",   "ass",
         "-crf",       "20",     "-preset", "slow",      "-b:v", "0",      "-movflags",
         "+faststart", "-tag:v", "hvc1",    "-frames:v", "1",    "out.mkv"});
    ASSERT_TRUE(p) << p.error();
    const EncoderOptions& o = p->options;
    EXPECT_EQ(o.extraInputs, std::vector<std::string>{"c.ass"});
    ASSERT_EQ(o.maps.size(), 3u);
    EXPECT_EQ(o.maps[0].type, 'v');
    EXPECT_EQ(o.maps[1].index, 1);
    EXPECT_TRUE(o.maps[1].optional);
    EXPECT_EQ(o.maps[2].input, 1);
    EXPECT_EQ(o.maps[2].type, 0);
    EXPECT_EQ(o.videoCodec, "copy");
    EXPECT_EQ(o.audioCodec, "copy");
    EXPECT_EQ(o.subtitleCodec, "ass");
    EXPECT_EQ(o.videoEncoderOptions, (AvOptionList{{"crf", "20"}, {"preset", "slow"}}));
    EXPECT_EQ(o.videoBitrate, 0);  // set, and zero: no bitrate target
    EXPECT_EQ(o.muxerOptions, (AvOptionList{{"movflags", "+faststart"}}));
    EXPECT_EQ(o.videoTag, "hvc1");
    EXPECT_EQ(o.maxVideoFrames, 1);
    EXPECT_FALSE(parseEncoderArguments({"-i", "a", "b"})->options.videoBitrate.has_value());
}

}  // namespace
}  // namespace encoder_test
