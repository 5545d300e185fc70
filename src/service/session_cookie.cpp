#include "service/session_cookie.h"

#include <algorithm>
#include <cctype>

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// RFC 6265 cookie-octet, without the double quote.
bool isCookieOctet(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x21 && byte <= 0x7E && c != '"' && c != ',' && c != ';' && c != '\\';
}

}  // namespace

std::optional<std::string> sessionCookieValue(std::string_view given) {
    std::string_view text = trimmed(given);
    if (startsWithNoCase(text, "cookie:")) {
        text = trimmed(text.substr(7));
    }
    const std::string prefix = std::string(kSessionCookieName) + "=";
    if (text.find('=') != std::string_view::npos) {
        // Pairs: take the user_session one.
        std::string_view found;
        size_t at = 0;
        while (at <= text.size()) {
            const size_t end = text.find(';', at);
            const std::string_view pair =
                trimmed(text.substr(at, end == std::string_view::npos ? text.npos : end - at));
            if (pair.substr(0, prefix.size()) == prefix) {
                found = trimmed(pair.substr(prefix.size()));
            }
            if (end == std::string_view::npos) {
                break;
            }
            at = end + 1;
        }
        text = found;
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), isCookieOctet)) {
        return std::nullopt;
    }
    return std::string(text);
}

std::string userIdOfSessionCookie(std::string_view value) {
    const std::string_view prefix = "user_session_";
    if (value.substr(0, prefix.size()) != prefix) {
        return {};
    }
    const std::string_view rest = value.substr(prefix.size());
    const size_t end = rest.find('_');
    if (end == 0 || end == std::string_view::npos ||
        !std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(end),
                     [](char c) { return c >= '0' && c <= '9'; })) {
        return {};
    }
    return std::string(rest.substr(0, end));
}
