// The encoding stages with their real bodies: placeholders, the probe and the layout, the filter
// splice, and the encoder run through a real child process (a shell script standing in for the
// FFmpeg program in a program folder of its own), up to the job's outcome.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "job/nico_thread.h"
#include "job_test_support.h"
#include "platform/command_line.h"

namespace fs = std::filesystem;

namespace {

// The probe block the stand-in prints for -in: 4.02 s of 320 x 240 at 29.97 fps (120 frames).
const char* const kProbeAnswer =
    "if [ \"$1\" = \"-in\" ]; then\n"
    "  printf 'niconico++\\r\\n4\\n2\\n320\\n240\\n30000\\n1001\\nniconico_end\\r\\n'\n"
    "  exit 0\n"
    "fi\n";

// Writes the last argument (the movie) so that a run counts as having written it.
const char* const kWriteMovie = "for last in \"$@\"; do :; done\nprintf 'movie' > \"$last\"\n";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

std::vector<std::string> readLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A job whose service stages hand over a local video, and whose encoding stages are the real
// ones, callable one by one from the test's thread or run as a whole job on the worker.
class EncodingJob : public CNicoThread {
public:
    EncodingJob(JobRequest request, JobSink& sink, const std::string& video, const std::string& id,
                ChatList comments = {}, uint64_t serial = 1)
        : CNicoThread(std::move(request), sink, serial), comments(std::move(comments)) {
        videoFile = video;
        videoId = id;
    }

    using CNicoThread::PrepareEncoding;
    using CNicoThread::RunEncoder;
    using CNicoThread::SpliceFilterArguments;
    using CNicoThread::writeOverlayFiles;

    const std::string& argumentText() const { return request.formatTemplate; }
    int64_t totalFrames() const { return encodeTotalFrames; }
    int32_t width() const { return videoWidth; }
    void setTotalFrames(int64_t frames) { encodeTotalFrames = frames; }
    void cancel() { cancelEvent.set(); }
    const JobOutcome& recorded() const { return outcome; }

protected:
    void loginToService() override { cookie = "local"; }
    bool lookUpVideo(const std::string&, std::string& streamUrl) override {
        streamUrl = videoFile;
        return true;
    }
    void readCommentXml() override { chats = comments; }
    bool visitVideoPage(const std::string&, const std::string&) override { return true; }
    bool downloadVideo(const std::string&, const std::string&) override { return true; }

private:
    ChatList comments;
};

ChatRecord comment(std::u16string text, int32_t vpos, std::string mail = {}) {
    ChatRecord record;
    record.text = std::move(text);
    record.vpos = vpos;
    record.vposSec = vpos / 100;
    record.mail = std::move(mail);
    record.date = 1700000000;
    return record;
}

class EncodingStagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(program.path());
        fs::create_directories(save.path());
        video = (save.path() / "sm9.flv").string();
        std::ofstream(video) << "flv bytes";
    }

    // Makes the stand-in FFmpeg: it logs every call (one line of arguments joined by '|'),
    // answers -in with kProbeAnswer unless `probe` is false, then runs `body`.
    void writeEncoder(const std::string& body, bool probe = true) {
        const fs::path script = program.path() / "FFmpeg";
        std::ofstream out(script);
        out << "#!/bin/sh\n"
            << "dir=$(dirname \"$0\")\n"
            << "echo $$ > \"$dir/pid\"\n"
            << "(IFS='|'; printf '%s\\n' \"$*\") >> \"$dir/calls.log\"\n"
            << "pwd > \"$dir/cwd\"\n"
            << (probe ? kProbeAnswer : "") << body;
        out.close();
        fs::permissions(script, fs::perms::owner_all);
    }

    std::vector<std::string> calls() const { return readLines(program.path() / "calls.log"); }

    JobRequest makeRequest(const std::string& formatTemplate) const {
        JobRequest request;
        request.saveFolder = save.path().string();
        request.workFolder = work.withSeparator();
        request.programFolder = program.path().string();
        request.formatTemplate = formatTemplate;
        request.periodStart = 0;
        request.periodEnd = 2000000000;
        return request;
    }

    std::unique_ptr<EncodingJob> makeJob(const std::string& formatTemplate, ChatList comments = {},
                                         uint64_t serial = 1) {
        return std::make_unique<EncodingJob>(makeRequest(formatTemplate), sink, video, "sm9",
                                             std::move(comments), serial);
    }

    // Runs a whole job on its worker and returns its outcome. Each run has a serial of its own.
    JobOutcome runJob(const std::string& formatTemplate, ChatList comments = {}) {
        const uint64_t serial = ++lastSerial;
        std::unique_ptr<CNicoThread> job = makeJob(formatTemplate, std::move(comments), serial);
        EXPECT_TRUE(job->start());
        EXPECT_TRUE(sink.waitForDone(serial));
        std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);
        EXPECT_TRUE(outcome.has_value());
        return outcome.value_or(JobOutcome{});
    }

    std::vector<int> progressValues() const {
        std::vector<int> values;
        for (const SinkMessage& m : sink.messages()) {
            if (m.kind == "progress") {
                values.push_back(m.percent);
            }
        }
        return values;
    }

    TempFolder work;
    TempFolder save;
    TempFolder program;
    RecordingSink sink;
    std::string video;
    uint64_t lastSerial = 0;
};

