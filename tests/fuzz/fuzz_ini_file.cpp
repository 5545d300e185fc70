// Any bytes as lumivox.ini: read, look up, change and write back. The same bytes read the same;
// a value that could be set reads back unchanged after a save, whatever the file around it.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("lumivox-fuzz-ini-" + std::to_string(::getpid()) + ".ini");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Result<IniFile> ini = IniFile::load(file);
    if (!ini) {
        return 0;
    }
    const std::string before = ini->contents();
    (void)ini->readString("Lumivox", "Format", "AVI");
    (void)ini->readInt("Lumivox", "FontSize", 0);
    Result<IniFile> again = IniFile::load(file);
    if (!again || again->contents() != before) {
        __builtin_trap();  // the same bytes must read the same
    }
    // The input's last bytes as a value of a key of our own.
    const size_t length = size < 40 ? size : 40;
    const std::string value(reinterpret_cast<const char*>(data) + size - length, length);
    if (ini->setString("Lumivox", "FuzzValue", value) && ini->save()) {
        Result<IniFile> saved = IniFile::load(file);
        if (!saved || saved->readString("Lumivox", "FuzzValue", "") != value) {
            __builtin_trap();  // a stored value must come back as it was
        }
    }
    return 0;
}
