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

#include "text/text_measurer.h"

// A rendered comment: coverage planes for the glyphs and for their outline.
struct CommentBitmap {
    int width = 0;                 // pixels
    int height = 0;                // pixels
    int originX = 0;               // position of the bitmap's left edge relative to the comment's x
    int originY = 0;               // position of the bitmap's top edge relative to the comment's y
    std::vector<uint8_t> fill;     // glyph coverage 0..255, row-major, width * height
    std::vector<uint8_t> outline;  // outline coverage 0..255 (glyphs widened by the outline width)
};

class TextEngine final : public TextMeasurer {
public:
    // Opens face `faceIndex` of the font file at `fontPath`; nullptr when it cannot be loaded.
    static std::unique_ptr<TextEngine> open(const std::string& fontPath, int faceIndex,
                                            int dpi = 96);
    ~TextEngine() override;

    bool hasDevice() const override { return true; }
    int dpi() const override;
    TextExtent lineExtent(std::u16string_view line, int sizePt) override;

    // Renders a comment text (line feeds separate lines; TABs already expanded) at `sizePt`.
    // Lines are stacked the way the layout measures them: empty lines as tall as "あ", at most
    // two empty lines in a row, each line one line height below the previous, left-aligned at
    // x = 0. The outline is `outlinePx` pixels wide around every glyph.
    CommentBitmap renderComment(std::u16string_view text, int sizePt, int outlinePx);

private:
    struct Impl;
    explicit TextEngine(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The measurer for a face: a TextEngine when the file loads, else the no-device measurer.
std::unique_ptr<TextMeasurer> makeTextMeasurer(const std::string& fontPath, int faceIndex,
                                               int dpi = 96);