TEST_F(EncodingStagesTest, PlaceholdersAreFilledAndTheVideoIsProbedAndLaidOut) {
    writeEncoder("exit 0\n");
    // A save folder name with a quote and a blank: the escaped paths survive the split.
    const fs::path odd = save.path() / "my \"movies\"";
    fs::create_directories(odd);
    JobRequest request = makeRequest(
        " -y -i \"<%InputFile%>\" <%Lumivox%> \"<%TemporaryFile%>.avi\" "
        "-passlogfile \"<%TemporaryFile%>\"");
    request.saveFolder = odd.string();
    EncodingJob job(request, sink, video, "sm9", {});

    job.PrepareEncoding();

    const std::vector<std::string> argv = splitCommandLine(job.argumentText());
    const std::string movieBase = (odd / "sm9").string();
    EXPECT_EQ(argv, (std::vector<std::string>{"-y", "-i", video, "<%Lumivox%>", movieBase + ".avi",
                                              "-passlogfile", movieBase}));
    // The probe ran the program folder's encoder, from the work folder.
    EXPECT_EQ(calls(), (std::vector<std::string>{"-in|" + video}));
    EXPECT_EQ(readFile(program.path() / "cwd"), work.path().string() + "\n");
    // 402 cs at 29.97 fps: 120 frames.
    EXPECT_EQ(job.totalFrames(), 120);
    EXPECT_EQ(job.width(), 320);
    ASSERT_TRUE(job.recorded().timings.probe.has_value());
    EXPECT_TRUE(job.recorded().timings.layout.has_value());
    EXPECT_TRUE(job.recorded().reason.empty()) << job.recorded().reason;
}

TEST_F(EncodingStagesTest, AnEmptyTemplateIsNotPreparedAtAll) {
    writeEncoder("exit 0\n");
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    job.PrepareEncoding();
    EXPECT_TRUE(job.argumentText().empty());
    EXPECT_TRUE(calls().empty()) << "no probe for an empty template";
    EXPECT_EQ(job.totalFrames(), 0);
    EXPECT_EQ(job.width(), 0);
    EXPECT_FALSE(job.recorded().timings.probe.has_value());
}

TEST_F(EncodingStagesTest, TheSpliceReplacesEveryFilterMarkerAndNothingElse) {
    {
        EncodingJob job(makeRequest(" -y -i \"in.flv\" -vcodec wmv2 \"out.wmv\""), sink, video,
                        "x");
        EXPECT_EQ(job.SpliceFilterArguments(), " -y -i \"in.flv\" -vcodec wmv2 \"out.wmv\"");
    }
    {
        EncodingJob job(makeRequest("a<%Lumivox%>b<%Lumivox%>"), sink, video, "x");
        const std::string fragment = " -vhook \"velmora.dll -N comment.ini -D data.ini \"";
        EXPECT_EQ(job.SpliceFilterArguments(), "a" + fragment + "b" + fragment);
        // The job keeps the spliced text as its template.
        EXPECT_EQ(job.argumentText(), "a" + fragment + "b" + fragment);
        // Split, the fragment gives the encoder one -vhook argument with its trailing blank.
        const std::vector<std::string> argv = splitCommandLine(fragment);
        EXPECT_EQ(argv,
                  (std::vector<std::string>{"-vhook", "velmora.dll -N comment.ini -D data.ini "}));
    }
}

