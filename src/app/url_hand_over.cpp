#include "app/url_hand_over.h"

#include "platform/text_conv.h"

namespace {

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The first `limit` bytes of `text` at most, without a UTF-8 character cut in two.
std::string_view cutAtCharacter(std::string_view text, size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    size_t end = limit;
    // Step back over the continuation bytes of the character that the limit cuts; a text that
    // is no UTF-8 at all (continuation bytes only) is cut at the limit as it stands.
    while (end > 0 && isContinuationByte(text[end])) {
        --end;
    }
    return text.substr(0, end > 0 ? end : limit);
}

}  // namespace

std::string commandLineUrl(const std::vector<std::string>& arguments) {
    std::string url;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) {
            url += ' ';
        }
        url += arguments[i];
    }
    return url;
}

std::string handOverText(std::string_view url) {
    return std::string(cutAtCharacter(url, kMaxHandOverUrlBytes));
}

std::string receivedHandOverText(std::string_view data) {
    const size_t zero = data.find('\0');
    if (zero != std::string_view::npos) {
        data = data.substr(0, zero);
    }
    return std::string(cutAtCharacter(data, kMaxHandOverUrlBytes));
}

bool beginsWithHttp(std::string_view url) {
    return startsWithNoCase(url, "http://");
}
