#include "service/url_parts.h"

#include "platform/text_conv.h"

namespace {

bool isSchemeCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

// A port of 1 to 65535 written in decimal digits only.
std::optional<uint16_t> parsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

}  // namespace

std::optional<UrlParts> splitUrl(std::string_view url) {
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0) {
        return std::nullopt;
    }
    for (const char c : url.substr(0, schemeEnd)) {
        if (!isSchemeCharacter(c)) {
            return std::nullopt;
        }
    }
    UrlParts parts;
    parts.scheme = asciiLower(url.substr(0, schemeEnd));

    const std::string_view rest = url.substr(schemeEnd + 3);
    const size_t authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view object =
        authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        parts.server = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return std::nullopt;
            }
            portText = after.substr(1);
        }
    } else {
        const size_t colon = authority.find(':');
        parts.server = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
        }
    }
    if (parts.server.empty()) {
        return std::nullopt;
    }
    if (!portText.empty()) {
        const std::optional<uint16_t> port = parsePort(portText);
        if (!port) {
            return std::nullopt;
        }
        parts.port = *port;
    } else {
        parts.port = parts.secure() ? 443 : 80;
    }

    const size_t fragment = object.find('#');
    if (fragment != std::string_view::npos) {
        object = object.substr(0, fragment);
    }
    parts.object.reserve(object.size() + 1);
    if (object.empty() || object.front() != '/') {
        parts.object.push_back('/');
    }
    parts.object.append(object);
    return parts;
}

std::string requestUrl(const UrlParts& parts) {
    std::string url = parts.secure() ? "https://" : "http://";
    if (parts.server.find(':') != std::string::npos) {
        url += '[';
        url += parts.server;
        url += ']';
    } else {
        url += parts.server;
    }
    url += ':';
    url += std::to_string(parts.port);
    url += escapeUrlUnsafeBytes(parts.object);
    return url;
}

std::string escapeUrlUnsafeBytes(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}
