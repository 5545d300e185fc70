// The job of today's protocol against lumivox-demo-service --protocol today: its comment stage
// reads the comment file that the stages saved (ID.comments.json), whatever its format, and
// takes today's command words for it.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "comments/comment_file.h"
#include "demo/today_demo_support.h"
#include "job/nico_thread.h"
#include "job_test_support.h"
#include "service/cookie_store.h"

namespace {

// What the comment stage read; outlives the job.
struct Seen {
    ChatList read;
    CommandVocabulary vocabulary = CommandVocabulary::Classic;
};

// The real job, with what its comment stage read kept for the test.
class WatchedJob : public CNicoThread {
public:
    WatchedJob(const JobRequest& request, JobSink& sink, Seen& seen)
        : CNicoThread(request, sink, 1), seen_(seen) {}

protected:
    void readComments() override {
        CNicoThread::readComments();
        seen_.read = chats;
        seen_.vocabulary = commentVocabulary;
    }

private:
    Seen& seen_;
};

TEST(TodayJobComments, TheCommentStageReadsTheSavedJsonWithTodaysWords) {
    demo_test::TodayDemo demo;
    TestTempFolder work, save;
    CookieStore store{std::filesystem::path()};
    JobRequest request;
    request.pageUrl = demo["www"] + "/watch/sm9";
    request.sessionCookie = demo["session"];
    request.saveFolder = save.path().string();
    request.workFolder = work.path().string() + "/";
    request.programFolder = LUMIVOX_PROGRAM_DIR;  // its FFmpeg joins the renditions
    request.formatTemplate = "<%NOENCODE%>";
    request.periodStart = 0;
    request.periodEnd = 2000000000;
    request.endpoints.protocol = ServiceProtocol::Today;
    request.endpoints.accountBase = demo["account"];
    request.endpoints.todayWebBase = demo["www"];
    request.endpoints.nvapiBase = demo["nvapi"];
    request.endpoints.caFile = demo["ca"];
    request.cookieStore = &store;
    RecordingSink sink;
    Seen seen;
    const JobOutcome outcome = runToEnd(std::make_unique<WatchedJob>(request, sink, seen), sink);
    // Whatever the later stages make of the video, the comments were not what failed.
    EXPECT_EQ(outcome.reason.find("comment"), std::string::npos) << outcome.reason;

    // How the file reads is the comment file's (its own tests): here, that the stage read it.
    EXPECT_TRUE(std::filesystem::exists(work / "sm9.comments.json"));
    EXPECT_FALSE(seen.read.empty());
    EXPECT_EQ(seen.vocabulary, CommandVocabulary::Today);
}

}  // namespace