TEST_F(EncodingStagesTest, TheEncoderRunPostsProgressFromItsStatusLinesAndWritesTheMovie) {
    writeEncoder(
        "printf 'Lumivox FFmpeg\\n'\n"
        "printf 'frame=   12 fps=0.0 q=2.0 size=  1kB\\r'; sleep 0.3\n"
        "printf 'FRAME=  300 FPS=50 q=2.0\\r'; sleep 0.3\n"
        "printf 'frame=  600 fps=50 q=2.0 Lsize=  9kB\\n'\n" +
        std::string(kWriteMovie));
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    job.setTotalFrames(600);
    const std::string movie = (save.path() / "sm9.avi").string();

    job.RunEncoder("-y -i " + quoteArgument(video) + " " + quoteArgument(movie));

    EXPECT_EQ(progressValues(), (std::vector<int>{2, 50, 100}));
    EXPECT_EQ(job.recorded().moviePath, movie);
    EXPECT_TRUE(job.recorded().reason.empty()) << job.recorded().reason;
    EXPECT_EQ(readFile(movie), "movie");
    ASSERT_TRUE(job.recorded().timings.encoder.has_value());
    // The arguments were split by the command-line rules; the run started in the work folder.
    EXPECT_EQ(calls(), (std::vector<std::string>{"-y|-i|" + video + "|" + movie}));
    EXPECT_EQ(readFile(program.path() / "cwd"), work.path().string() + "\n");
}

TEST_F(EncodingStagesTest, WithoutAFrameTotalNoProgressIsPosted) {
    writeEncoder("printf 'frame=   12 fps=0.0\\r'\n" + std::string(kWriteMovie));
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    job.RunEncoder("-i in " + quoteArgument((save.path() / "sm9.avi").string()));
    EXPECT_TRUE(progressValues().empty());
    EXPECT_FALSE(job.recorded().moviePath.empty());
}

// Stops the encoder from another thread while RunEncoder waits for it; the stand-in would run
// for a minute. Returns how long RunEncoder took.
std::chrono::duration<double> stopDuringRun(EncodingJob& job, const std::string& arguments) {
    const auto started = std::chrono::steady_clock::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        job.cancel();
    });
    job.RunEncoder(arguments);
    const auto took = std::chrono::steady_clock::now() - started;
    stopper.join();
    return took;
}

TEST_F(EncodingStagesTest, StopTerminatesASilentEncoderAndReapsIt) {
    writeEncoder("sleep 60\n");
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    const auto took =
        stopDuringRun(job, "-i x " + quoteArgument((save.path() / "sm9.avi").string()));

    // Far below the stand-in's minute: the stop did not wait for output that never came.
    EXPECT_LT(took.count(), 10.0);
    // Reaped: a zombie would still answer signal 0.
    const pid_t pid = std::stoi(readFile(program.path() / "pid"));
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(job.recorded().moviePath.empty());
    EXPECT_TRUE(job.recorded().reason.empty()) << "a stop is not a failure";
}

TEST_F(EncodingStagesTest, StopTerminatesAChattyEncoder) {
    writeEncoder("while :; do printf 'frame=   12 fps=1\\r'; sleep 0.05; done\n");
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    job.setTotalFrames(100);
    const auto took = stopDuringRun(job, "-i x y");
    EXPECT_LT(took.count(), 10.0);
    EXPECT_FALSE(progressValues().empty());
    const pid_t pid = std::stoi(readFile(program.path() / "pid"));
    EXPECT_EQ(::kill(pid, 0), -1);
}

TEST_F(EncodingStagesTest, AFailingEncoderGivesItsExitStatusAndLastMessage) {
    writeEncoder(
        "printf 'Lumivox FFmpeg 0.6\\n'\n"
        "printf \"Unknown encoder 'libfaac'\\n\"\n"
        "exit 3\n");
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    job.RunEncoder("-i x " + quoteArgument((save.path() / "sm9.mp4").string()));
    EXPECT_EQ(job.recorded().reason,
              "the encoder failed with exit status 3: Unknown encoder 'libfaac'");
    EXPECT_TRUE(job.recorded().moviePath.empty());
}

TEST_F(EncodingStagesTest, ALongEncoderMessageIsCutBetweenCharacters) {
    // "x" and 150 "あ" (451 bytes) on one line, then a status line, which does not count as a
    // message. The 300-byte limit falls inside the 100th "あ".
    writeEncoder(
        "printf x; i=0; while [ $i -lt 150 ]; do printf 'あ'; i=$((i+1)); done\n"
        "printf '\\nframe=   3 fps=1\\r'\n"
        "exit 1\n");
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    job.RunEncoder("-i x y");
    const std::string prefix = "the encoder failed with exit status 1: ";
    const std::string& reason = job.recorded().reason;
    ASSERT_EQ(reason.rfind(prefix, 0), 0u) << reason;
    std::string expected = "x";
    for (int i = 0; i < 99; ++i) {
        expected += "あ";
    }
    EXPECT_EQ(reason.substr(prefix.size()), expected);
}

