#pragma once
// Replacing a file's whole contents so that neither a crash nor a full disk leaves it half
// written: settings, presets and lists are rewritten this way.

#include <filesystem>
#include <string_view>

#include "platform/result.h"

// Who may read a file that replaceFile creates (an existing file keeps its own permissions).
enum class NewFileAccess {
    Default,    // the process's default: read/write for all, less the umask
    OwnerOnly,  // read/write for the owner alone (0600): files that may come to hold a password
    // 0600 whether the file is new or not: a file that holds a password now. An existing file's
    // wider permissions are not kept.
    AlwaysOwnerOnly,
};

// Writes `contents` to a temporary file in the folder of `path`, flushes it to the disk and
// renames it over `path`, so that every reader, and the file after a crash, holds either the
// old or the new contents. An existing file keeps its permission bits (and its owner where the
// process may set it), unless `newFileAccess` is AlwaysOwnerOnly; a new one is created as
// `newFileAccess` says. A symbolic link at `path` is
// followed and its target replaced. A read-only file is not replaced. When the folder does not
// let a file be added but the file itself may be written, it is overwritten in place instead
// (without the protection against a crash). Fails, naming the file and the system's reason, when
// anything fails; then `path` is unchanged and no temporary file is left.
Status replaceFile(const std::filesystem::path& path, std::string_view contents,
                   NewFileAccess newFileAccess = NewFileAccess::Default);

// Writes `contents` as the file `path` (replacing one that is there) through a temporary file
// and a rename, so that no reader ever sees it half written, but without flushing it to the
// disk: for files that can be made again, such as downloaded pieces, where a flush per file
// would cost more than the download. After a crash of the machine such a file may be empty, so
// its reader takes an empty file for a missing one. Fails, naming the file and the system's
// reason; then no temporary file is left.
Status writeFileUnsynced(const std::filesystem::path& path, std::string_view contents);
