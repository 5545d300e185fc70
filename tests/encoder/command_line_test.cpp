// What the FFmpeg program does with its command line: refusals that must leave no file behind,
// the overwrite rule, and the options beyond the presets' (-t -ss -s -vf -ar -ac).

#include <gtest/gtest.h>

#include "encoder/encoder_options.h"
#include "encoder_test_support.h"
#include "platform/command_line.h"

namespace encoder_test {
namespace {

class CommandLineTest : public FlvClipTest {
protected:
    // Runs the encoder in the test's folder with the arguments of `line`, where IN stands for
    // the clip and OUT for out.avi.
    ChildResult encode(const std::string& line) {
        std::vector<std::string> args = splitCommandLine(line);
        for (std::string& arg : args) {
            arg = arg == "IN" ? clip_.string() : arg == "OUT" ? out_.string() : arg;
        }
        args.insert(args.begin(), encoderPath());
        return runChild(args, folder_.path());
    }

    const fs::path out_ = folder_.file("out.avi");
};

TEST_F(CommandLineTest, RefusedCommandLinesWriteNothing) {
    const std::pair<const char*, const char*> refusals[] = {
        {"-y -i IN -foo -vcodec msmpeg4 OUT", "Unrecognized option '-foo'"},
        {"-y -i IN -vcodec nosuchcodec OUT", "Unknown encoder 'nosuchcodec'"},
        {"-y -i IN -acodec msmpeg4 OUT", "not a audio encoder"},
        {"-y -i IN -b fast OUT", "'-b'"},
        {"-y -i IN -r 0 OUT", "'-r'"},
        {"-y -i IN -vf nosuchfilter OUT", "nosuchfilter"},
        {"-y -i IN -vcodec msmpeg4 -r", "Missing argument for option '-r'"},
        {"-y -vcodec msmpeg4 OUT", "No input file"},
        {"-y -i IN", "No output file"},
        {"-y -i absent.flv OUT", "absent.flv"},
        {"-y -i IN out.unknownext", "-f"},
        // Today's options: each refused where it cannot do what it says.
        {"-y -i IN -vcodec msmpeg4 -crf 20 OUT",
         "Option '-crf' is not understood by the encoder 'msmpeg4'"},
        {"-y -i IN -vcodec msmpeg4 -movflags +faststart OUT",
         "Option '-movflags' is not understood by the container 'avi'"},
        {"-y -i IN -vcodec copy -vhook x.dll OUT",
         "'-vhook' cannot change a video stream that is copied"},
        {"-y -i IN -c copy -ss 1 OUT", "'-ss' cannot be combined with stream copy"},
        {"-y -i IN -map 1 OUT", "names input 1"},
        {"-y -i IN -map 0:s OUT", "matches no stream"},
        {"-y -i IN -map 0:x:y OUT", "'-map'"},
        {"-y -i IN -i IN -map 1:v OUT", "Only the streams of the first input can be encoded"},
        {"-y -i IN -tag:v toolong OUT", "'-tag:v'"},
        {"-y -i IN no/such/dir/x.avi", "x.avi"},
        {"-y -i IN -f flv IN", ""},  // never over its input
        {"", "usage"},
    };
    const std::string input = readBytes(clip_);
    for (const auto& [line, message] : refusals) {
        const ChildResult result = encode(line);
        EXPECT_TRUE(result.exitedWith(1)) << line << ": exit " << result.exitCode;
        EXPECT_THAT(result.err, HasSubstr(message));
        EXPECT_FALSE(fs::exists(out_)) << line;
        EXPECT_FALSE(fs::exists(folder_.file("out.unknownext")));
        EXPECT_EQ(readBytes(clip_), input) << line;
    }
}

TEST_F(CommandLineTest, ExistingOutputIsKeptWithoutYAndAnOutputWithoutStreamsIsAnError) {
    writeBytes(out_, "the user's movie");
    ChildResult r = encode("-i IN -vcodec msmpeg4 OUT");
    EXPECT_TRUE(r.exitedWith(1));
    EXPECT_THAT(r.err, HasSubstr("already exists"));
    EXPECT_EQ(readBytes(out_), "the user's movie");
    r = encode("-y -i IN -vcodec msmpeg4 OUT");
    EXPECT_TRUE(r.exitedWith(0)) << r.err;
    EXPECT_TRUE(probeWithFfprobe(out_).ok);

    ASSERT_EQ(makeClip(folder_.file("silent.flv"),
                       splitCommandLine("-f lavfi -i testsrc=size=64x48:rate=10 -t 1 -c:v flv")),
              "");
    r = encode("-y -i silent.flv -vn -acodec libmp3lame x.mp3");
    EXPECT_TRUE(r.exitedWith(1));
    EXPECT_THAT(r.err, HasSubstr("no stream"));
    EXPECT_FALSE(fs::exists(folder_.file("x.mp3")));
}

TEST_F(CommandLineTest, TimeSizeRateAndFilterOptions) {
    ChildResult r = encode(
        "-y -ss 1 -i IN -t 1.5 -s 80x60 -vf hflip -c:v mpeg4 -q:v 3 -c:a libmp3lame -ar 22050 "
        "-ac 1 -b:a 64k cut.mkv");
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    MediaInfo info = probeWithFfprobe(folder_.file("cut.mkv"));
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
    r = encode("-y -i IN -ss 2 -vcodec msmpeg4 OUT");
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    info = probeWithFfprobe(out_);
    ASSERT_TRUE(info.ok);
    EXPECT_NEAR(info.duration, 1.0, 0.15);
}

TEST_F(CommandLineTest, SameqEncodesAtConstantQuantiserTwo) {
    const ChildResult r = encode("-y -i IN -vcodec msmpeg4 -acodec libmp3lame -sameq OUT");
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    const size_t last = r.err.rfind("frame=");
    ASSERT_NE(last, std::string::npos);
    EXPECT_NE(r.err.find("q=2.0", last), std::string::npos) << r.err.substr(last);
}

// Stream copy hands the packets on untouched: the copied streams hash alike, packet by packet,
// and a stream whose codec nothing here decodes is copied all the same.
TEST_F(CommandLineTest, StreamCopyWritesTheInputPacketsUnchanged) {
    const ChildResult r = encode("-y -i IN -map 0:v -map 0:a? -map 0:s? -c copy -t 2 copy.mkv");
    ASSERT_TRUE(r.exitedWith(0)) << r.err;
    const auto hashes = [](const fs::path& file, const std::string& limit) {
        return runChild(splitCommandLine(std::string(kDebianFfmpeg) + " -v error -i \"" +
                                         file.string() + "\" " + limit +
                                         " -c copy -f streamhash -hash md5 -"))
            .out;
    };
    const std::string copied = hashes(folder_.file("copy.mkv"), "");
    EXPECT_THAT(copied, HasSubstr("0,v,MD5="));
    EXPECT_EQ(copied, hashes(clip_, "-t 2"));
    const MediaInfo info = probeWithFfprobe(folder_.file("copy.mkv"));
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
