#include "app/local_video_files.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The containers people keep videos in that the encoder's libraries read.
constexpr std::array<std::string_view, 18> kVideoExtensions = {
    ".mp4", ".m4v", ".mov",  ".flv", ".f4v",  ".mkv", ".webm", ".avi",  ".wmv",
    ".asf", ".mpg", ".mpeg", ".ts",  ".m2ts", ".3gp", ".ogv",  ".divx", ".vob"};

std::string lowerExtensionOf(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

LocalFileKind localFileKindOf(const fs::path& path) {
    const std::string extension = lowerExtensionOf(path);
    if (std::find(kVideoExtensions.begin(), kVideoExtensions.end(), extension) !=
        kVideoExtensions.end()) {
        return LocalFileKind::Video;
    }
    if (extension == ".json" || extension == ".xml") {
        return LocalFileKind::CommentFile;
    }
    return LocalFileKind::Other;
}

std::vector<fs::path> commentFileCandidates(const fs::path& video) {
    const fs::path folder = video.parent_path();
    const std::string stem = video.stem().string();
    const std::string name = video.filename().string();
    return {folder / (stem + ".comments.json"), folder / (stem + ".json"), folder / (stem + ".xml"),
            folder / (name + ".comments.json")};
}

std::optional<fs::path> findCommentFileFor(const fs::path& video) {
    for (const fs::path& candidate : commentFileCandidates(video)) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) {
            return candidate;
        }
    }
    return std::nullopt;
}
