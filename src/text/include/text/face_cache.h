#pragma once
// The font faces of one text engine: each face of each font file is loaded once (FreeType and
// HarfBuzz share one memory mapping of the file) and each face is sized once per pixel size.
// Advance widths are cached per face, size and glyph. Not thread-safe: one engine, one thread.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/result.h"
#include "text/font_handles.h"

// One face at one em size in pixels.
struct FaceSize {
    int ppem = 0;            // em height in pixels
    FT_Size size = nullptr;  // owned by the face; released with it
    FT_Fixed xScale = 0;     // font units -> 26.6 pixels (16.16)
    FT_Fixed yScale = 0;
    int ascentPx = 0;   // whole pixels above the baseline
    int descentPx = 0;  // whole pixels below the baseline
    // Faces of colour bitmaps in fixed sizes only: drawn pixels per pixel of the strike in use,
    // and the strike's line (ascent above the baseline, descent below) in drawn pixels.
    double bitmapScale = 1.0;
    int strikeAscentPx = 0;
    int strikeDescentPx = 0;
    std::vector<int32_t> advancePx;  // per glyph; kUnknownAdvance until first asked

    static constexpr int32_t kUnknownAdvance = INT32_MIN;
};

// One face of one font file. The HarfBuzz objects and the FreeType face share the blob's memory
// mapping of the file: the members are declared so that the blob goes last.
struct FontFace {
    std::string path;
    int index = 0;  // as given to FreeType (a collection's face; high 16 bits: named instance)
    HbBlobPtr blob;
    HbFacePtr hbFace;
    HbFontPtr hbFont;  // scaled in font units: positions come out in font units
    FtFacePtr ftFace;  // owns the FT_Size objects of `sizes`
    int unitsPerEm = 0;
    int ascentUnits = 0;   // Windows ascent of the OS/2 table (hhea ascender without one)
    int descentUnits = 0;  // Windows descent of the OS/2 table (hhea descender without one)
    bool colour = false;   // has colour glyphs (colour bitmaps or colour layers)
    // Holds colour bitmaps in a few fixed sizes and no outlines (emoji fonts): each size
    // scales the bitmaps of the nearest strike so that the strike's line is one em high.
    bool colourStrikes = false;
    std::vector<std::unique_ptr<FaceSize>> sizes;
    FaceSize* activeSize = nullptr;  // the FT_Size FreeType draws with at the moment

    bool hasGlyphFor(char32_t cp) const;
};

class FaceCache {
public:
    // The largest em height a face is sized to; far beyond any comment, it keeps a corrupt
    // size from asking FreeType for absurd bitmaps. Smaller requests are raised to 1.
    static constexpr int kMaxPpem = 4096;

    FaceCache();
    ~FaceCache();
    FaceCache(const FaceCache&) = delete;
    FaceCache& operator=(const FaceCache&) = delete;

    bool ready() const { return library_ != nullptr; }
    FT_Library library() const { return library_.get(); }

    // The face `index` of the file at `path`, loaded on first use. Fails, saying why, when
    // FreeType cannot load it or it is neither a scalable TrueType / OpenType face nor one of
    // colour bitmaps in fixed sizes. Failures are remembered, so a bad file is tried once.
    Result<FontFace*> face(const std::string& path, int index);

    // `face` at an em height of `ppem` pixels (clamped to 1..kMaxPpem), created on first
    // use; nullptr on failure.
    FaceSize* size(FontFace& face, int ppem);

    // Makes `size` the one FreeType loads glyph outlines with.
    void activate(FontFace& face, FaceSize& size);

    // Advance of `glyph` in whole pixels: the advance width in font units scaled to 26.6
    // pixels and rounded to the pixel grid, which is what a hinting TrueType rasteriser makes
    // of a glyph whose instructions leave the advance alone (and what FreeType's hinted
    // advance is). Cached per face, size and glyph.
    int advancePx(FontFace& face, FaceSize& size, uint32_t glyph);

    int faceLoads() const { return faceLoads_; }
    int sizeLoads() const { return sizeLoads_; }

private:
    Result<std::unique_ptr<FontFace>> load(const std::string& path, int index);

    FtLibraryPtr library_;  // declared first: it outlives every face
    std::map<std::pair<std::string, int>, Result<std::unique_ptr<FontFace>>> faces_;
    int faceLoads_ = 0;
    int sizeLoads_ = 0;
};

// Scales font units by a 16.16 scale to whole pixels, rounding through 26.6 the way a TrueType
// rasteriser does (the 26.6 value rounded first, then the pixel).
int scaleToPixels(long units, FT_Fixed scale);
