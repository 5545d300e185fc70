#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/known_folders.h"
#include "platform/user_session.h"

namespace {

std::string withoutTrailingSeparators(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

std::string temporaryFolder() {
    std::error_code error;
    const std::string folder = std::filesystem::temp_directory_path(error).string();
    return error || folder.empty() ? std::string("/tmp") : withoutTrailingSeparators(folder);
}

// The folder `path` as found: a folder itself (lstat: a link is refused, not followed), this
// user's, closed to everyone else.
Status checkPrivateFolder(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return systemFailure("cannot examine " + path, errno);
    }
    if (!S_ISDIR(status.st_mode)) {
        return Failure{path + " is not a folder (a link or a file has taken its name)"};
    }
    if (status.st_uid != ::getuid()) {
        return Failure{path + " belongs to user " + std::to_string(status.st_uid) + ", not to " +
                       userKey()};
    }
    if ((status.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(status.st_mode & 0777));
        return Failure{path + " is open to other users (mode " + mode + ", not 700)"};
    }
    return {};
}

}  // namespace

Result<std::string> runtimeFolder() {
    const std::string session = environmentValue("XDG_RUNTIME_DIR");
    if (!session.empty() && session.front() == '/') {
        return withoutTrailingSeparators(session);
    }
    const std::string own = temporaryFolder() + "/lumivox-" + userKey();
    if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) {
        return systemFailure("cannot create " + own, errno);
    }
    if (Status checked = checkPrivateFolder(own); !checked) {
        return checked.failure();
    }
    return own;
}

std::string userKey() {
    return std::to_string(::getuid());
}
