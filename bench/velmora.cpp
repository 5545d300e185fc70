// The frame filter alone: time per frame over a whole video of realistic comments, and the
// process's peak memory, through the module's C interface as the encoder calls it.
//
// Build velmora and bench_velmora, then run build/bench/bench_velmora. The comment files come
// from make_comment_files.py beside this file (python3 must be on the PATH).

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "velmora/velmora_api.h"

namespace fs = std::filesystem;

namespace {

struct Module {
    void* handle = nullptr;
    vhook_configure_fn configure = nullptr;
    vhook_process_fn process = nullptr;
    vhook_release_fn release = nullptr;

    Module() {
        handle = ::dlopen(LUMIVOX_PROGRAM_DIR "/velmora.so", RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) {
            configure = reinterpret_cast<vhook_configure_fn>(::dlsym(handle, "vhook_configure"));
            process = reinterpret_cast<vhook_process_fn>(::dlsym(handle, "vhook_process"));
            release = reinterpret_cast<vhook_release_fn>(::dlsym(handle, "vhook_release"));
        }
    }
    ~Module() {
        if (handle != nullptr) {
            ::dlclose(handle);
        }
    }
    bool ok() const { return configure && process && release; }
};

// Writes the comment files for a video into a fresh temporary folder; empty on failure.
// `everyThird`: what every third comment ends in ("none", "emoji", "kana").
fs::path makeCommentFiles(int width, int height, double seconds, int count,
                          const std::string& everyThird) {
    std::string pattern = (fs::temp_directory_path() / "lumivox-bench-velmora-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    // With ccache's base folder __FILE__ is relative to the build folder, the program folder's
    // parent.
    fs::path source = __FILE__;
    if (source.is_relative()) {
        source = fs::path(LUMIVOX_PROGRAM_DIR).parent_path() / source;
    }
    const fs::path script = source.parent_path() / "make_comment_files.py";
    const std::string command =
        "python3 '" + script.string() + "' --width " + std::to_string(width) + " --height " +
        std::to_string(height) + " --fps 25 --seconds " + std::to_string(seconds) + " --count " +
        std::to_string(count) + " --every-third " + everyThird + " '" + pattern + "'";
    if (std::system(command.c_str()) != 0) {
        fs::remove_all(pattern);
        return {};
    }
    return pattern;
}

double peakRssMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

// Runs the filter over every frame of a video of `seconds` at 25 fps, one frame per iteration,
// starting over at the end (which renders every comment again, as a second run would).
void runVideo(benchmark::State& state, int width, int height, double seconds, int count,
              const std::string& everyThird = "none") {
    Module module;
    if (!module.ok()) {
        state.SkipWithError("cannot load velmora.so from the program folder");
        return;
    }
    const fs::path folder = makeCommentFiles(width, height, seconds, count, everyThird);
    if (folder.empty()) {
        state.SkipWithError("cannot write the comment files (is python3 there?)");
        return;
    }
    std::vector<std::string> words = {"velmora.dll", "-N", (folder / "comment.ini").string(), "-D",
                                      (folder / "data.ini").string()};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    void* ctx = nullptr;
    char error[512];
    if (module.configure(&ctx, static_cast<int>(argv.size()), argv.data(), width, height, 25, 1,
                         error, sizeof error) != 0) {
        fs::remove_all(folder);
        state.SkipWithError(error);
        return;
    }
    const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
    std::vector<uint8_t> luma(static_cast<std::size_t>(width) * height, 126);
    std::vector<uint8_t> cb(static_cast<std::size_t>(chromaWidth) * chromaHeight, 128);
    std::vector<uint8_t> cr(cb);
    VhookFrame frame{};
    frame.width = width;
    frame.height = height;
    frame.data[0] = luma.data();
    frame.data[1] = cb.data();
    frame.data[2] = cr.data();
    frame.linesize[0] = width;
    frame.linesize[1] = frame.linesize[2] = chromaWidth;
    frame.matrix = height >= 720 ? 709 : 601;
    const int64_t frames = static_cast<int64_t>(seconds * 25);
    int64_t index = 0;
    for (auto _ : state) {
        frame.index = index;
        module.process(ctx, &frame);
        benchmark::ClobberMemory();
        index = index + 1 < frames ? index + 1 : 0;
    }
    module.release(ctx);
    fs::remove_all(folder);
    state.SetItemsProcessed(state.iterations());
    state.counters["peak_rss_MB"] = peakRssMegabytes();
}

// 1000 comments over 120 s, as in a busy thread.
void BM_FilterFrame_512x384(benchmark::State& state) {
    runVideo(state, 512, 384, 120, 1000);
}
void BM_FilterFrame_1280x720(benchmark::State& state) {
    runVideo(state, 1280, 720, 120, 1000);
}
// 1000 comments all on screen at once (every one starts at frame 0): the memory worst case.
void BM_FilterFrame_AllAtOnce_1280x720(benchmark::State& state) {
    runVideo(state, 1280, 720, 2.8, 1000);
}

// The same 1000 comments, a third of them ending in a colour emoji, or in a kana of about the
// same width instead: the emoji's own cost is the difference.
void BM_FilterFrame_ThirdWithEmoji_1280x720(benchmark::State& state) {
    runVideo(state, 1280, 720, 120, 1000, "emoji");
}
void BM_FilterFrame_ThirdWithKana_1280x720(benchmark::State& state) {
    runVideo(state, 1280, 720, 120, 1000, "kana");
}

}  // namespace

// One pass over the 3000 frames per run, so every comment is rendered once per pass.
BENCHMARK(BM_FilterFrame_512x384)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFrame_1280x720)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFrame_AllAtOnce_1280x720)->Iterations(70)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFrame_ThirdWithKana_1280x720)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFrame_ThirdWithEmoji_1280x720)->Iterations(3000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
