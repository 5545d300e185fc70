// Downloading a 200 MB video stream from the demo service on loopback, through the whole client
// (cookie store, data headers, curl's write callback straight into the .part file, rename).
//
// The stream file is made in the temporary folder when the benchmark starts and removed at its
// end. Run:
//     <build>/bench/bench_service_download
// bytes_per_second is the throughput in wall-clock time; cpu_user_sys is the client process's
// user + system CPU seconds per download (the demo service runs in its own process).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "service/cookie_store.h"
#include "service/service_client.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kStreamBytes = 200LL * 1000 * 1000;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A temporary folder with the stream file, the demo service serving it, and a client logged in
// that has visited the watch page.
class DownloadSetup {
public:
    bool start(std::string& error) {
        std::string pattern = (fs::temp_directory_path() / "lumivox-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            error = "cannot make a temporary folder";
            return false;
        }
        folder_ = pattern;
        fs::create_directory(folder_ / "save");
        if (!writeStream(folder_ / "stream.flv")) {
            error = "cannot write the stream file";
            return false;
        }
        const std::string program = std::string(LUMIVOX_PROGRAM_DIR) + "/lumivox-demo-service";
        if (!demo_
                 .start(program,
                        {"--lifetime", "600", "--video", (folder_ / "stream.flv").string()},
                        folder_.string())
                 .ok() ||
            !readReady()) {
            error = "cannot start " + program;
            return false;
        }
        store_ = std::make_unique<CookieStore>(folder_ / "cookies.txt");
        ServiceClient client = makeClient();
        const Status login = client.loginToService("demo@example.com", "p&ss=w+rd%41", false);
        const Result<VideoLookup> lookup =
            login ? client.lookUpVideo(endpoints_.webBase + "/watch/sm9")
                  : Result<VideoLookup>(login.failure());
        if (!lookup || !client.visitVideoPage(endpoints_.webBase + "/watch/sm9")) {
            error = "cannot log in and look the video up";
            return false;
        }
        streamUrl_ = lookup->streamUrl;
        return true;
    }

    ~DownloadSetup() {
        demo_.terminate();
        std::error_code ignored;
        if (!folder_.empty()) {
            fs::remove_all(folder_, ignored);
        }
    }

    ServiceClient makeClient() {
        ServiceContext context;
        context.endpoints = endpoints_;
        context.workFolder = folder_.string() + "/";
        context.saveFolder = (folder_ / "save").string();
        context.cookieStore = store_.get();
        return ServiceClient(context, ServiceJobState{cookie_, videoId_, videoFile_, percent_});
    }

    bool download() {
        percent_ = -1;
        return makeClient().downloadVideo(streamUrl_).ok();
    }

    int64_t downloadedBytes() const {
        std::error_code error;
        const auto size = fs::file_size(videoFile_, error);
        return error ? -1 : static_cast<int64_t>(size);
    }

private:
    static bool writeStream(const fs::path& path) {
        std::ofstream out(path, std::ios::binary);
        std::vector<uint64_t> block(1 << 17);
        uint64_t state = 0x9E3779B97F4A7C15ull;
        for (int64_t written = 0; written < kStreamBytes;) {
            for (uint64_t& word : block) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                word = state;
            }
            const int64_t bytes =
                std::min<int64_t>(kStreamBytes - written, block.size() * sizeof(uint64_t));
            out.write(reinterpret_cast<const char*>(block.data()), bytes);
            written += bytes;
        }
        return out.good();
    }

    bool readReady() {
        std::string output;
        std::string chunk;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < giveUp) {
            const auto result = demo_.read(chunk, 100);
            if (result == ChildProcess::ReadResult::Data) {
                output += chunk;
                const size_t ready = output.find("READY ");
                if (ready != std::string::npos && output.find('\n', ready) != std::string::npos) {
                    std::istringstream words(output.substr(ready));
                    for (std::string word; words >> word;) {
                        if (word.rfind("login=", 0) == 0)
                            endpoints_.loginBase = word.substr(6);
                        if (word.rfind("web=", 0) == 0)
                            endpoints_.webBase = word.substr(4);
                        if (word.rfind("ca=", 0) == 0)
                            endpoints_.caFile = word.substr(3);
                    }
                    return true;
                }
            } else if (result != ChildProcess::ReadResult::Idle) {
                return false;
            }
        }
        return false;
    }

    fs::path folder_;
    ChildProcess demo_;
    ServiceEndpoints endpoints_;
    std::unique_ptr<CookieStore> store_;
    std::string cookie_;
    std::string videoId_;
    std::string videoFile_;
    int32_t percent_ = -1;
    std::string streamUrl_;
};

void BM_DownloadVideo200MB(benchmark::State& state) {
    DownloadSetup setup;
    std::string error;
    if (!setup.start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double before = cpuSeconds();
        const bool done = setup.download();
        cpu += cpuSeconds() - before;
        if (!done || setup.downloadedBytes() != kStreamBytes) {
            state.SkipWithError("the download failed or is incomplete");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * kStreamBytes);
    state.counters["cpu_user_sys"] =
        benchmark::Counter(cpu / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_DownloadVideo200MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
