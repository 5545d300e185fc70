#include "app/url_hand_over.h"

#include "service/video_id.h"

#include "platform/text_conv.h"

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
    return std::string(cutUtf8(url, kMaxHandOverUrlBytes));
}

std::string receivedHandOverText(std::string_view data) {
    const size_t zero = data.find('\0');
    if (zero != std::string_view::npos) {
        data = data.substr(0, zero);
    }
    return std::string(cutUtf8(data, kMaxHandOverUrlBytes));
}

bool startsAJob(std::string_view url) {
    return isVideoAddress(url);
}
