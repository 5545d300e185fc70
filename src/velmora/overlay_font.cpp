#include "velmora/overlay_font.h"

#include "text/font_locator.h"

namespace {

constexpr int kLayoutDpi = 96;

bool tryOpen(OverlayFont& font, const std::string& path, int faceIndex) {
    if (path.empty()) {
        return false;
    }
    Result<std::unique_ptr<TextEngine>> engine = TextEngine::open(path, faceIndex, kLayoutDpi);
    if (!engine) {
        font.tried.push_back(engine.error());
        return false;
    }
    font.tried.push_back(path + " (face " + std::to_string(faceIndex) + ")");
    font.engine = std::move(*engine);
    font.path = path;
    font.faceIndex = faceIndex;
    return true;
}

bool tryFamily(OverlayFont& font, const char* family) {
    const FontLocation location = locateFontFace(family);
    return tryOpen(font, location.path, location.faceIndex);
}

}  // namespace

OverlayFont openOverlayFont(const OverlayScriptHeader& header) {
    OverlayFont font;
    const std::string path = header.fontFile.empty() ? std::string() : overlayFontPath(header);
    const int faceIndex = header.faceIndex < 0 ? 0 : header.faceIndex;
    if (tryOpen(font, path, faceIndex)) {
        return font;
    }
    font.fallback = true;
    if (faceIndex != 0 && tryOpen(font, path, 0)) {
        return font;
    }
    if (tryFamily(font, "IPAPGothic") || tryFamily(font, "sans-serif")) {
        return font;
    }
    return font;
}
