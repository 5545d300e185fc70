// The encoding stages with their real bodies: placeholders, the probe and the layout, the filter
// splice, and the encoder run through a real child process (a shell script standing in for the
// FFmpeg program in a program folder of its own), up to the job's outcome.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "job/nico_thread.h"
#include "job_test_support.h"
#include "platform/command_line.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

Lines readLines(const fs::path& path) {
    Lines lines;
    std::istringstream in(readBytes(path));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The probe block the stand-in prints for -in: `movieSeconds`.02 s of 320 x 240 at 29.97 fps for
// the movie under its hidden name, 4.02 s (120 frames) for the video.
std::string probeAnswers(int movieSeconds) {
    return "if [ \"$1\" = \"-in\" ]; then\n"
           "  case \"$2\" in */.sm9.encoding-*) s=" +
           std::to_string(movieSeconds) +
           " ;; *) s=4 ;; esac\n"
           "  printf 'niconico++\\r\\n%s\\n2\\n320\\n240\\n30000\\n1001\\nniconico_end\\r\\n' $s; "
           "exit 0\n"
           "fi\n";
}

const std::string kProbeAnswer = probeAnswers(4);
// Writes the last argument (the movie) so that a run counts as having written it.
const std::string kWriteMovie = "for last in \"$@\"; do :; done\nprintf 'movie' > \"$last\"\n";
const std::string kChatty = "while :; do printf 'frame=   12 fps=1\\r'; sleep 0.05; done\n";
const std::string kAviTemplate =
    " -y -i \"<%InputFile%>\" <%Lumivox%> -vcodec msmpeg4 -acodec libmp3lame "
    "\"<%TemporaryFile%>.avi\"";
const std::string kNoCommentTemplate =
    " -y -i \"<%InputFile%>\" -vcodec msmpeg4 -acodec libmp3lame \"<%TemporaryFile%>.avi\"";

// A job whose service stages hand over a local video, and whose encoding stages are the real
// ones, callable one by one from the test's thread or run as a whole job on the worker.
class EncodingJob : public CNicoThread {
public:
    EncodingJob(JobRequest request, JobSink& sink, const std::string& video, ChatList comments,
                uint64_t serial)
        : CNicoThread(std::move(request), sink, serial), comments(std::move(comments)) {
        videoFile = video;
        videoId = "sm9";
    }

    using CNicoThread::PrepareEncoding;
    using CNicoThread::RunEncoder;
    using CNicoThread::SpliceFilterArguments;
    using CNicoThread::temporaryFile;

    void setVideo(const std::string& file, const std::string& id) {
        videoFile = file;
        videoId = id;
    }
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
    void readComments() override { chats = comments; }
    bool visitVideoPage(const std::string&, const std::string&) override { return true; }
    bool downloadVideo(const std::string&, const std::string&) override { return true; }

private:
    ChatList comments;
};

ChatRecord comment(std::u16string text, int32_t vpos, std::string mail = {},
                   std::string userId = {}) {
    ChatRecord record;
    record.text = std::move(text);
    record.vpos = vpos;
    record.vposSec = vpos / 100;
    record.mail = std::move(mail);
    record.userId = std::move(userId);
    record.date = 1700000000;
    return record;
}

class EncodingStagesTest : public ::testing::Test {
protected:
    void SetUp() override { writeBytes(video, "flv bytes"); }

    // The stand-in logs every call (its arguments joined by '|'), its pid and its folder,
    // answers -in with kProbeAnswer unless `probe` is false, then runs `body`.
    void writeEncoder(const std::string& body, bool probe = true) {
        writeStandInEncoder(program.path(),
                            "dir=$(dirname \"$0\")\necho $$ > \"$dir/pid\"\n"
                            "(IFS='|'; printf '%s\\n' \"$*\") >> \"$dir/calls.log\"\n"
                            "pwd > \"$dir/cwd\"\n" +
                                std::string(probe ? kProbeAnswer : "") + body);
    }
    Lines calls() const { return readLines(program / "calls.log"); }
    // The last encoder run has ended and been reaped: a zombie would still answer signal 0.
    bool encoderReaped() const {
        return ::kill(std::stoi(readBytes(program / "pid")), 0) == -1 && errno == ESRCH;
    }

    JobRequest makeRequest(const std::string& formatTemplate) const {
        JobRequest request;
        request.saveFolder = save.path().string();
        request.workFolder = work.path().string() + "/";
        request.programFolder = program.path().string();
        request.formatTemplate = formatTemplate;
        request.periodStart = 0;
        request.periodEnd = 2000000000;
        return request;
    }
    std::unique_ptr<EncodingJob> makeJob(const std::string& formatTemplate, ChatList comments = {},
                                         JobRequest request = {}) {
        if (request.programFolder.empty()) {
            request = makeRequest(formatTemplate);
        }
        return std::make_unique<EncodingJob>(request, sink, video, std::move(comments),
                                             ++lastSerial);
    }
    JobOutcome runJob(const std::string& formatTemplate, ChatList comments = {}) {
        return runToEnd(makeJob(formatTemplate, std::move(comments)), sink);
    }

    TestTempFolder work, save, program;
    RecordingSink sink;
    const std::string video = (save / "sm9.flv").string();
    const std::string movie = (save / "sm9.avi").string();
    uint64_t lastSerial = 0;
};

TEST_F(EncodingStagesTest, TheVideoIsProbedFromTheWorkFolderAndLaidOut) {
    writeEncoder("exit 0\n");
    auto job = makeJob(kAviTemplate);
    job->PrepareEncoding();
    // The probe ran the program folder's encoder, from the work folder: 402 cs at 29.97 fps.
    EXPECT_EQ(calls(), Lines{"-in|" + video});
    EXPECT_EQ(readBytes(program / "cwd"), work.path().string() + "\n");
    EXPECT_EQ(job->totalFrames(), 120);
    EXPECT_EQ(job->width(), 320);
    EXPECT_TRUE(job->recorded().timings.probe && job->recorded().timings.layout);
    EXPECT_EQ(job->recorded().reason, "");

    // An empty template is not prepared at all: no probe.
    fs::remove(program / "calls.log");
    auto empty = makeJob("");
    empty->PrepareEncoding();
    EXPECT_EQ(empty->argumentText(), "");
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(empty->totalFrames(), 0);
    EXPECT_FALSE(empty->recorded().timings.probe.has_value());
}

TEST_F(EncodingStagesTest, PlaceholdersAreFilledInOnePassAndEscapedOnlyBeforeAClosingQuote) {
    writeEncoder("exit 0\n");
    // {save folder below `save`, video ID}: markers in a path, a backslash at the end of the ID,
    // quotes and a blank that the escaping must carry through the split.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<%Lumivox%> <%TemporaryFile%>", "sm9"}, {"plain", "sm9\\"}, {"a \"b\"\\", "sm9"}};
    for (const auto& [folderName, id] : cases) {
        SCOPED_TRACE(folderName + "/" + id);
        const fs::path folder = save / folderName;
        fs::create_directories(folder);
        JobRequest request = makeRequest(
            " -i \"<%InputFile%>\" <%Lumivox%> \"<%TemporaryFile%>.avi\" -pass "
            "\"<%TemporaryFile%>\"");
        request.saveFolder = folder.string();
        auto job = makeJob("", {}, request);
        job->setVideo((folder / "<%InputFile%>.flv").string(), id);
        job->PrepareEncoding();
        const Lines arguments = splitCommandLine(job->SpliceFilterArguments());
        ASSERT_EQ(arguments.size(), 7u);
        EXPECT_EQ(arguments[1], (folder / "<%InputFile%>.flv").string());
        EXPECT_EQ(arguments[3], "velmora.dll -N comment.ini -D data.ini ");
        EXPECT_EQ(fs::path(arguments[4]).parent_path(), folder);
        EXPECT_EQ(arguments[4], arguments[6] + ".avi") << "the same path, the extension after it";
        // The movie is written under a hidden name of this process and job in the save folder.
        EXPECT_EQ(fs::path(arguments[6]).filename().string(), "." + id + ".encoding-" +
                                                                  std::to_string(::getpid()) + "-" +
                                                                  std::to_string(job->jobSerial()));
    }
}

TEST_F(EncodingStagesTest, TheSpliceReplacesEveryFilterMarkerAndNothingElse) {
    const std::string plain = " -y -i \"in.flv\" -vcodec wmv2 \"out.wmv\"";
    EXPECT_EQ(makeJob(plain)->SpliceFilterArguments(), plain);

    auto job = makeJob("a<%Lumivox%>b<%Lumivox%>");
    const std::string fragment = " -vhook \"velmora.dll -N comment.ini -D data.ini \"";
    EXPECT_EQ(job->SpliceFilterArguments(), "a" + fragment + "b" + fragment);
    EXPECT_EQ(job->argumentText(), "a" + fragment + "b" + fragment) << "kept as the template";
}

TEST_F(EncodingStagesTest, TheEncoderRunPostsProgressFromItsStatusLinesAndWritesTheMovie) {
    writeEncoder(
        "printf 'Lumivox FFmpeg\\n'\n"
        "printf 'frame=   12 fps=0.0 q=2.0 size=  1kB\\r'; sleep 0.3\n"
        "printf 'FRAME=  300 FPS=50 q=2.0\\r'; sleep 0.3\n"
        "printf 'frame=  600 fps=50 q=2.0 Lsize=  9kB\\n'\n" +
        kWriteMovie);
    auto job = makeJob("");
    job->setTotalFrames(600);
    job->RunEncoder("-y -i " + quoteArgument(video) + " " + quoteArgument(movie));

    EXPECT_EQ(sink.of(job->jobSerial()), (Lines{"progress 2", "progress 50", "progress 100"}));
    EXPECT_EQ(job->recorded().moviePath, movie);
    EXPECT_EQ(job->recorded().reason, "");
    EXPECT_EQ(readBytes(movie), "movie");
    EXPECT_TRUE(job->recorded().timings.encoder.has_value());
    // Split by the command-line rules, started in the work folder.
    EXPECT_EQ(calls(), Lines{"-y|-i|" + video + "|" + movie});
    EXPECT_EQ(readBytes(program / "cwd"), work.path().string() + "\n");
}

// (A chatty encoder stopped in a whole job: below.)
TEST_F(EncodingStagesTest, StopTerminatesASilentEncoderAndReapsIt) {
    writeEncoder("sleep 60\n");
    auto job = makeJob("");
    job->setTotalFrames(100);
    const auto started = std::chrono::steady_clock::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        job->cancel();
    });
    job->RunEncoder("-i x " + quoteArgument(movie));
    stopper.join();
    // Far below the stand-in's minute: a stop does not wait for output that never comes.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(encoderReaped());
    EXPECT_TRUE(sink.of(job->jobSerial()).empty());
    EXPECT_EQ(job->recorded().moviePath, "");
    EXPECT_EQ(job->recorded().reason, "") << "a stop is not a failure";
}

