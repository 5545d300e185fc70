#include "shell/script_page.h"

#include "platform/file_content.h"
#include "platform/text_conv.h"

std::string escapeForScriptLiteral(std::string_view path) {
    std::string escaped;
    escaped.reserve(path.size() + 8);
    for (char c : path) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '"':
                escaped += "\\\"";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '\n':
                escaped += "\\n";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string pageTextFromTemplate(std::string_view templateBytes, std::string_view escapedExePath) {
    const std::string_view text = templateBytes.substr(0, templateBytes.find('\0'));
    std::string page;
    page.reserve(text.size() + escapedExePath.size());
    size_t from = 0;
    for (size_t at = text.find(kExePathPlaceholder); at != text.npos;
         at = text.find(kExePathPlaceholder, from)) {
        page.append(text.substr(from, at - from));
        page.append(escapedExePath);
        from = at + kExePathPlaceholder.size();
    }
    page.append(text.substr(from));
    return page;
}

std::string utf16LePageBytes(std::string_view text) {
    const std::u16string units = utf8ToUtf16(text);
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + units.size() * 2);
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

Result<std::string> makeScriptPage(const std::filesystem::path& templateFile,
                                   const std::filesystem::path& programPath) {
    const Result<std::string> templateBytes = readWholeFile(templateFile);
    if (!templateBytes) {
        return Failure{"the page template cannot be read: " + templateBytes.error()};
    }
    return utf16LePageBytes(
        pageTextFromTemplate(*templateBytes, escapeForScriptLiteral(programPath.string())));
}
