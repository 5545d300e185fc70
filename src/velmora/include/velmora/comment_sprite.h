#pragma once
// One comment converted once into the frame's Y'CbCr levels with pre-multiplied alpha, so that
// drawing it on a frame is a multiply-add per pixel at an integer offset:
//     out = pm + bg * inv / 255      (pm: colour x coverage, inv: 255 - coverage)
// Luma keeps every pixel; chroma keeps one value per 2 x 2 block of the frame's 4:2:0 grid,
// from the block's mean coverage and mean pre-multiplied colour. The grid depends on the
// parity of the sprite's left edge, so chroma is prepared for each parity the comment will use.

#include <cstdint>
#include <vector>

#include "text/text_engine.h"
#include "velmora/velmora_api.h"
#include "velmora/yuv_colour.h"

struct SpriteColours {
    YuvColour fill;     // glyph colour
    YuvColour outline;  // colour of the outline around the glyphs
    YuvFormat format;   // of the frames: how the colour glyphs' own colours convert
};

// Where a sprite may be drawn: its bitmap's top row on the frame is fixed, the left edge is
// fixed for a top or bottom comment and moves for a scrolling one.
struct SpritePlacement {
    int64_t bitmapTop = 0;      // frame row of the bitmap's first row
    int64_t bitmapLeft = 0;     // frame column of the bitmap's first column (first frame shown)
    bool moving = false;        // true: the left edge changes from frame to frame
    bool bothParities = false;  // moving by an odd number of pixels: the grid parity alternates
    int frameWidth = 0;
    int frameHeight = 0;
};

// Rows [from, to) of a frame's luma plane; chroma rows [from / 2, (to + 1) / 2). `from` is even
// so that a chroma row never belongs to two bands.
struct FrameRows {
    int64_t from = 0;
    int64_t to = INT64_MAX;
};

class CommentSprite {
public:
    CommentSprite() = default;

    // Converts `bitmap` (fill and outline coverage with the given colours, and the colour
    // glyphs laid over them in their own colours). Rows outside the
    // frame are dropped, and so are columns outside it for a comment that does not move.
    static CommentSprite build(const CommentBitmap& bitmap, const SpriteColours& colours,
                               const SpritePlacement& placement);

    // True when nothing of the comment can ever land on the frame.
    bool empty() const { return width_ <= 0 || height_ <= 0; }

    // Blends the sprite onto `frame` (YUV 4:2:0) with the bitmap's first column at frame column
    // `bitmapLeft`, clipped at the frame's edges and to `rows`. Allocates nothing.
    void blit(const VhookFrame& frame, int64_t bitmapLeft, FrameRows rows = {}) const;

    // True when the sprite has luma rows among `rows`. One without any has no chroma rows in
    // them either, as `rows` starts on an even row.
    bool meetsRows(FrameRows rows) const { return top_ < rows.to && top_ + height_ > rows.from; }

    // Bytes held by the planes.
    std::size_t byteSize() const;

    // True when, drawn with its bitmap's first column at `bitmapLeft`, the sprite lies wholly
    // left of the frame's first column.
    bool leftOfFrame(int64_t bitmapLeft) const { return bitmapLeft + cropX_ + width_ <= 0; }

private:
    // Columns [first, last) of a row that hold any coverage; the rest is left alone.
    struct RowSpan {
        int first = 0;
        int last = 0;
    };

    struct ChromaPlanes {
        int width = 0;   // blocks per row
        int height = 0;  // block rows
        std::vector<uint8_t> cbPm;
        std::vector<uint8_t> crPm;
        std::vector<uint8_t> inv;
        std::vector<RowSpan> spans;
    };

    static std::vector<RowSpan> findSpans(const std::vector<uint8_t>& inv, int width, int height);

    // Luma, and chroma for the grid parities (of the sprite's left edge) marked in `parities`.
    void buildPlanes(const CommentBitmap& bitmap, const SpriteColours& colours,
                     const bool parities[2]);
    void blitLuma(const VhookFrame& frame, int64_t left, FrameRows rows) const;
    void blitChroma(const VhookFrame& frame, int64_t left, FrameRows rows) const;

    int cropX_ = 0;  // bitmap column of the sprite's first column
    int cropY_ = 0;  // bitmap row of the sprite's first row
    int width_ = 0;
    int height_ = 0;
    int64_t top_ = 0;  // frame row of the sprite's first row
    std::vector<uint8_t> lumaPm_;
    std::vector<uint8_t> lumaInv_;
    std::vector<RowSpan> lumaSpans_;
    ChromaPlanes chroma_[2];  // by the parity of the sprite's left edge; unused ones are empty
};
