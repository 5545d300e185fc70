#include "platform/line_file.h"

#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

#include "platform/replace_file.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::optional<std::vector<std::string>> readLineFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        return std::nullopt;
    }
    std::string_view rest = data;
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

bool writeLineFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    std::string contents;
    for (const std::string& line : lines) {
        contents += line;
        contents += "\r\n";
    }
    return replaceFile(path, contents);
}

bool deleteFileIfPresent(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return true;
    }
    if (error || std::filesystem::is_directory(status)) {
        return false;  // a folder of that name is not ours to remove
    }
    return std::filesystem::remove(path, error) && !error;
}
