#include "job/nico_thread.h"

#include <filesystem>
#include <utility>

namespace {

// An argument template holding this text downloads the video only (the "無変換" format).
constexpr std::string_view kNoEncodeMarker = "<%NOENCODE%>";

bool isNoEncodeTemplate(const std::string& formatTemplate) {
    return formatTemplate.find(kNoEncodeMarker) != std::string::npos;
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
    started = worker.start([this] { runThread(); });
    return started;
}

void CNicoThread::StopAndDelete(std::unique_ptr<CNicoThread>& job) {
    if (!job || job->stopRequested == 1) {
        return;
    }
    job->stopRequested = 1;
    job->cancelEvent.set();
    if (job->started) {
        job->finishedEvent.wait();
    }
    job.reset();
}

void CNicoThread::runThread() {
    InitInstance();
    ExitInstance();
    finishedEvent.set();
}

void CNicoThread::InitInstance() {
    try {
        runStages();
    } catch (...) {
        // A stage that throws ends the job like any other failure: quietly, with its "done".
    }
    ChatList().swap(chats);
    sink.jobDone(serial);
}

void CNicoThread::runStages() {
    loginToService();
    if (isCancelled() || cookie.empty()) {
        return;
    }
    std::string streamUrl;
    if (!lookUpVideo(cookie, streamUrl)) {
        return;
    }
    readCommentXml();
    visitVideoPage(request.pageUrl, cookie);
    if (streamUrl.empty()) {
        return;
    }
    if (!downloadVideo(streamUrl, cookie)) {
        return;
    }
    if (isNoEncodeTemplate(request.formatTemplate) || isCancelled()) {
        return;
    }
    sink.encodingBegins(serial);
    PrepareEncoding();
    writeOverlayFiles();
    const std::string arguments = SpliceFilterArguments();
    RunEncoder(arguments);
}

void CNicoThread::ExitInstance() {
    std::vector<std::string>().swap(request.ngList);
    std::vector<std::string>().swap(request.extractList);
}

void CNicoThread::postProgress(int percent) {
    sink.jobProgress(serial, percent);
}

void CNicoThread::serviceError(const std::string& text) {
    sink.serviceError(serial, text);
}

std::string CNicoThread::workFile(const std::string& name) const {
    std::string path = request.workFolder;
    if (!path.empty() && path.back() != '/' &&
        path.back() != static_cast<char>(std::filesystem::path::preferred_separator)) {
        path += static_cast<char>(std::filesystem::path::preferred_separator);
    }
    return path + name;
}
