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
    vhook_process_into_fn processInto = nullptr;
    vhook_release_fn release = nullptr;

    Module() {
        handle = ::dlopen(LUMIVOX_PROGRAM_DIR "/velmora.so", RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) {
            configure = reinterpret_cast<vhook_configure_fn>(::dlsym(handle, "vhook_configure"));
            process = reinterpret_cast<vhook_process_fn>(::dlsym(handle, "vhook_process"));
            processInto =
                reinterpret_cast<vhook_process_into_fn>(::dlsym(handle, "vhook_process_into"));
            release = reinterpret_cast<vhook_release_fn>(::dlsym(handle, "vhook_release"));
        }
    }
    ~Module() {
        if (handle != nullptr) {
            ::dlclose(handle);
        }
    }
    bool ok() const { return configure && process && processInto && release; }
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

// A 4:2:0 picture of its own, with a pattern in it.
struct Picture {
    Picture(int width, int height, int seed)
        : luma(static_cast<std::size_t>(width) * height),
          cb(static_cast<std::size_t>((width + 1) / 2) * ((height + 1) / 2), 128),
          cr(cb) {
        for (std::size_t i = 0; i < luma.size(); ++i) {
            luma[i] = static_cast<uint8_t>(i * 7 + static_cast<std::size_t>(seed) * 13);
        }
    }
    VhookFrame frame(int width, int height, int64_t index) {
        VhookFrame f{};
        f.width = width;
        f.height = height;
        f.data[0] = luma.data();
        f.data[1] = cb.data();
        f.data[2] = cr.data();
        f.linesize[0] = width;
        f.linesize[1] = f.linesize[2] = (width + 1) / 2;
        f.index = index;
        f.matrix = height >= 720 ? 709 : 601;
        return f;
    }
    std::vector<uint8_t> luma, cb, cr;
};

// How the encoder hands the frames over: in place (frames it may write), or onto a copy
// (frames the decoder still holds), from four decoded pictures in turn onto three copies.
enum class Drawing { inPlace, ontoCopies };

// Runs the filter over every frame of a video of `seconds` at 25 fps, one frame per iteration,
// starting over at the end (which renders every comment again, as a second run would).
// `step` > 1 takes every step-th frame only: each comment is still rendered once, but drawn
// on fewer frames, so that rendering is most of the cost.
void runVideo(benchmark::State& state, int width, int height, double seconds, int count,
              const std::string& everyThird = "none", Drawing drawing = Drawing::inPlace,
              int step = 1) {
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
    std::vector<Picture> sources, copies;
    for (int i = 0; i < (drawing == Drawing::inPlace ? 1 : 4); ++i) {
        sources.emplace_back(width, height, i);
    }
    for (int i = 0; i < (drawing == Drawing::inPlace ? 0 : 3); ++i) {
        copies.emplace_back(width, height, 0);
    }
    const int64_t frames = static_cast<int64_t>(seconds * 25);
    int64_t index = 0;
    for (auto _ : state) {
        VhookFrame source =
            sources[static_cast<std::size_t>(index) % sources.size()].frame(width, height, index);
        if (drawing == Drawing::inPlace) {
            module.process(ctx, &source);
        } else {
            VhookFrame copy =
                copies[static_cast<std::size_t>(index) % copies.size()].frame(width, height, index);
            module.processInto(ctx, &source, &copy);
        }
        benchmark::ClobberMemory();
        index = index + step < frames ? index + step : 0;
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

// The same comments drawn onto copies of decoded frames, as the encoder does for frames the
// decoder still holds; the copy is part of the cost.
void BM_FilterIntoCopy_512x384(benchmark::State& state) {
    runVideo(state, 512, 384, 120, 1000, "none", Drawing::ontoCopies);
}
void BM_FilterIntoCopy_1920x1080(benchmark::State& state) {
    runVideo(state, 1920, 1080, 120, 1000, "none", Drawing::ontoCopies);
}

// The comments' sprites being made: one frame a second of the 1080p video.
void BM_FilterMakingSprites_1920x1080(benchmark::State& state) {
    runVideo(state, 1920, 1080, 120, 1000, "none", Drawing::ontoCopies, 25);
}

}  // namespace

// One pass over the 3000 frames per run, so every comment is rendered once per pass.
BENCHMARK(BM_FilterFrame_512x384)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFrame_1280x720)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFrame_AllAtOnce_1280x720)->Iterations(70)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFrame_ThirdWithKana_1280x720)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFrame_ThirdWithEmoji_1280x720)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterIntoCopy_512x384)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterIntoCopy_1920x1080)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterMakingSprites_1920x1080)->Iterations(120)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
