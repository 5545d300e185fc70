#include "comments/comment_commands.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/text_conv.h"

namespace {

struct ColourName {
    std::string_view name;
    std::string_view colour;
};

// Searched in this order, and every name found overwrites the result, so the last matching row
// wins: a name that contains an earlier one ("red2" holds "red") stands after it.
constexpr ColourName kColourTable[] = {
    {"red", "FF 00 00"},           {"pink", "FF 80 80"},           {"orange", "FF CC 00"},
    {"yellow", "FF FF 00"},        {"green", "00 FF 00"},          {"cyan", "00 FF FF"},
    {"blue", "00 00 FF"},          {"purple", "C0 00 FF"},         {"niconicowhite", "CC CC 99"},
    {"white2", "CC CC 99"},        {"truered", "CC 00 33"},        {"red2", "CC 00 33"},
    {"passionorange", "FF 66 00"}, {"orange2", "FF 66 00"},        {"madyellow", "99 99 00"},
    {"yellow2", "99 99 00"},       {"elementalgreen", "00 CC 66"}, {"green2", "00 CC 66"},
    {"marineblue", "33 FF FC"},    {"blue2", "33 FF FC"},          {"nobleviolet", "66 33 CC"},
    {"purple2", "66 33 CC"},       {"black", "00 00 00"},
};

constexpr std::string_view kDefaultColour = "FF FF FF";

bool contains(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

// Every "blue" becomes one blank, so that "blue", "blue2" and "marineblue" no longer hold "ue".
std::string withoutBlue(std::string_view mail) {
    std::string out;
    out.reserve(mail.size());
    std::size_t from = 0;
    for (std::size_t at = mail.find("blue"); at != std::string_view::npos;
         at = mail.find("blue", from)) {
        out.append(mail.substr(from, at - from));
        out.push_back(' ');
        from = at + 4;
    }
    out.append(mail.substr(from));
    return out;
}

// ceil(numerator / denominator) for a positive denominator, in exact integer arithmetic. The
// factors 0.5 and 0.3 in floating point give the same results: the rounding error of x * 0.3 is
// always below the product, never above a whole number.
int64_t ceilDiv(int64_t numerator, int64_t denominator) {
    const int64_t quotient = numerator / denominator;
    return quotient + ((numerator % denominator > 0) ? 1 : 0);
}

int clampToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

CommandResult readCommands(std::string_view mail, int baseSize) {
    const std::string commands = withoutBlue(mail);
    CommandResult result;
    if (contains(commands, "shita")) {
        result.position = 2;
    }
    if (contains(commands, "ue")) {
        result.position = 1;
    }
    int64_t size = baseSize;
    if (contains(commands, "big")) {
        size += ceilDiv(size * 5, 10);
    }
    if (contains(commands, "small")) {
        result.shrunk = true;
        size -= ceilDiv(size * 3, 10);
        size = std::max<int64_t>(size, 1);
    }
    result.size = clampToInt(size);
    return result;
}

std::string colourForMail(std::string_view mail) {
    const std::string lowered = asciiLower(mail);
    std::string_view colour = kDefaultColour;
    for (const ColourName& row : kColourTable) {
        if (contains(lowered, row.name)) {
            colour = row.colour;
        }
    }
    return std::string(colour);
}
