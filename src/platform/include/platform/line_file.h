#pragma once
// Text files of one item per line, as the list files (Ignore.sav, Extract.sav, download.sav)
// keep them: lines end in CR LF when written and in CR LF or LF when read.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/result.h"

// The lines of `path` in file order, without their line ends and otherwise untouched: nothing
// is trimmed, an empty line is an empty text, and a last line without a line end counts. A
// UTF-8 byte-order mark that an editor put at the start is no part of the first line. Fails
// when the file cannot be read (a missing one included).
Result<std::vector<std::string>> readLineFile(const std::filesystem::path& path);

// Replaces the contents of `path` with every line followed by CR LF, through replaceFile, so
// that a crash leaves the old or the new list. No byte-order mark is written, except in front of
// a first line that begins with U+FEFF itself: readLineFile gives back exactly `lines`. Fails when
// the file cannot be written; it is then unchanged.
Status writeLineFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

// True when nothing at all is at `path` (a file that cannot be looked at is not missing).
bool isMissingFile(const std::filesystem::path& path);

// Deletes the file `path`. Succeeds when no file is there afterwards, a missing one included;
// a folder of that name is not removed.
Status deleteFileIfPresent(const std::filesystem::path& path);
