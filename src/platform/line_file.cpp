#include "platform/line_file.h"

#include <string_view>
#include <system_error>

#include "platform/file_content.h"
#include "platform/replace_file.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

Result<std::vector<std::string>> readLineFile(const std::filesystem::path& path) {
    const Result<std::string> data = readWholeFile(path);
    if (!data) {
        return data.failure();
    }
    std::string_view rest = *data;
    if (rest.starts_with(kByteOrderMark)) {
        rest.remove_prefix(kByteOrderMark.size());
    }
    std::vector<std::string> lines;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
    }
    return lines;
}

Status writeLineFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    std::string contents;
    // Written without a byte-order mark; but a first line that itself begins with U+FEFF would
    // lose it to the reader, which drops one mark as an editor's. A mark of ours in front of it
    // is the one the reader drops, so the line comes back whole.
    if (!lines.empty() && lines.front().starts_with(kByteOrderMark)) {
        contents += kByteOrderMark;
    }
    for (const std::string& line : lines) {
        contents += line;
        contents += "\r\n";
    }
    return replaceFile(path, contents);
}

bool isMissingFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() ==
           std::filesystem::file_type::not_found;
}

Status deleteFileIfPresent(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return {};
    }
    if (error) {
        return Failure{path.string() + ": " + error.message()};
    }
    if (std::filesystem::is_directory(status)) {
        return Failure{path.string() + ": a folder, not a file"};  // not ours to remove
    }
    if (!std::filesystem::remove(path, error) && error) {
        return Failure{path.string() + ": " + error.message()};
    }
    return {};
}