TEST_F(EncodingStagesTest, AnEncoderRunThatFailsSaysWhy) {
    const std::string failed = "the encoder failed with exit status ";
    std::string cut = failed + "1: x";  // the 300-byte limit falls inside the 100th "あ"
    for (int i = 0; i < 99; ++i) {
        cut += "あ";
    }
    // {stand-in body ("" for none), arguments, reason or its start, the encoder was started}
    const std::vector<std::tuple<std::string, std::string, std::string, bool>> cases = {
        {"printf 'Lumivox FFmpeg 0.6\\n'\nprintf \"Unknown encoder 'libfaac'\\n\"\nexit 3\n",
         "-i x y", failed + "3: Unknown encoder 'libfaac'", true},
        // A status line after the message does not count as one.
        {"printf x; i=0; while [ $i -lt 150 ]; do printf 'あ'; i=$((i+1)); done\n"
         "printf '\\nframe=   3 fps=1\\r'\nexit 1\n",
         "-i x y", cut, true},
        {"exit 0\n", "-i x @movie", "the encoder ended without writing the movie: " + movie, true},
        {"", "-i x y", "the encoder could not be started: ", false},
        {kWriteMovie, "-y -i " + quoteArgument(video) + " " + quoteArgument(video),
         "the movie would overwrite the video", false}};
    for (const auto& [body, arguments, reason, started] : cases) {
        SCOPED_TRACE(reason);
        fs::remove(program / "FFmpeg");
        fs::remove(program / "calls.log");
        if (!body.empty()) {
            writeEncoder(body);
        }
        auto job = makeJob("");
        std::string filled = arguments;
        if (const size_t at = filled.find("@movie"); at != std::string::npos) {
            filled.replace(at, 6, quoteArgument(job->temporaryFile() + ".avi"));
        }
        job->RunEncoder(filled);
        const std::string& got = job->recorded().reason;
        EXPECT_EQ(started ? got : got.substr(0, reason.size()), reason);
        EXPECT_EQ(job->recorded().moviePath, "");
        EXPECT_EQ(calls().size(), started ? 1u : 0u);
        EXPECT_EQ(readBytes(video), "flv bytes");
    }
}

