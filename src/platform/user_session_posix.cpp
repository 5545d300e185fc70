#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/known_folders.h"
#include "platform/user_session.h"

std::string runtimeFolder() {
    std::string folder = environmentValue("XDG_RUNTIME_DIR");
    if (folder.empty() || folder.front() != '/') {
        std::error_code error;
        folder = std::filesystem::temp_directory_path(error).string();
        if (error || folder.empty()) {
            folder = "/tmp";
        }
    }
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

std::string userKey() {
    return std::to_string(::getuid());
}
