#pragma once
// The one place where a line of comment text becomes positioned glyphs: characters the comment
// font lacks are given to fallback faces (characters shown as emoji to a colour font first),
// each run is shaped with HarfBuzz, and every glyph gets a whole-pixel position. The text engine
// measures lines and draws comments from this result alone, so the layout's numbers and the drawn
// pixels cannot disagree. Not thread-safe: one engine, one thread.

#include <hb.h>

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "text/face_cache.h"
#include "text/fallback_fonts.h"

struct PlacedGlyph {
    FontFace* face = nullptr;
    FaceSize* size = nullptr;
    uint32_t glyph = 0;
    int x = 0;  // glyph origin, whole pixels right of the line's left edge
    int y = 0;  // glyph origin, whole pixels below the baseline (marks may be raised: negative)
};

struct ShapedLine {
    std::vector<PlacedGlyph> glyphs;  // in visual order
    int advance = 0;                  // width of the line in whole pixels
    // The same width without rounding each glyph's advance to whole pixels (1/64 pixel steps).
    double exactAdvance = 0;
};

class LineShaper {
public:
    // `primary`: the comment font; it must outlive the shaper, as must `faces`.
    LineShaper(FaceCache& faces, FontFace& primary);
    ~LineShaper();
    LineShaper(const LineShaper&) = delete;
    LineShaper& operator=(const LineShaper&) = delete;

    // Shapes `line` (UTF-16 without line feeds; lone surrogates count as U+FFFD) at an em
    // height of `ppem` pixels. The result stays valid until the next call. Kerning and
    // ligatures are off, as in the plain text extent of the Windows graphics interface: each
    // glyph advances by its own advance width in whole pixels.
    const ShapedLine& shape(std::u16string_view line, int ppem);

    // How often fontconfig was asked for the sorted font list (at most once per shaper).
    int fallbackSorts() const { return fallback_.sortQueries(); }

private:
    struct Run {
        size_t start = 0;
        size_t length = 0;
        int slot = 0;
        hb_script_t script = HB_SCRIPT_INVALID;
        hb_direction_t direction = HB_DIRECTION_INVALID;
    };

    void decode(std::u16string_view line);
    void itemize();
    int slotFor(char32_t cp);
    // A character shown as an emoji: from a colour font when one has it, else as slotFor.
    int emojiSlotFor(char32_t cp);
    int findFallbackSlot(char32_t cp);
    int findColourSlot(char32_t cp);
    int slotOf(FontFace* face);
    void shapeRun(const Run& run, int ppem);

    FaceCache& faces_;
    FallbackFonts fallback_;
    std::vector<FontFace*> slots_;   // slot 0: the comment font; others: fallback faces
    std::vector<int16_t> bmpSlots_;  // slot per BMP code point; kUnknownSlot until first asked
    std::unordered_map<char32_t, int16_t> otherSlots_;
    std::unordered_map<char32_t, int16_t> emojiSlots_;  // kUnknownSlot: no colour font has it
    HbBufferPtr buffer_;
    hb_language_t language_;
    hb_unicode_funcs_t* unicode_ = nullptr;
    std::vector<hb_feature_t> features_;
    std::vector<uint32_t> codepoints_;  // the line being shaped
    std::vector<int16_t> codepointSlots_;
    std::vector<Run> runs_;
    ShapedLine result_;
    int pen_ = 0;
};
