#include "platform/file_registry.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "platform/file_content.h"
#include "platform/log.h"
#include "platform/replace_file.h"
#include "platform/text_conv.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFileComment =
    "; Lumivox's registry: the keys and values a Windows registry would hold, in the form of a "
    ".reg file.";

struct StoredKey {
    std::string path;  // "HIVE\first\second", spelt as when the key was created
    std::vector<RegistryValue> values;
};
using Tree = std::vector<StoredKey>;

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && asciiLower(a) == asciiLower(b);
}

bool isValidKeyName(std::string_view name) {
    return !name.empty() && name.find_first_of(std::string_view("\\\r\n\0", 4)) == name.npos;
}

// "HIVE\keyPath" when both are valid names (every piece of the path non-empty), else nothing.
std::optional<std::string> fullKeyPath(std::string_view hive, std::string_view keyPath) {
    if (!isValidKeyName(hive) || keyPath.empty()) {
        return std::nullopt;
    }
    std::string_view rest = keyPath;
    while (true) {
        const size_t end = rest.find('\\');
        if (!isValidKeyName(rest.substr(0, end))) {
            return std::nullopt;
        }
        if (end == rest.npos) {
            break;
        }
        rest.remove_prefix(end + 1);
    }
    std::string path(hive);
    path += '\\';
    path += keyPath;
    return path;
}

// The key of `path` in `tree` (a Tree or a const Tree), or null.
template <typename TreeType>
auto findKey(TreeType& tree, std::string_view path) -> decltype(&tree.front()) {
    auto key = std::find_if(tree.begin(), tree.end(),
                            [&](const StoredKey& k) { return sameName(k.path, path); });
    return key == tree.end() ? nullptr : &*key;
}

bool hasSubkeys(const Tree& tree, std::string_view path) {
    const std::string prefix = asciiLower(path) + '\\';
    return std::any_of(tree.begin(), tree.end(), [&](const StoredKey& k) {
        return k.path.size() > prefix.size() && asciiLower(k.path).starts_with(prefix);
    });
}

// --- the file's form ---

std::string quotedText(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    out += '"';
    return out;
}

