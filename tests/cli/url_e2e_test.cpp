// lumivox-cli URL end to end: the real program against the real demo service on loopback, from
// the video page URL to the movie with its comments, as the desktop program's Start runs it.
// The demo video is a tiny clip that Debian's ffmpeg makes; the movie is checked with ffprobe.

#include <memory>

#include "cli_test_support.h"

namespace {

using namespace cli_test;

constexpr const char* kMail = "demo@example.com";
constexpr const char* kPassword = "p&ss=w+rd%41";

class UrlE2eTest : public CliE2eTest {
protected:
    // Starts the demo service with the clip (or its own stand-in bytes) and the comments.
    void startDemo(bool withClip = true) {
        std::vector<std::string> arguments = {"--comments", commentFile.string()};
        if (withClip) {
            arguments.insert(arguments.end(), {"--video", makeClip(clip).string()});
        }
        demo = std::make_unique<service_test::DemoService>(arguments);
        ASSERT_TRUE(demo->started());
        hosts = demo->endpoints();
    }

    std::string watchUrl() const { return hosts.webBase + "/watch/sm9"; }

    // lumivox.ini for the demo service: the account, automatic login on, the save folder and
    // the service's hosts.
    void writeSettings() {
        writeBytes(work / "lumivox.ini",
                   "[Lumivox]\r\nMail=" + std::string(kMail) + "\r\nPassword=" + kPassword +
                       "\r\nLogin=0\r\nSaveDir=" + save.string() +
                       "\r\n[Service]\r\nProtocol=classic\r\nLoginHost=" + hosts.loginBase +
                       "\r\nWebHost=" + hosts.webBase + "\r\nCaFile=" + hosts.caFile + "\r\n");
    }

    fs::path clip = root.path() / "clip.flv";
    std::unique_ptr<service_test::DemoService> demo;
    ServiceEndpoints hosts;
};

TEST_F(UrlE2eTest, TheWholeJobMakesTheMovieWithTheCommentsOfTheThread) {
    startDemo();
    writeSettings();
    const RunResult r = run({watchUrl(), "--all-periods", "--timings"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path movie = save / "sm9.avi";
    EXPECT_EQ(r.out, movie.string() + "\n");
    // Non-terminal progress: the download from the start, then the encoding, each to 100 %.
    EXPECT_THAT(r.err, HasSubstr("ダウンロード中....\n"));
    EXPECT_THAT(r.err, HasSubstr("ダウンロード中.... 100%  "));
    EXPECT_THAT(r.err, HasSubstr(" kB\nエンコード中...\n"));
    EXPECT_THAT(r.err, HasSubstr("エンコード中... 100%"));
    EXPECT_THAT(r.err, HasSubstr("\nlumivox-cli: comments: read 5, removed: period 0, NG list 0, "
                                 "extract list 0, count cap 0; not shown 0; drawn 5\n"));
    EXPECT_THAT(
        r.err, AllOf(Not(HasSubstr("lumivox-cli: error")), Not(HasSubstr("lumivox-cli: warning"))));
    // The requests of the job and what they carry are the job's tests; here the thread went to
    // comment.xml in the work folder.
    EXPECT_EQ(readBytes(work / "comment.xml"), kComments);
    // The video stays beside the movie, byte for byte as the service sent it.
    EXPECT_EQ(readBytes(save / "sm9.flv"), readBytes(clip));

    // The thread's comments laid out and drawn into the movie (where and how: the render tests).
    EXPECT_EQ(overlayBlocks(work / "comment.ini").size(), 5u);
    expectAviOf(movie, clip);

    // With the info level the log tells the stages, the encoder's command and what the frame
    // filter (in the encoder's process) did, each line whole beside the progress lines.
    const RunResult logged = run({watchUrl(), "--all-periods", "--log-level", "info"});
    ASSERT_EQ(logged.exitCode, 0) << logged.err;
    for (const char* line :
         {"\nlumivox-cli: info service: the login gave the session cookie\n",
          "\nlumivox-cli: info job: 5 comments read from ",
          "\nlumivox-cli: info encoder: starting ", "\nlumivox-cli: info encoder: frame filter ",
          "(interface version 3)\n", "\nlumivox-cli: info filter: ", "\nエンコード中... 100%"}) {
        EXPECT_THAT(logged.err, HasSubstr(line));
    }
    EXPECT_THAT(logged.err, Not(HasSubstr("[lumivox]")))
        << "every log line of the encoder was taken";
    EXPECT_THAT(logged.err, Not(HasSubstr(kPassword))) << "never a secret";
}

TEST_F(UrlE2eTest, TheCommandLineGivesTheAccountAndTheHosts) {
    startDemo(/*withClip=*/false);
    // lumivox.ini names no account, leaves automatic login off (its default) and points at a
    // web host nobody serves.
    writeBytes(work / "lumivox.ini",
               "[Lumivox]\r\nSaveDir=" + save.string() +
                   "\r\n[Service]\r\nProtocol=classic\r\nWebHost=http://127.0.0.1:1\r\n");
    const fs::path passwordFile = root.path() / "password.txt";
    writeBytes(passwordFile, std::string(kPassword) + "\r\nsecond line\r\n");
    const std::vector<std::string> common = {watchUrl(),      "--format=無変換", "--login-host",
                                             hosts.loginBase, "--web-host",      hosts.webBase};
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--mail", kMail, "--password-file", passwordFile.string()});

    // Without the CA file the demo's certificate is not trusted: the error is shown as it
    // comes, and is the reason.
    RunResult r = run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("lumivox-cli: error service: SSL certificate problem"));
    EXPECT_THAT(r.err, HasSubstr("lumivox-cli: the login failed: SSL certificate problem"));

    // With it the login goes through: giving the account turns automatic login on.
    args.insert(args.end(), {"--ca-file", hosts.caFile});
    r = run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "sm9.flv").string() + "\n");
    EXPECT_EQ(demo->last("login-password"), kPassword);

    // Without an account on the command line, lumivox.ini's "Login" default keeps it off; the
    // jar of the earlier login still holds its cookie, which serves this job.
    std::vector<std::string> noAccount = common;
    noAccount.insert(noAccount.end(), {"--ca-file", hosts.caFile});
    r = run(noAccount);
    EXPECT_EQ(demo->last("login-mail"), "");
    EXPECT_EQ(r.exitCode, 0) << r.err;

    // A new work folder has no such cookie: the reason and what to change.
    fs::remove(work / "cookies.txt");
    r = run(noAccount);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("lumivox-cli: the login gave no cookie (automatic login is off"));
    EXPECT_THAT(r.err, HasSubstr("--auto-login"));
}

}  // namespace
