#pragma once
// Text files of one item per line, as the list files (Ignore.sav, Extract.sav, download.sav)
// keep them: lines end in CR LF when written and in CR LF or LF when read.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The lines of `path` in file order, without their line ends and otherwise untouched: nothing
// is trimmed, an empty line is an empty text, and a last line without a line end counts. A
// UTF-8 byte-order mark that an editor put at the start is no part of the first line. Nothing
// when the file cannot be opened or read.
std::optional<std::vector<std::string>> readLineFile(const std::filesystem::path& path);

// Replaces the contents of `path` with every line followed by CR LF, through replaceFile, so
// that a crash leaves the old or the new list. False when the file cannot be written; it is then
// unchanged.
bool writeLineFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

// Deletes the file `path`. True when no file is there afterwards, a missing one included.
bool deleteFileIfPresent(const std::filesystem::path& path);
