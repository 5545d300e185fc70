// Any bytes as FFmpeg.ini (the format presets) and as download.sav (the download list), the
// files the user may have edited by hand.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "job/format_presets.h"
#include "queue/download_queue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("lumivox-fuzz-list-" + std::to_string(::getpid()) + ".sav");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FormatPresetList presets;
    (void)presets.load(file);
    DownloadQueue queue;
    if (queue.load(file)) {
        for (const DownloadEntry& entry : queue.entries()) {
            if (queue.find(entry.id) == nullptr) {
                __builtin_trap();  // every entry is found by its id
            }
        }
    }
    return 0;
}
