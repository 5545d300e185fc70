#include "text/fallback_fonts.h"

#include <utility>

namespace {

bool isOutlineFont(FcPattern* font) {
    FcBool outline = FcTrue;
    FcPatternGetBool(font, FC_OUTLINE, 0, &outline);  // unset: assume outlines
    return outline == FcTrue;
}

// Colour fonts may hold bitmaps only (emoji); the text engine scales those itself.
bool isColourFont(FcPattern* font) {
    FcBool colour = FcFalse;
    FcPatternGetBool(font, FC_COLOR, 0, &colour);
    return colour == FcTrue;
}

bool holds(FcPattern* font, char32_t cp) {
    FcCharSet* charset = nullptr;
    return FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) == FcResultMatch &&
           charset != nullptr && FcCharSetHasChar(charset, cp) == FcTrue;
}

}  // namespace

FallbackFonts::FallbackFonts(std::string family) : family_(std::move(family)) {}

FallbackFonts::~FallbackFonts() = default;

void FallbackFonts::sortOnce() {
    if (sortTried_) {
        return;
    }
    sortTried_ = true;
    ++sortQueries_;
    const FcPatternPtr pattern(FcPatternCreate());
    if (!pattern) {
        return;
    }
    if (!family_.empty()) {
        FcPatternAddString(pattern.get(), FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(family_.c_str()));
    }
    // Japanese first among the fonts that have a character: a kanji the comment font lacks
    // is then drawn in its Japanese form, not in a Chinese font's.
    FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    // Untrimmed: every font stays in the list, so any character any font has can be found.
    sorted_.reset(FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
}

std::vector<FallbackCandidate> FallbackFonts::candidatesFor(char32_t cp) {
    std::vector<FallbackCandidate> candidates;
    sortOnce();
    if (!sorted_) {
        return candidates;
    }
    for (int i = 0; i < sorted_->nfont; ++i) {
        FcPattern* font = sorted_->fonts[i];
        FcChar8* file = nullptr;
        const bool colour = isColourFont(font);
        if (!(isOutlineFont(font) || colour) || !holds(font, cp) ||
            FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) {
            continue;
        }
        int index = 0;
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        candidates.push_back({reinterpret_cast<const char*>(file), index, colour});
    }
    return candidates;
}