TEST_F(EncodingStagesTest, AnEncoderThatExitsWellWithoutTheMovieHasFailed) {
    writeEncoder("exit 0\n");
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    const std::string movie = (save.path() / "sm9.avi").string();
    job.RunEncoder("-i x " + quoteArgument(movie));
    EXPECT_EQ(job.recorded().reason, "the encoder ended without writing the movie: " + movie);
}

TEST_F(EncodingStagesTest, AMissingEncoderCannotBeStarted) {
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    job.RunEncoder("-i x y");
    EXPECT_EQ(job.recorded().reason.rfind("the encoder could not be started: ", 0), 0u)
        << job.recorded().reason;
}

TEST_F(EncodingStagesTest, TheMovieMayNotOverwriteItsVideo) {
    writeEncoder(kWriteMovie);
    EncodingJob job(makeRequest(""), sink, video, "sm9");
    job.RunEncoder("-y -i " + quoteArgument(video) + " " + quoteArgument(video));
    EXPECT_EQ(job.recorded().reason.rfind("the movie would overwrite the video", 0), 0u);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(readFile(video), "flv bytes");
}

// Whole jobs on the worker thread.

const std::string kAviTemplate =
    " -y -i \"<%InputFile%>\" <%Lumivox%> -vcodec msmpeg4 -acodec libmp3lame "
    "\"<%TemporaryFile%>.avi\"";
const std::string kNoCommentTemplate =
    " -y -i \"<%InputFile%>\" -vcodec msmpeg4 -acodec libmp3lame \"<%TemporaryFile%>.avi\"";

TEST_F(EncodingStagesTest, AWholeJobLaysOutWritesTheOverlayFilesAndEncodes) {
    writeEncoder(kWriteMovie);
    ChatList comments = {comment(u"うえ", 100, "red ue"), comment(u"流れる", 150),
                         comment(u"NG", 160)};
    comments[2].userId = "ng-user";
    JobRequest request = makeRequest(kAviTemplate);
    request.ngList = {"ng-user"};
    std::unique_ptr<CNicoThread> job =
        std::make_unique<EncodingJob>(request, sink, video, "sm9", comments);
    ASSERT_TRUE(job->start());
    ASSERT_TRUE(sink.waitForDone(1));
    const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);

    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->result, JobResult::Succeeded) << outcome->reason;
    const std::string movie = (save.path() / "sm9.avi").string();
    EXPECT_EQ(outcome->moviePath, movie);
    for (const auto& t : {outcome->timings.probe, outcome->timings.layout,
                          outcome->timings.overlayFiles, outcome->timings.encoder}) {
        EXPECT_TRUE(t.has_value());
    }
    // The encoder got the spliced arguments.
    ASSERT_EQ(calls().size(), 2u);
    EXPECT_EQ(calls()[1], "-y|-i|" + video + "|-vhook|velmora.dll -N comment.ini -D data.ini |" +
                              "-vcodec|msmpeg4|-acodec|libmp3lame|" + movie);
    // comment.ini: the header with the automatic size and the probed width, then the two
    // comments that passed the filter, laid out (the red top comment centred, from frame 29).
    const std::vector<std::string> ini = readLines(work.path() / "comment.ini");
    ASSERT_EQ(ini.size(), 5u + 2 * 10);
    EXPECT_EQ(ini[4], "320\r");
    EXPECT_NE(ini[2], "0\r") << "the automatic size is stored back";
    EXPECT_EQ(ini[5], "red ue\r");
    EXPECT_EQ(ini[6], "1\r");
    EXPECT_EQ(ini[8], "29\r");
    EXPECT_EQ(ini[10], "FF 00 00\r");
    EXPECT_EQ(readFile(work.path() / "data.ini"),
              "うえ" + std::string(1, '\0') + "流れる" + std::string(1, '\0'));
    // Messages: encoding begins, then done.
    const std::vector<std::string> kinds = sink.kindsOf(1);
    ASSERT_FALSE(kinds.empty());
    EXPECT_EQ(kinds.front(), "encoding");
    EXPECT_EQ(kinds.back(), "done");
}

