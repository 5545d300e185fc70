#include "app/run_folders.h"

#include <filesystem>
#include <system_error>

#include "platform/known_folders.h"

namespace fs = std::filesystem;

namespace {

// The folder name of Lumivox inside the user's data folder.
constexpr const char* kDataFolderName = "lumivox";
// The environment variable that names the work folder outright.
constexpr const char* kHomeVariable = "LUMIVOX_HOME";

std::string normalFolder(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        absolute = path;
    }
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::optional<std::string> chooseWorkFolder(const WorkFolderInputs& inputs) {
    if (!inputs.lumivoxHome.empty()) {
        return normalFolder(inputs.lumivoxHome);
    }
    if (!inputs.programFolder.empty() && inputs.programFolderWritable) {
        return normalFolder(inputs.programFolder);
    }
    if (!inputs.userDataFolder.empty()) {
        return normalFolder(inputs.userDataFolder + "/" + kDataFolderName);
    }
    return std::nullopt;
}

std::optional<RunFolders> discoverRunFolders(std::string& error) {
    RunFolders folders;
    folders.programFolder = executableFolder();
    if (folders.programFolder.empty()) {
        error = "the program folder could not be found";
        return std::nullopt;
    }
    WorkFolderInputs inputs;
    inputs.programFolder = folders.programFolder;
    inputs.programFolderWritable = isWritableFolder(folders.programFolder);
    inputs.lumivoxHome = environmentValue(kHomeVariable);
    inputs.userDataFolder = userDataFolder();
    const std::optional<std::string> work = chooseWorkFolder(inputs);
    if (!work) {
        error = "no work folder: the program folder cannot be written and there is no home folder";
        return std::nullopt;
    }
    std::error_code created;
    fs::create_directories(*work, created);
    if (created || !isWritableFolder(*work)) {
        error = "the work folder " + *work + " cannot be created or written" +
                (created ? ": " + created.message() : std::string());
        return std::nullopt;
    }
    folders.workFolder = *work;
    folders.desktopFolder = desktopFolder();
    return folders;
}

std::string withTrailingSeparator(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/') {
        return folder;
    }
    return folder + "/";
}
