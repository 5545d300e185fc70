#include "app/settings.h"

#include <string_view>

#include "platform/ini_file.h"

namespace {

// The flag rule: on exactly when the text is "1".
bool readFlag(const IniFile& ini, std::string_view key) {
    return ini.readString(kSettingsSection, key, "1") == "1";
}

const char* flagText(bool flag) {
    return flag ? "1" : "0";
}

}  // namespace

Settings defaultSettings(const std::string& desktopFolder) {
    Settings settings;
    settings.saveFolder = desktopFolder;
    return settings;
}

Settings loadSettings(const std::filesystem::path& iniPath, const std::string& desktopFolder,
                      std::string* warning) {
    Settings settings = defaultSettings(desktopFolder);
    const Result<IniFile> ini = IniFile::load(iniPath);
    if (!ini) {
        if (warning != nullptr) {
            *warning = ini.error() + "; the default settings are used";
        }
        return settings;
    }
    settings.saveFolder = ini->readString(kSettingsSection, "SaveDir", desktopFolder);
    settings.fontFace = ini->readString(kSettingsSection, "Font", kDefaultFontFace);
    settings.fontSizePt = ini->readInt(kSettingsSection, "FontPt", 0);
    settings.mail = ini->readString(kSettingsSection, "Mail", "");
    settings.password = ini->readString(kSettingsSection, "Password", "");
    settings.sessionCookie = ini->readString(kSettingsSection, "Session", "");
    settings.videoQuality = ini->readString(kSettingsSection, "Quality", "");
    settings.formatName = ini->readString(kSettingsSection, "Format", kDefaultFormatName);
    settings.commandWords = ini->readString(kSettingsSection, "Commands", "");
    settings.hideOldComments = readFlag(*ini, "Old");
    settings.noAutoLogin = readFlag(*ini, "Login");
    settings.listWindowShown = readFlag(*ini, "ListDialog");
    settings.commentWindowShown = readFlag(*ini, "CommentDialog");
    std::string serviceWarning;
    settings.service = serviceEndpointsFromIni(*ini, &serviceWarning);
    if (!serviceWarning.empty() && warning != nullptr) {
        *warning = serviceWarning;
    }
    return settings;
}

Status saveSettings(const std::filesystem::path& iniPath, const Settings& settings) {
    Result<IniFile> ini = IniFile::load(iniPath);
    if (!ini) {
        return ini.failure();  // never overwrite a file whose other contents could not be read
    }
    // A value that cannot stand on one line (a line break typed into a field) is refused by
    // setString; the other keys are still written, and the first refusal is reported.
    Status stored;
    const auto set = [&](std::string_view key, std::string_view value) {
        if (Status set = ini->setString(kSettingsSection, key, value); !set && stored) {
            stored = set;
        }
    };
    set("SaveDir", settings.saveFolder);
    set("Font", settings.fontFace);
    set("FontPt", std::to_string(settings.fontSizePt));
    set("Mail", settings.mail);
    set("Password", settings.password);
    // Written only once there is something to keep, so that files of the old program stay as
    // they were.
    if (!settings.sessionCookie.empty() ||
        !ini->readString(kSettingsSection, "Session", "").empty()) {
        set("Session", settings.sessionCookie);
    }
    if (!settings.videoQuality.empty() ||
        !ini->readString(kSettingsSection, "Quality", "").empty()) {
        set("Quality", settings.videoQuality);
    }
    set("Format", settings.formatName);
    set("Old", flagText(settings.hideOldComments));
    set("Login", flagText(settings.noAutoLogin));
    set("ListDialog", flagText(settings.listWindowShown));
    set("CommentDialog", flagText(settings.commentWindowShown));
    // A file that keeps a password or a session is the owner's alone, whatever mode it had.
    const bool holdsSecret = !ini->readString(kSettingsSection, "Password", "").empty() ||
                             !ini->readString(kSettingsSection, "Session", "").empty();
    if (Status saved =
            ini->save(holdsSecret ? NewFileAccess::AlwaysOwnerOnly : NewFileAccess::OwnerOnly);
        !saved) {
        return saved;
    }
    return stored;
}
