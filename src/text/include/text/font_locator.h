#pragma once
// Maps a font face name to the font file that holds it (through fontconfig).

#include <string>

struct FontLocation {
    std::string path;      // full path of the font file; empty when fontconfig knows no file
    std::string folder;    // folder of the file, ending in '/' (the "fonts folder" of comment.ini)
    std::string fileName;  // file name inside `folder`; "msgothic.ttc" for a blank face name
    int faceIndex = 0;     // which face of a collection file to use
};

// The file fontconfig matches for the family `faceName` (blanks at both ends ignored).
// A blank name gives fileName "msgothic.ttc" and an empty path. The face index follows
// msFaceIndex() for msgothic / msmincho files and is fontconfig's index for any other file.
FontLocation locateFontFace(const std::string& faceName);

// The face-index rule of the msgothic / msmincho collections: 2 when the face name contains
// "UI", else 1 when it contains "Ｐ" (full-width P), else 0; any other file (compared
// lower-cased) gives 0.
int msFaceIndex(const std::string& fontFile, const std::string& faceName);
