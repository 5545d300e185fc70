// The job pipeline: stage order, the conditions that end a job early, stopping at each poll
// point, the job's messages and the life of the job object.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "job/nico_thread.h"
#include "job_test_support.h"

namespace {

using Calls = std::vector<std::string>;

const Calls kAllStages = {"login",   "lookup",  "comments", "visit",  "download",
                          "prepare", "overlay", "splice",   "encoder"};

Calls firstStages(std::size_t count) {
    return Calls(kAllStages.begin(), kAllStages.begin() + count);
}

class NicoThreadTest : public ::testing::Test {
protected:
    JobRequest makeRequest() const {
        JobRequest request;
        request.pageUrl = "http://www.nicovideo.jp/watch/sm9";
        request.mail = "user@example.com";
        request.password = "secret";
        request.saveFolder = work.path().string();
        request.workFolder = work.withSeparator();
        request.formatTemplate = "-y -i \"<%InputFile%>\"<%Lumivox%> \"<%TemporaryFile%>.avi\"";
        request.ngList = {"ng-user-1", "ng-user-2"};
        request.extractList = {"keep-user"};
        return request;
    }

    std::unique_ptr<CNicoThread> makeJob(const StageScript& script, StageLog& log,
                                         uint64_t serial = 1) {
        return std::make_unique<ScriptedJob>(makeRequest(), sink, serial, script, log);
    }

    // Runs a job to its own end and deletes it the way a front end does when "done" arrives.
    void runToEnd(std::unique_ptr<CNicoThread>& job, uint64_t serial) {
        ASSERT_TRUE(job->start());
        ASSERT_TRUE(sink.waitForDone(serial));
        CNicoThread::StopAndDelete(job);
        EXPECT_EQ(job, nullptr);
    }

    // "done" came exactly once for the job and no message of the job came after it.
    void expectDoneOnceAndLast(uint64_t serial) const {
        const std::vector<std::string> kinds = sink.kindsOf(serial);
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "done"), 1) << "job " << serial;
        ASSERT_FALSE(kinds.empty());
        EXPECT_EQ(kinds.back(), "done") << "job " << serial;
    }

    // What every ending leaves behind: the thread had finished and the job had dropped its
    // lists before the object went.
    static void expectCleanEnd(const StageLog& log) {
        EXPECT_TRUE(log.deleted);
        EXPECT_TRUE(log.finishedAtDeletion);
        EXPECT_TRUE(log.listsEmptyAtDeletion);
        EXPECT_TRUE(log.chatsEmptyAtDeletion);
    }

    TempFolder work;
    RecordingSink sink;
};

TEST_F(NicoThreadTest, FullJobRunsEveryStageInOrderAndReportsInOrder) {
    StageScript script;
    script.loginError = "名前解決に失敗しました";
    StageLog log;
    auto job = makeJob(script, log, 7);
    runToEnd(job, 7);

    EXPECT_EQ(log.calls, kAllStages);
    EXPECT_EQ(log.encoderArguments, "spliced[" + makeRequest().formatTemplate + "]");
    const std::vector<SinkMessage> messages = sink.messages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0].kind, "error");
    EXPECT_EQ(messages[0].text, "名前解決に失敗しました");
    EXPECT_EQ(messages[1].kind, "progress");
    EXPECT_EQ(messages[1].percent, 40);
    EXPECT_EQ(messages[2].kind, "encoding");
    EXPECT_EQ(messages[3].kind, "progress");
    EXPECT_EQ(messages[3].percent, 100);
    EXPECT_EQ(messages[4].kind, "done");
    for (const SinkMessage& m : messages) {
        EXPECT_EQ(m.serial, 7u);
    }
    expectCleanEnd(log);
}

// One way a job can go, chosen by the stages' results and the format template.
struct PipelineCase {
    std::string name;
    std::function<void(StageScript&, std::string& formatTemplate)> setUp;
    Calls calls;
    bool encodes;
};

void PrintTo(const PipelineCase& c, std::ostream* os) {
    *os << c.name;
}

class PipelineConditionTest : public NicoThreadTest,
                              public ::testing::WithParamInterface<PipelineCase> {};