// Whole jobs on the worker thread.

TEST_F(EncodingStagesTest, AWholeJobLaysOutWritesTheOverlayFilesAndEncodes) {
    writeEncoder(kWriteMovie);
    JobRequest request = makeRequest(kAviTemplate);
    request.ngList = {"ng-user"};
    const JobOutcome outcome =
        runToEnd(makeJob("",
                         {comment(u"うえ", 100, "red ue"), comment(u"流れる", 150),
                          comment(u"NG", 160, "", "ng-user")},
                         request),
                 sink);

    EXPECT_EQ(outcome.result, JobResult::Succeeded) << outcome.reason;
    EXPECT_EQ(outcome.moviePath, movie);
    const StageTimings& t = outcome.timings;
    EXPECT_TRUE(t.probe && t.layout && t.overlayFiles && t.encoder);
    // The probe, the encoder writing under the hidden name, the probe of what it wrote.
    const std::string written = (save / ".sm9.encoding-").string() + std::to_string(::getpid()) +
                                "-" + std::to_string(lastSerial) + ".avi";
    EXPECT_EQ(calls(), (Lines{"-in|" + video,
                              "-y|-i|" + video +
                                  "|-vhook|velmora.dll -N comment.ini -D data.ini |"
                                  "-vcodec|msmpeg4|-acodec|libmp3lame|" +
                                  written,
                              "-in|" + written}));
    // comment.ini: the header with the automatic size stored back and the probed width, then
    // the two comments that passed the filter (the red top comment centred, from frame 29).
    const Lines ini = readLines(work / "comment.ini");
    ASSERT_EQ(ini.size(), 5u + 2 * 10);
    EXPECT_NE(ini[2], "0\r");
    EXPECT_EQ((Lines{ini[4], ini[5], ini[6], ini[8], ini[10]}),
              (Lines{"320\r", "red ue\r", "1\r", "29\r", "FF 00 00\r"}));
    EXPECT_EQ(readBytes(work / "data.ini"), std::string("うえ\0流れる\0", 17));
    EXPECT_EQ(sink.of(1), (Lines{"encoding", "done"}));
}

