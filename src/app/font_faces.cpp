#include "app/font_faces.h"

#include <algorithm>
#include <memory>

#include "platform/text_conv.h"
#include "text/font_handles.h"
#include "text/font_locator.h"

namespace {

// The language whose family names the list prefers.
constexpr std::string_view kListLanguage = "ja";

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && asciiLower(a) == asciiLower(b);
}

bool nameBefore(const std::string& a, const std::string& b) {
    const std::string lowerA = asciiLower(a);
    const std::string lowerB = asciiLower(b);
    return lowerA != lowerB ? lowerA < lowerB : a < b;
}

// The language tag's primary part: "ja" of "ja-JP".
bool isListLanguage(std::string_view tag) {
    return sameName(tag.substr(0, tag.find('-')), kListLanguage);
}

std::vector<std::string> stringValues(FcPattern* pattern, const char* object) {
    std::vector<std::string> values;
    FcChar8* value = nullptr;
    for (int i = 0; FcPatternGetString(pattern, object, i, &value) == FcResultMatch; ++i) {
        values.emplace_back(reinterpret_cast<const char*>(value));
    }
    return values;
}

// The display names of the fonts that `pattern` selects.
std::vector<std::string> familiesOf(FcPattern* pattern) {
    std::vector<std::string> names;
    const FcObjectSetPtr objects(FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, nullptr));
    if (!objects) {
        return names;
    }
    const FcFontSetPtr fonts(FcFontList(nullptr, pattern, objects.get()));
    if (!fonts) {
        return names;
    }
    for (int i = 0; i < fonts->nfont; ++i) {
        std::string name = displayFamily(stringValues(fonts->fonts[i], FC_FAMILY),
                                         stringValues(fonts->fonts[i], FC_FAMILYLANG));
        if (!name.empty()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

}  // namespace

std::vector<std::string> makeFaceList(std::vector<std::string> names) {
    std::vector<std::string> faces;
    for (std::string& name : names) {
        std::string trimmed = trimBlanks(name);
        if (!trimmed.empty() && !findFace(faces, trimmed)) {
            faces.push_back(std::move(trimmed));
        }
    }
    std::sort(faces.begin(), faces.end(), nameBefore);
    return faces;
}

std::string displayFamily(const std::vector<std::string>& families,
                          const std::vector<std::string>& languages) {
    for (size_t i = 0; i < families.size() && i < languages.size(); ++i) {
        if (isListLanguage(languages[i])) {
            return families[i];
        }
    }
    return families.empty() ? std::string() : families.front();
}

std::vector<std::string> installedFaceList() {
    const FcPatternPtr all(FcPatternCreate());
    if (!all) {
        return {};
    }
    return makeFaceList(familiesOf(all.get()));
}

std::vector<std::string> japaneseFaceList() {
    const FcPatternPtr japanese(FcPatternCreate());
    const std::unique_ptr<FcLangSet, decltype(&FcLangSetDestroy)> languages(FcLangSetCreate(),
                                                                            &FcLangSetDestroy);
    if (!japanese || !languages) {
        return {};
    }
    FcLangSetAdd(languages.get(), reinterpret_cast<const FcChar8*>("ja"));
    FcPatternAddLangSet(japanese.get(), FC_LANG, languages.get());
    return makeFaceList(familiesOf(japanese.get()));
}

std::vector<std::string> faceListWithSavedFace(std::vector<std::string> japaneseFaces,
                                               const std::vector<std::string>& installedFaces,
                                               const std::string& savedFace) {
    if (findFace(japaneseFaces, savedFace)) {
        return japaneseFaces;
    }
    if (const std::optional<size_t> installed = findFace(installedFaces, savedFace)) {
        japaneseFaces.push_back(installedFaces[*installed]);
        return makeFaceList(std::move(japaneseFaces));
    }
    return japaneseFaces;
}

std::optional<std::string> standInFace(const std::string& faceName) {
    if (findFace(installedFaceList(), faceName)) {
        return std::nullopt;
    }
    std::string standIn = substituteFace(faceName);
    if (sameName(standIn, trimBlanks(faceName))) {
        return std::nullopt;
    }
    return standIn;
}

std::optional<size_t> findFace(const std::vector<std::string>& faces, std::string_view name) {
    const std::string wanted = trimBlanks(name);
    for (size_t i = 0; i < faces.size(); ++i) {
        if (sameName(faces[i], wanted)) {
            return i;
        }
    }
    return std::nullopt;
}

std::string substituteFace(const std::string& faceName) {
    const FontLocation location = locateFontFace(faceName);
    if (location.path.empty()) {
        return {};
    }
    const FcPatternPtr file(FcPatternCreate());
    if (!file) {
        return {};
    }
    FcPatternAddString(file.get(), FC_FILE,
                       reinterpret_cast<const FcChar8*>(location.path.c_str()));
    FcPatternAddInteger(file.get(), FC_INDEX, location.faceIndex);
    std::vector<std::string> names = familiesOf(file.get());
    return names.empty() ? std::string() : names.front();
}

size_t faceItemForSavedFace(const std::vector<std::string>& faces, std::string_view savedFace,
                            std::string_view substitute) {
    if (const std::optional<size_t> saved = findFace(faces, savedFace)) {
        return *saved;
    }
    if (!trimBlanks(substitute).empty()) {
        if (const std::optional<size_t> standIn = findFace(faces, substitute)) {
            return *standIn;
        }
    }
    return 0;
}
