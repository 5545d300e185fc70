#include "cli/cli_settings.h"

#include <optional>

#include "platform/ini_file.h"

namespace {

constexpr const char* kSection = "Lumivox";
constexpr const char* kDefaultFont = "ＭＳ Ｐゴシック";
constexpr const char* kDefaultFormat = "AVI";

}  // namespace

RenderSettings loadRenderSettings(const std::string& iniPath, const std::string& desktopFolder,
                                  std::string& warning) {
    RenderSettings settings;
    settings.saveFolder = desktopFolder;
    settings.fontFace = kDefaultFont;
    settings.formatName = kDefaultFormat;
    const std::optional<IniFile> ini = IniFile::load(iniPath);
    if (!ini) {
        warning = iniPath + " cannot be read; using the default settings";
        return settings;
    }
    settings.saveFolder = ini->readString(kSection, "SaveDir", desktopFolder);
    if (settings.saveFolder.empty()) {
        settings.saveFolder = desktopFolder;  // an emptied edit box means no choice
    }
    settings.fontFace = ini->readString(kSection, "Font", kDefaultFont);
    settings.fontSizePt = ini->readInt(kSection, "FontPt", 0);
    settings.formatName = ini->readString(kSection, "Format", kDefaultFormat);
    settings.hideOldComments = ini->readString(kSection, "Old", "1") == "1";
    return settings;
}
