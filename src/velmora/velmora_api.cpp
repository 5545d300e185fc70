// The module's entry points: the only symbols velmora.so exports.

#include "velmora/velmora_api.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "velmora/comment_overlay.h"
#include "velmora/overlay_font.h"
#include "velmora/overlay_script.h"

// The module is built with hidden visibility; these four are its whole interface.
#if defined(_WIN32)
#define VELMORA_EXPORT __declspec(dllexport)
#else
#define VELMORA_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// Problems in the overlay files printed at the start; the rest are counted.
constexpr std::size_t kMaxProblemLines = 10;

// Where the module's messages go: the host's log callback (version 2), else standard error,
// where a version 1 host gets the warnings and errors only, as it always has.
struct FilterLog {
    vhook_log_fn log = nullptr;
    void* user = nullptr;

    void say(int level, const std::string& text) const {
        if (log != nullptr) {
            log(user, level, text.c_str());
        } else if (level <= VHOOK_LOG_WARNING) {
            std::fprintf(stderr, "velmora: %s\n", text.c_str());
        }
    }
};

// What vhook_configure hands the host as its context.
struct FilterContext {
    std::unique_ptr<CommentOverlay> overlay;
    FilterLog log;
};

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

void reportProblems(const OverlayScript& script, const FilterLog& log) {
    const std::size_t shown = std::min(script.problems.size(), kMaxProblemLines);
    for (std::size_t i = 0; i < shown; ++i) {
        log.say(VHOOK_LOG_WARNING, script.problems[i]);
    }
    if (script.problems.size() > shown) {
        log.say(VHOOK_LOG_WARNING, "... and " + std::to_string(script.problems.size() - shown) +
                                       " more problems in the comment files");
    }
}

// The environment variable that sets the ceiling of the comment bitmaps' memory, in KiB (a
// smaller machine, or a test that wants to see crowded frames).
constexpr const char* kBitmapCeilingVariable = "LUMIVOX_COMMENT_BITMAP_KIB";

std::size_t spriteByteCeiling(const FilterLog& log) {
    const char* text = std::getenv(kBitmapCeilingVariable);
    if (text == nullptr || *text == '\0') {
        return kDefaultSpriteByteCeiling;
    }
    const std::string_view value = text;
    std::size_t kib = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), kib);
    if (error != std::errc() || end != value.data() + value.size() || kib == 0 ||
        kib > (SIZE_MAX >> 10)) {
        log.say(VHOOK_LOG_WARNING, std::string(kBitmapCeilingVariable) + "=" + text +
                                       " is no number of KiB; the comment bitmaps may hold " +
                                       std::to_string(kDefaultSpriteByteCeiling >> 10) + " KiB");
        return kDefaultSpriteByteCeiling;
    }
    return kib << 10;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text.empty() ? "no font file named" : text;
}

int configure(void** ctx, int argc, char** argv, int width, int height, const FilterLog& log,
              std::string& error) {
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
    reportProblems(script, log);
    OverlayFont font = openOverlayFont(script.header);
    if (!font.engine) {
        error = "no font could be loaded (tried " + joined(font.tried) + ")";
        return 1;
    }
    if (font.fallback) {
        log.say(VHOOK_LOG_WARNING, "the font \"" + overlayFontPath(script.header) + "\" (face " +
                                       std::to_string(script.header.faceIndex) +
                                       ") cannot be loaded; using " + font.path + " (face " +
                                       std::to_string(font.faceIndex) + ")");
    }
    if (script.header.videoWidth > 0 && script.header.videoWidth != width) {
        log.say(VHOOK_LOG_WARNING, "the comments were laid out for a width of " +
                                       std::to_string(script.header.videoWidth) +
                                       " pixels, the frames are " + std::to_string(width) +
                                       " wide");
    }
    const std::size_t count = script.comments.size();
    auto context = std::make_unique<FilterContext>();
    context->overlay = std::make_unique<CommentOverlay>(
        std::move(font.engine), std::move(script.comments), width, spriteByteCeiling(log),
        [log](const std::string& text) { log.say(VHOOK_LOG_WARNING, text); });
    context->log = log;
    log.say(VHOOK_LOG_INFO, std::to_string(count) + " comments to draw on " +
                                std::to_string(width) + "x" + std::to_string(height) +
                                " frames with " + font.path);
    *ctx = context.release();
    return 0;
}

bool hasPlanes(const VhookFrame* frame) {
    return frame != nullptr && frame->data[0] != nullptr && frame->data[1] != nullptr &&
           frame->data[2] != nullptr;
}

}  // namespace

extern "C" VELMORA_EXPORT int vhook_configure2(void** ctx, int argc, char** argv, int width,
                                               int height, int fpsNum, int fpsDen, char* errorText,
                                               int errorSize, vhook_log_fn log, void* logUser) {
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
        result = configure(ctx, argc, argv, width, height, FilterLog{log, logUser}, error);
    } catch (const std::exception& e) {
        error = std::string("cannot prepare the comments: ") + e.what();
        result = 1;
    }
    if (result != 0) {
        writeError(errorText, errorSize, error);
    }
    return result;
}

extern "C" VELMORA_EXPORT int vhook_configure(void** ctx, int argc, char** argv, int width,
                                              int height, int fpsNum, int fpsDen, char* errorText,
                                              int errorSize) {
    return vhook_configure2(ctx, argc, argv, width, height, fpsNum, fpsDen, errorText, errorSize,
                            nullptr, nullptr);
}

extern "C" VELMORA_EXPORT int vhook_process(void* ctx, VhookFrame* frame) {
    if (ctx == nullptr || !hasPlanes(frame)) {
        return 1;
    }
    const auto* context = static_cast<FilterContext*>(ctx);
    try {
        context->overlay->process(*frame);
    } catch (const std::exception& e) {
        context->log.say(VHOOK_LOG_ERROR,
                         "cannot draw frame " + std::to_string(frame->index) + ": " + e.what());
        return 1;
    }
    return 0;
}

extern "C" VELMORA_EXPORT int vhook_process_into(void* ctx, const VhookFrame* source,
                                                 VhookFrame* target) {
    if (ctx == nullptr || !hasPlanes(source) || !hasPlanes(target)) {
        return 1;
    }
    const auto* context = static_cast<FilterContext*>(ctx);
    if (source->width != target->width || source->height != target->height ||
        source->index != target->index) {
        context->log.say(VHOOK_LOG_ERROR, "cannot draw frame " + std::to_string(source->index) +
                                              ": the copy is not of the same frame");
        return 1;
    }
    try {
        context->overlay->processInto(*source, *target);
    } catch (const std::exception& e) {
        context->log.say(VHOOK_LOG_ERROR,
                         "cannot draw frame " + std::to_string(source->index) + ": " + e.what());
        return 1;
    }
    return 0;
}

extern "C" VELMORA_EXPORT void vhook_release(void* ctx) {
    delete static_cast<FilterContext*>(ctx);
}
