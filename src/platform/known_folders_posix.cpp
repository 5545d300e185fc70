#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/file_content.h"
#include "platform/known_folders.h"

namespace {

bool isAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// A folder under the home folder, or an absolute path from the environment variable `name`.
std::string xdgFolder(const char* name, const char* underHome) {
    const std::string fromEnvironment = environmentValue(name);
    if (isAbsolute(fromEnvironment)) {
        return withoutTrailingSeparators(fromEnvironment);
    }
    const std::string home = homeFolder();
    return home.empty() ? std::string() : withoutTrailingSeparators(home + "/" + underHome);
}

}  // namespace

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string executableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || exe.empty()) {
        return {};
    }
    return withoutTrailingSeparators(exe.parent_path().string());
}

std::string homeFolder() {
    const std::string fromEnvironment = environmentValue("HOME");
    if (isAbsolute(fromEnvironment)) {
        return withoutTrailingSeparators(fromEnvironment);
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr && isAbsolute(result->pw_dir)) {
        return withoutTrailingSeparators(result->pw_dir);
    }
    return {};
}

std::string userDataFolder() {
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string userConfigFolder() {
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

std::string desktopFolder() {
    const std::string home = homeFolder();
    std::string desktop;
    const std::string config = userConfigFolder();
    if (!config.empty()) {
        // Without the file (as on many systems) the environment and ~/Desktop follow.
        desktop = userDirFromUserDirsFile(
            readWholeFile(config + "/user-dirs.dirs").value_or(std::string()), "XDG_DESKTOP_DIR",
            home);
    }
    if (desktop.empty()) {
        const std::string fromEnvironment = environmentValue("XDG_DESKTOP_DIR");
        if (isAbsolute(fromEnvironment)) {
            desktop = withoutTrailingSeparators(fromEnvironment);
        }
    }
    if (desktop.empty() && !home.empty()) {
        desktop = home + "/Desktop";
    }
    return isFolder(desktop) ? desktop : home;
}

bool isWritableFolder(const std::string& folder) {
    return isFolder(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}
