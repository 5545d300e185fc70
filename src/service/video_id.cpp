#include "service/video_id.h"

std::optional<std::string> videoIdFromPageUrl(std::string_view pageUrl) {
    static constexpr std::string_view kMarker = "watch/";
    const size_t found = pageUrl.find(kMarker);
    if (found == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view id = pageUrl.substr(found + kMarker.size());
    id = id.substr(0, id.find_first_of("?#"));
    if (!isSafeVideoId(id)) {
        return std::nullopt;
    }
    return std::string(id);
}

bool isSafeVideoId(std::string_view id) {
    if (id.empty() || id.find("..") != std::string_view::npos) {
        return false;
    }
    for (const char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
        if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}
