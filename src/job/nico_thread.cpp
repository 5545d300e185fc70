#include "job/nico_thread.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>

#include "job/format_presets.h"
#include "platform/heap_release.h"
#include "platform/log.h"

namespace {

// An argument template holding this text draws the comments through the frame filter.
constexpr std::string_view kFilterMarker = "<%Lumivox%>";

// An argument template holding this text reads the comments as an ASS script.
constexpr std::string_view kSubtitleFileMarker = "<%SubtitleFile%>";

bool readsSubtitleScript(const std::string& formatTemplate) {
    return formatTemplate.find(kSubtitleFileMarker) != std::string::npos;
}

bool drawsComments(const std::string& formatTemplate) {
    return formatTemplate.find(kFilterMarker) != std::string::npos;
}

}  // namespace

CNicoThread::CNicoThread(JobRequest request, JobSink& sink, uint64_t jobSerial)
    : request(std::move(request)), sink(sink), serial(jobSerial) {}

CNicoThread::~CNicoThread() {
    // The worker sets `finishedEvent` as its last act, but is still inside that call when a
    // waiter may already wake up; joining makes sure it has left before the events go.
    worker.join();
}

bool CNicoThread::start() {
    if (started) {
        return false;
    }
    const Status running = worker.start([this] { runThread(); });
    if (!running) {
        logError(LogComponent::Job, "the job could not be started: " + running.error());
    }
    started = running.ok();
    return started;
}

std::optional<JobOutcome> CNicoThread::StopAndDelete(std::unique_ptr<CNicoThread>& job) {
    if (!job || job->deleting) {
        return std::nullopt;
    }
    job->deleting = true;
    job->cancelEvent.set();
    std::optional<JobOutcome> outcome;
    if (job->started) {
        job->finishedEvent.wait();
        // The worker settled the outcome before it set the event.
        outcome = job->outcome;
    }
    job.reset();
    return outcome;
}

void CNicoThread::runThread() {
    logInfo(LogComponent::Job, "job " + std::to_string(serial) + " starts" +
                                   (request.pageUrl.empty() ? "" : ": " + request.pageUrl));
    InitInstance();
    ExitInstance();
    finishedEvent.set();
}

void CNicoThread::InitInstance() {
    try {
        runStages();
    } catch (const std::exception& e) {
        // A stage that throws ends the job like any other failure: quietly, with its "done".
        fail(std::string("unexpected error: ") + e.what());
    } catch (...) {
        fail("unexpected error");
    }
    ChatList().swap(chats);
    settleOutcome();
    sink.jobDone(serial);
}

void CNicoThread::runStages() {
    // The reasons below are defaults: a stage that said more with fail() keeps its own.
    loginToService();
    if (isCancelled()) {
        return;
    }
    if (cookie.empty()) {
        fail("the login to the service gave no cookie");
        return;
    }
    std::string streamUrl;
    if (!lookUpVideo(cookie, streamUrl)) {
        fail("the video lookup failed");
        return;
    }
    readComments();
    visitVideoPage(request.pageUrl, cookie);
    if (streamUrl.empty()) {
        fail("the service gave no address for the video stream");
        return;
    }
    if (!downloadVideo(streamUrl, cookie)) {
        fail("the video download received nothing");
        return;
    }
    if (isCancelled()) {
        return;
    }
    if (isNoEncodeTemplate(request.formatTemplate)) {
        producedFile(videoFile);
        return;
    }
    sink.encodingBegins(serial);
    // Asked of the template as chosen: once filled, a path may hold the marker's text.
    const bool withComments = drawsComments(request.formatTemplate);
    const bool subtitles = readsSubtitleScript(request.formatTemplate);
    if (!ensureFolder(movieFolder())) {
        return;
    }
    PrepareEncoding();
    // A stale or half-written pair must never reach the frame filter. A template that does not
    // draw comments does not read the files, so their failure does not keep it from its movie.
    if (!writeOverlayFiles() && withComments) {
        fail("comment.ini and data.ini could not be written");
        return;
    }
    if (subtitles && !writeSubtitleScript()) {
        fail("the comments could not be written as subtitles");
        return;
    }
    // From here on the comments live in the files the encoder reads: the job's copy (hundreds
    // of megabytes for a thread of hundreds of thousands) is not kept while the movie is made.
    ChatList().swap(chats);
    returnFreedHeapToSystem();
    const std::string arguments = SpliceFilterArguments();
    RunEncoder(arguments);
}

void CNicoThread::settleOutcome() {
    if (!outcome.moviePath.empty()) {
        // A movie without what an earlier stage failed to give it (its comments) is no success.
        outcome.result = hasFailed() ? JobResult::Failed : JobResult::Succeeded;
    } else if (isCancelled()) {
        outcome.result = JobResult::Stopped;
        outcome.reason.clear();
    } else {
        outcome.result = JobResult::Failed;
        if (outcome.reason.empty()) {
            outcome.reason = "the job ended before the movie was written";
        }
    }
}

void CNicoThread::ExitInstance() {
    std::vector<std::string>().swap(request.ngList);
    std::vector<std::string>().swap(request.extractList);
}

void CNicoThread::postProgress(int percent) {
    sink.jobProgress(serial, percent);
}

void CNicoThread::serviceError(const std::string& text) {
    logError(LogComponent::Service, text);
    sink.serviceError(serial, text);
}

void CNicoThread::notice(const std::string& text) {
    sink.jobNotice(serial, text);
}

void CNicoThread::postDownloadProgress(const DownloadProgress& progress) {
    sink.downloadProgress(serial, progress);
}

void CNicoThread::postEncodingProgress(int percent, std::optional<double> framesPerSecond) {
    EncodingProgress progress;
    progress.percent = percent;
    if (framesPerSecond && encodeTotalFrames > 0) {
        progress.framesPerSecond = *framesPerSecond;
        const int64_t done = encodeTotalFrames * std::clamp(percent, 0, 100) / 100;
        progress.secondsLeft = static_cast<double>(encodeTotalFrames - done) / *framesPerSecond;
    }
    sink.encodingProgress(serial, progress);
}

void CNicoThread::postStreamProgress(int64_t received, int64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (!streamStartedAt) {
        streamStartedAt = now;
    }
    DownloadProgress progress;
    progress.bytesDone = received;
    progress.bytesTotal = total;
    const double seconds = std::chrono::duration<double>(now - *streamStartedAt).count();
    if (seconds > 0.2 && received > 0) {
        progress.bytesPerSecond = static_cast<double>(received) / seconds;
        progress.secondsLeft =
            static_cast<double>(std::max<int64_t>(total - received, 0)) / progress.bytesPerSecond;
    }
    sink.downloadProgress(serial, progress);
}

bool CNicoThread::ensureFolder(const std::string& folder) {
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error)) {
        return true;
    }
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error)) {
        fail("the folder " + folder + " cannot be created" +
             (error ? ": " + error.message() : std::string()));
        return false;
    }
    return true;
}

std::string CNicoThread::movieFolder() const {
    return request.moviePath.empty()
               ? request.saveFolder
               : std::filesystem::path(request.moviePath).parent_path().string();
}

void CNicoThread::fail(const std::string& reason) {
    if (hasFailed() || reason.empty()) {
        return;
    }
    outcome.reason = reason;
    for (char& c : outcome.reason) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
}

std::string CNicoThread::workFile(const std::string& name) const {
    std::string path = request.workFolder;
    if (!path.empty() && path.back() != '/' &&
        path.back() != static_cast<char>(std::filesystem::path::preferred_separator)) {
        path += static_cast<char>(std::filesystem::path::preferred_separator);
    }
    return path + name;
}
