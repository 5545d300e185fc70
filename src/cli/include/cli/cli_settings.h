#pragma once
// lumivox-cli's reading of lumivox.ini: the desktop program's settings model (app/settings.h),
// with the command line's own rule for an emptied save folder. The command line never writes
// the file.

#include <string>

#include "app/settings.h"

// The settings a command works with.
using RenderSettings = Settings;

// Reads `iniPath` as the desktop program does: a missing file or key gives the defaults, and a
// file that exists but cannot be read gives the defaults and a one-line `warning`. An empty
// "SaveDir" (an emptied edit box) means no choice: the desktop folder.
RenderSettings loadRenderSettings(const std::string& iniPath, const std::string& desktopFolder,
                                  std::string& warning);