TEST_P(PipelineConditionTest, RunsExactlyTheStagesItShould) {
    const PipelineCase& c = GetParam();
    StageScript script;
    JobRequest request = makeRequest();
    c.setUp(script, request.formatTemplate);
    StageLog log;
    std::unique_ptr<CNicoThread> job = std::make_unique<ScriptedJob>(request, sink, 3, script, log);
    runToEnd(job, 3);

    EXPECT_EQ(log.calls, c.calls);
    const std::vector<std::string> kinds = sink.kindsOf(3);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "encoding"), c.encodes ? 1 : 0);
    expectDoneOnceAndLast(3);
    expectCleanEnd(log);
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, PipelineConditionTest,
    ::testing::Values(
        PipelineCase{"EmptyCookieEndsAfterLogin",
                     [](StageScript& s, std::string&) { s.loginCookie.clear(); }, firstStages(1),
                     false},
        PipelineCase{"FailedLookupEndsBeforeReadingComments",
                     [](StageScript& s, std::string&) { s.lookupResult = false; }, firstStages(2),
                     false},
        PipelineCase{"EmptyStreamUrlEndsAfterCommentsAndVisit",
                     [](StageScript& s, std::string&) { s.streamUrl.clear(); }, firstStages(4),
                     false},
        PipelineCase{"FailedDownloadSkipsEncoding",
                     [](StageScript& s, std::string&) { s.downloadResult = false; }, firstStages(5),
                     false},
        PipelineCase{"FailedPageVisitIsIgnored",
                     [](StageScript& s, std::string&) { s.visitResult = false; }, kAllStages, true},
        PipelineCase{"NoEncodeMarkerAmongOtherTextSkipsEncoding",
                     [](StageScript&, std::string& t) { t = "-i \"<%InputFile%>\"<%NOENCODE%> x"; },
                     firstStages(5), false},
        PipelineCase{"NoEncodeMarkerAloneSkipsEncoding",
                     [](StageScript&, std::string& t) { t = "<%NOENCODE%>"; }, firstStages(5),
                     false},
        PipelineCase{"NoEncodeMarkerIsCaseSensitive",
                     [](StageScript&, std::string& t) { t = "<%noencode%>"; }, kAllStages, true},
        PipelineCase{"EmptyTemplateStillEncodes", [](StageScript&, std::string& t) { t.clear(); },
                     kAllStages, true}),
    [](const ::testing::TestParamInfo<PipelineCase>& info) { return info.param.name; });

TEST_F(NicoThreadTest, EmptyTemplateGivesTheEncoderWhatTheSpliceReturns) {
    StageScript script;
    JobRequest request = makeRequest();
    request.formatTemplate.clear();
    StageLog log;
    std::unique_ptr<CNicoThread> job = std::make_unique<ScriptedJob>(request, sink, 1, script, log);
    runToEnd(job, 1);
    EXPECT_EQ(log.encoderArguments, "spliced[]");
}

// A stop that arrives while one stage is busy. The blocked stage simulates a long step that
// returns when the cancel event is set (a download or the encoder) or only then happens to end
// (the login and the lookup do not look at the event themselves).
struct StopCase {
    std::string blockIn;
    Calls calls;
    bool encodes;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << "stop during " << c.blockIn;
}

class StopWhileBusyTest : public NicoThreadTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopWhileBusyTest, StopReturnsAfterTheJobHasRunToItsEnd) {
    const StopCase& c = GetParam();
    StageScript script;
    script.blockIn = c.blockIn;
    StageLog log;
    auto job = makeJob(script, log, 11);
    ASSERT_TRUE(job->start());
    ASSERT_TRUE(log.blocked.wait(std::chrono::seconds(60)));

    CNicoThread::StopAndDelete(job);

    EXPECT_EQ(job, nullptr);
    EXPECT_EQ(log.calls, c.calls);
    const std::vector<std::string> kinds = sink.kindsOf(11);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "encoding"), c.encodes ? 1 : 0);
    expectDoneOnceAndLast(11);
    expectCleanEnd(log);
}

INSTANTIATE_TEST_SUITE_P(
    PollPoints, StopWhileBusyTest,
    ::testing::Values(
        // Seen right after the login, although the login brought a cookie.
        StopCase{"login", firstStages(1), false},
        // The lookup runs to its end, the comments are read, the page visited and the download
        // tried; the poll before encoding ends the job.
        StopCase{"lookup", firstStages(5), false},
        // A download cut short counts as a download, but the encoding is skipped.
        StopCase{"download", firstStages(5), false},
        // The encoder run ends; nothing follows it but the job's end.
        StopCase{"encoder", kAllStages, true}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return info.param.blockIn; });

TEST_F(NicoThreadTest, StopRightAfterStartEndsTheJobCleanly) {
    StageScript script;
    StageLog log;
    auto job = makeJob(script, log, 2);
    ASSERT_TRUE(job->start());
    CNicoThread::StopAndDelete(job);

    EXPECT_EQ(job, nullptr);
    ASSERT_FALSE(log.calls.empty());
    EXPECT_EQ(log.calls.front(), "login");
    expectDoneOnceAndLast(2);
    expectCleanEnd(log);
}

