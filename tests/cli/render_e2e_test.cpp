// lumivox-cli end to end: the real program, encoder and frame filter on short clips that
// Debian's ffmpeg makes, the movies checked with ffprobe and by their decoded pixels.

#include <algorithm>
#include <fstream>

#include "cli_test_support.h"

namespace {

using namespace cli_test;

class RenderE2eTest : public CliE2eTest {
protected:
    // Renders the clip (made on first use) with the comments into the save folder.
    RunResult render(std::vector<std::string> options, const fs::path& video = {}) {
        if (video.empty() && !fs::exists(clip)) {
            makeClip(clip);
        }
        std::vector<std::string> args = {"render", (video.empty() ? clip : video).string(),
                                         comments.string(), "--save-dir", save.string()};
        args.insert(args.end(), options.begin(), options.end());
        return run(args);
    }

    fs::path comments = commentFile;
    fs::path clip = root.path() / "clip.flv";
};

TEST_F(RenderE2eTest, TheAviCarriesTheCommentsWhereTheLayoutPutThem) {
    const RunResult r = render({"--all-periods", "--timings"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path movie = save / "clip.avi";
    EXPECT_EQ(r.out, movie.string() + "\n");
    EXPECT_THAT(r.err, HasSubstr("timings: probe "));
    EXPECT_THAT(r.err, Not(HasSubstr(" -,"))) << "every stage ran: ";

    expectAviOf(movie, clip);

    // The red top comment, centred, where comment.ini in the work folder says it stands.
    const std::vector<OverlayBlock> blocks = overlayBlocks(work / "comment.ini");
    ASSERT_EQ(blocks.size(), 5u);
    const auto red = std::find_if(blocks.begin(), blocks.end(),
                                  [](const OverlayBlock& block) { return block.mail == "red ue"; });
    ASSERT_NE(red, blocks.end());
    EXPECT_EQ(red->position, 1);
    EXPECT_EQ(red->startFrame, 29);  // 1 s at 29.97 fps
    EXPECT_GT(red->x, 0);
    // Drawn inside its box and nowhere else on its first, a middle and its last frame, nothing
    // red on the frames just outside them (every frame: the frame filter's drawing tests). Its 7
    // characters at 12 pt have 70 to 100 pixels of clean red after the codec's chroma
    // subsampling.
    const int middle = (red->startFrame + red->endFrame) / 2;
    for (const int frame :
         {red->startFrame - 1, red->startFrame, middle, red->endFrame - 1, red->endFrame + 1}) {
        const bool shown = frame >= red->startFrame && frame < red->endFrame;
        const auto [inBox, total] = redPixels(movie, frame, *red);
        EXPECT_EQ(inBox > 40, shown) << "frame " << frame;
        EXPECT_EQ(total, shown ? inBox : 0) << "red outside its box or time, frame " << frame;
    }
}

// The still of a moment is the frame a whole encode has there, comments and all: both come from
// the encoder's own conversion to RGB, the full encode through a lossless codec.
TEST_F(RenderE2eTest, TheStillIsTheFrameOfTheFullEncodeAtThatMoment) {
    writeBytes(work / "FFmpeg.ini",
               "Lossless\r\n -y -i \"<%InputFile%>\" <%Lumivox%> -vcodec ffv1 -an "
               "\"<%TemporaryFile%>.mkv\"\r\n");
    RunResult r = render({"--all-periods", "--still", "2.1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path still = save / "clip.png";
    EXPECT_EQ(r.out, still.string() + "\n");
    r = render({"--all-periods", "--format", "Lossless"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path frame = root.path() / "frame.png";
    runShell(quote((kProgramFolder / "FFmpeg").string()) + " -v error -y -ss 2.1 -i " +
             quote((save / "clip.mkv").string()) + " -vcodec png -frames:v 1 " +
             quote(frame.string()));

    const auto rgb = [](const fs::path& png) {
        return outputOf("ffmpeg -nostdin -v error -i " + quote(png.string()) +
                        " -f rawvideo -pix_fmt rgb24 -");
    };
    const std::string ours = rgb(still), full = rgb(frame);
    ASSERT_EQ(ours.size(), static_cast<size_t>(kWidth * kHeight * 3));
    EXPECT_TRUE(ours == full) << "the still differs from the encoded frame";
    // Comments are on it: pixels far from the clip's dark blue.
    int drawn = 0;
    for (size_t i = 0; i + 2 < ours.size(); i += 3) {
        drawn += static_cast<unsigned char>(ours[i]) > 0x80 ? 1 : 0;
    }
    EXPECT_GT(drawn, 200);
}

// The subtitle formats: the job writes the script from its layout, the MKV carries it beside the
// untouched streams, and the script alone lands beside the video.
TEST_F(RenderE2eTest, TheCommentsBecomeASubtitleTrackOrFile) {
    RunResult r = render({"--all-periods", "--format", "MKV(字幕)"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path mkv = save / "clip.mkv";
    EXPECT_EQ(r.out, mkv.string() + "\n");
    EXPECT_EQ(codecOf(mkv, "s"), "ass\n");
    EXPECT_EQ(ffprobe(mkv, "-count_packets -select_streams s -show_entries stream=nb_read_packets"),
              "5\n");

    r = render({"--all-periods", "--format", "ASS(字幕のみ)"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path ass = save / "clip.ass";
    EXPECT_EQ(r.out, ass.string() + "\n");
    const std::string script = readBytes(ass);
    EXPECT_THAT(script, HasSubstr("PlayResX: 320\nPlayResY: 240"));
    // The red top comment at 1 s (frame 29: 967.6 ms), as comment.ini has it.
    EXPECT_THAT(script, HasSubstr("0:00:00.95,"));
    EXPECT_THAT(script, HasSubstr("\\c&H0000FF&"));
    EXPECT_THAT(script, HasSubstr("赤い上コメント"));
}

TEST_F(RenderE2eTest, BadInputsFailWithTheirReasonAndNoMovie) {
    // A missing video, an empty one and a missing comment file say which; nothing is made: no
    // save folder, no work file.
    save = root.path() / "new save folder";
    std::ofstream(root.path() / "empty.flv").close();
    for (const auto& [video, error] : {std::pair{root.path() / "missing.flv", "missing input: "},
                                       std::pair{root.path() / "empty.flv", "empty input: "}}) {
        const RunResult r = render({}, video);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "lumivox-cli: " + std::string(error) + video.string() + "\n");
    }
    comments = root.path() / "none.xml";
    RunResult r = render({});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("missing input: " + comments.string()));
    EXPECT_FALSE(fs::exists(save));
    for (const char* workFile : {"comment.ini", "data.ini", "comment.xml"}) {
        EXPECT_FALSE(fs::exists(work / workFile)) << workFile;
    }
    // A damaged comment file: its line and column.
    comments = root.path() / "damaged.xml";
    writeBytes(comments, "<packet>\n<chat vpos=\"1\">a</chaat></packet>\n");
    r = render({});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("lumivox-cli: " + comments.string() +
                                 ": not well-formed XML at line 2, column "));
    EXPECT_FALSE(fs::exists(save));

    // An unknown format is a usage error that names the near ones. (A video the encoder cannot
    // read fails as the job's tests show.)
    comments = commentFile;
    r = render({"--format", "avx"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err,
              "lumivox-cli: unknown format \"avx\"; near names: AVI (lumivox-cli --list-formats "
              "shows the formats)\n");
    EXPECT_FALSE(fs::exists(save)) << "nothing was made";
}

TEST_F(RenderE2eTest, OutputNamesTheMovieFormatNamesIgnoreCaseAndTheVersionIsTheBuilds) {
    // No conversion succeeds with the video itself: nothing is made, nothing laid out.
    RunResult r = render({"--format", "無変換"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, clip.string() + "\n");
    EXPECT_FALSE(fs::exists(work / "comment.ini")) << "nothing was laid out";

    const fs::path movie = root.path() / "made here" / "my movie.mp4";
    r = render({"--all-periods", "--format", "mp4", "-o", movie.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, movie.string() + "\n");
    EXPECT_EQ(codecOf(movie, "v"), "mpeg4\n");
    EXPECT_FALSE(fs::exists(save)) << "the save folder was not needed";

    r = render({"--format", "無変換", "--output", movie.string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_THAT(r.err, HasSubstr("-o names the encoded movie"));

    // A font that is not installed: which one stands in.
    r = render({"--all-periods", "--font", "No Such Face 42"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.err,
                HasSubstr("lumivox-cli: no installed font is named \"No Such Face 42\"; \""));

    r = run({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "lumivox-cli " LUMIVOX_VERSION_OF_BUILD "\n");
}

// Today's JSON: found from the content whatever the name, read with today's words unless
// --commands says otherwise, and with --seed the crowded comments that find no free row land in
// the same places on every run.
TEST_F(RenderE2eTest, TodaysJsonCommentsWithCommandsAndASeed) {
    std::string list = "[";
    for (int i = 0; i < 40; ++i) {  // far more big comments at one time than rows
        list += std::string(i ? "," : "") + "{\"no\":" + std::to_string(i + 1) +
                ",\"vposMs\":1000,\"body\":\"弾幕コメント" + std::to_string(i) +
                "\",\"commands\":[\"big\",\"orange\"],\"postedAt\":"
                "\"2023-11-15T07:13:21+09:00\"}";
    }
    comments = root.path() / "sm9.comments.json";
    writeBytes(comments, list + "]");
    const auto overlay = [&] {
        return readBytes(work / "comment.ini") + "|" + readBytes(work / "data.ini");
    };
    RunResult r = render({"--all-periods", "--seed", "7"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string first = overlay();
    EXPECT_EQ(overlayBlocks(work / "comment.ini").size(), 40u);
    EXPECT_THAT(readBytes(work / "comment.ini"), HasSubstr("\r\nFF C0 00\r\n"));  // today's orange
    ASSERT_EQ(render({"--all-periods", "--seed", "7"}).exitCode, 0);
    EXPECT_EQ(overlay(), first);
    ASSERT_EQ(render({"--all-periods", "--seed", "8"}).exitCode, 0);
    EXPECT_NE(overlay(), first);
    r = render({"--all-periods", "--seed", "7", "--commands", "classic"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(readBytes(work / "comment.ini"), HasSubstr("\r\nFF CC 00\r\n"));  // the old one

    EXPECT_EQ(render({"--seed", "x"}).exitCode, 2);
    EXPECT_EQ(render({"--commands", "modern"}).exitCode, 2);
}

// An audio-only input gives an MP3; that MP3, rendered again from the save folder, is never
// overwritten by its movie: the movie takes a name of its own.
TEST_F(RenderE2eTest, Mp3OfAnAudioOnlyInputAndOfAnMp3InTheSaveFolder) {
    const fs::path audio = root.path() / "song.m4a";
    runShell("ffmpeg -nostdin -v error -y -f lavfi -i sine=f=330:d=2 -c:a aac " +
             quote(audio.string()));
    RunResult r = render({"--format", "MP3"}, audio);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path song = save / "song.mp3";
    EXPECT_EQ(r.out, song.string() + "\n");
    EXPECT_EQ(codecOf(song, "a"), "mp3\n");  // what else the format makes: the encoder's tests

    const std::string original = readBytes(song);
    r = render({"--format", "MP3"}, song);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path movie = save / "song (コメント付き).mp3";
    EXPECT_EQ(r.out, movie.string() + "\n");
    EXPECT_EQ(codecOf(movie, "a"), "mp3\n");
    EXPECT_TRUE(readBytes(song) == original) << "the video is left as it was";
}

TEST_F(RenderE2eTest, SettingsAndFormatsComeFromTheWorkFolder) {
    makeClip(clip);
    // FFmpeg.ini with formats of its own; lumivox.ini chooses one and a save folder.
    writeBytes(work / "FFmpeg.ini",
               "WMV\r\n -y -i \"<%InputFile%>\" <%Lumivox%> -vcodec wmv2 -acodec wmav2 "
               "\"<%TemporaryFile%>.wmv\"\r\n"
               "小さいAVI\r\n -y -i \"<%InputFile%>\" -vcodec msmpeg4 -b 100k -acodec libmp3lame "
               "\"<%TemporaryFile%> small.avi\"\r\n");
    const std::string saveDir = "[Lumivox]\r\nSaveDir=" + save.string();
    writeBytes(work / "lumivox.ini", saveDir + "\r\nFormat=小さいAVI\r\nFontPt=14\r\nOld=0\r\n");
    RunResult r = run({"--list-formats"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "WMV\n小さいAVI\n");
    r = run({"--list-formats", "--verbose"});
    EXPECT_EQ(r.out,
              "WMV\tvideo wmv2, frame rate of the video, audio wmav2, comments drawn, .wmv\n"
              "小さいAVI\tvideo msmpeg4 100kb/s, frame rate of the video, audio libmp3lame, no "
              "comments, .avi\n");

    const std::vector<std::string> args = {"render", clip.string(), comments.string(),
                                           "--all-periods"};
    r = run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "clip small.avi").string() + "\n");
    EXPECT_EQ(codecOf(save / "clip small.avi", "v"), "msmpeg4v3\n");
    // The size of lumivox.ini reached comment.ini's header (its third line).
    EXPECT_EQ(iniLines(work / "comment.ini").at(2), "14");

    std::vector<std::string> wmv = args;
    wmv.insert(wmv.end(), {"--format", "WMV"});
    r = run(wmv);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "clip.wmv").string() + "\n");
    EXPECT_EQ(codecOf(save / "clip.wmv", "v"), "wmv2\n");

    // A saved "Format" that names no format selects the first one, as the format box does.
    fs::remove(save / "clip.wmv");
    writeBytes(work / "lumivox.ini", saveDir + "\r\nFormat=AVI\r\n");
    r = run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "clip.wmv").string() + "\n");
}

TEST_F(RenderE2eTest, ThePeriodAndTheUserFiltersReachTheLayout) {
    // The comments were posted at 1700000001..5: the default period (three years back from
    // today) may or may not hold them, an explicit one decides.
    RunResult r =
        render({"--period-start", "1700000002", "--period-end", "1700000004", "--ng", "c"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(overlayBlocks(work / "comment.ini").size(), 2u);
    EXPECT_THAT(r.err,
                HasSubstr("lumivox-cli: comments: read 5, removed: period 2, NG list 1, extract "
                          "list 0, count cap 0; not shown 0; drawn 2\n"));
    EXPECT_THAT(r.err, Not(HasSubstr("no comment is drawn")));
    r = render({"--all-periods", "--extract", "d"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<OverlayBlock> blocks = overlayBlocks(work / "comment.ini");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].mail, "shita");
    EXPECT_THAT(r.err, HasSubstr("extract list 4, count cap 0; not shown 0; drawn 1\n"));

    // A period that removes every comment says so, and the movie is still made.
    fs::remove(save / "clip.avi");
    r = render({"--period-start", "2024-01-01"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "clip.avi").string() + "\n");
    EXPECT_TRUE(fs::exists(save / "clip.avi"));
    for (const char* line :
         {"lumivox-cli: comments: read 5, removed: period 5, NG list 0, extract list 0, count cap "
          "0; not shown 0; drawn 0\n",
          "lumivox-cli: no comment is drawn: the comment period 2024-01-01 00:00 .. ",
          " removed 5 of the 5 comments read (by default only the last three years are kept); "
          "--all-periods, or --period-start and --period-end, take them in\n"}) {
        EXPECT_THAT(r.err, HasSubstr(line));
    }
}

// A copy of lumivox-cli in a program folder of its own, beside a stand-in FFmpeg that answers
// the probe and then encodes for a minute, printing status lines.
class StopE2eTest : public RenderE2eTest, public ::testing::WithParamInterface<int> {};

TEST_P(StopE2eTest, ASignalStopsTheJobTerminatesTheEncoderAndExits130) {
    const fs::path program = root.path() / "program";
    fs::create_directories(program);
    fs::copy_file(kProgramFolder / "lumivox-cli", program / "lumivox-cli");
    writeBytes(program / "FFmpeg",
               "#!/bin/sh\n"
               "if [ \"$1\" = \"-in\" ]; then\n"
               "  printf 'niconico++\\r\\n4\\n0\\n320\\n240\\n30000\\n1001\\nniconico_end\\r\\n'\n"
               "  exit 0\n"
               "fi\n"
               "echo $$ > \"$(dirname \"$0\")/encoder.pid\"\n"
               "n=0; while [ $n -lt 1200 ]; do n=$((n+1)); printf 'frame=%5d fps=20\\r' $n; "
               "sleep 0.05; done\n");
    fs::permissions(program / "FFmpeg", fs::perms::owner_all);
    makeClip(clip);
    const fs::path encoderPid = program / "encoder.pid";
    ASSERT_NO_FATAL_FAILURE(expectStoppedBy(
        GetParam(),
        spawn(program / "lumivox-cli",
              {"render", clip.string(), comments.string(), "--save-dir", save.string()}),
        [&] { return fs::exists(encoderPid); }, 10.0));
    EXPECT_THAT(readBytes(errPath()), HasSubstr("停止中...\n"));
    EXPECT_THAT(readBytes(errPath()), HasSubstr("lumivox-cli: stopped\n"));
    // The encoder was terminated and reaped by lumivox-cli before it exited.
    EXPECT_EQ(::kill(std::stoi(readBytes(encoderPid)), 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopE2eTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGINT ? "Interrupt" : "Terminate");
                         });

}  // namespace
