// lumivox-cli URL end to end: the real program against the real demo service on loopback, from
// the video page URL to the movie with its comments, as the desktop program's Start runs it.
// The demo video is a tiny clip that Debian's ffmpeg makes; the movie is checked with ffprobe
// and by the decoded pixels where comment.ini says the red comment stands.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service/service_test_support.h"

namespace fs = std::filesystem;

extern char** environ;

namespace {

const fs::path kProgram = fs::path(LUMIVOX_PROGRAM_DIR) / "lumivox-cli";
constexpr const char* kMail = "demo@example.com";
constexpr const char* kPassword = "p&ss=w+rd%41";

// The clip: 4 s of a dark blue picture (nothing red in it) at 320 x 240, 29.97 fps, Sorenson
// video and MP3 audio, as the service's FLV streams are.
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// A red comment fixed at the top from 0.5 s, and a white one scrolling.
const char* const kComments =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<packet>\n"
    "<thread resultcode=\"0\" thread=\"1173108780\" last_res=\"2\"/>\n"
    "<chat thread=\"1173108780\" no=\"1\" vpos=\"50\" date=\"1700000001\" mail=\"red ue\" "
    "user_id=\"a\">赤い上コメント</chat>\n"
    "<chat thread=\"1173108780\" no=\"2\" vpos=\"80\" date=\"1700000002\" "
    "user_id=\"b\">流れるコメント</chat>\n"
    "</packet>\n";

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The size of `file` in bytes; 0 when it does not exist.
uintmax_t sizeOf(const fs::path& file) {
    std::error_code error;
    const uintmax_t size = fs::file_size(file, error);
    return error ? 0 : size;
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// ffprobe's view of a file: "duration", and "video.codec_name", "audio.codec_name",
// "video.nb_read_frames" and so on of its streams.
std::map<std::string, std::string> probe(const fs::path& file, const fs::path& scratch) {
    const fs::path out = scratch / "ffprobe.txt";
    const std::string command =
        "ffprobe -v error -count_frames -show_entries "
        "stream=codec_type,codec_name,nb_read_frames:format=duration -of compact=p=0 " +
        quote(file.string()) + " > " + quote(out.string());
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::map<std::string, std::string> values;
    std::istringstream lines(service_test::readBytes(out));
    for (std::string line; std::getline(lines, line);) {
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

// The laid-out comment of comment.ini whose mail command is `mail`: its blocks are ten lines
// each after a five-line header (mail, place, y, start frame, ..., size, ..., end frame, x).
struct OverlayBlock {
    int position = 0;
    int y = 0;
    int startFrame = 0;
    int fontSize = 0;
    int endFrame = 0;
    int x = 0;
};

std::optional<OverlayBlock> overlayBlockOf(const fs::path& commentIni, const std::string& mail) {
    std::vector<std::string> lines;
    const std::string text = service_test::readBytes(commentIni);
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 2;
    }
    for (size_t i = 5; i + 10 <= lines.size(); i += 10) {
        if (lines[i] == mail) {
            return OverlayBlock{std::stoi(lines[i + 1]), std::stoi(lines[i + 2]),
                                std::stoi(lines[i + 3]), std::stoi(lines[i + 6]),
                                std::stoi(lines[i + 8]), std::stoi(lines[i + 9])};
        }
    }
    return std::nullopt;
}

class UrlE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        work = root.path() / "work";
        save = root.path() / "save";
        fs::create_directories(work);
        service_test::writeBytes(root.path() / "comments.xml", kComments);
    }

    // The demo video, made once per test by Debian's ffmpeg.
    fs::path makeClip() {
        const fs::path clip = root.path() / "clip.flv";
        const std::string command =
            "ffmpeg -nostdin -v error -y -f lavfi -i color=c=0x203050:s=" + std::to_string(kWidth) +
            "x" + std::to_string(kHeight) +
            ":r=30000/1001:d=4 -f lavfi -i sine=f=440:d=4 -c:v flv -q:v 2 -c:a libmp3lame "
            "-ar 22050 " +
            quote(clip.string());
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return clip;
    }

    // Starts the demo service with the clip (or its own stand-in bytes) and the comments.
    void startDemo(const std::vector<std::string>& faults = {}, bool withClip = true) {
        std::vector<std::string> arguments = {"--comments",
                                              (root.path() / "comments.xml").string()};
        if (withClip) {
            clip = makeClip();
            arguments.insert(arguments.end(), {"--video", clip.string()});
        }
        for (const std::string& fault : faults) {
            arguments.insert(arguments.end(), {"--fault", fault});
        }
        demo = std::make_unique<service_test::DemoService>(arguments);
        ASSERT_TRUE(demo->started());
    }

    std::string watchUrl() const { return demo->webBase() + "/watch/sm9"; }

    // lumivox.ini for the demo service: the account, automatic login on, the save folder and
    // the service's hosts.
    void writeSettings(const std::string& password = kPassword) {
        std::ofstream(work / "lumivox.ini")
            << "[Lumivox]\r\nMail=" << kMail << "\r\nPassword=" << password
            << "\r\nLogin=0\r\nSaveDir=" << save.string()
            << "\r\n[Service]\r\nLoginHost=" << demo->loginBase()
            << "\r\nWebHost=" << demo->webBase() << "\r\nCaFile=" << demo->caFile() << "\r\n";
    }

    // Runs lumivox-cli with the work folder in LUMIVOX_HOME and waits for its end.
    RunResult run(const std::vector<std::string>& args) {
        const fs::path out = root.path() / "stdout.txt";
        const fs::path err = root.path() / "stderr.txt";
        std::vector<std::string> words = {"LUMIVOX_HOME=" + quote(work.string()), quote(kProgram)};
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
        result.out = service_test::readBytes(out);
        result.err = service_test::readBytes(err);
        return result;
    }

    // The red pixels of frame `frame` of `movie` in [left, right) x [top, bottom), decoded to
    // RGB by Debian's ffmpeg.
    int redPixels(const fs::path& movie, int frame, int left, int top, int right, int bottom) {
        const fs::path raw = root.path() / "frame.rgb";
        const std::string command = "ffmpeg -nostdin -v error -y -i " + quote(movie.string()) +
                                    " -vf 'select=eq(n\\," + std::to_string(frame) +
                                    ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 " +
                                    quote(raw.string());
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        const std::string rgb = service_test::readBytes(raw);
        if (rgb.size() != size_t{kWidth} * kHeight * 3) {
            ADD_FAILURE() << "frame " << frame << " has " << rgb.size() << " bytes";
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

    service_test::TempFolder root;
    fs::path work;
    fs::path save;
    fs::path clip;
    std::unique_ptr<service_test::DemoService> demo;
};

TEST_F(UrlE2eTest, TheWholeJobMakesTheMovieWithTheCommentsOfTheThread) {
    startDemo();
    writeSettings();
    const RunResult r = run({watchUrl(), "--all-periods", "--timings"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path movie = save / "sm9.avi";
    EXPECT_EQ(r.out, movie.string() + "\n");
    // Non-terminal progress: the download from the start, then the encoding, each to 100 %.
    EXPECT_TRUE(contains(r.err, "ダウンロード中....\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "ダウンロード中.... 100%\nエンコード中...\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "エンコード中... 100%\n")) << r.err;
    EXPECT_FALSE(contains(r.err, "lumivox-cli:")) << "no error, no warning: " << r.err;

    // Every request of a job, each once; the thread went to comment.xml in the work folder.
    EXPECT_EQ(demo->last("login-mail"), kMail);
    EXPECT_EQ(demo->last("login-password"), kPassword);
    for (const char* path : {"/secure/login", "/api/getflv", "/api/", "/watch", "/smile"}) {
        EXPECT_EQ(demo->count(path), 1) << path;
    }
    EXPECT_EQ(service_test::readBytes(work / "comment.xml"), kComments);
    // The video stays beside the movie, byte for byte as the service sent it.
    EXPECT_EQ(service_test::readBytes(save / "sm9.flv"), service_test::readBytes(clip));

    const std::map<std::string, std::string> input = probe(clip, root.path());
    const std::map<std::string, std::string> output = probe(movie, root.path());
    EXPECT_EQ(output.at("video.codec_name"), "msmpeg4v3");
    EXPECT_EQ(output.at("audio.codec_name"), "mp3");
    EXPECT_NEAR(std::stod(output.at("duration")), 4.0, 0.15);
    EXPECT_EQ(output.at("video.nb_read_frames"), input.at("video.nb_read_frames"));

    // The red comment, where comment.ini says it stands, on its frames and not before.
    const std::optional<OverlayBlock> red = overlayBlockOf(work / "comment.ini", "red ue");
    ASSERT_TRUE(red.has_value());
    EXPECT_EQ(red->position, 1);
    EXPECT_EQ(red->startFrame, 14);  // 0.5 s at 29.97 fps
    const int lineHeight = red->fontSize * 96 / 72 * 3 / 2;
    const int left = red->x;
    const int right = kWidth - red->x;
    EXPECT_EQ(redPixels(movie, red->startFrame - 1, 0, 0, kWidth, kHeight), 0);
    for (const int frame : {red->startFrame, red->startFrame + 30}) {
        const int inBox = redPixels(movie, frame, left, red->y, right, red->y + lineHeight);
        EXPECT_GT(inBox, 40) << "frame " << frame;
        EXPECT_EQ(redPixels(movie, frame, 0, 0, kWidth, kHeight), inBox)
            << "nothing red outside its box, frame " << frame;
    }
}

TEST_F(UrlE2eTest, AWrongPasswordFailsWithAReasonAndNoMovie) {
    startDemo();
    writeSettings("not the password");
    const RunResult r = run({watchUrl(), "--format", "無変換"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err,
                         "lumivox-cli: the login gave no cookie (check the mail address "
                         "and password)\n"))
        << r.err;
    EXPECT_TRUE(fs::is_empty(save));
    EXPECT_EQ(demo->count("/api/getflv"), 0);
}

TEST_F(UrlE2eTest, NoConversionEndsWithTheDownloadedVideo) {
    startDemo();
    writeSettings();
    const RunResult r = run({"job", watchUrl(), "--format", "無変換"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "sm9.flv").string() + "\n");
    EXPECT_EQ(service_test::readBytes(save / "sm9.flv"), service_test::readBytes(clip));
    EXPECT_EQ(std::distance(fs::directory_iterator(save), fs::directory_iterator()), 1);
    EXPECT_FALSE(contains(r.err, "エンコード中")) << r.err;
    EXPECT_FALSE(fs::exists(work / "comment.ini")) << "nothing was laid out";
}

TEST_F(UrlE2eTest, TheCommandLineGivesTheAccountAndTheHosts) {
    startDemo({}, /*withClip=*/false);
    // lumivox.ini names no account, leaves automatic login off (its default) and points at a
    // web host nobody serves.
    std::ofstream(work / "lumivox.ini") << "[Lumivox]\r\nSaveDir=" << save.string()
                                        << "\r\n[Service]\r\nWebHost=http://127.0.0.1:1\r\n";
    const fs::path passwordFile = root.path() / "password.txt";
    service_test::writeBytes(passwordFile, std::string(kPassword) + "\r\nsecond line\r\n");
    const std::vector<std::string> hosts = {"--login-host", demo->loginBase(), "--web-host",
                                            demo->webBase()};

    // Without the CA file the demo's certificate is not trusted: the error is shown as it
    // comes, and is the reason.
    std::vector<std::string> args = {watchUrl(), "--format=無変換", "--mail",
                                     kMail,      "--password-file", passwordFile.string()};
    args.insert(args.end(), hosts.begin(), hosts.end());
    RunResult r = run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "lumivox-cli: SSL certificate problem")) << r.err;
    EXPECT_TRUE(contains(r.err, "lumivox-cli: the login failed: SSL certificate problem")) << r.err;

    // With it the login goes through: giving the account turns automatic login on.
    args.insert(args.end(), {"--ca-file", demo->caFile()});
    r = run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "sm9.flv").string() + "\n");
    EXPECT_EQ(demo->last("login-password"), kPassword);

    // Without an account on the command line, lumivox.ini's "Login" default keeps it off.
    r = run({watchUrl(), "--format=無変換", "--login-host", demo->loginBase(), "--web-host",
             demo->webBase(), "--ca-file", demo->caFile()});
    EXPECT_EQ(demo->last("login-mail"), "");
    // The jar of the earlier login still holds its cookie, which serves this job.
    EXPECT_EQ(r.exitCode, 0) << r.err;

    // A new work folder has no such cookie: the reason and what to change.
    fs::remove(work / "cookies.txt");
    r = run({watchUrl(), "--format=無変換", "--login-host", demo->loginBase(), "--web-host",
             demo->webBase(), "--ca-file", demo->caFile()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "lumivox-cli: the login gave no cookie (automatic login is off"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "--auto-login")) << r.err;
}

TEST_F(UrlE2eTest, CtrlCDuringASlowDownloadStopsTheJobAtOnce) {
    // The service's own stand-in stream (256 KiB) trickles at 10 KiB/s.
    startDemo({"stream-slow"}, /*withClip=*/false);
    writeSettings();

    std::vector<std::string> args = {kProgram.string(), watchUrl()};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::string homeEntry = "LUMIVOX_HOME=" + work.string();
    std::vector<char*> envp = {homeEntry.data()};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("LUMIVOX_HOME=", 0) != 0) {
            envp.push_back(*e);
        }
    }
    envp.push_back(nullptr);
    const std::string errPath = (root.path() / "stderr.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Once the stream is flowing (the part file has grown), interrupt.
    const fs::path part = save / "sm9.flv.part";
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (sizeOf(part) < 4096 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GE(sizeOf(part), 4096u) << service_test::readBytes(errPath);
    const auto interrupted = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(pid, SIGINT), 0);

    int status = 0;
    pid_t reaped = 0;
    while ((reaped = ::waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - interrupted < std::chrono::seconds(30)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (reaped == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "lumivox-cli did not end after SIGINT";
    }
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - interrupted).count();
    EXPECT_EQ(exitCodeOf(status), 130);
    EXPECT_LT(took, 2.5) << "a stop must not wait for the trickling stream";
    const std::string err = service_test::readBytes(errPath);
    EXPECT_TRUE(contains(err, "停止中...\n")) << err;
    EXPECT_TRUE(contains(err, "lumivox-cli: stopped\n")) << err;
    // The part that arrived stays as the video; the encoder never started.
    EXPECT_GE(sizeOf(save / "sm9.flv"), 4096u);
    EXPECT_LT(sizeOf(save / "sm9.flv"), 256u * 1024);
    EXPECT_FALSE(fs::exists(part));
    EXPECT_FALSE(contains(err, "エンコード中")) << err;
    EXPECT_FALSE(fs::exists(work / "comment.ini"));
    EXPECT_EQ(demo->count("/smile"), 1);
}

}  // namespace
