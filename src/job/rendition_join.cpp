#include "job/rendition_join.h"

#include <filesystem>
#include <string>

#include "joiner/rendition_join_api.h"
#include "platform/shared_library.h"

namespace {

int askCancelled(void* user) {
    const auto* isCancelled = static_cast<const std::function<bool()>*>(user);
    return *isCancelled && (*isCancelled)() ? 1 : 0;
}

// The module, loaded by the first join and kept for the life of the process: the libraries it
// brings allocate at their start and are not made to be unloaded again.
struct JoinModule {
    SharedLibrary library;
    rendition_join_fn join = nullptr;
    std::string failure;  // why `join` is null

    explicit JoinModule(const std::string& path) {
        if (Status loaded = library.load(path); !loaded) {
            failure = "the joining module cannot be loaded: " + loaded.error();
            return;
        }
        join = reinterpret_cast<rendition_join_fn>(library.symbol(RENDITION_JOIN_SYMBOL));
        if (join == nullptr) {
            failure = path + " has no " + RENDITION_JOIN_SYMBOL;
        }
    }
};

const JoinModule& joinModule(const std::string& programFolder) {
    // Never destroyed: unloading at the process's end would take the memory the libraries
    // still hold with it, which leak checkers then count as lost.
    static const JoinModule* const module = new JoinModule(
        (std::filesystem::path(programFolder) / SharedLibrary::fileNameFor(RENDITION_JOIN_MODULE))
            .string());
    return *module;
}

}  // namespace

Status joinRenditions(const std::string& programFolder, const std::string& videoFile,
                      const std::string& audioFile, const std::string& output,
                      const std::function<bool()>& isCancelled) {
    const JoinModule& module = joinModule(programFolder);
    if (module.join == nullptr) {
        return Failure{module.failure};
    }
    char error[1024] = {};
    if (module.join(videoFile.c_str(), audioFile.c_str(), output.c_str(), askCancelled,
                    const_cast<std::function<bool()>*>(&isCancelled), error, sizeof error) != 0) {
        return Failure{error};
    }
    return {};
}
