// The job with its real network stages against lumivox-demo-service on loopback: the stage
// order and the conditions between the stages as the service's answers decide them, the
// cookies and the video ID passed from stage to stage, the failure reasons and the errors that
// reach the front end.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "job/nico_thread.h"
#include "job_test_support.h"
#include "service/cookie_store.h"
#include "service/service_test_support.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
constexpr const char* kMail = "demo@example.com";
constexpr const char* kPassword = "p&ss=w+rd%41";
// A template that would encode, with an encoder that does not exist: a job that reaches the
// encoder fails with "the encoder could not be started", so a test sees whether it got there.
const std::string kAviTemplate =
    " -y -i \"<%InputFile%>\" <%Lumivox%> -vcodec msmpeg4 \"<%TemporaryFile%>.avi\"";

class ServiceStagesTest : public ::testing::Test {
protected:
    // Starts the demo service serving a video made for the test, with `faults`.
    void startDemo(const Lines& faults = {}) {
        writeBytes(inputs / "video.flv", video);
        Lines arguments = {"--video", (inputs / "video.flv").string()};
        for (const std::string& fault : faults) {
            arguments.insert(arguments.end(), {"--fault", fault});
        }
        demo = std::make_unique<service_test::DemoService>(arguments);
        ASSERT_TRUE(demo->started());
    }

    JobRequest makeRequest(const std::string& formatTemplate = "<%NOENCODE%>") {
        JobRequest request;
        request.pageUrl = demo->webBase() + "/watch/sm9";
        request.mail = kMail;
        request.password = kPassword;
        request.saveFolder = save.path().string();
        request.workFolder = work.path().string() + "/";
        request.programFolder = (work / "no-program-here").string();
        request.formatTemplate = formatTemplate;
        request.periodStart = 0;
        request.periodEnd = 2000000000;
        request.endpoints = demo->endpoints();
        request.cookieStore = &store;
        return request;
    }
    std::unique_ptr<CNicoThread> makeJob(const JobRequest& request, uint64_t serial = 1) {
        return std::make_unique<CNicoThread>(request, sink, serial);
    }
    JobOutcome runJob(const JobRequest& request, uint64_t serial = 1) {
        return runToEnd(makeJob(request, serial), sink);
    }

    TestTempFolder inputs, work, save;
    const std::string video = service_test::patternBytes(300 * 1024 + 17);
    const fs::path videoFile = save / "sm9.flv";
    std::unique_ptr<service_test::DemoService> demo;
    // A store of the test's own with its jar in the work folder, as the process's store is.
    CookieStore store{work / CookieStore::kJarFileName};
    RecordingSink sink;
};

TEST_F(ServiceStagesTest, AWholeJobPassesTheCookiesAndTheVideoIdFromStageToStage) {
    startDemo();
    JobRequest request = makeRequest();
    request.pageUrl += "?from=30#top";  // a query after the ID is no part of the file name
    const JobOutcome outcome = runJob(request);

    ASSERT_EQ(outcome.result, JobResult::Succeeded) << outcome.reason;
    EXPECT_EQ(outcome.moviePath, videoFile.string());
    EXPECT_EQ(readBytes(videoFile), video);
    // The login's cookie went to getflv, which answers with a stream address only with it, and
    // the watch page's cookie to the stream, which refuses a client without it.
    EXPECT_EQ(demo->last("login-mail"), kMail);
    EXPECT_EQ(demo->last("login-password"), kPassword);
    EXPECT_EQ(demo->last("getflv-target"), "/api/getflv?v=sm9");
    // The comment thread the getflv answer named became comment.xml.
    EXPECT_EQ(demo->last("thread-valid"), "yes");
    EXPECT_GT(readBytes(work / "comment.xml").size(), 0u);
    for (const char* path : {"/secure/login", "/api/getflv", "/api/", "/watch", "/smile"}) {
        EXPECT_EQ(demo->count(path), 1) << path;
    }
    // Download progress ending at 100, no encoding for the no-encode format, no error.
    const Lines messages = sink.of(1);
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], "progress 100");
    EXPECT_EQ(messages.back(), "done");
    for (const std::string& m : messages) {
        EXPECT_TRUE(m.rfind("progress", 0) == 0 || m == "done") << m;
    }
}

