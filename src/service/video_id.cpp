#include "service/video_id.h"

#include "platform/text_conv.h"

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

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

bool isBareVideoId(std::string_view text) {
    // Longer numbers than any the service has given out are no ID but a mistyped text.
    constexpr size_t kMaxDigits = 12;
    if (text.size() < 3 || text.size() > 2 + kMaxDigits || !isAsciiLetter(text[0]) ||
        !isAsciiLetter(text[1])) {
        return false;
    }
    for (const char c : text.substr(2)) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

bool isVideoAddress(std::string_view text) {
    return startsWithNoCase(text, "http://") || startsWithNoCase(text, "https://") ||
           isBareVideoId(text);
}

std::string watchUrlForTyped(std::string_view typed, std::string_view webBase) {
    const std::string trimmed = trimBlanks(typed);
    if (!isBareVideoId(trimmed)) {
        return std::string(typed);
    }
    std::string base(webBase);
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base + "/watch/" + asciiLower(trimmed);
}
