// The job with its real network stages against lumivox-demo-service on loopback: the stage
// order and the conditions between the stages as the service's answers decide them, the
// cookies and the video ID passed from stage to stage, the failure reasons, the errors that
// reach the front end, and a stop during a slow download.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "job/nico_thread.h"
#include "job_test_support.h"
#include "service/cookie_store.h"
#include "service/service_test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMail = "demo@example.com";
constexpr const char* kPassword = "p&ss=w+rd%41";
constexpr const char* kNoEncode = "<%NOENCODE%>";
// A template that would encode, with an encoder that does not exist: a job that reaches the
// encoder fails with "the encoder could not be started", so a test sees whether it got there.
const std::string kAviTemplate =
    " -y -i \"<%InputFile%>\" <%Lumivox%> -vcodec msmpeg4 \"<%TemporaryFile%>.avi\"";
constexpr size_t kVideoBytes = 300 * 1024 + 17;

// What the real stages left in the job's fields, read out on the worker right after each stage
// (the job's own body runs unchanged; only these observations are added).
struct Observed {
    std::optional<std::string> cookieAfterLogin;
    std::string videoId;
    std::string videoFile;
    std::string streamUrl;
    std::optional<size_t> commentsRead;
    std::optional<bool> visited;
};

class ObservedJob : public CNicoThread {
public:
    ObservedJob(JobRequest request, JobSink& sink, uint64_t serial, Observed& seen)
        : CNicoThread(std::move(request), sink, serial), seen(seen) {}

protected:
    void loginToService() override {
        CNicoThread::loginToService();
        seen.cookieAfterLogin = cookie;
    }
    bool lookUpVideo(const std::string& cookieText, std::string& streamUrl) override {
        const bool found = CNicoThread::lookUpVideo(cookieText, streamUrl);
        seen.videoId = videoId;
        seen.videoFile = videoFile;
        seen.streamUrl = streamUrl;
        return found;
    }
    void readCommentXml() override {
        CNicoThread::readCommentXml();
        seen.commentsRead = chats.size();
    }
    bool visitVideoPage(const std::string& pageUrl, const std::string& cookieText) override {
        seen.visited = CNicoThread::visitVideoPage(pageUrl, cookieText);
        return *seen.visited;
    }

private:
    Observed& seen;
};

class ServiceStagesTest : public ::testing::Test {
protected:
    // Starts the demo service serving a video made for the test, with `faults`.
    void startDemo(const std::vector<std::string>& faults = {}) {
        service_test::writeBytes(inputs.path() / "video.flv", video);
        std::vector<std::string> arguments = {"--video", (inputs.path() / "video.flv").string()};
        for (const std::string& fault : faults) {
            arguments.push_back("--fault");
            arguments.push_back(fault);
        }
        demo = std::make_unique<service_test::DemoService>(arguments);
        ASSERT_TRUE(demo->started());
    }

    std::string watchUrl(const std::string& id = "sm9") const {
        return demo->webBase() + "/watch/" + id;
    }

    JobRequest makeRequest(const std::string& formatTemplate = kNoEncode) {
        JobRequest request;
        request.pageUrl = watchUrl();
        request.mail = kMail;
        request.password = kPassword;
        request.saveFolder = save.path().string();
        request.workFolder = work.withSeparator();
        request.programFolder = (work.path() / "no-program-here").string();
        request.formatTemplate = formatTemplate;
        request.periodStart = 0;
        request.periodEnd = 2000000000;
        request.noAutoLogin = 0;
        request.endpoints = demo->endpoints();
        request.cookieStore = store.get();
        return request;
    }

    // Runs a job to its end, as a front end does when "done" arrives, and returns its outcome.
    JobOutcome runJob(const JobRequest& request, uint64_t serial = 1) {
        std::unique_ptr<CNicoThread> job =
            std::make_unique<ObservedJob>(request, sink, serial, seen);
        EXPECT_TRUE(job->start());
        EXPECT_TRUE(sink.waitForDone(serial));
        return CNicoThread::StopAndDelete(job).value_or(JobOutcome{});
    }