TEST_F(EncodingStagesTest, OverlayFilesThatCannotBeWrittenStopOnlyATemplateThatDrawsComments) {
    writeEncoder(kWriteMovie);
    fs::create_directories(work / "comment.ini");  // where the file should go
    const JobOutcome outcome = runJob(kAviTemplate, {comment(u"うえ", 100, "ue")});
    EXPECT_EQ(outcome.result, JobResult::Failed);
    EXPECT_EQ(outcome.reason, "comment.ini and data.ini could not be written");
    EXPECT_EQ(calls(), Lines{"-in|" + video}) << "the probe only, no encoder";
    EXPECT_FALSE(fs::exists(movie));
    EXPECT_FALSE(fs::exists(work / "data.ini"));

    const JobOutcome plain = runJob(kNoCommentTemplate);
    EXPECT_EQ(plain.result, JobResult::Succeeded) << plain.reason;
    EXPECT_EQ(calls().size(), 4u) << "the video's probe, the encoder, the movie's probe";
}

TEST_F(EncodingStagesTest, AFailedProbeStillEncodesButIsNoSuccessWhenCommentsWereWanted) {
    writeEncoder("if [ \"$1\" = \"-in\" ]; then echo 'no video here'; exit 1; fi\n" + kWriteMovie,
                 /*probe=*/false);
    const JobOutcome withComments = runJob(kAviTemplate);
    EXPECT_EQ(withComments.result, JobResult::Failed);
    EXPECT_EQ(withComments.reason, video + " is not a video the encoder can read");
    EXPECT_EQ(withComments.moviePath, movie) << "made without its comments";
    EXPECT_EQ(readLines(work / "comment.ini").at(4), "0\r") << "width 0";

    const JobOutcome withoutComments = runJob(kNoCommentTemplate);
    EXPECT_EQ(withoutComments.result, JobResult::Succeeded) << withoutComments.reason;
}

