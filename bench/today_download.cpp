// Downloading a 10-minute 720p video of about 100 MB (separate video and audio renditions) from
// the demo service playing today's service on loopback, through the whole client: the session,
// the watch data, the access rights with the delivery cookie, the playlists and keys, and every
// segment fetched four at once, checked, decrypted (AES-128-CBC) and stored; each run starts
// from an empty segment folder.
//
// Run through bench/today_download.sh, which makes the clip and its HLS sample once; by hand:
//     <build>/bench/bench_today_download CLIP SAMPLE_DIR [RUNS]
// Prints per run and as a median: MB/s in wall-clock time, and the client process's user +
// system CPU seconds per 100 MB (the demo service runs in its own process).

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "service/cookie_store.h"
#include "service/hls_download.h"
#include "service/today_client.h"

namespace fs = std::filesystem;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The fields of the demo's READY line; empty when it did not get ready in time.
std::map<std::string, std::string> waitForReady(ChildProcess& demo) {
    std::string output;
    std::string chunk;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (std::chrono::steady_clock::now() < giveUp) {
        const ChildProcess::ReadResult result = demo.read(chunk, 200);
        if (result != ChildProcess::ReadResult::Data && result != ChildProcess::ReadResult::Idle) {
            break;
        }
        output += chunk;
        const size_t ready = output.find("READY ");
        if (ready != std::string::npos && output.find('\n', ready) != std::string::npos) {
            std::map<std::string, std::string> fields;
            std::istringstream words(output.substr(ready, output.find('\n', ready) - ready));
            for (std::string word; words >> word;) {
                const size_t equals = word.find('=');
                if (equals != std::string::npos) {
                    fields[word.substr(0, equals)] = word.substr(equals + 1);
                }
            }
            return fields;
        }
    }
    std::fprintf(stderr, "bench_today_download: the demo service did not start:\n%s\n",
                 output.c_str());
    return {};
}

int fail(const std::string& why) {
    std::fprintf(stderr, "bench_today_download: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return fail("usage: bench_today_download CLIP SAMPLE_DIR [RUNS]");
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    std::string pattern = (fs::temp_directory_path() / "lumivox-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return fail("cannot make a temporary folder");
    }
    const fs::path folder = pattern;
    ChildProcess demo;
    const std::string program = std::string(LUMIVOX_PROGRAM_DIR) + "/lumivox-demo-service";
    if (Status started = demo.start(program,
                                    {"--protocol", "today", "--lifetime", "900", "--video", argv[1],
                                     "--sample-copy", "--sample-dir", argv[2]},
                                    folder.string());
        !started) {
        return fail(started.error());
    }
    std::map<std::string, std::string> demoFields = waitForReady(demo);
    if (demoFields.empty()) {
        return 1;
    }

    CookieStore store{fs::path()};
    ServiceContext context;
    context.endpoints.protocol = ServiceProtocol::Today;
    context.endpoints.accountBase = demoFields["account"];
    context.endpoints.todayWebBase = demoFields["www"];
    context.endpoints.nvapiBase = demoFields["nvapi"];
    context.endpoints.caFile = demoFields["ca"];
    context.workFolder = folder.string();
    context.saveFolder = folder.string();
    context.cookieStore = &store;
    TodayClient client(context, store);
    if (Status session = client.useSession(demoFields["session"]); !session) {
        return fail(session.error());
    }
    Result<WatchAnswer> answer = client.fetchWatchData("sm9");
    if (!answer || !answer->data) {
        return fail("no watch data: " + (answer ? answer->refusal->line() : answer.error()));
    }
    const Result<QualityPair> pair = chooseQualities(*answer->data, "");
    const Result<AccessRights> rights = pair ? client.requestAccessRights(*answer->data, *pair)
                                             : Result<AccessRights>(pair.failure());
    if (!rights) {
        return fail("no access rights: " + rights.error());
    }
    std::printf("qualities: %s + %s\n", pair->videoId.c_str(), pair->audioId.c_str());

    std::vector<double> rates;
    std::vector<double> cpuPer100;
    for (int run = 0; run < runs; ++run) {
        // The playlists too, as a download does; the segment folder starts empty.
        const double cpuBefore = cpuSeconds();
        const auto started = std::chrono::steady_clock::now();
        Result<std::vector<HlsRendition>> renditions = client.fetchRenditions(rights->contentUrl);
        if (!renditions) {
            return fail("no playlists: " + renditions.error());
        }
        HlsDownload download(context, store, folder / "sm9.segments");
        SegmentProgress last;
        const Status fetched = download.fetchAll(std::move(*renditions), {},
                                                 [&](const SegmentProgress& p) { last = p; });
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double cpu = cpuSeconds() - cpuBefore;
        if (!fetched) {
            return fail("the download failed: " + fetched.error());
        }
        download.removeSegments();
        const double megabytes = static_cast<double>(last.bytesDone) / 1e6;
        rates.push_back(megabytes / seconds);
        cpuPer100.push_back(cpu / megabytes * 100);
        std::printf("run %d: %d segments, %.1f MB in %.3f s: %.0f MB/s, CPU %.3f s per 100 MB\n",
                    run + 1, last.segmentsDone, megabytes, seconds, rates.back(), cpuPer100.back());
    }
    std::sort(rates.begin(), rates.end());
    std::sort(cpuPer100.begin(), cpuPer100.end());
    std::printf("median: %.0f MB/s, CPU %.3f s per 100 MB\n", rates[rates.size() / 2],
                cpuPer100[cpuPer100.size() / 2]);
    demo.terminate();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
