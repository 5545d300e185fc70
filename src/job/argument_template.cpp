#include "job/argument_template.h"

#include "platform/command_line.h"

namespace {

// True when the template closes a quote at `at`: a double quote, perhaps after backslashes of
// the template's own, which then join the inserted value's trailing ones.
bool closingQuoteAt(std::string_view text, size_t at) {
    while (at < text.size() && text[at] == '\\') {
        ++at;
    }
    return at < text.size() && text[at] == '"';
}

}  // namespace

std::string fillPlaceholders(std::string_view text, const std::vector<Placeholder>& placeholders) {
    std::string filled;
    filled.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const Placeholder* match = nullptr;
        for (const Placeholder& placeholder : placeholders) {
            if (!placeholder.marker.empty() && text.substr(at).starts_with(placeholder.marker)) {
                match = &placeholder;
                break;
            }
        }
        if (match == nullptr) {
            filled += text[at++];
            continue;
        }
        at += match->marker.size();
        filled +=
            match->quoted ? escapeForQuotes(match->value, closingQuoteAt(text, at)) : match->value;
    }
    return filled;
}
