#pragma once
// FreeType + HarfBuzz text engine: measures lines for the comment layout and renders comments
// for the frame filter with exactly the same faces, sizes and advances, so that both agree to
// the pixel. Characters the primary face lacks come from fallback faces found through
// fontconfig. Faces are loaded once and sized once per size; an engine is used by one thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "text/text_measurer.h"

// A rendered comment: coverage planes for the glyphs and for their outline, and the colour
// glyphs (emoji) to be laid over both.
struct CommentBitmap {
    int width = 0;                 // pixels
    int height = 0;                // pixels
    int originX = 0;               // position of the bitmap's left edge relative to the comment's x
    int originY = 0;               // position of the bitmap's top edge relative to the comment's y
    std::vector<uint8_t> fill;     // glyph coverage 0..255, row-major, width * height
    std::vector<uint8_t> outline;  // outline coverage 0..255 (glyphs widened by the outline width)
    // Premultiplied red, green, blue, alpha per pixel (width * height * 4); empty when the
    // comment has no colour glyph. Colour glyphs have neither fill nor outline.
    std::vector<uint8_t> colour;
};

// How often the engine went to the disk or to fontconfig; for checking that faces and sizes
// are loaded once, not once per call.
struct TextEngineStats {
    int faceLoads = 0;      // font faces FreeType loaded (the comment font and fallback faces)
    int sizeLoads = 0;      // face sizes set up (one per face and em height)
    int fallbackSorts = 0;  // times fontconfig was asked for the fallback font list (0 or 1)
};

// Create and use an engine on one thread. Engines share nothing (each has its own FreeType
// library and caches), so different threads may each use their own engine at the same time.
class TextEngine final : public TextMeasurer {
public:
    // Opens face `faceIndex` of the font file at `fontPath`. Fails, naming the file and face,
    // when it cannot be loaded.
    static Result<std::unique_ptr<TextEngine>> open(const std::string& fontPath, int faceIndex,
                                                    int dpi = 96);
    ~TextEngine() override;

    bool hasDevice() const override { return true; }
    int dpi() const override;
    TextExtent lineExtent(std::u16string_view line, int sizePt) override;

    // Renders a comment text (line feeds separate lines; TABs already expanded) at `sizePt`.
    // Lines are stacked the way the layout measures them: empty lines as tall as "あ", at most
    // two empty lines in a row, each line one line height below the previous, left-aligned at
    // x = 0. The outline is `outlinePx` pixels wide around every glyph but the colour ones
    // (emoji): those are drawn one em high, centred on their line, in their own colours.
    // Glyphs stand at exactly the whole-pixel positions lineExtent() adds up; each line's
    // baseline is its top plus the font's ascent. The bitmap holds the box of the comment
    // (widest line x all lines) and any ink or outline beyond it: originX / originY <= 0.
    // A bitmap beyond 2^26 pixels (an absurd size) is not made: width and height 0.
    CommentBitmap renderComment(std::u16string_view text, int sizePt, int outlinePx);

    // The em height in pixels of `sizePt` points: round(sizePt * dpi / 72), at least 1.
    int emPixels(int sizePt) const;

    TextEngineStats stats() const;

    // The comment font's line height (Windows ascent + descent) per em. Subtitle renderers size
    // a font by that line height, so an em of E pixels is their size E * lineHeightPerEm().
    double lineHeightPerEm() const;
    // How a line's width comes about: the whole-pixel advances the comment is drawn with, the
    // same without rounding, and the number of glyphs. Other renderers advance by the exact
    // values; the difference spread over the glyphs makes them end the line where this one does.
    struct LineAdvances {
        int wholePixels = 0;
        double exact = 0;
        int glyphs = 0;
    };
    LineAdvances lineAdvances(std::u16string_view line, int sizePt);
    // The comment font's family name (fontconfig finds the face again by it).
    std::string familyName() const;

private:
    struct Impl;
    explicit TextEngine(std::unique_ptr<Impl> impl);
    static Result<std::unique_ptr<TextEngine>> openEngine(const std::string& fontPath,
                                                          int faceIndex, int dpi);
    TextExtent measureLine(std::u16string_view line, int sizePt);
    CommentBitmap render(std::u16string_view text, int sizePt, int outlinePx);

    std::unique_ptr<Impl> impl_;
};

// The measurer for a face: a TextEngine when the file loads, else the no-device measurer (the
// reason goes to the log).
std::unique_ptr<TextMeasurer> makeTextMeasurer(const std::string& fontPath, int faceIndex,
                                               int dpi = 96);
