// A frame-filter module for the encoder tests. -vhook "vhook_recorder.so LOG [--fail-configure]
// [--fail-at=N]" writes to LOG what vhook_configure received and, per frame, its index, size,
// colour matrix and range; it paints the top left 8x8 luma block white (235) so that the tests
// can see that drawn frames reach the encoder, and the matching chroma block neutral (128).
// Built a second time with VHOOK_RECORDER_V2 (vhook_recorder2.so), it also has the version 2
// entry point: it writes "configure2" to LOG and says one line at every log level through the
// host's callback, and one more at its release.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "velmora/velmora_api.h"

namespace {

struct Recorder {
    FILE* log = nullptr;
    long failAt = -1;
    vhook_log_fn hostLog = nullptr;
    void* hostUser = nullptr;
    long frames = 0;
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int vhook_configure(void** ctx, int argc, char** argv,
                                                           int width, int height, int fpsNum,
                                                           int fpsDen, char* errorText,
                                                           int errorSize) {
    if (argc < 2) {
        std::snprintf(errorText, static_cast<size_t>(errorSize), "usage: recorder LOG");
        return 1;
    }
    Recorder* r = new Recorder;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fail-configure") == 0) {
            std::snprintf(errorText, static_cast<size_t>(errorSize), "recorder asked to fail");
            delete r;
            return 2;
        }
        if (std::strncmp(argv[i], "--fail-at=", 10) == 0) {
            r->failAt = std::strtol(argv[i] + 10, nullptr, 10);
        }
    }
    r->log = std::fopen(argv[1], "w");
    if (!r->log) {
        std::snprintf(errorText, static_cast<size_t>(errorSize), "cannot write %s", argv[1]);
        delete r;
        return 3;
    }
    std::string words;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) {
            words += '|';
        }
        words += argv[i];
    }
    std::fprintf(r->log, "configure %d %s %dx%d %d/%d\n", argc, words.c_str(), width, height,
                 fpsNum, fpsDen);
    *ctx = r;
    return 0;
}

__attribute__((visibility("default"))) int vhook_process(void* ctx, VhookFrame* f) {
    Recorder* r = static_cast<Recorder*>(ctx);
    ++r->frames;
    std::fprintf(r->log, "frame %lld %dx%d %d %d\n", static_cast<long long>(f->index), f->width,
                 f->height, f->matrix, f->fullRange);
    if (f->index == r->failAt) {
        return 1;
    }
    for (int y = 0; y < 8 && y < f->height; ++y) {
        std::memset(f->data[0] + y * f->linesize[0], 235, 8);
    }
    for (int y = 0; y < 4; ++y) {
        std::memset(f->data[1] + y * f->linesize[1], 128, 4);
        std::memset(f->data[2] + y * f->linesize[2], 128, 4);
    }
    return 0;
}

__attribute__((visibility("default"))) void vhook_release(void* ctx) {
    Recorder* r = static_cast<Recorder*>(ctx);
    if (!r) {
        return;
    }
    std::fprintf(r->log, "release\n");
    if (r->hostLog != nullptr) {
        const std::string line = "recorder released after " + std::to_string(r->frames) + " frames";
        r->hostLog(r->hostUser, VHOOK_LOG_INFO, line.c_str());
    }
    std::fclose(r->log);
    delete r;
}

#ifdef VHOOK_RECORDER_V2
__attribute__((visibility("default"))) int vhook_configure2(void** ctx, int argc, char** argv,
                                                            int width, int height, int fpsNum,
                                                            int fpsDen, char* errorText,
                                                            int errorSize, vhook_log_fn log,
                                                            void* logUser) {
    const int result =
        vhook_configure(ctx, argc, argv, width, height, fpsNum, fpsDen, errorText, errorSize);
    if (result != 0 || log == nullptr) {
        return result;
    }
    Recorder* r = static_cast<Recorder*>(*ctx);
    r->hostLog = log;
    r->hostUser = logUser;
    std::fprintf(r->log, "configure2\n");
    log(logUser, VHOOK_LOG_ERROR, "recorder error line");
    log(logUser, VHOOK_LOG_WARNING, "recorder warning line frame=99 fps=1");
    log(logUser, VHOOK_LOG_INFO, "recorder info line");
    log(logUser, VHOOK_LOG_DEBUG, "recorder debug line");
    return 0;
}
#endif

}  // extern "C"
