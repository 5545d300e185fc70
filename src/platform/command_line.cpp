#include "platform/command_line.h"

namespace {

bool isArgumentBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> arguments;
    size_t i = 0;
    const size_t size = text.size();
    while (true) {
        while (i < size && isArgumentBlank(text[i])) {
            ++i;
        }
        if (i >= size) {
            break;
        }
        std::string argument;
        bool inQuotes = false;
        while (i < size) {
            size_t backslashes = 0;
            while (i < size && text[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < size && text[i] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument.push_back('"');
                    ++i;
                } else if (inQuotes && i + 1 < size && text[i + 1] == '"') {
                    argument.push_back('"');
                    i += 2;
                } else {
                    inQuotes = !inQuotes;
                    ++i;
                }
                continue;
            }
            argument.append(backslashes, '\\');
            if (i >= size || (!inQuotes && isArgumentBlank(text[i]))) {
                break;
            }
            argument.push_back(text[i]);
            ++i;
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string escapeForQuotes(std::string_view argument, bool closingQuoteFollows) {
    std::string out;
    out.reserve(argument.size() + 2);
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // n backslashes before a literal quote: 2n + 1 of them and the quote.
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out.push_back(c);
    }
    // Trailing backslashes before the closing quote are doubled so that it still closes; before
    // other text they are literal as they are.
    out.append(closingQuoteFollows ? backslashes * 2 : backslashes, '\\');
    return out;
}

std::string quoteArgument(std::string_view argument) {
    std::string quoted(1, '"');
    quoted += escapeForQuotes(argument);
    quoted.push_back('"');
    return quoted;
}
