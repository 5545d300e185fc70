// lumivox-cli URL end to end with today's client: the real program against the demo service
// playing today's service on loopback (session cookie, watch data, comment threads, access
// rights, encrypted HLS renditions), its faults, and a stop in the middle of the segments.

#include <sys/stat.h>

#include <memory>

#include "cli_test_support.h"
#include "demo/today_demo_support.h"

namespace {

using namespace cli_test;

class TodayE2eTest : public CliE2eTest {
protected:
    // The demo service with the test's comments and `faults`, and lumivox.ini pointing at it.
    void startDemo(const std::vector<std::string>& faults = {}) {
        std::vector<std::string> arguments = {"--comments", commentFile.string()};
        for (const std::string& fault : faults) {
            arguments.insert(arguments.end(), {"--fault", fault});
        }
        demo = std::make_unique<demo_test::TodayDemo>(arguments);
        ASSERT_NE((*demo)["www"], "");
        writeBytes(work / "lumivox.ini",
                   "[Lumivox]\r\nSaveDir=" + save.string() +
                       "\r\n[Service]\r\nProtocol=today\r\nAccountHost=" + (*demo)["account"] +
                       "\r\nWebHost=" + (*demo)["www"] + "\r\nNvapiHost=" + (*demo)["nvapi"] +
                       "\r\nCaFile=" + (*demo)["ca"] + "\r\n");
        // The cookie as a user gives it: a file only its owner reads, copied from the browser.
        writeBytes(sessionFile, "user_session=" + (*demo)["session"] + "\n");
        chmod(sessionFile.c_str(), 0600);
    }

    std::vector<std::string> jobArguments(std::vector<std::string> extra = {}) const {
        std::vector<std::string> args = {(*demo)["www"] + "/watch/sm9", "--session-cookie-file",
                                         sessionFile.string(), "--all-periods", "--no-old"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    int segmentsKept() const {
        int kept = 0;
        std::error_code error;
        for (fs::directory_iterator it(save / "sm9.segments", error), end; !error && it != end;
             it.increment(error)) {
            kept += it->path().extension() != ".txt" && it->path().extension() != ".init";
        }
        return kept;
    }

    std::unique_ptr<demo_test::TodayDemo> demo;
    const fs::path sessionFile = root.path() / "session.txt";
};

TEST_F(TodayE2eTest, FaultsEndTheJobWithTheirReasonAndNothingHalfMade) {
    struct Case {
        const char* fault;
        const char* reason;  // in the one-line reason on stderr
        bool commentsKept;   // sm9.comments.json was saved before the job ended
    };
    for (const Case& c : {Case{"invalid-session", "the session cookie was not accepted", false},
                          Case{"payment-required", "must be purchased", true},
                          Case{"deleted-video", "removed by the service", false},
                          Case{"key-refused", "refused the video key (HTTP 403)", true}}) {
        SCOPED_TRACE(c.fault);
        fs::remove_all(save);
        fs::remove(work / "sm9.comments.json");
        startDemo({c.fault});
        const RunResult r = run(jobArguments({"--format", "無変換"}));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_THAT(r.err, HasSubstr(c.reason));
        EXPECT_EQ(fs::exists(work / "sm9.comments.json"), c.commentsKept);
        EXPECT_FALSE(fs::exists(save / "sm9.mp4"));
        EXPECT_THAT(r.err, Not(HasSubstr((*demo)["session"]))) << "never a secret";
    }
}

// A Ctrl-C while the segments arrive (the second of each rendition trickles) stops the job at
// once; the next job continues the download and makes the movie from the joined renditions.
TEST_F(TodayE2eTest, CtrlCStopsTheSegmentsAndTheNextJobContinuesToTheMovie) {
    startDemo({"segment-slow"});
    ASSERT_NO_FATAL_FAILURE(expectStoppedBy(
        SIGINT, spawn(kProgramFolder / "lumivox-cli", jobArguments({"--format", "無変換"})),
        [&] { return segmentsKept() >= 2; }, 2.5));
    const int kept = segmentsKept();
    EXPECT_GE(kept, 2);
    EXPECT_FALSE(fs::exists(save / "sm9.mp4"));

    const RunResult r = run(jobArguments({"--log-level", "info"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (save / "sm9.avi").string() + "\n");
    EXPECT_THAT(r.err, HasSubstr("continuing a download: " + std::to_string(kept) + " of "));
    EXPECT_THAT(r.err, HasSubstr("lumivox-cli: logged in as デモユーザー (regular member)"));
    EXPECT_THAT(r.err, HasSubstr("エンコード中"));
    // The joined video holds both renditions; the segments are gone once it is complete.
    EXPECT_EQ(outputOf("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " +
                       quote((save / "sm9.mp4").string())),
              "video\naudio\n");
    EXPECT_FALSE(fs::exists(save / "sm9.segments"));
    EXPECT_THAT(readBytes(work / "sm9.comments.json"), HasSubstr("\"threads\""));
    EXPECT_THAT(r.err, Not(HasSubstr((*demo)["session"]))) << "never a secret";
}

}  // namespace
