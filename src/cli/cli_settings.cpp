#include "cli/cli_settings.h"

RenderSettings loadRenderSettings(const std::string& iniPath, const std::string& desktopFolder,
                                  std::string& warning) {
    RenderSettings settings = loadSettings(iniPath, desktopFolder, &warning);
    if (settings.saveFolder.empty()) {
        settings.saveFolder = desktopFolder;
    }
    return settings;
}