// Reads a quoted text at the start of `line` and moves past it; nothing when it is malformed.
std::optional<std::string> unquote(std::string_view& line) {
    if (!line.starts_with('"')) {
        return std::nullopt;
    }
    std::string text;
    for (size_t i = 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            line.remove_prefix(i + 1);
            return text;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++i == line.size()) {
            return std::nullopt;
        }
        switch (line[i]) {
            case '\\':
                text += '\\';
                break;
            case '"':
                text += '"';
                break;
            case 'r':
                text += '\r';
                break;
            case 'n':
                text += '\n';
                break;
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> parseHex32(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

// `@="text"`, `"name"="text"` or `"name"=dword:0000002a`.
std::optional<RegistryValue> parseValueLine(std::string_view line) {
    RegistryValue value;
    if (line.starts_with('@')) {
        line.remove_prefix(1);
    } else {
        std::optional<std::string> name = unquote(line);
        if (!name) {
            return std::nullopt;
        }
        value.name = std::move(*name);
    }
    if (!line.starts_with('=')) {
        return std::nullopt;
    }
    line.remove_prefix(1);
    if (line.starts_with("dword:")) {
        std::optional<uint32_t> number = parseHex32(line.substr(6));
        if (!number) {
            return std::nullopt;
        }
        value.type = RegistryValueType::Dword;
        value.number = *number;
        return value;
    }
    std::optional<std::string> text = unquote(line);
    if (!text || !line.empty()) {
        return std::nullopt;
    }
    value.type = RegistryValueType::String;
    value.text = std::move(*text);
    return value;
}

std::optional<Tree> parseTree(std::string_view data) {
    Tree tree;
    while (!data.empty()) {
        const size_t end = data.find('\n');
        std::string_view line = data.substr(0, end);
        data = end == data.npos ? std::string_view{} : data.substr(end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.starts_with(';')) {
            continue;
        }
        if (line.starts_with('[')) {
            const size_t close = line.rfind(']');
            if (close == line.npos || close + 1 != line.size()) {
                return std::nullopt;
            }
            const std::string_view path = line.substr(1, close - 1);
            const size_t hiveEnd = path.find('\\');
            if (hiveEnd == path.npos ||
                !fullKeyPath(path.substr(0, hiveEnd), path.substr(hiveEnd + 1))) {
                return std::nullopt;
            }
            if (findKey(tree, path) == nullptr) {
                tree.push_back({std::string(path), {}});
            }
            continue;
        }
        std::optional<RegistryValue> value = parseValueLine(line);
        if (!value || tree.empty()) {
            return std::nullopt;
        }
        std::vector<RegistryValue>& values = tree.back().values;
        auto same = std::find_if(values.begin(), values.end(), [&](const RegistryValue& v) {
            return sameName(v.name, value->name);
        });
        if (same != values.end()) {
            *same = std::move(*value);  // the last line of a name counts, as regedit imports it
        } else {
            values.push_back(std::move(*value));
        }
    }
    return tree;
}

std::string formatTree(const Tree& tree) {
    std::string out(kFileComment);
    out += "\r\n";
    for (const StoredKey& key : tree) {
        out += "\r\n[" + key.path + "]\r\n";
        for (const RegistryValue& value : key.values) {
            out += value.name.empty() ? std::string("@") : quotedText(value.name);
            out += '=';
            if (value.type == RegistryValueType::Dword) {
                char digits[16];
                std::snprintf(digits, sizeof digits, "dword:%08x", value.number);
                out += digits;
            } else {
                out += quotedText(value.text);
            }
            out += "\r\n";
        }
    }
    return out;
}

// The tree in `file`: empty when there is no file; a failure when it cannot be read or parsed.
Result<Tree> readTree(const fs::path& file) {
    std::error_code error;
    if (fs::status(file, error).type() == fs::file_type::not_found) {
        return Tree{};
    }
    const Result<std::string> data = readWholeFile(file);
    if (!data) {
        return data.failure();
    }
    std::optional<Tree> tree = parseTree(*data);
    if (!tree) {
        return Failure{file.string() + ": not in the form of a registry file"};
    }
    return std::move(*tree);
}

// The tree for a lookup: nothing when the file cannot be read, which is logged.
std::optional<Tree> treeToLookIn(const fs::path& file) {
    Result<Tree> tree = readTree(file);
    if (!tree) {
        logWarning(LogComponent::App, "the registry cannot be read: " + tree.error());
        return std::nullopt;
    }
    return std::move(*tree);
}

Status writeTree(const fs::path& file, const Tree& tree) {
    return replaceFile(file, formatTree(tree));
}

Failure notAKeyPath(std::string_view hive, std::string_view keyPath) {
    std::string text = "not a registry key: ";
    text += hive;
    text += '\\';
    text += keyPath;
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
    return Failure{text};
}

}  // namespace

Status FileRegistry::createKey(std::string_view hive, std::string_view keyPath) {
    const std::optional<std::string> path = fullKeyPath(hive, keyPath);
    if (!path) {
        return notAKeyPath(hive, keyPath);
    }
    Result<Tree> tree = readTree(file_);
    if (!tree) {
        return tree.failure();
    }
    if (findKey(*tree, *path) != nullptr) {
        return {};
    }
    // Every missing key on the way down, as the Windows registry creates them.
    for (size_t end = path->find('\\', hive.size() + 1);; end = path->find('\\', end + 1)) {
        const std::string_view upTo = std::string_view(*path).substr(0, end);
        if (findKey(*tree, upTo) == nullptr) {
            tree->push_back({std::string(upTo), {}});
        }
        if (end == std::string::npos) {
            break;
        }
    }
    return writeTree(file_, *tree);
}

bool FileRegistry::keyExists(std::string_view hive, std::string_view keyPath) const {
    const std::optional<std::string> path = fullKeyPath(hive, keyPath);
    const std::optional<Tree> tree = path ? treeToLookIn(file_) : std::nullopt;
    return tree && findKey(*tree, *path) != nullptr;
}

Status FileRegistry::setString(std::string_view hive, std::string_view keyPath,
                               std::string_view valueName, std::string_view text) {
    if (text.find('\0') != text.npos) {
        return Failure{"a registry string cannot hold a NUL"};  // it would end there
    }
    return setValue(
        hive, keyPath,
        RegistryValue{std::string(valueName), RegistryValueType::String, std::string(text), 0});
}

Status FileRegistry::setDword(std::string_view hive, std::string_view keyPath,
                              std::string_view valueName, uint32_t number) {
    return setValue(hive, keyPath,
                    RegistryValue{std::string(valueName), RegistryValueType::Dword, {}, number});
}

Status FileRegistry::setValue(std::string_view hive, std::string_view keyPath,
                              RegistryValue value) {
    if (value.name.find('\0') != std::string::npos) {
        return Failure{"a registry value name cannot hold a NUL"};
    }
    const std::optional<std::string> path = fullKeyPath(hive, keyPath);
    if (!path) {
        return notAKeyPath(hive, keyPath);
    }
    Result<Tree> tree = readTree(file_);
    if (!tree) {
        return tree.failure();
    }
    StoredKey* key = findKey(*tree, *path);
    if (key == nullptr) {
        return Failure{"no registry key " + *path};
    }
    auto same = std::find_if(key->values.begin(), key->values.end(),
                             [&](const RegistryValue& v) { return sameName(v.name, value.name); });
    if (same != key->values.end()) {
        value.name = same->name;  // the name keeps the spelling it was first set with
        *same = std::move(value);
    } else {
        key->values.push_back(std::move(value));
    }
    return writeTree(file_, *tree);
}

std::optional<RegistryValue> FileRegistry::readValue(std::string_view hive,
                                                     std::string_view keyPath,
                                                     std::string_view valueName) const {
    const std::optional<std::vector<RegistryValue>> values = readValues(hive, keyPath);
    if (!values) {
        return std::nullopt;
    }
    for (const RegistryValue& value : *values) {
        if (sameName(value.name, valueName)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<RegistryValue>> FileRegistry::readValues(std::string_view hive,
                                                                   std::string_view keyPath) const {
    const std::optional<std::string> path = fullKeyPath(hive, keyPath);
    const std::optional<Tree> tree = path ? treeToLookIn(file_) : std::nullopt;
    if (!tree) {
        return std::nullopt;
    }
    const StoredKey* key = findKey(*tree, *path);
    if (key == nullptr) {
        return std::nullopt;
    }
    return key->values;
}

Status FileRegistry::deleteSubkey(std::string_view hive, std::string_view parentPath,
                                  std::string_view subkeyName) {
    const std::optional<std::string> parent = fullKeyPath(hive, parentPath);
    if (!parent || !isValidKeyName(subkeyName)) {
        return notAKeyPath(hive, std::string(parentPath) + '\\' + std::string(subkeyName));
    }
    Result<Tree> tree = readTree(file_);
    if (!tree) {
        return tree.failure();
    }
    const std::string path = *parent + '\\' + std::string(subkeyName);
    auto key = std::find_if(tree->begin(), tree->end(),
                            [&](const StoredKey& k) { return sameName(k.path, path); });
    if (findKey(*tree, *parent) == nullptr || key == tree->end()) {
        return Failure{"no registry key " + path};
    }
    if (hasSubkeys(*tree, path)) {
        return Failure{"the registry key " + path + " has subkeys"};
    }
    tree->erase(key);
    return writeTree(file_, *tree);
}
