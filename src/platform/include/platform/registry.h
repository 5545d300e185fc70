#pragma once
// The per-user registry of settings that other programs read: keys named by paths under a hive
// ("HKEY_CURRENT_USER"), each holding named values of a string or a 32-bit number type. The
// browser's menu entry is registered here. On Windows this is the system registry; elsewhere a
// file in the work folder keeps the same tree (FileRegistry).
//
// Key paths are separated by backslashes ("Software\Microsoft\Internet Explorer\MenuExt") and
// compared, like value names, without regard to ASCII letter case. The value named "" is the
// key's default value. Texts are UTF-8. Every change reports failure with its reason; a lookup
// finds nothing when the key or value is not there (or the store cannot be read).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

inline constexpr std::string_view kCurrentUserHive = "HKEY_CURRENT_USER";

enum class RegistryValueType {
    String,  // a text (REG_SZ)
    Dword,   // a 32-bit number (REG_DWORD)
};

struct RegistryValue {
    std::string name;  // "" for the default value
    RegistryValueType type = RegistryValueType::String;
    std::string text;     // the value of a String
    uint32_t number = 0;  // the value of a Dword
};

class Registry {
public:
    virtual ~Registry() = default;

    // Creates the key and any missing key above it, or opens it when it exists. Succeeds when
    // the key exists afterwards.
    virtual Status createKey(std::string_view hive, std::string_view keyPath) = 0;
    // True when the key exists.
    virtual bool keyExists(std::string_view hive, std::string_view keyPath) const = 0;

    // Sets a value of an existing key, replacing one of the same name whatever its type. Fails,
    // with nothing changed, when the key does not exist or the value cannot be stored.
    virtual Status setString(std::string_view hive, std::string_view keyPath,
                             std::string_view valueName, std::string_view text) = 0;
    virtual Status setDword(std::string_view hive, std::string_view keyPath,
                            std::string_view valueName, uint32_t number) = 0;

    // One value of a key; nothing when the key or the value does not exist.
    virtual std::optional<RegistryValue> readValue(std::string_view hive, std::string_view keyPath,
                                                   std::string_view valueName) const = 0;
    // Every value of a key in the order they were first set; nothing when the key does not
    // exist.
    virtual std::optional<std::vector<RegistryValue>> readValues(
        std::string_view hive, std::string_view keyPath) const = 0;

    // Deletes the subkey `subkeyName` of `parentPath` with its values. As on Windows, a subkey
    // that has subkeys of its own is not deleted. Succeeds when the subkey is gone; fails when
    // the parent or the subkey does not exist or the deletion failed.
    virtual Status deleteSubkey(std::string_view hive, std::string_view parentPath,
                                std::string_view subkeyName) = 0;
};

// The current user's registry for a run whose work folder is `workFolder`: on POSIX systems the
// file "registry.ini" in that folder.
std::unique_ptr<Registry> openUserRegistry(const std::filesystem::path& workFolder);
