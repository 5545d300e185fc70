// The job pipeline: stage order, the conditions that end a job early, stopping at each poll
// point, the job's messages, the life of the job object, and the real comment reading stage.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "job/nico_thread.h"
#include "job_test_support.h"
#include "support/event_wait.h"

namespace {

using Calls = std::vector<std::string>;
const Calls kAllStages = {"login",   "lookup",  "comments", "visit",  "download",
                          "prepare", "overlay", "splice",   "encoder"};

Calls firstStages(std::size_t count) {
    return Calls(kAllStages.begin(), kAllStages.begin() + count);
}

int64_t encodingMessages(const RecordingSink& sink, uint64_t serial) {
    const Calls kinds = sink.of(serial);
    return std::count(kinds.begin(), kinds.end(), "encoding");
}

class NicoThreadTest : public ::testing::Test {
protected:
    JobRequest makeRequest() const {
        JobRequest request;
        request.pageUrl = "http://www.nicovideo.jp/watch/sm9";
        request.mail = "user@example.com";
        request.password = "secret";
        request.saveFolder = work.path().string();
        request.workFolder = work.path().string() + "/";
        request.formatTemplate = "-y -i \"<%InputFile%>\"<%Lumivox%> \"<%TemporaryFile%>.avi\"";
        request.ngList = {"ng-user-1", "ng-user-2"};
        request.extractList = {"keep-user"};
        // The pipeline as the original system runs it: comment.xml in the work folder.
        request.endpoints.protocol = ServiceProtocol::Classic;
        return request;
    }
    std::unique_ptr<CNicoThread> makeJob(const StageScript& script, StageLog& log, uint64_t serial,
                                         JobRequest request = {}) {
        if (request.pageUrl.empty()) {
            request = makeRequest();
        }
        return std::make_unique<ScriptedJob>(request, sink, serial, script, log);
    }

    TestTempFolder work;
    RecordingSink sink;
};

TEST_F(NicoThreadTest, AFullJobRunsEveryStageInOrderReportsInOrderAndKeepsItsOwnIdLists) {
    StageScript script;
    script.loginError = "名前解決に失敗しました";
    script.holdLogin = true;
    StageLog log;
    JobRequest request = makeRequest();
    auto job = makeJob(script, log, 7, request);
    ASSERT_TRUE(job->start());
    EXPECT_FALSE(job->start()) << "an object runs one job only";
    // The front end edits its lists while the job runs: the job's copies stay as they were.
    request.ngList[0] = "changed";
    request.ngList.push_back("added");
    request.extractList.clear();
    log.gate.set();
    finishJob(job, sink);

    EXPECT_EQ(log.calls, kAllStages);
    EXPECT_EQ(log.ngSeen, (Calls{"ng-user-1", "ng-user-2"}));
    EXPECT_EQ(log.extractSeen, Calls{"keep-user"});
    EXPECT_EQ(sink.of(7), (Calls{"error 名前解決に失敗しました", "progress 40", "encoding",
                                 "progress 100", "done"}));
    EXPECT_EQ(sink.all().size(), 5u) << "every message carries the job's serial";
    EXPECT_TRUE(log.cleanAtDeletion) << "the copies are emptied at the end";
}

TEST_F(NicoThreadTest, EachConditionRunsExactlyTheStagesItShould) {
    using SetUp = std::function<void(StageScript&, std::string & formatTemplate)>;
    const std::vector<std::tuple<std::string, SetUp, size_t>> cases = {
        {"empty cookie", [](StageScript& s, std::string&) { s.loginCookie.clear(); }, 1},
        {"failed lookup", [](StageScript& s, std::string&) { s.lookupResult = false; }, 2},
        {"empty stream URL", [](StageScript& s, std::string&) { s.streamUrl.clear(); }, 4},
        {"failed download", [](StageScript& s, std::string&) { s.downloadResult = false; }, 5},
        {"failed visit is ignored", [](StageScript& s, std::string&) { s.visitResult = false; }, 9},
        {"no-encode among other text",
         [](StageScript&, std::string& t) { t = "-i \"<%InputFile%>\"<%NOENCODE%> x"; }, 5},
        {"no-encode alone", [](StageScript&, std::string& t) { t = "<%NOENCODE%>"; }, 5},
        {"no-encode is case-sensitive", [](StageScript&, std::string& t) { t = "<%noencode%>"; },
         9},
        {"empty template still encodes", [](StageScript&, std::string& t) { t.clear(); }, 9}};
    uint64_t serial = 0;
    for (const auto& [name, setUp, stages] : cases) {
        SCOPED_TRACE(name);
        StageScript script;
        JobRequest request = makeRequest();
        setUp(script, request.formatTemplate);
        StageLog log;
        runToEnd(makeJob(script, log, ++serial, request), sink);

        EXPECT_EQ(log.calls, firstStages(stages));
        EXPECT_EQ(encodingMessages(sink, serial), stages == kAllStages.size() ? 1 : 0);
        if (stages == kAllStages.size()) {
            EXPECT_EQ(log.encoderArguments, "spliced[" + request.formatTemplate + "]");
        }
        expectDoneOnceAndLast(sink, serial);
        EXPECT_TRUE(log.cleanAtDeletion);
    }
}

TEST_F(NicoThreadTest, AStopWhileAStageIsBusyReturnsAfterTheJobHasRunToItsEnd) {
    // The login and the lookup do not look at the cancel event themselves: they run on.
    const std::vector<std::pair<std::string, size_t>> cases = {
        {"login", 1},     // seen right after the login, although it brought a cookie
        {"lookup", 5},    // the poll before the encoding ends the job
        {"download", 5},  // a download cut short counts as one, but nothing is encoded
        {"encoder", 9}};  // nothing follows the encoder run but the job's end
    uint64_t serial = 10;
    for (const auto& [stage, stages] : cases) {
        SCOPED_TRACE(stage);
        StageScript script;
        script.blockIn = stage;
        StageLog log;
        auto job = makeJob(script, log, ++serial);
        ASSERT_TRUE(job->start());
        ASSERT_TRUE(waitForSet(log.blocked, std::chrono::seconds(60)));
        const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);

        EXPECT_EQ(job, nullptr);
        EXPECT_TRUE(outcome && outcome->result == JobResult::Stopped);
        EXPECT_EQ(log.calls, firstStages(stages));
        EXPECT_EQ(encodingMessages(sink, serial), stages == kAllStages.size() ? 1 : 0);
        expectDoneOnceAndLast(sink, serial);
        EXPECT_TRUE(log.cleanAtDeletion);
    }
    // The done of each stopped job came before any message of the next one, which logs in anew
    // and runs every stage.
    StageLog nextLog;
    runToEnd(makeJob(StageScript{}, nextLog, ++serial), sink);
    EXPECT_EQ(nextLog.calls, kAllStages);
    const std::vector<RecordingSink::Message> messages = sink.all();
    for (std::size_t i = 1; i < messages.size(); ++i) {
        EXPECT_LE(messages[i - 1].first, messages[i].first) << "message " << i;
    }
}