    std::vector<std::string> errorsOf(uint64_t serial) const {
        std::vector<std::string> errors;
        for (const SinkMessage& m : sink.messages()) {
            if (m.serial == serial && m.kind == "error") {
                errors.push_back(m.text);
            }
        }
        return errors;
    }

    std::vector<int> progressOf(uint64_t serial) const {
        std::vector<int> percents;
        for (const SinkMessage& m : sink.messages()) {
            if (m.serial == serial && m.kind == "progress") {
                percents.push_back(m.percent);
            }
        }
        return percents;
    }

    TempFolder inputs;
    TempFolder work;
    TempFolder save;
    const std::string video = service_test::patternBytes(kVideoBytes, 11);
    std::unique_ptr<service_test::DemoService> demo;
    // A store of the test's own with its jar in the work folder, as the process's store is.
    std::unique_ptr<CookieStore> store =
        std::make_unique<CookieStore>(work.path() / CookieStore::kJarFileName);
    RecordingSink sink;
    Observed seen;
};

TEST_F(ServiceStagesTest, AWholeJobPassesTheCookiesAndTheVideoIdFromStageToStage) {
    startDemo();
    const JobOutcome outcome = runJob(makeRequest());

    ASSERT_EQ(outcome.result, JobResult::Succeeded) << outcome.reason;
    const fs::path videoFile = save.path() / "sm9.flv";
    EXPECT_EQ(outcome.moviePath, videoFile.string());
    EXPECT_EQ(service_test::readBytes(videoFile), video);

    // The login's cookie went to getflv, which answers with a stream address only with it.
    ASSERT_TRUE(seen.cookieAfterLogin.has_value());
    EXPECT_EQ(seen.cookieAfterLogin->rfind("user_session=user_session_1_", 0), 0u)
        << *seen.cookieAfterLogin;
    EXPECT_EQ(seen.videoId, "sm9");
    EXPECT_EQ(seen.videoFile, videoFile.string());
    EXPECT_EQ(seen.streamUrl, demo->webBase() + "/smile?v=sm9");
    EXPECT_EQ(demo->last("login-mail"), kMail);
    EXPECT_EQ(demo->last("login-password"), kPassword);
    EXPECT_EQ(demo->last("getflv-target"), "/api/getflv?v=sm9");
    // The comment thread the getflv answer named became comment.xml and was read.
    EXPECT_EQ(demo->last("thread-valid"), "yes");
    EXPECT_TRUE(fs::file_size(work.path() / "comment.xml") > 0);
    EXPECT_EQ(seen.commentsRead, 2u);
    // The watch page's cookie went to the stream, which refuses a client without it.
    EXPECT_EQ(seen.visited, true);
    EXPECT_EQ(demo->count("/secure/login"), 1);
    EXPECT_EQ(demo->count("/api/getflv"), 1);
    EXPECT_EQ(demo->count("/api/"), 1);
    EXPECT_EQ(demo->count("/watch"), 1);
    EXPECT_EQ(demo->count("/smile"), 1);

    // Download progress only (no encoding for "無変換"), ending at 100, then "done".
    const std::vector<int> progress = progressOf(1);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    const std::vector<std::string> kinds = sink.kindsOf(1);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "encoding"), 0);
    EXPECT_EQ(kinds.back(), "done");
    EXPECT_TRUE(errorsOf(1).empty());
    // The login was kept in the jar for the next run.
    EXPECT_NE(service_test::readBytes(store->jarFile()).find("user_session"), std::string::npos);
}

