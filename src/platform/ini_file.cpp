#include "platform/ini_file.h"

#include <initializer_list>
#include <system_error>

#include "platform/file_content.h"
#include "platform/text_conv.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

// Joins texts into one string (also keeps GCC 12 from a false -Wrestrict on operator+).
std::string concat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) {
        out.append(part);
    }
    return out;
}

std::string_view skipLeadingBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view trimView(std::string_view text) {
    text = skipLeadingBlanks(text);
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
}

// The name of a section header line "[name]" (up to its last "]"), else nothing.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = skipLeadingBlanks(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos || close == 0) {
        return std::nullopt;
    }
    return trimView(line.substr(1, close - 1));
}

bool isComment(std::string_view line) {
    line = skipLeadingBlanks(line);
    return !line.empty() && line.front() == ';';
}

// Where the "=" of a key line is, else nothing (comments and headers are no key lines).
std::optional<size_t> keySeparator(std::string_view line) {
    if (isComment(line) || sectionName(line)) {
        return std::nullopt;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return equals;
}

std::string_view stripEnclosingQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A value as the reader sees it: blanks around it and one pair of enclosing quotes dropped.
std::string_view decodeValue(std::string_view raw) {
    return stripEnclosingQuotes(trimView(raw));
}

// The value as it is written, so that decodeValue gives `value` back.
std::string encodeValue(std::string_view value) {
    const bool readingWouldChangeIt =
        !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                           stripEnclosingQuotes(value).size() != value.size());
    if (readingWouldChangeIt) {
        return concat({"\"", value, "\""});
    }
    return std::string(value);
}

// At most kMaxValueBytes of `value`, cut before a UTF-8 character that would not fit whole.
std::string cutToBuffer(std::string_view value) {
    return std::string(cutUtf8(value, IniFile::kMaxValueBytes));
}

bool fitsOnOneLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

Result<IniFile> IniFile::load(const fs::path& path) {
    IniFile file(path);
    std::error_code error;
    if (fs::status(path, error).type() == fs::file_type::not_found) {
        return file;
    }
    const Result<std::string> data = readWholeFile(path);
    if (!data) {
        return data.failure();
    }
    file.parse(*data);
    return file;
}

void IniFile::parse(std::string_view data) {
    if (data.starts_with(kByteOrderMark)) {
        byteOrderMark_ = true;
        data.remove_prefix(kByteOrderMark.size());
    }
    size_t pos = 0;
    while (pos < data.size()) {
        const size_t newline = data.find('\n', pos);
        if (newline == std::string_view::npos) {
            lines_.push_back({std::string(data.substr(pos)), ""});
            break;
        }
        const bool crlf = newline > pos && data[newline - 1] == '\r';
        const size_t end = crlf ? newline - 1 : newline;
        lines_.push_back({std::string(data.substr(pos, end - pos)), crlf ? "\r\n" : "\n"});
        pos = newline + 1;
    }
}

std::optional<size_t> IniFile::findSection(std::string_view section) const {
    section = trimView(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionName(lines_[i].text);
        if (name && equalsNoCase(*name, section)) {
            return i;
        }
    }
    return std::nullopt;
}

size_t IniFile::sectionEnd(size_t header) const {
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        if (sectionName(lines_[i].text)) {
            return i;
        }
    }
    return lines_.size();
}

std::optional<size_t> IniFile::findKey(std::string_view section, std::string_view key) const {
    const auto header = findSection(section);
    if (!header) {
        return std::nullopt;
    }
    key = trimView(key);
    const size_t end = sectionEnd(*header);
    for (size_t i = *header + 1; i < end; ++i) {
        const std::string_view line = lines_[i].text;
        const auto equals = keySeparator(line);
        if (equals && equalsNoCase(trimView(line.substr(0, *equals)), key)) {
            return i;
        }
    }
    return std::nullopt;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    const auto index = findKey(section, key);
    if (!index) {
        return cutToBuffer(defaultValue);
    }
    const std::string_view line = lines_[*index].text;
    return cutToBuffer(decodeValue(line.substr(*keySeparator(line) + 1)));
}

int32_t IniFile::readInt(std::string_view section, std::string_view key,
                         int32_t defaultValue) const {
    const std::string value = readString(section, key, "");
    return value.empty() ? defaultValue : stringToInt32(value);
}

void IniFile::insertLine(size_t index, std::string text) {
    // The line before the new one may have been the file's last line, without a line end.
    if (index > 0 && lines_[index - 1].ending.empty()) {
        lines_[index - 1].ending = kLineEnd;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                  Line{std::move(text), std::string(kLineEnd)});
}

Status IniFile::setString(std::string_view section, std::string_view key, std::string_view value) {
    section = trimView(section);
    key = trimView(key);
    if (section.empty() || !fitsOnOneLine(section)) {
        return Failure{"not a section name of an INI file"};
    }
    if (key.empty() || !fitsOnOneLine(key) || key.find('=') != std::string_view::npos ||
        key.front() == ';' || key.front() == '[') {
        return Failure{concat({"not a key name of an INI file: [", section, "]"})};
    }
    if (!fitsOnOneLine(value)) {
        return Failure{concat({"the value of ", key, " holds a line break or a NUL"})};
    }
    const std::string encoded = encodeValue(value);

    if (const auto index = findKey(section, key)) {
        // Keep the line up to its "=" as it stands, so only the value changes.
        std::string& line = lines_[*index].text;
        line.erase(*keySeparator(line) + 1);
        line += encoded;
        return {};
    }
    const std::string keyLine = concat({key, "=", encoded});
    if (const auto header = findSection(section)) {
        // After the section's last non-blank line, so blank lines before the next section stay.
        size_t after = *header + 1;
        for (size_t i = after; i < sectionEnd(*header); ++i) {
            if (!trimView(lines_[i].text).empty()) {
                after = i + 1;
            }
        }
        insertLine(after, keyLine);
        return {};
    }
    insertLine(lines_.size(), concat({"[", section, "]"}));
    insertLine(lines_.size(), keyLine);
    return {};
}

std::string IniFile::contents() const {
    std::string out;
    if (byteOrderMark_) {
        out += kByteOrderMark;
    }
    for (const Line& line : lines_) {
        out += line.text;
        out += line.ending;
    }
    return out;
}

Status IniFile::save(NewFileAccess newFileAccess) const {
    return replaceFile(path_, contents(), newFileAccess);
}
