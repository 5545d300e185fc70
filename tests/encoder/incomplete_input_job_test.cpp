// A whole job with the real encoder on an input cut short: the FLV header promises the full
// length, the encoder makes what it can read and exits 0, and the job must not call that a
// success.

#include <gtest/gtest.h>

#include <utility>

#include "encoder_test_support.h"
#include "job/job_test_support.h"

namespace encoder_test {
namespace {

// A job whose network stages hand over a local video; the encoding stages are the real ones.
class LocalVideoJob : public CNicoThread {
public:
    LocalVideoJob(JobRequest request, JobSink& sink, std::string video)
        : CNicoThread(std::move(request), sink, 1) {
        videoFile = std::move(video);
        videoId = "sm9";
    }

protected:
    void loginToService() override { cookie = "local"; }
    bool lookUpVideo(const std::string&, std::string& streamUrl) override {
        streamUrl = videoFile;
        return true;
    }
    void readComments() override {}
    bool visitVideoPage(const std::string&, const std::string&) override { return true; }
    bool downloadVideo(const std::string&, const std::string&) override { return true; }
};

class IncompleteInputJobTest : public FlvClipTest {};

TEST_F(IncompleteInputJobTest, ACutInputFailsAsIncompleteAndKeepsTheEarlierMovie) {
    // (A job on a whole video making its movie is the command line's render test.)
    const std::string bytes = readBytes(clip_);
    TempFolder save;
    TempFolder work;
    const fs::path video = save.file("sm9.flv");
    writeBytes(video, bytes.substr(0, bytes.size() * 55 / 100));
    writeBytes(save.file("sm9.avi"), "earlier movie");
    JobRequest request;
    request.saveFolder = save.path().string();
    request.workFolder = work.path().string() + "/";
    request.programFolder = fs::path(encoderPath()).parent_path().string();
    request.formatTemplate =
        " -y -i \"<%InputFile%>\" -vcodec msmpeg4 -acodec libmp3lame \"<%TemporaryFile%>.avi\"";
    RecordingSink sink;
    const JobOutcome outcome =
        runToEnd(std::make_unique<LocalVideoJob>(request, sink, video.string()), sink);
    EXPECT_EQ(outcome.result, JobResult::Failed) << outcome.reason;
    EXPECT_TRUE(outcome.reason.starts_with("incomplete movie: ")) << outcome.reason;
    EXPECT_TRUE(outcome.reason.ends_with(" of the video's 3.02 s")) << outcome.reason;
    EXPECT_EQ(readBytes(save.file("sm9.avi")), "earlier movie");
    EXPECT_EQ(std::distance(fs::directory_iterator(save.path()), fs::directory_iterator()), 2)
        << "the video and the movie, nothing beside them";
}

}  // namespace
}  // namespace encoder_test
