// lumivox-cli end to end: the real program, encoder and frame filter on short clips that
// Debian's ffmpeg makes, the movies checked with ffprobe and by their decoded pixels.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

namespace {

const fs::path kProgramFolder = LUMIVOX_PROGRAM_DIR;

// The clip: 4 s of a dark blue picture (nothing red in it) at 320 x 240, 29.97 fps, Sorenson
// video and MP3 audio, as the service's FLV streams are.
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// The red top comment at 1 s (frame 29), and scrolling and bottom comments in other colours.
const char* const kComments =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<packet>\n"
    "<thread resultcode=\"0\" thread=\"1\" last_res=\"5\"/>\n"
    "<chat thread=\"1\" no=\"1\" vpos=\"50\" date=\"1700000001\" "
    "user_id=\"a\">流れるコメント</chat>\n"
    "<chat thread=\"1\" no=\"2\" vpos=\"100\" date=\"1700000002\" mail=\"red ue\" "
    "user_id=\"b\">赤い上コメント</chat>\n"
    "<chat thread=\"1\" no=\"3\" vpos=\"120\" date=\"1700000003\" mail=\"yellow\" "
    "user_id=\"c\">wwwwwwww</chat>\n"
    "<chat thread=\"1\" no=\"4\" vpos=\"200\" date=\"1700000004\" mail=\"shita\" "
    "user_id=\"d\">下のコメント</chat>\n"
    "<chat thread=\"1\" no=\"5\" vpos=\"220\" date=\"1700000005\" user_id=\"e\">もう一つ</chat>\n"
    "</packet>\n";

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// What ffprobe reports about a file: "duration" of the container, and "video.codec_name",
// "audio.codec_name", "video.nb_read_frames" and so on of its streams.
std::map<std::string, std::string> probe(const fs::path& movie, const fs::path& scratch) {
    const fs::path out = scratch / "ffprobe.txt";
    const std::string command =
        "ffprobe -v error -count_frames -show_entries "
        "stream=codec_type,codec_name,nb_read_frames:format=duration -of compact=p=0 " +
        quote(movie.string()) + " > " + quote(out.string());
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::map<std::string, std::string> values;
    std::istringstream lines(readFile(out));
    for (std::string line; std::getline(lines, line);) {
        // One line per stream and one for the container: key=value|key=value...
        std::map<std::string, std::string> fields;
        std::istringstream items(line);
        for (std::string item; std::getline(items, item, '|');) {
            const size_t equals = item.find('=');
            if (equals != std::string::npos) {
                fields[item.substr(0, equals)] = item.substr(equals + 1);
            }
        }
        const auto type = fields.find("codec_type");
        for (const auto& [key, value] : fields) {
            values[type == fields.end() ? key : type->second + "." + key] = value;
        }
    }
    return values;
}

// One laid-out comment of comment.ini.
struct OverlayBlock {
    std::string mail;
    int position = 0;
    int y = 0;
    int startFrame = 0;
    int fontSize = 0;
    int endFrame = 0;
    int x = 0;
};

// The lines of comment.ini, without their CR LF.
std::vector<std::string> iniLines(const fs::path& commentIni) {
    std::vector<std::string> lines;
    const std::string text = readFile(commentIni);
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

std::vector<OverlayBlock> readOverlayBlocks(const fs::path& commentIni) {
    const std::vector<std::string> lines = iniLines(commentIni);
    std::vector<OverlayBlock> blocks;
    for (size_t i = 5; i + 10 <= lines.size(); i += 10) {
        OverlayBlock b;
        b.mail = lines[i];
        b.position = std::stoi(lines[i + 1]);
        b.y = std::stoi(lines[i + 2]);
        b.startFrame = std::stoi(lines[i + 3]);
        b.fontSize = std::stoi(lines[i + 6]);
        b.endFrame = std::stoi(lines[i + 8]);
        b.x = std::stoi(lines[i + 9]);
        blocks.push_back(b);
    }
    return blocks;
}

class RenderE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumivox-cli-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        work = root / "work";
        save = root / "save";
        inputs = root / "inputs";
        fs::create_directories(inputs);
        comments = inputs / "comments.xml";
        std::ofstream(comments) << kComments;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    fs::path makeClip(const std::string& name = "clip.flv") {
        const fs::path clip = inputs / name;
        const std::string command =
            "ffmpeg -nostdin -v error -y -f lavfi -i color=c=0x203050:s=" + std::to_string(kWidth) +
            "x" + std::to_string(kHeight) +
            ":r=30000/1001:d=4 -f lavfi -i sine=f=440:d=4 -c:v flv -q:v 2 -c:a libmp3lame "
            "-ar 22050 " +
            quote(clip.string());
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return clip;
    }

    // Runs lumivox-cli with the work folder in LUMIVOX_HOME.
    RunResult run(const std::vector<std::string>& args,
                  const fs::path& program = kProgramFolder / "lumivox-cli") {
        const fs::path out = root / "stdout.txt";
        const fs::path err = root / "stderr.txt";
        std::vector<std::string> words = {"LUMIVOX_HOME=" + quote(work.string()),
                                          quote(program.string())};
        for (const std::string& arg : args) {
            words.push_back(quote(arg));
        }
        words.insert(words.end(),
                     {">", quote(out.string()), "2>", quote(err.string()), "<", "/dev/null"});
        std::string command;
        for (const std::string& word : words) {
            command.append(command.empty() ? "" : " ").append(word);
        }
        RunResult result;
        result.exitCode = exitCodeOf(std::system(command.c_str()));
        result.out = readFile(out);
        result.err = readFile(err);
        return result;
    }

    // The red pixels of frame `frame` of `movie` inside the rectangle [left, right) x [top,
    // bottom), decoded by Debian's ffmpeg to RGB.
    int redPixels(const fs::path& movie, int frame, int left, int top, int right, int bottom) {
        const fs::path raw = root / "frame.rgb";
        const std::string command = "ffmpeg -nostdin -v error -y -i " + quote(movie.string()) +
                                    " -vf 'select=eq(n\\," + std::to_string(frame) +
                                    ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 " +
                                    quote(raw.string());
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        const std::string rgb = readFile(raw);
        EXPECT_EQ(rgb.size(), size_t{kWidth} * kHeight * 3) << "frame " << frame;
        if (rgb.size() != size_t{kWidth} * kHeight * 3) {
            return -1;
        }
        int count = 0;
        for (int y = std::max(top, 0); y < std::min(bottom, kHeight); ++y) {
            for (int x = std::max(left, 0); x < std::min(right, kWidth); ++x) {
                const auto* p = reinterpret_cast<const unsigned char*>(&rgb[(y * kWidth + x) * 3]);
                if (p[0] > 170 && p[1] < 90 && p[2] < 90) {
                    ++count;
                }
            }
        }
        return count;
    }

    fs::path root;
    fs::path work;
    fs::path save;
    fs::path inputs;
    fs::path comments;
};

TEST_F(RenderE2eTest, TheAviCarriesTheCommentsWhereTheLayoutPutThem) {
    const fs::path clip = makeClip();
    const RunResult r = run({"render", clip.string(), comments.string(), "--save-dir",
                             save.string(), "--all-periods", "--timings"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path movie = save / "clip.avi";
    EXPECT_EQ(r.out, movie.string() + "\n");
    EXPECT_NE(r.err.find("timings: probe "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(" -,"), std::string::npos) << "every stage ran: " << r.err;

    // The movie: MS-MPEG4 v3 and MP3, as long as the clip, every frame of it.
    const std::map<std::string, std::string> input = probe(clip, root);
    const std::map<std::string, std::string> output = probe(movie, root);
    EXPECT_EQ(output.at("video.codec_name"), "msmpeg4v3");
    EXPECT_EQ(output.at("audio.codec_name"), "mp3");
    EXPECT_NEAR(std::stod(output.at("duration")), 4.0, 0.15);
    EXPECT_EQ(output.at("video.nb_read_frames"), input.at("video.nb_read_frames"));

    // The red top comment, where comment.ini in the work folder says it stands.
    const std::vector<OverlayBlock> blocks = readOverlayBlocks(work / "comment.ini");
    ASSERT_EQ(blocks.size(), 5u);
    const OverlayBlock* red = nullptr;
    for (const OverlayBlock& b : blocks) {
        if (b.mail == "red ue") {
            red = &b;
        }
    }
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(red->position, 1);
    EXPECT_EQ(red->startFrame, 29);  // 1 s at 29.97 fps
    EXPECT_GT(red->x, 0);            // centred
    // The box: centred between x and width - x, one line of the comment's size below y.
    const int lineHeight = red->fontSize * 96 / 72 * 3 / 2;
    const int left = red->x;
    const int right = kWidth - red->x;
    const int top = red->y;
    const int bottom = red->y + lineHeight;
    EXPECT_EQ(redPixels(movie, red->startFrame - 1, 0, 0, kWidth, kHeight), 0)
        << "nothing red before the comment starts";
    for (const int frame :
         {red->startFrame, (red->startFrame + red->endFrame) / 2, red->endFrame - 1}) {
        // The 7 characters at 12 pt have 70 to 100 pixels of clean red after the codec's
        // chroma subsampling; the frame before has none.
        EXPECT_GT(redPixels(movie, frame, left, top, right, bottom), 40) << "frame " << frame;
    }
    // And nothing red outside its box (the other comments are white, yellow and white).
    const int inBox = redPixels(movie, red->startFrame + 10, left, top, right, bottom);
    EXPECT_EQ(redPixels(movie, red->startFrame + 10, 0, 0, kWidth, kHeight), inBox);
    EXPECT_EQ(redPixels(movie, red->endFrame + 1, 0, 0, kWidth, kHeight), 0)
        << "gone after its last frame";
}

TEST_F(RenderE2eTest, AMissingInputFailsWithItsNameAndNoMovie) {
    const fs::path missing = inputs / "missing.flv";
    RunResult r = run({"render", missing.string(), comments.string(), "--save-dir", save.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "lumivox-cli: missing input: " + missing.string() + "\n");
    EXPECT_TRUE(fs::is_empty(save));

    // An empty video and a missing comment file are missing inputs too.
    std::ofstream(inputs / "empty.flv").close();
    r = run({"render", (inputs / "empty.flv").string(), comments.string(), "--save-dir",
             save.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing input: " + (inputs / "empty.flv").string()), std::string::npos);
    const fs::path clip = makeClip();
    r = run({"render", clip.string(), (inputs / "none.xml").string(), "--save-dir", save.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing input: " + (inputs / "none.xml").string()), std::string::npos);
    EXPECT_TRUE(fs::is_empty(save));
}

TEST_F(RenderE2eTest, AVideoTheEncoderCannotReadFailsWithTheEncodersReason) {
    const fs::path notVideo = inputs / "notes.flv";
    std::ofstream(notVideo) << "this is not a video";
    const RunResult r =
        run({"render", notVideo.string(), comments.string(), "--save-dir", save.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the video could not be probed"), std::string::npos) << r.err;
}

TEST_F(RenderE2eTest, AnUnknownFormatIsAUsageErrorAndWritesNothing) {
    const fs::path clip = makeClip();
    const RunResult r = run({"render", clip.string(), comments.string(), "--save-dir",
                             save.string(), "--format", "avi"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(
        r.err,
        "lumivox-cli: unknown format \"avi\" (lumivox-cli --list-formats shows the formats)\n");
    EXPECT_FALSE(fs::exists(save / "clip.avi"));
}

TEST_F(RenderE2eTest, Mp3OfAnAudioOnlyInput) {
    const fs::path audio = inputs / "song.m4a";
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i sine=f=330:d=2 -c:a aac " + quote(audio.string());
    ASSERT_EQ(std::system(command.c_str()), 0);
    const RunResult r = run({"render", audio.string(), comments.string(), "--save-dir",
                             save.string(), "--format", "MP3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "song.mp3").string() + "\n");
    const std::map<std::string, std::string> output = probe(save / "song.mp3", root);
    EXPECT_EQ(output.at("audio.codec_name"), "mp3");
    EXPECT_EQ(output.count("video.codec_name"), 0u);
    EXPECT_NEAR(std::stod(output.at("duration")), 2.0, 0.15);
}

TEST_F(RenderE2eTest, NoConversionSucceedsWithTheVideoItself) {
    const fs::path clip = makeClip();
    const RunResult r = run({"render", clip.string(), comments.string(), "--save-dir",
                             save.string(), "--format", "無変換"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, clip.string() + "\n");
    EXPECT_TRUE(fs::is_empty(save));
    EXPECT_FALSE(fs::exists(work / "comment.ini")) << "nothing was laid out";
}

TEST_F(RenderE2eTest, SettingsAndFormatsComeFromTheWorkFolder) {
    const fs::path clip = makeClip();
    fs::create_directories(work);
    // FFmpeg.ini with a format of its own; lumivox.ini chooses it and a save folder.
    std::ofstream(work / "FFmpeg.ini")
        << "WMV\r\n -y -i \"<%InputFile%>\" <%Lumivox%> -vcodec wmv2 -acodec wmav2 "
           "\"<%TemporaryFile%>.wmv\"\r\n"
           "小さいAVI\r\n -y -i \"<%InputFile%>\" -vcodec msmpeg4 -b 100k -acodec libmp3lame "
           "\"<%TemporaryFile%> small.avi\"\r\n";
    std::ofstream(work / "lumivox.ini") << "[Lumivox]\r\nSaveDir=" << save.string()
                                        << "\r\nFormat=小さいAVI\r\nFontPt=14\r\nOld=0\r\n";
    RunResult r = run({"--list-formats"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "WMV\n小さいAVI\n");

    r = run({"render", clip.string(), comments.string(), "--all-periods"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "clip small.avi").string() + "\n");
    EXPECT_EQ(probe(save / "clip small.avi", root).at("video.codec_name"), "msmpeg4v3");
    // The size of lumivox.ini reached comment.ini's header (its third line).
    EXPECT_EQ(iniLines(work / "comment.ini").at(2), "14");

    r = run({"render", clip.string(), comments.string(), "--all-periods", "--format", "WMV"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "clip.wmv").string() + "\n");
    EXPECT_EQ(probe(save / "clip.wmv", root).at("video.codec_name"), "wmv2");

    // A saved "Format" that names no format selects the first one, as the format box does.
    fs::remove(save / "clip.wmv");
    std::ofstream(work / "lumivox.ini")
        << "[Lumivox]\r\nSaveDir=" << save.string() << "\r\nFormat=AVI\r\n";
    r = run({"render", clip.string(), comments.string(), "--all-periods"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "clip.wmv").string() + "\n");
}

TEST_F(RenderE2eTest, ThePeriodAndTheUserFiltersReachTheLayout) {
    const fs::path clip = makeClip();
    // The comments were posted at 1700000001..5: the default period (three years back from
    // today) may or may not hold them, an explicit one decides.
    RunResult r = run({"render", clip.string(), comments.string(), "--save-dir", save.string(),
                       "--period-start", "1700000002", "--period-end", "1700000004", "--ng", "c"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<OverlayBlock> blocks = readOverlayBlocks(work / "comment.ini");
    ASSERT_EQ(blocks.size(), 2u);
    r = run({"render", clip.string(), comments.string(), "--save-dir", save.string(),
             "--all-periods", "--extract", "d"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    blocks = readOverlayBlocks(work / "comment.ini");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].mail, "shita");
}

// A copy of lumivox-cli in a program folder of its own, beside a stand-in FFmpeg that answers
// the probe and then encodes for a minute, printing status lines.
class StopE2eTest : public RenderE2eTest, public ::testing::WithParamInterface<int> {};

TEST_P(StopE2eTest, ASignalStopsTheJobTerminatesTheEncoderAndExits130) {
    const int signalNumber = GetParam();
    const fs::path program = root / "program";
    fs::create_directories(program);
    fs::copy_file(kProgramFolder / "lumivox-cli", program / "lumivox-cli");
    {
        std::ofstream fake(program / "FFmpeg");
        fake << "#!/bin/sh\n"
                "if [ \"$1\" = \"-in\" ]; then\n"
                "  printf 'niconico++\\r\\n4\\n0\\n320\\n240\\n30000\\n1001\\nniconico_end\\r\\n'\n"
                "  exit 0\n"
                "fi\n"
                "echo $$ > \"$(dirname \"$0\")/encoder.pid\"\n"
                "n=0; while [ $n -lt 1200 ]; do n=$((n+1)); printf 'frame=%5d fps=20\\r' $n; "
                "sleep 0.05; done\n";
    }
    fs::permissions(program / "FFmpeg", fs::perms::owner_all);
    const fs::path clip = makeClip();

    // Started directly, so that the signal goes to lumivox-cli itself.
    const std::string home = "LUMIVOX_HOME=" + work.string();
    std::vector<std::string> args = {(program / "lumivox-cli").string(),
                                     "render",
                                     clip.string(),
                                     comments.string(),
                                     "--save-dir",
                                     save.string()};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    std::string homeEntry = home;
    envp.push_back(homeEntry.data());
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("LUMIVOX_HOME=", 0) != 0) {
            envp.push_back(*e);
        }
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string errPath = (root / "stderr.txt").string();
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);

    const fs::path encoderPid = program / "encoder.pid";
    for (int i = 0; i < 600 && !fs::exists(encoderPid); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(encoderPid)) << readFile(errPath);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(pid, signalNumber), 0);

    int status = 0;
    pid_t reaped = 0;
    while ((reaped = ::waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - signalled < std::chrono::seconds(30)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (reaped == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "lumivox-cli did not end after the signal";
    }
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    EXPECT_EQ(exitCodeOf(status), 130);
    EXPECT_LT(took, 10.0) << "far below the stand-in's minute";
    const std::string err = readFile(errPath);
    EXPECT_NE(err.find("lumivox-cli: stopped\n"), std::string::npos) << err;
    // The encoder was terminated and reaped by lumivox-cli before it exited.
    const pid_t encoder = std::stoi(readFile(encoderPid));
    EXPECT_EQ(::kill(encoder, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopE2eTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGINT ? std::string("Interrupt")
                                                         : std::string("Terminate");
                         });

}  // namespace
