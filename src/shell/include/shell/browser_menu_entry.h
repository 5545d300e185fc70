#pragma once
// The web browser's context-menu entry "ルミヴォクスでダウンロード(&N)", which starts the
// program with the chosen link's URL. Adding it writes the script page (script_page.h) and
// registers the page under the browser's menu-extension key; removing it deletes the key and
// leaves the page. The program keeps no state of its own for this: the registry is the record.
//
// The main window asks the user first (kAddMenuEntryQuestion, kRemoveMenuEntryQuestion, with
// Yes and No) and calls these only on Yes. Nothing is reported to the user either way; the
// results are for the log and for callers that want to know (a command line, the tests).

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/registry.h"

inline constexpr std::string_view kMenuText = "ルミヴォクスでダウンロード(&N)";
inline constexpr std::string_view kAddMenuEntryButtonText = "IEの右ｸﾘｯｸに追加";
inline constexpr std::string_view kRemoveMenuEntryButtonText = "IEの右ｸﾘｯｸから削除";
inline constexpr std::string_view kAddMenuEntryQuestion =
    "IEの右クリックメニューにルミヴォクスを追加しますか?";
inline constexpr std::string_view kRemoveMenuEntryQuestion =
    "IEの右クリックメニューからルミヴォクスを削除しますか?";

// Under kCurrentUserHive; the entry is its subkey named kMenuText ("&N": N is the access key).
inline constexpr std::string_view kMenuExtensionKey =
    "Software\\Microsoft\\Internet Explorer\\MenuExt";
// The menus that show the entry: default 0x1, image 0x2, text selection 0x10, link 0x20.
inline constexpr uint32_t kMenuContexts = 0x33;
inline constexpr uint32_t kMenuFlags = 0;

struct MenuEntryFolders {
    std::filesystem::path programFolder;  // holds the program and orglumivox.htm
    std::filesystem::path workFolder;     // receives lumivox.htm
};

// Writes lumivox.htm from the template and registers it: the entry's default value is the
// page's full path (stored whole, however long), "Contexts" is kMenuContexts and "Flags"
// kMenuFlags. The registration happens even when the page could not be written (it then names
// the old or a missing page); without a template nothing happens at all. Adding again rewrites
// the page and the values. A registry failure may leave the key without its values. Fails with
// the first thing that went wrong: the template, the page or the registration.
Status addBrowserMenuEntry(const MenuEntryFolders& folders, Registry& registry);

// Deletes the entry's key; lumivox.htm stays. Succeeds when the key was there and is gone;
// removing an absent entry changes nothing and fails.
Status removeBrowserMenuEntry(Registry& registry);

// Where the page lives and what it starts.
std::filesystem::path scriptPagePath(const MenuEntryFolders& folders);
std::filesystem::path programPath(const MenuEntryFolders& folders);