TEST_F(ServiceStagesTest, WithoutACookieAfterTheLoginNoFurtherRequestIsMade) {
    const std::string checkAccount =
        "the login gave no cookie (check the mail address and password)";
    // {fault, password, noAutoLogin, reason}
    const std::vector<std::tuple<std::string, std::string, int32_t, std::string>> cases = {
        {"no-cookie", kPassword, 0, checkAccount},
        {"reject-login", kPassword, 0, checkAccount},
        {"", "wrong password", 0, checkAccount},
        {"", kPassword, 1,
         "the login gave no cookie (automatic login is off, and no cookie of an earlier login was "
         "kept)"}};
    uint64_t serial = 0;
    for (const auto& [fault, password, noAutoLogin, reason] : cases) {
        SCOPED_TRACE(reason + " / " + fault + " / " + password);
        startDemo(fault.empty() ? Lines{} : Lines{fault});
        JobRequest request = makeRequest(kAviTemplate);
        request.password = password;
        request.noAutoLogin = noAutoLogin;
        const JobOutcome outcome = runJob(request, ++serial);

        EXPECT_EQ(outcome.result, JobResult::Failed);
        EXPECT_EQ(outcome.reason, reason);
        EXPECT_EQ(demo->count("/secure/login"), 1);
        // Only the login, and the web root page that an accepted login redirects to.
        EXPECT_EQ(demo->totalRequests() - demo->count("/"), 1);
        EXPECT_EQ(sink.of(serial), Lines{"done"});
        EXPECT_FALSE(fs::exists(work / "comment.xml"));
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
    // Nothing after the lookup: no comment thread, no page visit, no download, no error.
    for (const char* path : {"/api/", "/watch", "/smile"}) {
        EXPECT_EQ(demo->count(path), 0) << path;
    }
    EXPECT_EQ(sink.of(1), Lines{"done"});
}

TEST_F(ServiceStagesTest, ServiceErrorsReachTheFrontEndWhileTheJobGoesOn) {
    startDemo();
    // The page is on a port nobody serves: the visit fails, the job goes on to the download,
    // which the stream then refuses (no watch page cookie), twice: one error, on the retry.
    JobRequest request = makeRequest(kAviTemplate);
    request.pageUrl = "http://127.0.0.1:1/watch/sm9";
    const JobOutcome outcome = runJob(request);

    const Lines messages = sink.of(1);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_NE(messages[0].find("127.0.0.1"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[1].rfind("error ", 0), 0u);
    EXPECT_NE(messages[1].find("403"), std::string::npos) << messages[1];
    EXPECT_EQ(messages[2], "done");
    EXPECT_EQ(demo->count("/smile"), 2);
    EXPECT_EQ(outcome.result, JobResult::Failed);
    EXPECT_EQ(outcome.reason, "the video download failed: " + messages[1].substr(6));
    EXPECT_FALSE(fs::exists(videoFile));
}

TEST_F(ServiceStagesTest, CommentsThatCannotBeReadOrStoredFailTheJobButTheVideoIsStillSaved) {
    const std::string commentXml = (work / "comment.xml").string();
    // {fault, comment.xml is a folder, the reason's start, thread requests}
    const std::tuple<const char*, bool, std::string, int> cases[] = {
        {"comments-not-xml", false,
         "the comments the service sent cannot be read: not a comment file: " + commentXml +
             " (it begins with \"Service",
         1},
        {"", true, "the comment thread could not be downloaded: Cannot create " + commentXml, 0}};
    uint64_t serial = 0;
    for (const auto& [fault, folder, reason, threadRequests] : cases) {
        SCOPED_TRACE(reason);
        startDemo(*fault ? Lines{fault} : Lines{});
        if (folder) {
            fs::remove(commentXml);
            fs::create_directory(commentXml);
        }
        const JobOutcome outcome = runJob(makeRequest(), ++serial);
        EXPECT_EQ(outcome.result, JobResult::Failed);
        EXPECT_EQ(outcome.reason.substr(0, reason.size()), reason) << outcome.reason;
        EXPECT_EQ(demo->count("/api/"), threadRequests);
        EXPECT_EQ(outcome.moviePath, videoFile.string());
        EXPECT_EQ(readBytes(videoFile), video);
    }
}

}  // namespace
