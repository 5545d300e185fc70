#pragma once
// What the comment layout asks of the text engine: the pixel extent of one line of text.

#include <string_view>

struct TextExtent {
    int cx = 0;  // advance width in pixels
    int cy = 0;  // line height in pixels (ascent + descent)
};

class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;

    // False when no font could be loaded at all; the layout then measures every comment as
    // a 40 x 24 box and the automatic size as from a 24-pixel line.
    virtual bool hasDevice() const = 0;

    // Vertical resolution in dots per inch (96 here). 0 is treated as 96 by the layout.
    virtual int dpi() const = 0;

    // Extent of one line (no line feeds) at `sizePt` points, that is at an em height of
    // round(sizePt * dpi / 72) pixels. Only called when hasDevice() is true.
    virtual TextExtent lineExtent(std::u16string_view line, int sizePt) = 0;
};

// The measurer of a machine without any usable font: every comment is a 40 x 24 box.
class NoDeviceMeasurer final : public TextMeasurer {
public:
    bool hasDevice() const override { return false; }
    int dpi() const override { return 96; }
    TextExtent lineExtent(std::u16string_view, int) override { return {40, 24}; }
};
