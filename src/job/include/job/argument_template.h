#pragma once
// Filling the placeholders of an encoder argument template ("<%InputFile%>" and the like).

#include <string>
#include <string_view>
#include <vector>

struct Placeholder {
    std::string_view marker;  // e.g. "<%InputFile%>"; matched exactly, letter case counts
    std::string value;        // what the marker stands for
    // The value is a path that the template puts between double quotes: it is escaped for the
    // command-line split (escapeForQuotes), its trailing backslashes doubled only where the
    // template closes the quote right after the marker.
    bool quoted = false;
};

// `text` with every marker of `placeholders` replaced, in one pass from left to right: text that
// was put in is never scanned again, so a path that happens to hold a marker stays as it is.
// Where two markers start at the same place, the earlier placeholder in the list wins.
std::string fillPlaceholders(std::string_view text, const std::vector<Placeholder>& placeholders);