TEST_F(ServiceStagesTest, WithoutACookieAfterTheLoginNoFurtherRequestIsMade) {
    struct Case {
        std::string fault;
        std::string password;
        int32_t noAutoLogin;
        std::string reason;
    };
    const std::string checkAccount =
        "the login gave no cookie (check the mail address and password)";
    const std::vector<Case> cases = {
        {"no-cookie", kPassword, 0, checkAccount},
        {"", "wrong password", 0, checkAccount},
        {"", kPassword, 1,
         "the login gave no cookie (automatic login is off, and no cookie of an earlier login was "
         "kept)"},
    };
    uint64_t serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault + "/" + c.password + "/" + std::to_string(c.noAutoLogin));
        startDemo(c.fault.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.fault});
        JobRequest request = makeRequest(kAviTemplate);
        request.password = c.password;
        request.noAutoLogin = c.noAutoLogin;
        const JobOutcome outcome = runJob(request, ++serial);

        EXPECT_EQ(outcome.result, JobResult::Failed);
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(seen.cookieAfterLogin, "");
        EXPECT_EQ(demo->count("/secure/login"), 1);
        // Only the login, and the web root page that an accepted login redirects to.
        EXPECT_EQ(demo->totalRequests() - demo->count("/"), 1) << demo->stats();
        EXPECT_EQ(sink.kindsOf(serial), std::vector<std::string>{"done"});
        if (c.noAutoLogin == 1) {
            // The request still goes out, with both credentials empty.
            EXPECT_EQ(demo->last("login-body"),
                      "next_url=&mail=&password=&submit.x=90&submit.y=14");
        }
        EXPECT_FALSE(fs::exists(work.path() / "comment.xml"));
    }
}

TEST_F(ServiceStagesTest, ALookupWithoutAStreamAddressEndsTheJobWithItsReason) {
    startDemo({"getflv-no-url"});
    JobOutcome outcome = runJob(makeRequest(kAviTemplate), 1);
    EXPECT_EQ(outcome.result, JobResult::Failed);
    EXPECT_EQ(outcome.reason,
              "the service gave no video address for sm9 (the login was not accepted, or the "
              "video cannot be watched)");
    EXPECT_EQ(demo->count("/api/getflv"), 1);
    // Nothing after the lookup: no comment thread, no page visit, no download.
    EXPECT_EQ(demo->count("/api/"), 0);
    EXPECT_EQ(demo->count("/watch"), 0);
    EXPECT_EQ(demo->count("/smile"), 0);
    EXPECT_FALSE(seen.commentsRead.has_value());
    EXPECT_TRUE(errorsOf(1).empty());

    // A page URL without "watch/" ends the job before any request of the lookup.
    JobRequest request = makeRequest(kAviTemplate);
    request.pageUrl = demo->webBase() + "/video/sm9";
    outcome = runJob(request, 2);
    EXPECT_EQ(outcome.reason,
              "the page URL names no video (it holds no \"watch/\" followed by a video ID): " +
                  request.pageUrl);
    EXPECT_EQ(demo->count("/api/getflv"), 1);
}

TEST_F(ServiceStagesTest, AQueryAfterTheVideoIdIsNoPartOfItsFileName) {
    startDemo();
    JobRequest request = makeRequest();
    request.pageUrl = watchUrl("sm9?from=30#top");
    const JobOutcome outcome = runJob(request);
    ASSERT_EQ(outcome.result, JobResult::Succeeded) << outcome.reason;
    EXPECT_EQ(seen.videoId, "sm9");
    EXPECT_EQ(outcome.moviePath, (save.path() / "sm9.flv").string());
    EXPECT_EQ(demo->last("getflv-target"), "/api/getflv?v=sm9");
}

TEST_F(ServiceStagesTest, ALoginKeptInTheJarServesALaterRunWithoutAutomaticLogin) {
    startDemo();
    ASSERT_EQ(runJob(makeRequest(), 1).result, JobResult::Succeeded);

    // The next run of the program: a new store on the same jar, automatic login off.
    store = std::make_unique<CookieStore>(work.path() / CookieStore::kJarFileName);
    fs::remove(save.path() / "sm9.flv");
    JobRequest request = makeRequest();
    request.noAutoLogin = 1;
    const JobOutcome outcome = runJob(request, 2);
    ASSERT_EQ(outcome.result, JobResult::Succeeded) << outcome.reason;
    EXPECT_EQ(demo->count("/secure/login"), 2) << "every job logs in";
    EXPECT_EQ(demo->last("login-mail"), "");
    EXPECT_EQ(service_test::readBytes(save.path() / "sm9.flv"), video);
}

