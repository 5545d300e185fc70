#include "comments/today_commands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/text_conv.h"

namespace {

struct ColourName {
    std::string_view name;
    std::string_view colour;
};

constexpr ColourName kColourNames[] = {
    {"white", "FF FF FF"},     {"red", "FF 00 00"},           {"pink", "FF 80 80"},
    {"orange", "FF C0 00"},    {"yellow", "FF FF 00"},        {"green", "00 FF 00"},
    {"cyan", "00 FF FF"},      {"blue", "00 00 FF"},          {"purple", "C0 00 FF"},
    {"black", "00 00 00"},     {"white2", "CC CC 99"},        {"niconicowhite", "CC CC 99"},
    {"red2", "CC 00 33"},      {"truered", "CC 00 33"},       {"pink2", "FF 33 CC"},
    {"orange2", "FF 66 00"},   {"passionorange", "FF 66 00"}, {"yellow2", "99 99 00"},
    {"madyellow", "99 99 00"}, {"green2", "00 CC 66"},        {"elementalgreen", "00 CC 66"},
    {"cyan2", "00 CC CC"},     {"blue2", "33 99 FF"},         {"marineblue", "33 99 FF"},
    {"marinblue", "33 99 FF"}, {"purple2", "66 33 CC"},       {"nobleviolet", "66 33 CC"},
    {"black2", "66 66 66"},
};

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// "#rgb" or "#rrggbb" (lower-cased) as "RR GG BB".
std::optional<std::string> colourCode(std::string_view word) {
    if (word.size() < 4 || word[0] != '#' ||
        !std::all_of(word.begin() + 1, word.end(), isHexDigit)) {
        return std::nullopt;
    }
    std::string digits(word.substr(1));
    if (digits.size() == 3) {
        digits = {digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
    } else if (digits.size() != 6) {
        return std::nullopt;
    }
    for (char& c : digits) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return digits.substr(0, 2) + " " + digits.substr(2, 2) + " " + digits.substr(4, 2);
}

// "@N" or "＠N" with N a positive decimal number of seconds, at most kMaxShownSeconds.
std::optional<double> shownSeconds(std::string_view word) {
    constexpr std::string_view kWideAt = "\xEF\xBC\xA0";  // ＠
    if (word.starts_with('@')) {
        word.remove_prefix(1);
    } else if (word.starts_with(kWideAt)) {
        word.remove_prefix(kWideAt.size());
    } else {
        return std::nullopt;
    }
    double seconds = 0;
    const auto [end, error] =
        std::from_chars(word.data(), word.data() + word.size(), seconds, std::chars_format::fixed);
    if (word.empty() || error != std::errc() || end != word.data() + word.size() ||
        !std::isfinite(seconds) || seconds <= 0) {
        return std::nullopt;
    }
    return std::min(seconds, kMaxShownSeconds);
}

// ceil(size * tenths / 10) in integers, as the old table sizes comments.
int64_t ceilTenths(int64_t size, int64_t tenths) {
    const int64_t product = size * tenths;
    return product / 10 + (product % 10 > 0 ? 1 : 0);
}

bool isWordBreak(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

TodayCommands readTodayCommands(std::string_view mail, int baseSize, bool colourCodes) {
    TodayCommands result;
    bool sizeSet = false;
    bool colourSet = false;
    int64_t size = baseSize;
    std::size_t pos = 0;
    while (pos < mail.size()) {
        while (pos < mail.size() && isWordBreak(mail[pos])) {
            ++pos;
        }
        const std::size_t start = pos;
        while (pos < mail.size() && !isWordBreak(mail[pos])) {
            ++pos;
        }
        if (start == pos) {
            break;
        }
        const std::string word = asciiLower(mail.substr(start, pos - start));
        if (!result.base.position && (word == "ue" || word == "shita" || word == "naka")) {
            result.base.position = word == "ue" ? 1 : word == "shita" ? 2 : 0;
        } else if (!sizeSet && (word == "big" || word == "medium" || word == "small")) {
            sizeSet = true;
            if (word == "big") {
                size += ceilTenths(size, 5);
            } else if (word == "small") {
                result.base.shrunk = true;
                size = std::max<int64_t>(size - ceilTenths(size, 3), 1);
            }
        } else if (const std::optional<double> seconds = shownSeconds(word)) {
            result.shownSeconds = seconds;
        } else if (word == "invisible") {
            result.invisible = true;
        } else if (word == "_live") {
            result.halfOpacity = true;
        } else if (word == "ender") {
            result.ender = true;
        } else if (word == "mincho" || word == "gothic" || word == "defont") {
            result.face = word == "mincho"   ? CommentFace::Mincho
                          : word == "gothic" ? CommentFace::Gothic
                                             : CommentFace::Job;
        } else if (!colourSet) {
            for (const ColourName& row : kColourNames) {
                if (word == row.name) {
                    result.colour = std::string(row.colour);
                    colourSet = true;
                    break;
                }
            }
            if (!colourSet && colourCodes) {
                if (std::optional<std::string> code = colourCode(word)) {
                    result.colour = std::move(*code);
                    colourSet = true;
                }
            }
        }
    }
    result.base.size = static_cast<int>(std::min<int64_t>(size, INT32_MAX));
    return result;
}
