#pragma once
// The folders the system names for the running program and the user: the program's own folder,
// the home folder, the per-user data and configuration folders, and the desktop folder.
// Paths are UTF-8 and carry no trailing separator; an empty path means "unknown".

#include <string>
#include <string_view>

// The folder of the running executable.
std::string executableFolder();

// The user's home folder: $HOME when it is an absolute path, else the user database's entry.
std::string homeFolder();

// The per-user data folder: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::string userDataFolder();

// The per-user configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else
// ~/.config.
std::string userConfigFolder();

// The user's desktop folder, as `xdg-user-dir DESKTOP` finds it: XDG_DESKTOP_DIR from
// user-dirs.dirs in the configuration folder (or from the environment when the file does not
// set it), else ~/Desktop. When that folder does not exist, the home folder.
std::string desktopFolder();

// The value that the shell assignment `key=...` in a user-dirs.dirs text gives `key`: the last
// assignment counts, comments (#) and other lines are skipped, one level of double or single
// quotes is removed, backslash escapes inside double quotes are undone, and a leading $HOME or
// ${HOME} is replaced by `home`. Empty when the text does not assign the key, or assigns a path
// that is neither absolute nor under $HOME.
std::string userDirFromUserDirsFile(std::string_view contents, std::string_view key,
                                    std::string_view home);

// True when `folder` is an existing folder in which this process may create files.
bool isWritableFolder(const std::string& folder);

// The environment variable `name`, or an empty text when it is not set.
std::string environmentValue(const char* name);
