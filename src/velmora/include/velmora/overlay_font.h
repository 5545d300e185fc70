#pragma once
// Opens the font that comment.ini names, or the nearest font this system has.

#include <memory>
#include <string>
#include <vector>

#include "text/text_engine.h"
#include "velmora/overlay_script.h"

struct OverlayFont {
    std::unique_ptr<TextEngine> engine;  // nullptr when no font could be opened at all
    std::string path;                    // the file that was opened
    int faceIndex = 0;
    bool fallback = false;  // true when it is not the font comment.ini names
    // Every file tried, in order: "path (face n)", with FreeType's reason where it failed.
    std::vector<std::string> tried;
};

// Tries the folder and file of the header with its face index (then face 0 of that file),
// then fontconfig's IPAPGothic, then fontconfig's default sans-serif face.
OverlayFont openOverlayFont(const OverlayScriptHeader& header);
