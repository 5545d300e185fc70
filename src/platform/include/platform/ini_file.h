#pragma once
// INI files read and written with the semantics of the Windows private-profile functions, so
// that lumivox.ini means the same here as there:
//  - sections ("[name]") and keys are matched without regard to ASCII letter case; the first
//    section of a name and the first key of a name in it count;
//  - a key line "key=value" is split at its first "=", and blanks (space, tab, LF, VT, FF, CR)
//    around the key and the value are dropped on reading; one pair of double or single quotes
//    enclosing the value is dropped too;
//  - comment lines (";"), blank lines and lines that are no key keep their place and bytes;
//  - lines end in CR LF or LF on reading; lines the writer adds end in CR LF.
// Values the reading would change (blanks at either end, enclosing quotes) are written inside
// double quotes, so that every value that can be written reads back exactly. A value holding a
// line break or a NUL cannot be stored on one line and is refused.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/replace_file.h"
#include "platform/result.h"

class IniFile {
public:
    // The longest value a reader returns, in bytes: what a 260-byte buffer with its terminator
    // holds. A longer value is cut there, or a little before it so that no UTF-8 character is
    // cut in two.
    static constexpr size_t kMaxValueBytes = 259;

    // Reads `path`. A missing file gives an empty document that save() creates. Fails when
    // the file exists but cannot be read: a document that would overwrite it is not offered.
    static Result<IniFile> load(const std::filesystem::path& path);

    // The value of `key` in `section` (at most kMaxValueBytes), else `defaultValue`.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // The leading decimal integer of the value (blanks and a sign may precede it; 0 when there
    // are no digits; clamped to 32 bits), else `defaultValue` when the key is missing or empty.
    int32_t readInt(std::string_view section, std::string_view key, int32_t defaultValue = 0) const;

    // Sets the value in memory: in place when the key exists, else as a new line at the end
    // of its section, which is added at the end of the file when missing. Fails, with nothing
    // changed, when the section, key or value cannot be stored as one line of an INI file.
    Status setString(std::string_view section, std::string_view key, std::string_view value);

    // Writes the document to its file through a temporary file and a rename; a new file is
    // created with `newFileAccess` (for the owner alone unless asked otherwise: settings files
    // hold passwords), an existing one keeps its permissions.
    Status save(NewFileAccess newFileAccess = NewFileAccess::OwnerOnly) const;

    // The file's contents as save() writes them.
    std::string contents() const;

private:
    struct Line {
        std::string text;    // without the line end
        std::string ending;  // "\r\n", "\n", or "" for a last line without one
    };

    explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}
    void parse(std::string_view data);
    std::optional<size_t> findSection(std::string_view section) const;
    size_t sectionEnd(size_t header) const;  // index of the next header, or lines_.size()
    std::optional<size_t> findKey(std::string_view section, std::string_view key) const;
    void insertLine(size_t index, std::string text);

    std::filesystem::path path_;
    bool byteOrderMark_ = false;  // a UTF-8 byte-order mark opens the file and is kept
    std::vector<Line> lines_;
};