TEST_F(NicoThreadTest, AJobThatNeverStartedIsDeletedWithoutWaitingOrMessages) {
    StageScript script;
    StageLog log;
    auto job = makeJob(script, log);
    CNicoThread::StopAndDelete(job);

    EXPECT_EQ(job, nullptr);
    EXPECT_TRUE(log.deleted);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_TRUE(sink.messages().empty());

    std::unique_ptr<CNicoThread> none;
    CNicoThread::StopAndDelete(none);  // nothing to stop: returns at once
    EXPECT_EQ(none, nullptr);
}

TEST_F(NicoThreadTest, AJobObjectRunsOneJobOnly) {
    StageScript script;
    StageLog log;
    auto job = makeJob(script, log, 4);
    ASSERT_TRUE(job->start());
    EXPECT_FALSE(job->start());
    ASSERT_TRUE(sink.waitForDone(4));
    CNicoThread::StopAndDelete(job);

    EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "login"), 1);
    expectDoneOnceAndLast(4);
}

TEST_F(NicoThreadTest, AStageThatThrowsEndsTheJobWithItsDone) {
    uint64_t serial = 100;
    for (const std::string stage : {"login", "download", "encoder"}) {
        SCOPED_TRACE(stage);
        StageScript script;
        script.throwIn = stage;
        StageLog log;
        ++serial;
        auto job = makeJob(script, log, serial);
        runToEnd(job, serial);

        ASSERT_FALSE(log.calls.empty());
        EXPECT_EQ(log.calls.back(), stage);
        expectDoneOnceAndLast(serial);
        expectCleanEnd(log);
    }
}

TEST_F(NicoThreadTest, TheIdListsAreTheJobsOwnCopies) {
    StageScript script;
    script.holdLogin = true;
    StageLog log;
    JobRequest request = makeRequest();
    std::unique_ptr<CNicoThread> job = std::make_unique<ScriptedJob>(request, sink, 5, script, log);
    ASSERT_TRUE(job->start());

    // The front end edits its lists while the job runs.
    request.ngList[0] = "changed";
    request.ngList.push_back("added");
    request.extractList.clear();
    log.gate.set();
    ASSERT_TRUE(sink.waitForDone(5));
    CNicoThread::StopAndDelete(job);

    EXPECT_EQ(log.ngSeen, (std::vector<std::string>{"ng-user-1", "ng-user-2"}));
    EXPECT_EQ(log.extractSeen, std::vector<std::string>{"keep-user"});
    EXPECT_TRUE(log.listsEmptyAtDeletion);
}

TEST_F(NicoThreadTest, ALateDoneOfAStoppedJobCarriesItsOwnSerial) {
    // The first job is stopped during its download; the front end then starts the next one.
    StageScript stopped;
    stopped.blockIn = "download";
    StageLog firstLog;
    auto first = makeJob(stopped, firstLog, 41);
    ASSERT_TRUE(first->start());
    ASSERT_TRUE(firstLog.blocked.wait(std::chrono::seconds(60)));
    CNicoThread::StopAndDelete(first);

    StageScript normal;
    StageLog secondLog;
    auto second = makeJob(normal, secondLog, 42);
    runToEnd(second, 42);

    const std::vector<SinkMessage> messages = sink.messages();
    const auto firstDone = std::find_if(messages.begin(), messages.end(),
                                        [](const SinkMessage& m) { return m.kind == "done"; });
    ASSERT_NE(firstDone, messages.end());
    EXPECT_EQ(firstDone->serial, 41u);
    for (auto it = firstDone + 1; it != messages.end(); ++it) {
        EXPECT_EQ(it->serial, 42u);
    }
    expectDoneOnceAndLast(41);
    expectDoneOnceAndLast(42);
    // Every job logs in anew.
    EXPECT_EQ(secondLog.calls, kAllStages);
}

TEST_F(NicoThreadTest, AJobWhoseServiceCannotBeReachedEndsAfterTheLoginAndClaimsNothing) {
    // The job object as the front ends get it, its service on a loopback port nobody serves:
    // the login's error is shown, and nothing follows it.
    JobRequest request = makeRequest();
    request.endpoints.loginBase = "https://127.0.0.1:1";
    request.endpoints.webBase = "http://127.0.0.1:1";
    std::unique_ptr<CNicoThread> job = std::make_unique<CNicoThread>(request, sink, 9);
    ASSERT_TRUE(job->start());
    ASSERT_TRUE(sink.waitForDone(9));
    CNicoThread::StopAndDelete(job);

    EXPECT_EQ(sink.kindsOf(9), (std::vector<std::string>{"error", "done"}));
    EXPECT_TRUE(std::filesystem::is_empty(work.path()));
}

}  // namespace
