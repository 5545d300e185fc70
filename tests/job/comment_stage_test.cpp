// The job's comment reading stage: the real reader on a comment.xml in the job's work folder.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "job/nico_thread.h"
#include "job_test_support.h"

namespace {

const char* const kCommentXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<packet>\n"
    "<thread resultcode=\"0\" thread=\"1173108780\" last_res=\"3\" ticket=\"0x1\"/>\n"
    "<chat thread=\"1173108780\" no=\"1\" vpos=\"1234\" date=\"1173110000\" "
    "user_id=\"u1\">一番目</chat>\n"
    "<chat thread=\"1173108780\" no=\"2\" date=\"1173110001\">no vpos, no record</chat>\n"
    "<chat thread=\"1173108780\" no=\"3\" vpos=\"500\" date=\"1173110002\" mail=\"shita\" "
    "user_id=\"u2\">二番目</chat>\n"
    "</packet>\n";

class CommentStageTest : public ::testing::Test {
protected:
    void writeCommentXml(const std::string& content) {
        std::ofstream out(work.path() / "comment.xml", std::ios::binary);
        out << content;
    }

    // Runs a whole job whose work folder is `workFolder`; `log` gets what it read.
    void runJob(const std::string& workFolder, StageLog& log, uint64_t serial = 1) {
        JobRequest request;
        request.pageUrl = "http://www.nicovideo.jp/watch/sm9";
        request.saveFolder = work.path().string();
        request.workFolder = workFolder;
        StageScript script;
        std::unique_ptr<CNicoThread> job =
            std::make_unique<ScriptedJob>(request, sink, serial, script, log);
        ASSERT_TRUE(job->start());
        ASSERT_TRUE(sink.waitForDone(serial));
        CNicoThread::StopAndDelete(job);
    }

    TempFolder work;
    RecordingSink sink;
};

TEST_F(CommentStageTest, ReadsTheWorkFoldersCommentsAndDropsThemAtTheEnd) {
    writeCommentXml(kCommentXml);
    StageLog log;
    runJob(work.withSeparator(), log);

    ASSERT_EQ(log.chatsRead.size(), 2u);
    EXPECT_EQ(log.chatsRead[0].seq, 0);
    EXPECT_EQ(log.chatsRead[0].text, u"一番目");
    EXPECT_EQ(log.chatsRead[0].vpos, 1234);
    EXPECT_EQ(log.chatsRead[0].userId, "u1");
    EXPECT_EQ(log.chatsRead[1].seq, 1);
    EXPECT_EQ(log.chatsRead[1].text, u"二番目");
    EXPECT_EQ(log.chatsRead[1].mail, "shita");
    EXPECT_EQ(log.arrivalCounterAfterRead, 2);
    // The job went on through its stages and emptied its list at the end.
    EXPECT_EQ(log.calls.back(), "encoder");
    EXPECT_TRUE(log.chatsEmptyAtDeletion);
}

TEST_F(CommentStageTest, AWorkFolderWithoutTrailingSeparatorIsFoundToo) {
    writeCommentXml(kCommentXml);
    StageLog log;
    runJob(work.path().string(), log);
    EXPECT_EQ(log.chatsRead.size(), 2u);
}

TEST_F(CommentStageTest, MissingOrBrokenCommentFileLeavesTheJobWithoutComments) {
    for (const bool broken : {false, true}) {
        SCOPED_TRACE(broken ? "broken" : "missing");
        if (broken) {
            writeCommentXml("<packet><chat vpos=\"1\">cut off");
        }
        StageLog log;
        runJob(work.withSeparator(), log, broken ? 2 : 1);
        EXPECT_TRUE(log.chatsRead.empty());
        EXPECT_EQ(log.arrivalCounterAfterRead, 0);
        EXPECT_EQ(log.calls.back(), "encoder");
    }
}

}  // namespace
