#pragma once
// The registry kept in a file, for systems without one of their own. The file holds the tree in
// the form of a Windows .reg export, UTF-8, lines ending in CR LF (LF read too):
//
//   ; comment
//   [HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\MenuExt\Name(&N)]
//   @="/home/user/.local/share/lumivox/lumivox.htm"
//   "Contexts"=dword:00000033
//
// Every key has its own header, its parents included. Strings are in double quotes with the
// escapes \\ \" \r \n; numbers are 8 hexadecimal digits. Blank lines and ";" lines are skipped.
//
// Every operation reads the file anew and every change writes it anew through a temporary file,
// so that several FileRegistry objects (and processes) on one file see each other's changes and
// a crash leaves the old or the new tree. A missing file is an empty registry. A file that cannot
// be read or does not follow the form is left alone: reads find nothing (the reason goes to the
// log) and changes fail with it.

#include <filesystem>

#include "platform/registry.h"

class FileRegistry : public Registry {
public:
    explicit FileRegistry(std::filesystem::path file) : file_(std::move(file)) {}

    Status createKey(std::string_view hive, std::string_view keyPath) override;
    bool keyExists(std::string_view hive, std::string_view keyPath) const override;
    Status setString(std::string_view hive, std::string_view keyPath, std::string_view valueName,
                     std::string_view text) override;
    Status setDword(std::string_view hive, std::string_view keyPath, std::string_view valueName,
                    uint32_t number) override;
    std::optional<RegistryValue> readValue(std::string_view hive, std::string_view keyPath,
                                           std::string_view valueName) const override;
    std::optional<std::vector<RegistryValue>> readValues(std::string_view hive,
                                                         std::string_view keyPath) const override;
    Status deleteSubkey(std::string_view hive, std::string_view parentPath,
                        std::string_view subkeyName) override;

    const std::filesystem::path& file() const { return file_; }

private:
    Status setValue(std::string_view hive, std::string_view keyPath, RegistryValue value);

    std::filesystem::path file_;
};
