#pragma once
// Renders glyphs to antialiased coverage images, plain and widened by an outline, or to colour
// images for the colour glyphs of emoji fonts (bitmaps scaled to the size asked for), and keeps
// them: a comment thread repeats the same characters at the same few sizes over and over.
// Not thread-safe: one engine, one thread.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "text/face_cache.h"
#include "text/font_handles.h"

// Coverage 0..255 of a glyph, `left` / `top` placing it relative to the glyph origin on the
// baseline (left: pixels to the right; top: pixels above the baseline, as FreeType counts).
struct GlyphImage {
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    std::vector<uint8_t> coverage;  // rows * width, row-major
};

// A colour glyph (an emoji): premultiplied red, green, blue and alpha per pixel, placed as a
// GlyphImage is.
struct ColourImage {
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    std::vector<uint8_t> rgba;  // rows * width * 4, row-major
};

// A glyph of a colour font that has a colour image has that alone: no fill, no outline.
struct GlyphImages {
    GlyphImage fill;     // the glyph
    GlyphImage outline;  // the glyph widened by the outline width; covers `fill`
    ColourImage colour;  // the glyph in its own colours
};

// `image` resized by `factor` (pixels and placement), each new pixel the average of the area
// of old pixels it covers.
ColourImage resampled(const ColourImage& image, double factor);

class GlyphRasterizer {
public:
    explicit GlyphRasterizer(FaceCache& faces);
    ~GlyphRasterizer();
    GlyphRasterizer(const GlyphRasterizer&) = delete;
    GlyphRasterizer& operator=(const GlyphRasterizer&) = delete;

    // The images of `glyph` of `face` at `size`, the outline `outlinePx` pixels wide (0: the
    // outline image equals the fill image). Empty images when the glyph cannot be loaded.
    // The reference stays valid for the rasteriser's life.
    const GlyphImages& images(FontFace& face, FaceSize& size, uint32_t glyph, int outlinePx);

private:
    struct Key {
        const FontFace* face;
        int ppem;
        uint32_t glyph;
        int outlinePx;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const;
    };

    GlyphImages render(FontFace& face, FaceSize& size, uint32_t glyph, int outlinePx);
    ColourImage renderColour(FontFace& face, FaceSize& size, uint32_t glyph);

    FaceCache& faces_;
    FtStrokerPtr stroker_;
    int strokerRadius_ = -1;
    std::unordered_map<Key, GlyphImages, KeyHash> cache_;
};
