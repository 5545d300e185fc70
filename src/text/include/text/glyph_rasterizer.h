#pragma once
// Renders glyphs to antialiased coverage images, plain and widened by an outline, and keeps
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

struct GlyphImages {
    GlyphImage fill;     // the glyph
    GlyphImage outline;  // the glyph widened by the outline width; covers `fill`
};

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

    FaceCache& faces_;
    FtStrokerPtr stroker_;
    int strokerRadius_ = -1;
    std::unordered_map<Key, GlyphImages, KeyHash> cache_;
};
