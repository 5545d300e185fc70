#pragma once
// The comment font's face list: the installed font families that the main window offers, and
// which of them stands for the face saved in the settings.
//
// Names are compared whole and without regard to ASCII letter case, both when the list drops
// a second spelling of a name and when the saved face is looked up (so a saved "ipapgothic"
// selects "IPAPGothic", but "IPA" does not select "IPAPGothic"). fontconfig enumerates fonts in
// no meaningful order, so the list is sorted by name.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// `names` trimmed at both ends, without empty names and without later spellings of a name
// already taken, sorted by name (ASCII letters without regard to case, then byte order).
std::vector<std::string> makeFaceList(std::vector<std::string> names);

// The family name fontconfig gives a font whose family names are `families`, in the languages
// `languages` (the same order; shorter or empty when fontconfig names no language): the first
// Japanese name, since the program speaks Japanese, else the first name. Empty when `families`
// is empty.
std::string displayFamily(const std::vector<std::string>& families,
                          const std::vector<std::string>& languages);

// Every installed font family once, by its display name, as makeFaceList orders them.
std::vector<std::string> installedFaceList();

// The installed families that can show Japanese (fontconfig's language "ja"), as makeFaceList
// orders them: what the font box offers, since the comments are Japanese.
std::vector<std::string> japaneseFaceList();

// The font box's list: `japaneseFaces`, plus the saved face when it is installed (one of
// `installedFaces`) but cannot show Japanese, so that a choice made earlier stays selectable.
std::vector<std::string> faceListWithSavedFace(std::vector<std::string> japaneseFaces,
                                               const std::vector<std::string>& installedFaces,
                                               const std::string& savedFace);

// The family that stands in for `faceName` when no installed family has that name: the one
// whose file fontconfig matches (substituteFace, possibly empty when there is no file at all).
// Nothing when the face is installed.
std::optional<std::string> standInFace(const std::string& faceName);

// The index of the face named `name` in `faces` (whole names, ASCII case ignored, blanks at
// both ends of `name` ignored); nothing when no face has that name.
std::optional<size_t> findFace(const std::vector<std::string>& faces, std::string_view name);

// The display name of the family whose file fontconfig matches for `faceName` (the file the
// comments would be drawn with, see locateFontFace); empty when there is no file.
std::string substituteFace(const std::string& faceName);

// The item the font box selects for the saved face: the face itself; else, when it is not
// installed, the face `substitute` that stands in for it (substituteFace); else item 0.
size_t faceItemForSavedFace(const std::vector<std::string>& faces, std::string_view savedFace,
                            std::string_view substitute);