// Everything in the save folder but the video: the movie and anything left beside it.
Lines savedFiles(const fs::path& folder, const std::string& video) {
    Lines names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path() != video) {
            names.push_back(entry.path().filename().string() + "=" + readBytes(entry.path()));
        }
    }
    return names;
}

TEST_F(EncodingStagesTest, OnlyAWholeFinishedMovieReplacesTheOneOfTheSameName) {
    const std::string partial = "for last in \"$@\"; do :; done\nprintf 'part' > \"$last\"\n";
    const std::string frames = "printf 'frame=  120 fps=30 q=2.0 Lsize= 9kB\\n'\n";
    // {the probe and the stand-in's run, result, reason}
    const std::vector<std::tuple<std::string, JobResult, std::string>> cases = {
        {probeAnswers(4) + frames + kWriteMovie, JobResult::Succeeded, ""},
        {probeAnswers(4) + partial + "printf 'No space left on device\\n'\nexit 1\n",
         JobResult::Failed, "the encoder failed with exit status 1: No space left on device"},
        {probeAnswers(4) + partial + "kill -KILL $$\n", JobResult::Failed,
         "the encoder was ended by signal 9"},
        // The input ended early: a movie a second and more short of the video is no success.
        {probeAnswers(2) + kWriteMovie, JobResult::Failed,
         "incomplete movie: 2.02 s of the video's 4.02 s"},
        {probeAnswers(3) + kWriteMovie, JobResult::Succeeded, ""},
        {probeAnswers(4) + "printf 'frame=   89 fps=30 q=2.0 Lsize= 9kB\\n'\n" + kWriteMovie,
         JobResult::Failed, "incomplete movie: 89 frames of the 120 in the video's 4.02 s"},
        {probeAnswers(4) + "printf 'frame=   91 fps=30 q=2.0 Lsize= 9kB\\n'\n" + kWriteMovie,
         JobResult::Succeeded, ""},
        // A length asked for is no fault.
        {probeAnswers(1) + kWriteMovie + "#-t", JobResult::Succeeded, ""}};
    for (const auto& [body, result, reason] : cases) {
        SCOPED_TRACE(reason.empty() ? body : reason);
        writeEncoder(body, /*probe=*/false);
        writeBytes(movie, "earlier movie");
        const bool limited = body.ends_with("#-t");
        const JobOutcome outcome = runJob(
            limited ? " -y -i \"<%InputFile%>\" -t 1 \"<%TemporaryFile%>.avi\"" : kAviTemplate);
        EXPECT_EQ(outcome.result, result);
        EXPECT_EQ(outcome.reason, reason);
        const bool made = result == JobResult::Succeeded;
        EXPECT_EQ(outcome.moviePath, made ? movie : "");
        EXPECT_EQ(savedFiles(save.path(), video),
                  Lines{std::string("sm9.avi=") + (made ? "movie" : "earlier movie")});
    }
}

TEST_F(EncodingStagesTest, StoppingAWholeJobDuringTheEncoderGivesStopped) {
    writeEncoder(std::string("for last in \"$@\"; do :; done\nprintf 'part' > \"$last\"\n") +
                 kChatty);
    writeBytes(movie, "earlier movie");
    std::unique_ptr<CNicoThread> job = makeJob(kAviTemplate);
    ASSERT_TRUE(job->start());
    // The probe, then the encoder (a hang guard of 30 s, not a speed check).
    for (int i = 0; i < 1500 && calls().size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(calls().size(), 2u);
    const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->result, JobResult::Stopped);
    EXPECT_EQ(outcome->reason, "");
    EXPECT_TRUE(encoderReaped());
    EXPECT_EQ(savedFiles(save.path(), video), Lines{"sm9.avi=earlier movie"});
}

}  // namespace
