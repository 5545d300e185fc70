#include "shell/browser_menu_entry.h"

#include <functional>
#include <initializer_list>
#include <string>

#include "platform/replace_file.h"

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
Status registerPage(Registry& registry, const std::string& pagePath) {
    const std::string key = entryKeyPath();
    for (const auto& step : std::initializer_list<std::function<Status()>>{
             [&] { return registry.createKey(kCurrentUserHive, kMenuExtensionKey); },
             [&] { return registry.createKey(kCurrentUserHive, key); },
             [&] { return registry.setString(kCurrentUserHive, key, "", pagePath); },
             [&] { return registry.setDword(kCurrentUserHive, key, "Contexts", kMenuContexts); },
             [&] { return registry.setDword(kCurrentUserHive, key, "Flags", kMenuFlags); }}) {
        if (Status done = step(); !done) {
            return done;
        }
    }
    return {};
}

}  // namespace

std::filesystem::path scriptPagePath(const MenuEntryFolders& folders) {
    return folders.workFolder / kPageFileName;
}

std::filesystem::path programPath(const MenuEntryFolders& folders) {
    return folders.programFolder / kProgramFileName;
}

Status addBrowserMenuEntry(const MenuEntryFolders& folders, Registry& registry) {
    const std::filesystem::path page = scriptPagePath(folders);
    const Result<std::string> pageBytes =
        makeScriptPage(folders.programFolder / kPageTemplateFileName, programPath(folders));
    if (!pageBytes) {
        return pageBytes.failure();
    }
    const Status written = replaceFile(page, *pageBytes);
    const Status registered = registerPage(registry, page.string());
    return written ? registered : written;
}

Status removeBrowserMenuEntry(Registry& registry) {
    return registry.deleteSubkey(kCurrentUserHive, kMenuExtensionKey, kMenuText);
}
