// The module's entry points: the only symbols velmora.so exports.

#include "velmora/velmora_api.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "velmora/comment_overlay.h"
#include "velmora/overlay_font.h"
#include "velmora/overlay_script.h"

// The module is built with hidden visibility; these three are its whole interface.
#if defined(_WIN32)
#define VELMORA_EXPORT __declspec(dllexport)
#else
#define VELMORA_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// Problems in the overlay files printed at the start; the rest are counted.
constexpr std::size_t kMaxProblemLines = 10;

struct FilterArguments {
    std::string commentPath;  // -N
    std::string dataPath;     // -D
};

void writeError(char* errorText, int errorSize, const std::string& message) {
    if (errorText == nullptr || errorSize <= 0) {
        return;
    }
    const std::string line = "velmora: " + message;
    const std::size_t length = std::min(line.size(), static_cast<std::size_t>(errorSize - 1));
    std::memcpy(errorText, line.data(), length);
    errorText[length] = '\0';
}

bool parseArguments(int argc, char** argv, FilterArguments& args, std::string& error) {
    bool haveComments = false, haveData = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i] ? argv[i] : "";
        if (word.empty()) {
            continue;
        }
        if (word != "-N" && word != "-D") {
            error = "unknown argument \"" + word + "\" (expected -N comment.ini -D data.ini)";
            return false;
        }
        if (i + 1 >= argc || argv[i + 1] == nullptr || argv[i + 1][0] == '\0') {
            error = "the option " + word + " needs a file name";
            return false;
        }
        (word == "-N" ? args.commentPath : args.dataPath) = argv[++i];
        (word == "-N" ? haveComments : haveData) = true;
    }
    if (!haveComments || !haveData) {
        error = std::string("missing ") + (haveComments ? "-D data.ini" : "-N comment.ini") +
                " (expected -N comment.ini -D data.ini)";
        return false;
    }
    return true;
}

void printProblems(const OverlayScript& script) {
    const std::size_t shown = std::min(script.problems.size(), kMaxProblemLines);
    for (std::size_t i = 0; i < shown; ++i) {
        std::fprintf(stderr, "velmora: %s\n", script.problems[i].c_str());
    }
    if (script.problems.size() > shown) {
        std::fprintf(stderr, "velmora: ... and %zu more problems in the comment files\n",
                     script.problems.size() - shown);
    }
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text.empty() ? "no font file named" : text;
}

int configure(void** ctx, int argc, char** argv, int width, int height, std::string& error) {
    FilterArguments args;
    if (!parseArguments(argc, argv, args, error)) {
        return 1;
    }
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        error = "unsupported frame size " + std::to_string(width) + "x" + std::to_string(height);
        return 1;
    }
    Result<OverlayScript> read = readOverlayScript(args.commentPath, args.dataPath);
    if (!read) {
        error = read.error();
        return 1;
    }
    OverlayScript& script = *read;
    printProblems(script);
    OverlayFont font = openOverlayFont(script.header);
    if (!font.engine) {
        error = "no font could be loaded (tried " + joined(font.tried) + ")";
        return 1;
    }
    if (font.fallback) {
        std::fprintf(stderr,
                     "velmora: the font \"%s\" (face %d) cannot be loaded; using %s (face %d)\n",
                     overlayFontPath(script.header).c_str(), script.header.faceIndex,
                     font.path.c_str(), font.faceIndex);
    }
    if (script.header.videoWidth > 0 && script.header.videoWidth != width) {
        std::fprintf(stderr,
                     "velmora: the comments were laid out for a width of %d pixels, the frames "
                     "are %d wide\n",
                     script.header.videoWidth, width);
    }
    *ctx = new CommentOverlay(std::move(font.engine), std::move(script.comments), width, height);
    return 0;
}

}  // namespace

extern "C" VELMORA_EXPORT int vhook_configure(void** ctx, int argc, char** argv, int width,
                                              int height, int fpsNum, int fpsDen, char* errorText,
                                              int errorSize) {
    (void)fpsNum;  // frame indices arrive in the input's own rate: the rate itself is not needed
    (void)fpsDen;
    if (ctx == nullptr) {
        writeError(errorText, errorSize, "no context to fill");
        return 1;
    }
    *ctx = nullptr;
    std::string error;
    int result = 1;
    try {
        result = configure(ctx, argc, argv, width, height, error);
    } catch (const std::exception& e) {
        error = std::string("cannot prepare the comments: ") + e.what();
        result = 1;
    }
    if (result != 0) {
        writeError(errorText, errorSize, error);
    }
    return result;
}

extern "C" VELMORA_EXPORT int vhook_process(void* ctx, VhookFrame* frame) {
    if (ctx == nullptr || frame == nullptr || frame->data[0] == nullptr ||
        frame->data[1] == nullptr || frame->data[2] == nullptr) {
        return 1;
    }
    try {
        static_cast<CommentOverlay*>(ctx)->process(*frame);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: cannot draw frame %lld: %s\n",
                     static_cast<long long>(frame->index), e.what());
        return 1;
    }
    return 0;
}

extern "C" VELMORA_EXPORT void vhook_release(void* ctx) {
    delete static_cast<CommentOverlay*>(ctx);
}
