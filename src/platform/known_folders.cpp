#include "platform/known_folders.h"

#include "platform/text_conv.h"

namespace {

// The shell's reading of one quoted or bare word: double quotes undo the escapes of \, ", $
// and `; single quotes keep everything; a bare word ends at the first blank.
std::string unquoteShellWord(std::string_view word) {
    std::string value;
    char quote = 0;
    for (size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else if (quote != 0 && c == quote) {
            quote = 0;
        } else if (quote == '"' && c == '\\' && i + 1 < word.size() &&
                   std::string_view("\\\"$`").find(word[i + 1]) != std::string_view::npos) {
            value += word[++i];
        } else if (quote == 0 && c == '\\' && i + 1 < word.size()) {
            value += word[++i];
        } else if (quote == 0 && isBlank(c)) {
            break;
        } else {
            value += c;
        }
    }
    return value;
}

std::string expandHome(const std::string& value, std::string_view home) {
    for (std::string_view prefix : {"$HOME", "${HOME}"}) {
        if (value.compare(0, prefix.size(), prefix) == 0 &&
            (value.size() == prefix.size() || value[prefix.size()] == '/')) {
            std::string path = std::string(home) + value.substr(prefix.size());
            while (path.size() > 1 && path.back() == '/') {
                path.pop_back();
            }
            return path;
        }
    }
    if (!value.empty() && value.front() == '/') {
        return value;
    }
    return {};
}

}  // namespace

std::string userDirFromUserDirsFile(std::string_view contents, std::string_view key,
                                    std::string_view home) {
    std::string found;
    while (!contents.empty()) {
        const size_t end = contents.find('\n');
        std::string_view line = contents.substr(0, end);
        contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);

        const std::string trimmed = trimBlanks(line);
        if (trimmed.empty() || trimmed.front() == '#') {
            continue;
        }
        const size_t equals = trimmed.find('=');
        if (equals == std::string::npos || std::string_view(trimmed).substr(0, equals) != key) {
            continue;
        }
        found = expandHome(unquoteShellWord(std::string_view(trimmed).substr(equals + 1)), home);
    }
    return found;
}
