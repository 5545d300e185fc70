#pragma once
// The frame-filter module named by -vhook "velmora.dll -N comment.ini -D data.ini ": loaded
// from the executable's folder and driven through velmora/velmora_api.h.
// Used from one thread only (the video decoding thread after configure()).

#include <string>
#include <vector>

#include "platform/result.h"
#include "platform/shared_library.h"
#include "velmora/velmora_api.h"

class VhookModule {
public:
    VhookModule() = default;
    VhookModule(const VhookModule&) = delete;
    VhookModule& operator=(const VhookModule&) = delete;
    ~VhookModule();  // vhook_release, then unload

    // Splits the option's text into words and loads the module the first word names from
    // `folder`. Fails with a one-line reason naming the file.
    Status load(const std::string& optionText, const std::string& folder);
    // Hands the words to the module with the frame size and the input's frame rate: through
    // vhook_configure2 with the process's log as the module's log when the module has it,
    // else through vhook_configure.
    Status configure(int width, int height, int rateNum, int rateDen);
    // Draws onto one frame in place; false when the module reports a fatal error.
    bool process(VhookFrame& frame);
    // True when the module can draw onto a copy (vhook_process_into).
    bool drawsIntoCopies() const { return processInto_ != nullptr; }
    // Writes `source` with the comments drawn into `target`'s planes; only when
    // drawsIntoCopies(). False when the module reports a fatal error.
    bool processInto(const VhookFrame& source, VhookFrame& target);

    // The option's text split at blanks (space, tab); empty words are dropped.
    static std::vector<std::string> splitWords(const std::string& text);
    // The library file for a module word: a trailing ".dll" or ".so" (any case) is replaced by
    // this platform's suffix; a word without a '/' is looked up in `folder`.
    static std::string libraryPath(const std::string& word, const std::string& folder);

private:
    SharedLibrary library_;
    std::string path_;
    std::vector<std::string> words_;
    vhook_configure_fn configure_ = nullptr;
    vhook_configure2_fn configure2_ = nullptr;  // a version 2 module's; null for version 1
    vhook_process_fn process_ = nullptr;
    vhook_process_into_fn processInto_ = nullptr;  // a version 3 module's; null before that
    vhook_release_fn release_ = nullptr;
    void* ctx_ = nullptr;
    bool configured_ = false;
};
