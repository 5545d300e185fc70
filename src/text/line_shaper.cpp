#include "text/line_shaper.h"

#include <unicode/uchar.h>

namespace {

constexpr int16_t kUnknownSlot = -1;
constexpr char32_t kReplacement = 0xFFFD;

// Characters that belong to the character before them (combining marks, joiners, variation
// selectors, controls): they are shaped with the face of that character when it can.
bool attachesToPrevious(hb_unicode_general_category_t category) {
    switch (category) {
        case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_FORMAT:
        case HB_UNICODE_GENERAL_CATEGORY_CONTROL:
            return true;
        default:
            return false;
    }
}

bool isVariationSelector(char32_t cp) {
    return (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

// Format and control characters and variation selectors are hidden or replaced by HarfBuzz; no
// face needs to have them.
bool isInvisible(char32_t cp, hb_unicode_general_category_t category) {
    return category == HB_UNICODE_GENERAL_CATEGORY_FORMAT ||
           category == HB_UNICODE_GENERAL_CATEGORY_CONTROL || isVariationSelector(cp);
}

constexpr char32_t kTextPresentation = 0xFE0E;
constexpr char32_t kEmojiPresentation = 0xFE0F;

// Whether `cp` followed by `next` is shown as a colour emoji: when a variation selector asks
// for it, or by the character's own default (U+1F600 yes, U+2764 only with U+FE0F).
bool wantsEmoji(char32_t cp, char32_t next) {
    if (next == kEmojiPresentation || next == kTextPresentation) {
        return next == kEmojiPresentation;
    }
    // No character below U+231A (WATCH) is an emoji by default: most text never asks ICU.
    return cp >= 0x231A &&
           u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_EMOJI_PRESENTATION) != 0;
}

bool isRealScript(hb_script_t script) {
    return script != HB_SCRIPT_COMMON && script != HB_SCRIPT_INHERITED &&
           script != HB_SCRIPT_UNKNOWN && script != HB_SCRIPT_INVALID;
}

hb_feature_t featureOff(const char* tag) {
    hb_feature_t feature{};
    feature.tag = hb_tag_from_string(tag, -1);
    feature.value = 0;
    feature.start = HB_FEATURE_GLOBAL_START;
    feature.end = HB_FEATURE_GLOBAL_END;
    return feature;
}

}  // namespace

LineShaper::LineShaper(FaceCache& faces, FontFace& primary)
    : faces_(faces),
      fallback_(primary.ftFace->family_name != nullptr ? primary.ftFace->family_name : ""),
      slots_{&primary},
      bmpSlots_(0x10000, kUnknownSlot),
      buffer_(hb_buffer_create()),
      // Comments are Japanese text: Japanese glyph forms where a font distinguishes them.
      language_(hb_language_from_string("ja", -1)),
      unicode_(hb_unicode_funcs_get_default()),
      features_{featureOff("kern"), featureOff("liga"), featureOff("clig")} {}

LineShaper::~LineShaper() = default;

const ShapedLine& LineShaper::shape(std::u16string_view line, int ppem) {
    result_.glyphs.clear();
    result_.exactAdvance = 0;
    pen_ = 0;
    decode(line);
    itemize();
    for (const Run& run : runs_) {
        shapeRun(run, ppem);
    }
    result_.advance = pen_;
    return result_;
}

void LineShaper::decode(std::u16string_view line) {
    codepoints_.clear();
    for (size_t i = 0; i < line.size(); ++i) {
        const char16_t unit = line[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 &&
            line[i + 1] <= 0xDFFF) {
            codepoints_.push_back(0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) +
                                  (static_cast<uint32_t>(line[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            codepoints_.push_back(kReplacement);
        } else {
            codepoints_.push_back(unit);
        }
    }
}

// Gives every character a face (slot) and cuts the line into runs of one face and one
// writing direction.
void LineShaper::itemize() {
    codepointSlots_.resize(codepoints_.size());
    runs_.clear();
    int previousSlot = 0;
    for (size_t i = 0; i < codepoints_.size(); ++i) {
        const char32_t cp = codepoints_[i];
        int slot = 0;
        const auto category = hb_unicode_general_category(unicode_, cp);
        if (attachesToPrevious(category) &&
            (isInvisible(cp, category) || slots_[previousSlot]->hasGlyphFor(cp))) {
            slot = previousSlot;
        } else {
            const char32_t next = i + 1 < codepoints_.size() ? codepoints_[i + 1] : 0;
            slot = wantsEmoji(cp, next) ? emojiSlotFor(cp) : slotFor(cp);
        }
        codepointSlots_[i] = static_cast<int16_t>(slot);
        previousSlot = slot;

        const hb_script_t script = hb_unicode_script(unicode_, cp);
        const bool real = isRealScript(script);
        const hb_direction_t direction =
            real ? hb_script_get_horizontal_direction(script) : HB_DIRECTION_INVALID;
        const bool directionChanges = runs_.empty()
                                          ? false
                                          : direction != HB_DIRECTION_INVALID &&
                                                runs_.back().direction != HB_DIRECTION_INVALID &&
                                                direction != runs_.back().direction;
        if (runs_.empty() || runs_.back().slot != slot || directionChanges) {
            Run run;
            run.start = i;
            run.slot = slot;
            runs_.push_back(run);
        }
        Run& run = runs_.back();
        if (real && run.script == HB_SCRIPT_INVALID) {
            run.script = script;
        }
        if (run.direction == HB_DIRECTION_INVALID) {
            run.direction = direction;
        }
        ++run.length;
    }
}

int LineShaper::slotFor(char32_t cp) {
    int16_t* cached = nullptr;
    if (cp < 0x10000) {
        cached = &bmpSlots_[cp];
    } else {
        cached = &otherSlots_.try_emplace(cp, kUnknownSlot).first->second;
    }
    if (*cached == kUnknownSlot) {
        *cached = static_cast<int16_t>(slots_[0]->hasGlyphFor(cp) ? 0 : findFallbackSlot(cp));
    }
    return *cached;
}

int LineShaper::emojiSlotFor(char32_t cp) {
    const auto [found, added] = emojiSlots_.try_emplace(cp, kUnknownSlot);
    if (added) {
        found->second = static_cast<int16_t>(findColourSlot(cp));
    }
    return found->second != kUnknownSlot ? found->second : slotFor(cp);
}

// The comment font when it has `cp` in colour, else the closest colour font that has a glyph
// for it; kUnknownSlot when none has.
int LineShaper::findColourSlot(char32_t cp) {
    if (slots_[0]->colour && slots_[0]->hasGlyphFor(cp)) {
        return 0;
    }
    for (const FallbackCandidate& candidate : fallback_.candidatesFor(cp)) {
        if (!candidate.colour) {
            continue;
        }
        const Result<FontFace*> face = faces_.face(candidate.path, candidate.index);
        if (face && (*face)->colour && (*face)->hasGlyphFor(cp)) {
            return slotOf(*face);
        }
    }
    return kUnknownSlot;
}

// The closest font that really has a glyph for `cp`; the comment font (slot 0) when none has,
// so the character is drawn as that font's missing-glyph box, as the system would.
int LineShaper::findFallbackSlot(char32_t cp) {
    if (cp < 0x20 || cp == kReplacement) {
        return 0;
    }
    for (const FallbackCandidate& candidate : fallback_.candidatesFor(cp)) {
        if (candidate.path == slots_[0]->path && candidate.index == slots_[0]->index) {
            continue;
        }
        // A candidate FreeType cannot load is passed over, as fontconfig's list may name one.
        const Result<FontFace*> face = faces_.face(candidate.path, candidate.index);
        if (face && (*face)->hasGlyphFor(cp)) {
            return slotOf(*face);
        }
    }
    return 0;
}

int LineShaper::slotOf(FontFace* face) {
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i] == face) {
            return static_cast<int>(i);
        }
    }
    slots_.push_back(face);
    return static_cast<int>(slots_.size() - 1);
}

void LineShaper::shapeRun(const Run& run, int ppem) {
    FontFace& face = *slots_[run.slot];
    FaceSize* size = faces_.size(face, ppem);
    if (size == nullptr) {
        return;
    }
    hb_buffer_clear_contents(buffer_.get());
    hb_buffer_add_codepoints(buffer_.get(), codepoints_.data(),
                             static_cast<int>(codepoints_.size()),
                             static_cast<unsigned int>(run.start), static_cast<int>(run.length));
    hb_buffer_set_direction(
        buffer_.get(), run.direction != HB_DIRECTION_INVALID ? run.direction : HB_DIRECTION_LTR);
    if (run.script != HB_SCRIPT_INVALID) {
        hb_buffer_set_script(buffer_.get(), run.script);
    }
    hb_buffer_set_language(buffer_.get(), language_);
    hb_buffer_guess_segment_properties(buffer_.get());
    hb_shape(face.hbFont.get(), buffer_.get(), features_.data(),
             static_cast<unsigned int>(features_.size()));

    unsigned int count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer_.get(), &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer_.get(), &count);
    for (unsigned int k = 0; k < count; ++k) {
        const uint32_t glyph = infos[k].codepoint;
        const hb_glyph_position_t& position = positions[k];
        // A glyph that advances by its own width gets the cached whole-pixel advance; one
        // whose advance the shaper changed (a mark set to zero, say) gets the changed value.
        const int advance =
            position.x_advance == hb_font_get_glyph_h_advance(face.hbFont.get(), glyph)
                ? faces_.advancePx(face, *size, glyph)
                : scaleToPixels(position.x_advance, size->xScale);
        PlacedGlyph placed;
        placed.face = &face;
        placed.size = size;
        placed.glyph = glyph;
        placed.x = pen_ + scaleToPixels(position.x_offset, size->xScale);
        placed.y = -scaleToPixels(position.y_offset, size->yScale);
        result_.glyphs.push_back(placed);
        pen_ += advance;
        result_.exactAdvance +=
            static_cast<double>(FT_MulFix(position.x_advance, size->xScale)) / 64;
    }
}
