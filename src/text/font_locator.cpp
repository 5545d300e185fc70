#include "text/font_locator.h"

#include <array>
#include <string_view>

#include "platform/text_conv.h"
#include "text/font_handles.h"

namespace {

// The file the comment font falls back to when a face has no file of its own.
constexpr const char* kDefaultFontFile = "msgothic.ttc";

// The language of the comments, for choosing among fonts.
constexpr const char* kCommentLanguage = "ja";

// The full-width Latin capital P (U+FF30) as UTF-8: "Ｐ".
constexpr const char* kFullWidthP = "\xEF\xBC\xB0";

// The Japanese faces of Windows that comment fonts are usually named after, with the families
// drawn to the same metrics that stand in for them where they are not installed. The IPA faces
// were made to match the MS faces' widths, so "ＭＳ Ｐゴシック" (the service player's face) keeps
// its proportional widths rather than falling to a fixed-pitch face.
struct FaceAlias {
    std::string_view windowsName;
    std::array<const char*, 3> families;
};

constexpr std::array<FaceAlias, 12> kWindowsFaceAliases{{
    {"ＭＳ Ｐゴシック", {"IPAPGothic", "IPAexGothic", "Noto Sans CJK JP"}},
    {"MS PGothic", {"IPAPGothic", "IPAexGothic", "Noto Sans CJK JP"}},
    {"MS UI Gothic", {"IPAPGothic", "IPAexGothic", "Noto Sans CJK JP"}},
    {"ＭＳ ゴシック", {"IPAGothic", "Noto Sans Mono CJK JP", "IPAexGothic"}},
    {"MS Gothic", {"IPAGothic", "Noto Sans Mono CJK JP", "IPAexGothic"}},
    {"ＭＳ Ｐ明朝", {"IPAPMincho", "IPAexMincho", "Noto Serif CJK JP"}},
    {"MS PMincho", {"IPAPMincho", "IPAexMincho", "Noto Serif CJK JP"}},
    {"ＭＳ 明朝", {"IPAMincho", "IPAexMincho", "Noto Serif CJK JP"}},
    {"MS Mincho", {"IPAMincho", "IPAexMincho", "Noto Serif CJK JP"}},
    {"メイリオ", {"IPAexGothic", "Noto Sans CJK JP", "IPAPGothic"}},
    {"Meiryo", {"IPAexGothic", "Noto Sans CJK JP", "IPAPGothic"}},
    {"Meiryo UI", {"IPAexGothic", "Noto Sans CJK JP", "IPAPGothic"}},
}};

const FaceAlias* windowsFaceAlias(const std::string& family) {
    for (const FaceAlias& alias : kWindowsFaceAliases) {
        if (asciiLower(alias.windowsName) == asciiLower(family)) {
            return &alias;
        }
    }
    return nullptr;
}

FontLocation defaultLocation(const std::string& faceName) {
    FontLocation location;
    location.fileName = kDefaultFontFile;
    location.faceIndex = msFaceIndex(location.fileName, faceName);
    return location;
}

void splitPath(const std::string& path, FontLocation& location) {
    const auto slash = path.rfind('/');
    location.folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    location.fileName = slash == std::string::npos ? path : path.substr(slash + 1);
}

// Asks fontconfig for the best match of `family`, as an application would: the configuration's
// substitutions and the defaults applied first. The pattern names Japanese as the language:
// an installed family still wins, but a family that is not installed (the Windows faces, on
// most systems) is replaced by a font that can write the comments rather than by the
// locale's default font. Empty path when fontconfig offers no file.
FontLocation matchFamily(const std::string& family) {
    FontLocation location;
    const FcPatternPtr pattern(FcPatternCreate());
    if (!pattern) {
        return location;
    }
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    // Stand-ins follow the requested family, so an installed face of that name still wins.
    if (const FaceAlias* alias = windowsFaceAlias(family)) {
        for (const char* standIn : alias->families) {
            FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(standIn));
        }
    }
    FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>(kCommentLanguage));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const FcPatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) {
        return location;
    }
    FcChar8* file = nullptr;
    if (FcPatternGetString(match.get(), FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
        location.path = reinterpret_cast<const char*>(file);
        int index = 0;
        if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) == FcResultMatch) {
            location.faceIndex = index;
        }
    }
    return location;
}

}  // namespace

FontLocation locateFontFace(const std::string& faceName) {
    const std::string name = trimBlanks(faceName);
    if (name.empty()) {
        return defaultLocation(name);
    }
    FontLocation location = matchFamily(name);
    if (location.path.empty()) {
        return defaultLocation(name);
    }
    splitPath(location.path, location);
    const std::string lowerFile = asciiLower(location.fileName);
    if (lowerFile.find("msgothic") != std::string::npos ||
        lowerFile.find("msmincho") != std::string::npos) {
        location.faceIndex = msFaceIndex(location.fileName, name);
    }
    return location;
}

int msFaceIndex(const std::string& fontFile, const std::string& faceName) {
    const std::string lowerFile = asciiLower(fontFile);
    if (lowerFile.find("msgothic") == std::string::npos &&
        lowerFile.find("msmincho") == std::string::npos) {
        return 0;
    }
    if (faceName.find("UI") != std::string::npos) {
        return 2;
    }
    if (faceName.find(kFullWidthP) != std::string::npos) {
        return 1;
    }
    return 0;
}