TEST_F(ServiceStagesTest, ServiceErrorsReachTheFrontEndWhileTheJobGoesOn) {
    startDemo();
    // The page is on a port nobody serves: the visit fails, the job goes on to the download,
    // which the stream then refuses (no watch page cookie), twice: one error, on the retry.
    JobRequest request = makeRequest(kAviTemplate);
    request.pageUrl = "http://127.0.0.1:1/watch/sm9";
    const JobOutcome outcome = runJob(request);

    EXPECT_EQ(seen.visited, false);
    const std::vector<std::string> errors = errorsOf(1);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("127.0.0.1"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("403"), std::string::npos) << errors[1];
    EXPECT_EQ(demo->count("/smile"), 2);
    EXPECT_EQ(outcome.result, JobResult::Failed);
    EXPECT_EQ(outcome.reason, "the video download failed: " + errors[1]);
    EXPECT_FALSE(fs::exists(save.path() / "sm9.flv"));
    EXPECT_EQ(sink.kindsOf(1), (std::vector<std::string>{"error", "error", "done"}));
}

TEST_F(ServiceStagesTest, AnUntrustedLoginHostEndsTheJobWithTheTlsError) {
    startDemo();
    JobRequest request = makeRequest();
    request.endpoints.caFile.clear();  // the system's trusted set: the demo's certificate is not
    const JobOutcome outcome = runJob(request);
    const std::vector<std::string> errors = errorsOf(1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("certificate"), std::string::npos) << errors[0];
    EXPECT_EQ(outcome.reason, "the login failed: " + errors[0]);
    EXPECT_EQ(demo->count("/secure/login"), 0);
}

TEST_F(ServiceStagesTest, AMessageServerThatSendsNoXmlFailsTheJobButTheMovieIsStillMade) {
    startDemo({"comments-not-xml"});
    const JobOutcome outcome = runJob(makeRequest());
    EXPECT_EQ(outcome.result, JobResult::Failed);
    EXPECT_EQ(outcome.reason, "the comment thread the service sent is not well-formed XML: " +
                                  work.withSeparator() + "comment.xml");
    // The job went on to the download, as it does without comments.
    EXPECT_EQ(outcome.moviePath, (save.path() / "sm9.flv").string());
    EXPECT_EQ(seen.commentsRead, 0u);
    EXPECT_EQ(service_test::readBytes(save.path() / "sm9.flv"), video);
}

TEST_F(ServiceStagesTest, StopDuringASlowDownloadKeepsThePartAndSkipsTheEncoding) {
    startDemo({"stream-slow"});
    std::unique_ptr<CNicoThread> job =
        std::make_unique<ObservedJob>(makeRequest(kAviTemplate), sink, 1, seen);
    ASSERT_TRUE(job->start());
    // Wait until the stream is arriving (the first percent posted), then stop.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (progressOf(1).empty() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(progressOf(1).empty());
    const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);

    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->result, JobResult::Stopped);
    EXPECT_EQ(outcome->reason, "");
    const fs::path videoFile = save.path() / "sm9.flv";
    ASSERT_TRUE(fs::exists(videoFile));
    const std::string part = service_test::readBytes(videoFile);
    EXPECT_GT(part.size(), 0u);
    EXPECT_LT(part.size(), video.size());
    EXPECT_EQ(part, video.substr(0, part.size()));
    EXPECT_FALSE(fs::exists(videoFile.string() + ".part"));
    // No encoding began, and no encoder ran.
    const std::vector<std::string> kinds = sink.kindsOf(1);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "encoding"), 0);
    EXPECT_FALSE(outcome->timings.probe.has_value());
    EXPECT_FALSE(outcome->timings.encoder.has_value());
    EXPECT_TRUE(errorsOf(1).empty()) << "a stop is no error";
    EXPECT_EQ(demo->count("/smile"), 1) << "no second attempt after a stop";
}

TEST_F(ServiceStagesTest, StopDuringASlowLoginEndsTheJobWithoutWaitingForTheAnswer) {
    startDemo({"slow-login"});
    std::unique_ptr<CNicoThread> job =
        std::make_unique<ObservedJob>(makeRequest(kAviTemplate), sink, 1, seen);
    ASSERT_TRUE(job->start());
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (demo->count("/secure/login") == 0 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(demo->count("/secure/login"), 1);
    const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->result, JobResult::Stopped);
    EXPECT_EQ(sink.kindsOf(1), std::vector<std::string>{"done"});
    EXPECT_EQ(demo->count("/api/getflv"), 0);
}

}  // namespace
