#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "platform/replace_file.h"

namespace fs = std::filesystem;

namespace {

// The file that is really replaced: the target of a symbolic link, else `path` itself.
fs::path resolveTarget(const fs::path& path) {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
        fs::path target = fs::weakly_canonical(path, error);
        if (!error) {
            return target;
        }
    }
    return path;
}

// Creates a new, empty file beside `target` with a name no other file has; -1 on failure.
int createTemporaryBeside(const fs::path& target, mode_t mode, fs::path& temporary) {
    std::random_device seed;
    std::mt19937 random(seed());
    const fs::path folder = target.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "." + std::string.
        std::string name(1, '.');
        name += target.filename().string();
        name += ".tmp";
        name += std::to_string(random() % 1000000000u);
        temporary = folder.empty() ? fs::path(name) : folder / name;
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// 0 when every byte was written, else the errno value.
int writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        contents.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
}

// Writes, syncs and closes `fd` (closed in every case); 0, or the errno value of the first
// step that failed. `length` > -1 cuts the file there after the writing.
int writeSyncClose(int fd, std::string_view contents, off_t length = -1) {
    int error = writeAll(fd, contents);
    if (error == 0 && length >= 0 && ftruncate(fd, length) != 0) {
        error = errno;
    }
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    return error;
}

// The fallback when the folder does not let us add a file but the file itself may be written:
// losing the protection against a crash halfway is better than losing the contents.
Status overwriteInPlace(const fs::path& target, std::string_view contents, bool ownerOnly) {
    // Truncated only after the writing, so that a full disk finds the old blocks to reuse.
    const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return systemFailure(target.string(), errno);
    }
    // Narrowed before the secret is written into it.
    if (ownerOnly && fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
        const int error = errno;
        close(fd);
        return systemFailure(target.string(), error);
    }
    if (const int error = writeSyncClose(fd, contents, static_cast<off_t>(contents.size()))) {
        return systemFailure(target.string(), error);
    }
    return {};
}

// Makes the rename itself durable; a failure here loses nothing that a later sync would not.
void syncFolder(const fs::path& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

Status replaceFile(const fs::path& path, std::string_view contents, NewFileAccess newFileAccess) {
    const fs::path target = resolveTarget(path);
    const std::string name = target.string();

    std::optional<struct stat> existing;
    struct stat status {};
    if (stat(target.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode)) {
            // Never replace a folder, a device or a pipe by a file.
            return Failure{name + ": not a regular file"};
        }
        // A read-only file stays as it is, as writing into it would fail; without the mode
        // check a privileged process would replace it all the same.
        const bool writable = (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
                              access(target.c_str(), W_OK) == 0;
        if (!writable) {
            return systemFailure(name, EACCES);
        }
        existing = status;
    } else if (errno != ENOENT) {
        return systemFailure(name, errno);
    }

    // A new default file gets 0666 less the umask from open(); every other case sets its bits
    // explicitly below, since the umask may not take away what the file must have.
    const bool ownerOnly = newFileAccess != NewFileAccess::Default;
    const mode_t createMode = (existing || ownerOnly) ? S_IRUSR | S_IWUSR : 0666;
    fs::path temporary;
    const int fd = createTemporaryBeside(target, createMode, temporary);
    if (fd < 0) {
        const int error = errno;
        if (existing && (error == EACCES || error == EPERM)) {
            return overwriteInPlace(target, contents,
                                    newFileAccess == NewFileAccess::AlwaysOwnerOnly);
        }
        return systemFailure(name, error);
    }

    int error = 0;
    if (newFileAccess == NewFileAccess::AlwaysOwnerOnly) {
        error = fchmod(fd, S_IRUSR | S_IWUSR) == 0 ? 0 : errno;
    } else if (existing) {
        if (existing->st_uid != geteuid() || existing->st_gid != getegid()) {
            // Only a privileged process may give the file away; without it the new file is ours.
            (void)fchown(fd, existing->st_uid, existing->st_gid);
        }
        error = fchmod(fd, existing->st_mode & 07777) == 0 ? 0 : errno;
    } else if (ownerOnly) {
        error = fchmod(fd, S_IRUSR | S_IWUSR) == 0 ? 0 : errno;
    }
    if (error != 0) {
        close(fd);
    } else {
        error = writeSyncClose(fd, contents);
    }
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
        return systemFailure(name, error);
    }
    syncFolder(target.parent_path());
    return {};
}

Status writeFileUnsynced(const fs::path& path, std::string_view contents) {
    fs::path temporary;
    const int fd = createTemporaryBeside(path, 0666, temporary);
    if (fd < 0) {
        return systemFailure(path.string(), errno);
    }
    int error = writeAll(fd, contents);
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
        return systemFailure(path.string(), error);
    }
    return {};
}
