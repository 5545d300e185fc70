#include "shell/browser_menu_entry.h"

#include <string>

#include "shell/script_page.h"

namespace {

std::string entryKeyPath() {
    std::string path(kMenuExtensionKey);
    path += '\\';
    path += kMenuText;
    return path;
}

// The steps in the browser's order: the parent key, the entry's key, the page, "Contexts";
// "Flags" last. A failing step ends the registration.
bool registerPage(Registry& registry, const std::string& pagePath) {
    const std::string key = entryKeyPath();
    return registry.createKey(kCurrentUserHive, kMenuExtensionKey) &&
           registry.createKey(kCurrentUserHive, key) &&
           registry.setString(kCurrentUserHive, key, "", pagePath) &&
           registry.setDword(kCurrentUserHive, key, "Contexts", kMenuContexts) &&
           registry.setDword(kCurrentUserHive, key, "Flags", kMenuFlags);
}

}  // namespace

std::filesystem::path scriptPagePath(const MenuEntryFolders& folders) {
    return folders.workFolder / kPageFileName;
}

std::filesystem::path programPath(const MenuEntryFolders& folders) {
    return folders.programFolder / kProgramFileName;
}

MenuEntryAddResult addBrowserMenuEntry(const MenuEntryFolders& folders, Registry& registry) {
    MenuEntryAddResult result;
    const std::filesystem::path page = scriptPagePath(folders);
    const ScriptPageResult written =
        writeScriptPage(folders.programFolder / kPageTemplateFileName, programPath(folders), page);
    if (written == ScriptPageResult::TemplateMissing) {
        return result;
    }
    result.templateFound = true;
    result.pageWritten = written == ScriptPageResult::Written;
    result.registered = registerPage(registry, page.string());
    return result;
}

bool removeBrowserMenuEntry(Registry& registry) {
    return registry.keyExists(kCurrentUserHive, kMenuExtensionKey) &&
           registry.deleteSubkey(kCurrentUserHive, kMenuExtensionKey, kMenuText);
}
