#include "service/form_coding.h"

namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isHexDigit(char c) {
    return hexDigitValue(c) >= 0;
}

}  // namespace

char hexPairValue(char high, char low) {
    const int h = hexDigitValue(high);
    const int l = hexDigitValue(low);
    return static_cast<char>((h < 0 ? 0 : h) * 16 + (l < 0 ? 0 : l));
}

std::string urlDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2])) {
                decoded += hexPairValue(text[i + 1], text[i + 2]);
                i += 3;
            } else {
                i += 2;  // the "%" and the character after it, if any, are dropped
            }
        } else if (c == '+') {
            decoded += ' ';
            ++i;
        } else {
            decoded += c;
            ++i;
        }
    }
    return decoded;
}

std::string formEncode(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '*' || c == '-' || c == '.' || c == '_') {
            encoded += c;
        } else if (c == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

std::string xmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}
