#include "service/service_answer.h"

std::optional<std::string> answerValue(std::string_view answer, std::string_view searched) {
    const size_t found = answer.find(searched);
    if (found == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view rest = answer.substr(found + searched.size());
    const size_t end = rest.find('&');
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(rest.substr(0, end));
}

std::string textOfChunks(std::string_view raw, size_t chunkBytes) {
    if (chunkBytes == 0) {
        return std::string(raw.substr(0, raw.find('\0')));
    }
    std::string text;
    text.reserve(raw.size());
    for (size_t start = 0; start < raw.size(); start += chunkBytes) {
        const std::string_view chunk = raw.substr(start, chunkBytes);
        text += chunk.substr(0, chunk.find('\0'));
    }
    return text;
}
