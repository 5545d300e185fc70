#pragma once
// The settings of lumivox.ini that a render uses, with the program's defaults for a missing file
// or key. (The desktop program keeps the whole file; the command line only reads it.)

#include <string>

struct RenderSettings {
    std::string saveFolder;       // "SaveDir"; default: the desktop folder
    std::string fontFace;         // "Font"; default "ＭＳ Ｐゴシック"
    int fontSizePt = 0;           // "FontPt"; default 0 (automatic)
    std::string formatName;       // "Format"; default "AVI"
    bool hideOldComments = true;  // "Old"; on exactly when the value is "1"; default "1"
};

// Reads section "Lumivox" of `iniPath`. A missing file gives the defaults. A file that exists
// but cannot be read gives the defaults too, and a one-line `warning`.
RenderSettings loadRenderSettings(const std::string& iniPath, const std::string& desktopFolder,
                                  std::string& warning);