TEST_F(EncodingStagesTest, OverlayFilesThatCannotBeWrittenEndTheJobBeforeTheEncoder) {
    writeEncoder(kWriteMovie);
    // A folder where comment.ini should go: the pair cannot be written.
    fs::create_directories(work.path() / "comment.ini");
    const JobOutcome outcome = runJob(kAviTemplate, {comment(u"うえ", 100, "ue")});

    EXPECT_EQ(outcome.result, JobResult::Failed);
    EXPECT_EQ(outcome.reason, "comment.ini and data.ini could not be written");
    EXPECT_TRUE(outcome.moviePath.empty());
    // Only the probe ran; the encoder did not.
    EXPECT_EQ(calls(), (std::vector<std::string>{"-in|" + video}));
    EXPECT_FALSE(fs::exists(save.path() / "sm9.avi"));
    EXPECT_FALSE(fs::exists(work.path() / "data.ini"));
}

TEST_F(EncodingStagesTest, ATemplateWithoutCommentsStillEncodesWhenTheOverlayFilesFail) {
    writeEncoder(kWriteMovie);
    fs::create_directories(work.path() / "comment.ini");
    const JobOutcome outcome = runJob(kNoCommentTemplate);
    EXPECT_EQ(outcome.result, JobResult::Succeeded) << outcome.reason;
    EXPECT_EQ(calls().size(), 2u);
}

TEST_F(EncodingStagesTest, AFailedProbeStillEncodesButIsNoSuccessWhenCommentsWereWanted) {
    writeEncoder("if [ \"$1\" = \"-in\" ]; then echo 'no video here'; exit 1; fi\n" +
                     std::string(kWriteMovie),
                 /*probe=*/false);
    const JobOutcome withComments = runJob(kAviTemplate);
    EXPECT_EQ(withComments.result, JobResult::Failed);
    EXPECT_EQ(withComments.reason,
              "the video could not be probed, so its comments could not be laid out");
    // The movie was still made, without its comments, and the job says where it is.
    EXPECT_EQ(withComments.moviePath, (save.path() / "sm9.avi").string());
    EXPECT_EQ(calls().size(), 2u);
    // comment.ini carries width 0 then.
    EXPECT_EQ(readLines(work.path() / "comment.ini").at(4), "0\r");

    const JobOutcome withoutComments = runJob(kNoCommentTemplate);
    EXPECT_EQ(withoutComments.result, JobResult::Succeeded) << withoutComments.reason;
}

TEST_F(EncodingStagesTest, TheNoEncodeFormatSucceedsWithTheVideoItself) {
    writeEncoder(kWriteMovie);
    const JobOutcome outcome = runJob(" <%NOENCODE%>");
    EXPECT_EQ(outcome.result, JobResult::Succeeded);
    EXPECT_EQ(outcome.moviePath, video);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(sink.kindsOf(1), (std::vector<std::string>{"done"}));
}

TEST_F(EncodingStagesTest, StoppingAWholeJobDuringTheEncoderGivesStopped) {
    writeEncoder("while :; do printf 'frame=   12 fps=1\\r'; sleep 0.05; done\n");
    std::unique_ptr<CNicoThread> job = makeJob(kAviTemplate);
    ASSERT_TRUE(job->start());
    // Wait until the encoder runs (its second call after the probe).
    for (int i = 0; i < 600 && calls().size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(calls().size(), 2u);
    const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->result, JobResult::Stopped);
    EXPECT_TRUE(outcome->reason.empty());
    const pid_t pid = std::stoi(readFile(program.path() / "pid"));
    EXPECT_EQ(::kill(pid, 0), -1);
}

TEST_F(EncodingStagesTest, AJobThatEndsEarlySaysWhy) {
    // The base job, its service on a loopback port nobody serves: the login fails.
    RecordingSink quiet;
    JobRequest request = makeRequest(kAviTemplate);
    request.endpoints.loginBase = "https://127.0.0.1:1";
    request.endpoints.webBase = "http://127.0.0.1:1";
    std::unique_ptr<CNicoThread> job = std::make_unique<CNicoThread>(request, quiet, 5);
    ASSERT_TRUE(job->start());
    ASSERT_TRUE(quiet.waitForDone(5));
    const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->result, JobResult::Failed);
    EXPECT_EQ(outcome->reason.rfind("the login failed: ", 0), 0u) << outcome->reason;
}

}  // namespace
