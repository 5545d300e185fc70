// lumivox-demo-service: plays the video service on 127.0.0.1 for the demo and the tests, with
// the old protocol (the default) or today's (--protocol today).
// Prints its READY line on standard output once every host serves (the old protocol:
// "READY login=URL web=URL ca=FILE"; today's: "READY account=URL www=URL nvapi=URL comment=URL
// delivery=URL asset=URL ca=FILE session=VALUE sample=DIR"), then runs until SIGTERM or SIGINT,
// or until --lifetime seconds have passed, and prints its request counts on standard error when
// it ends.

#include <signal.h>
#include <stdlib.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "comment_threads.h"
#include "demo_options.h"
#include "demo_service.h"
#include "hls_sample_maker.h"
#include "self_signed_certificate.h"
#include "service/form_coding.h"
#include "today_service.h"

namespace fs = std::filesystem;

namespace {

bool readFile(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Stand-in bytes for a stream when no video file is given: 256 KiB that are not a video.
std::string generatedStream() {
    std::string bytes = "FLV\x01\x05";
    std::mt19937 random(20070306);
    while (bytes.size() < 256 * 1024) {
        bytes += static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

std::string builtInThread(const std::string& threadId) {
    const std::string escaped = xmlEscape(threadId);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<packet>\n<thread resultcode=\"0\" "
           "thread=\"" +
           escaped + "\" last_res=\"2\" ticket=\"0x1\" revision=\"1\"/>\n<chat thread=\"" +
           escaped +
           "\" no=\"1\" vpos=\"100\" date=\"1173110000\" user_id=\"demo1\">デモのコメント</chat>\n"
           "<chat thread=\"" +
           escaped +
           "\" no=\"2\" vpos=\"300\" date=\"1173110060\" mail=\"red shita\" "
           "user_id=\"demo2\">赤い下のコメント</chat>\n</packet>\n";
}

// Waits for SIGTERM or SIGINT, or until `lifetimeSeconds` (0: no limit) have passed.
void waitForEnd(const sigset_t& signals, long lifetimeSeconds) {
    if (lifetimeSeconds == 0) {
        int received = 0;
        while (sigwait(&signals, &received) != 0) {
        }
        return;
    }
    timespec timeout{lifetimeSeconds, 0};
    while (sigtimedwait(&signals, nullptr, &timeout) < 0 && errno == EINTR) {
    }
}

// The old protocol's hosts, until the end. 0, or 1 when they could not start.
int runClassic(const DemoOptions& options, const SelfSignedCertificate& certificate,
               const std::string& certFile, const sigset_t& endSignals) {
    std::string video;
    if (options.videoFile.empty()) {
        video = generatedStream();
    } else if (!readFile(options.videoFile, video)) {
        std::fprintf(stderr, "lumivox-demo-service: cannot read %s\n", options.videoFile.c_str());
        return 2;
    }
    std::string comments;
    if (options.commentFile.empty()) {
        comments = builtInThread(options.threadId);
    } else if (!readFile(options.commentFile, comments)) {
        std::fprintf(stderr, "lumivox-demo-service: cannot read %s\n", options.commentFile.c_str());
        return 2;
    }
    std::string error;
    int status = 0;
    DemoService service(options, certificate, std::move(video), std::move(comments));
    if (!service.start(error)) {
        std::fprintf(stderr, "lumivox-demo-service: %s\n", error.c_str());
        status = 1;
    } else {
        std::printf("READY login=%s web=%s ca=%s\n", service.loginBase().c_str(),
                    service.webBase().c_str(), certFile.c_str());
        std::fflush(stdout);
        waitForEnd(endSignals, options.lifetimeSeconds);
    }
    service.stop();
    std::fputs(service.stats().report().c_str(), stderr);
    return status;
}

// Today's hosts, until the end: the HLS sample is made first (once per sample folder).
int runToday(const DemoOptions& options, const SelfSignedCertificate& certificate,
             const std::string& certFile, const sigset_t& endSignals) {
    std::string thread;
    if (options.commentFile.empty()) {
        thread = builtInThread(options.threadId);
    } else if (!readFile(options.commentFile, thread)) {
        std::fprintf(stderr, "lumivox-demo-service: cannot read %s\n", options.commentFile.c_str());
        return 2;
    }
    Result<CommentThreads> comments = CommentThreads::fromXml(thread, options.threadId);
    if (!comments) {
        std::fprintf(stderr, "lumivox-demo-service: %s: %s\n", options.commentFile.c_str(),
                     comments.error().c_str());
        return 2;
    }
    const std::string sampleFolder =
        options.sampleFolder.empty() ? LUMIVOX_DEMO_SAMPLE_DIR : options.sampleFolder;
    Result<HlsSample> sample =
        HlsSampleMaker(sampleFolder, options.videoFile, options.sampleCopy).prepare();
    if (!sample) {
        std::fprintf(stderr, "lumivox-demo-service: the HLS sample: %s\n", sample.error().c_str());
        return 1;
    }
    std::string error;
    int status = 0;
    TodayService service(options, certificate, std::move(*sample), std::move(*comments));
    if (!service.start(error)) {
        std::fprintf(stderr, "lumivox-demo-service: %s\n", error.c_str());
        status = 1;
    } else {
        std::printf("READY %s ca=%s session=%s sample=%s\n", service.hostList().c_str(),
                    certFile.c_str(), service.sessionCookie().c_str(),
                    service.sample().folder().c_str());
        std::fflush(stdout);
        waitForEnd(endSignals, options.lifetimeSeconds);
    }
    service.stop();
    std::fputs(service.stats().report().c_str(), stderr);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(demoUsage().c_str(), stdout);
            return 0;
        }
    }
    std::optional<DemoOptions> options = parseDemoOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "lumivox-demo-service: %s\n%s", error.c_str(), demoUsage().c_str());
        return 2;
    }

    // Signals are taken by sigwait on this thread alone: every thread made from here on
    // inherits the mask. A peer that closes its connection must not end the process.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::error_code fileError;
    fs::path certFolder = options->certFolder;
    bool ownCertFolder = false;
    if (certFolder.empty()) {
        std::string pattern = (fs::temp_directory_path() / "lumivox-demo-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "lumivox-demo-service: cannot make a temporary folder\n");
            return 1;
        }
        certFolder = pattern;
        ownCertFolder = true;
    }
    const std::string certFile = (certFolder / "demo-cert.pem").string();

    SelfSignedCertificate certificate;
    if (!certificate.make(error) || !certificate.writePem(certFile, error)) {
        std::fprintf(stderr, "lumivox-demo-service: %s\n", error.c_str());
        return 1;
    }

    const int status = options->protocol == DemoProtocol::Today
                           ? runToday(*options, certificate, certFile, endSignals)
                           : runClassic(*options, certificate, certFile, endSignals);
    if (ownCertFolder) {
        fs::remove_all(certFolder, fileError);
    } else {
        fs::remove(certFile, fileError);
    }
    return status;
}