TEST_F(NicoThreadTest, StopRightAfterStartAndStopOfAJobNeverStarted) {
    StageScript script;
    StageLog log, idleLog;
    auto job = makeJob(script, log, 2);
    ASSERT_TRUE(job->start());
    CNicoThread::StopAndDelete(job);
    EXPECT_EQ(job, nullptr);
    ASSERT_FALSE(log.calls.empty());
    EXPECT_EQ(log.calls.front(), "login");
    expectDoneOnceAndLast(sink, 2);
    EXPECT_TRUE(log.cleanAtDeletion);

    // Deleted without waiting, stages or messages; an empty pointer is left alone.
    auto idle = makeJob(script, idleLog, 3);
    EXPECT_FALSE(CNicoThread::StopAndDelete(idle).has_value());
    EXPECT_TRUE(idleLog.deleted && idleLog.calls.empty());
    EXPECT_TRUE(sink.of(3).empty());
    EXPECT_FALSE(CNicoThread::StopAndDelete(idle).has_value());
}

TEST_F(NicoThreadTest, AStageThatThrowsEndsTheJobWithItsDone) {
    uint64_t serial = 100;
    for (const std::string stage : {"login", "download", "encoder"}) {
        SCOPED_TRACE(stage);
        StageScript script;
        script.throwIn = stage;
        StageLog log;
        const JobOutcome outcome = runToEnd(makeJob(script, log, ++serial), sink);
        EXPECT_EQ(log.calls.back(), stage);
        EXPECT_EQ(outcome.reason, "unexpected error: stage failed: " + stage);
        expectDoneOnceAndLast(sink, serial);
        EXPECT_TRUE(log.cleanAtDeletion);
    }
}

TEST_F(NicoThreadTest, TheCommentStageReadsTheWorkFoldersCommentXml) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<packet>\n"
        "<chat thread=\"1\" no=\"1\" vpos=\"1234\" date=\"1173110000\">一番目</chat>\n"
        "<chat thread=\"1\" no=\"2\" vpos=\"500\" date=\"1173110002\">二番目</chat>\n</packet>\n";
    // {file contents ("" for none), work folder given with its separator, records read}
    const std::vector<std::tuple<std::string, bool, size_t>> cases = {
        {xml, true, 2},
        {xml, false, 2},
        {"<packet><chat vpos=\"1\">cut off", true, 0},
        {"", true, 0}};
    uint64_t serial = 200;
    for (const auto& [contents, separator, records] : cases) {
        SCOPED_TRACE(::testing::Message() << "job " << ++serial);
        std::filesystem::remove(work / "comment.xml");
        if (!contents.empty()) {
            writeBytes(work / "comment.xml", contents);
        }
        JobRequest request = makeRequest();
        request.workFolder = work.path().string() + (separator ? "/" : "");
        StageLog log;
        runToEnd(makeJob(StageScript{}, log, serial, request), sink);

        // Which chats make records is the reader's (its own tests): here, that the file was read.
        EXPECT_EQ(log.chatsRead.size(), records);
        EXPECT_EQ(log.arrivalCounterAfterRead, static_cast<int32_t>(records));
        // With or without comments the job goes on, and drops them at its end.
        EXPECT_EQ(log.calls.back(), "encoder");
        EXPECT_TRUE(log.cleanAtDeletion);
    }
}

}  // namespace
