#include "velmora/comment_sprite.h"

#include "velmora/pixel_blend.h"

#include <algorithm>

namespace {

// Making a sprite is a few float operations a pixel, vectorised by the compiler: on x86-64 with
// GCC or Clang an AVX2 copy of those loops is made beside the baseline one and chosen at load
// time. Both give the same bytes (the same single-precision operations, none fused).
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(__SANITIZE_ADDRESS__)
#define VELMORA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_VECTOR_CLONES
#endif

// Coverage and pre-multiplied colour of one row of bitmap pixels, one array per value (so that
// the compiler vectorises the mix), with a zero pixel of padding before the first one: the
// outline drawn first, the glyph over it, and a colour glyph (premultiplied, already in the
// frame's levels) over both.
struct MixedRow {
    explicit MixedRow(std::size_t padded) : alpha(padded), y(padded), cb(padded), cr(padded) {}
    void clear() {
        for (std::vector<float>* values : {&alpha, &y, &cb, &cr}) {
            std::fill(values->begin(), values->end(), 0.0f);
        }
    }
    std::vector<float> alpha;  // 0..1
    std::vector<float> y;      // pre-multiplied levels
    std::vector<float> cb;
    std::vector<float> cr;
};

// The outline drawn first and the glyph over it, for `width` pixels. Separate arrays that do
// not overlap, so that the compiler vectorises the loop.
VELMORA_VECTOR_CLONES void mixCoverage(const uint8_t* __restrict fill,
                                       const uint8_t* __restrict outline, int width,
                                       const YuvColour fillColour, const YuvColour outlineColour,
                                       float* __restrict alpha, float* __restrict y,
                                       float* __restrict cb, float* __restrict cr) {
    for (int col = 0; col < width; ++col) {
        const float af = fill[col] / 255.0f;
        const float ao = outline[col] / 255.0f;
        const float outlineShare = ao * (1.0f - af);
        alpha[col] = af + outlineShare;
        y[col] = fillColour.y * af + outlineColour.y * outlineShare;
        cb[col] = fillColour.cb * af + outlineColour.cb * outlineShare;
        cr[col] = fillColour.cr * af + outlineColour.cr * outlineShare;
    }
}

// Mixes `width` pixels into `row` from its second element on (the first is the padding).
void mixRow(const uint8_t* fill, const uint8_t* outline, const uint8_t* rgba, int width,
            const SpriteColours& colours, const PremultipliedToYuv& toYuv, MixedRow& row) {
    float* alpha = row.alpha.data() + 1;
    float* y = row.y.data() + 1;
    float* cb = row.cb.data() + 1;
    float* cr = row.cr.data() + 1;
    mixCoverage(fill, outline, width, colours.fill, colours.outline, alpha, y, cb, cr);
    if (rgba == nullptr) {
        return;
    }
    for (int col = 0; col < width; ++col) {
        const uint8_t* pixel = rgba + static_cast<std::size_t>(col) * 4;
        if (pixel[3] == 0) {
            continue;
        }
        const YuvColour colour = toYuv(pixel[0], pixel[1], pixel[2], pixel[3]);
        const float keep = 1.0f - pixel[3] / 255.0f;
        alpha[col] = pixel[3] / 255.0f + alpha[col] * keep;
        y[col] = colour.y + y[col] * keep;
        cb[col] = colour.cb + cb[col] * keep;
        cr[col] = colour.cr + cr[col] * keep;
    }
}

// The nearest byte, 0 and 255 for what lies beyond. Rounded before it is clamped (the same
// result for every level a sprite holds) because integer clamping vectorises.
uint8_t toByte(float value) {
    return static_cast<uint8_t>(std::clamp(static_cast<int>(value + 0.5f), 0, 255));
}

// A mixed row's luma as the sprite keeps it: pre-multiplied level and 255 - coverage.
VELMORA_VECTOR_CLONES void lumaBytes(const float* __restrict y, const float* __restrict alpha,
                                     int width, uint8_t* __restrict pm, uint8_t* __restrict inv) {
    for (int col = 0; col < width; ++col) {
        pm[col] = toByte(y[col]);
        inv[col] = toByte(255.0f * (1.0f - alpha[col]));
    }
}

// The sums of 2 x 2 pixels of two mixed rows at every column k of the padded rows, for both
// grid parities at once: ((upper[k] + upper[k + 1]) + lower[k]) + lower[k + 1].
struct QuadSums {
    explicit QuadSums(std::size_t padded) : alpha(padded), cb(padded), cr(padded) {}
    std::vector<float> alpha;
    std::vector<float> cb;
    std::vector<float> cr;
};

VELMORA_VECTOR_CLONES void sumQuads(const float* __restrict upper, const float* __restrict lower,
                                    std::size_t count, float* __restrict sums) {
    for (std::size_t k = 0; k < count; ++k) {
        sums[k] = ((upper[k] + upper[k + 1]) + lower[k]) + lower[k + 1];
    }
}

void sumRowQuads(const MixedRow& upper, const MixedRow& lower, QuadSums& sums) {
    const std::size_t count = sums.alpha.size() - 1;
    sumQuads(upper.alpha.data(), lower.alpha.data(), count, sums.alpha.data());
    sumQuads(upper.cb.data(), lower.cb.data(), count, sums.cb.data());
    sumQuads(upper.cr.data(), lower.cr.data(), count, sums.cr.data());
}

// One row of chroma blocks of grid parity `p` (`blocks` of them) from the sums of the two
// mixed rows that make it: the mean of the four pixels' pre-multiplied levels and coverage.
// Block j starts at column 2j - p + 1 of the padded rows.
VELMORA_VECTOR_CLONES void averageBlocks(const float* __restrict alpha, const float* __restrict cb,
                                         const float* __restrict cr, int p, int blocks,
                                         uint8_t* __restrict cbPm, uint8_t* __restrict crPm,
                                         uint8_t* __restrict inv) {
    const std::size_t first = static_cast<std::size_t>(1 - p);
    for (std::size_t j = 0; j < static_cast<std::size_t>(blocks); ++j) {
        const std::size_t a = first + 2 * j;
        cbPm[j] = toByte(cb[a] * 0.25f);
        crPm[j] = toByte(cr[a] * 0.25f);
        inv[j] = toByte(255.0f * (1.0f - alpha[a] * 0.25f));
    }
}

int64_t floorDiv2(int64_t value) {
    return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

// The part [from, to) of [0, size) that the range [start, start + length) covers, as offsets
// into the range; false when they do not meet.
bool clipSpan(int64_t start, int64_t length, int64_t size, int64_t& from, int64_t& to) {
    from = std::max<int64_t>(0, -start);
    to = std::min<int64_t>(length, size - start);
    return from < to;
}

// A sprite's rows are read once a frame, and the decoder's pictures pass through the cache
// between two frames, so they mostly come from memory. Asking for the same columns two rows
// further down while a row is blended overlaps the waits (the 1080p filter's own CPU fell by
// about a fifth); one row ahead is too late, and much further ahead the lines asked for start
// to push out the ones being blended.
constexpr int64_t kPrefetchRowsAhead = 2;

void prefetchBytes(const uint8_t* from, int64_t count) {
#if defined(__GNUC__) || defined(__clang__)
    for (int64_t offset = 0; offset < count; offset += 64) {
        __builtin_prefetch(from + offset);
    }
#else
    (void)from;
    (void)count;
#endif
}

}  // namespace

CommentSprite CommentSprite::build(const CommentBitmap& bitmap, const SpriteColours& colours,
                                   const SpritePlacement& placement) {
    CommentSprite sprite;
    const std::size_t pixels = static_cast<std::size_t>(std::max(bitmap.width, 0)) *
                               static_cast<std::size_t>(std::max(bitmap.height, 0));
    if (pixels == 0 || bitmap.fill.size() < pixels || bitmap.outline.size() < pixels) {
        return sprite;
    }
    int64_t rowFrom = 0, rowTo = 0;
    if (!clipSpan(placement.bitmapTop, bitmap.height, placement.frameHeight, rowFrom, rowTo)) {
        return sprite;
    }
    int64_t colFrom = 0, colTo = bitmap.width;
    if (!placement.moving &&
        !clipSpan(placement.bitmapLeft, bitmap.width, placement.frameWidth, colFrom, colTo)) {
        return sprite;
    }
    sprite.cropX_ = static_cast<int>(colFrom);
    sprite.cropY_ = static_cast<int>(rowFrom);
    sprite.width_ = static_cast<int>(colTo - colFrom);
    sprite.height_ = static_cast<int>(rowTo - rowFrom);
    sprite.top_ = placement.bitmapTop + rowFrom;

    const int64_t firstLeft = placement.bitmapLeft + colFrom;
    const int parity = static_cast<int>(firstLeft - 2 * floorDiv2(firstLeft));
    bool parities[2] = {false, false};
    parities[parity] = true;
    if (placement.moving && placement.bothParities) {
        parities[1 - parity] = true;
    }
    sprite.buildPlanes(bitmap, colours, parities);
    return sprite;
}

std::vector<CommentSprite::RowSpan> CommentSprite::findSpans(const std::vector<uint8_t>& inv,
                                                             int width, int height) {
    std::vector<RowSpan> spans(static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row) {
        const uint8_t* line = &inv[static_cast<std::size_t>(row) * width];
        int first = 0, last = width;
        while (first < last && line[first] == 255) {
            ++first;
        }
        while (last > first && line[last - 1] == 255) {
            --last;
        }
        spans[row] = first < last ? RowSpan{first, last} : RowSpan{};
    }
    return spans;
}

void CommentSprite::buildPlanes(const CommentBitmap& bitmap, const SpriteColours& colours,
                                const bool parities[2]) {
    // Luma is written on the way, one value per pixel.
    lumaPm_.resize(static_cast<std::size_t>(width_) * height_);
    lumaInv_.resize(lumaPm_.size());
    // Block (i, j) of parity p covers sprite rows 2i - parityY .. +1 and columns 2j - p .. +1;
    // pixels outside the sprite count as uncovered. Each pixel is mixed once, into one of two
    // row buffers padded by a zero pixel on either side, and serves both parities from there.
    const int parityY = static_cast<int>(top_ - 2 * floorDiv2(top_));
    for (int p = 0; p < 2; ++p) {
        if (!parities[p]) {
            continue;
        }
        ChromaPlanes& planes = chroma_[p];
        planes.width = (width_ + p + 1) / 2;
        planes.height = (height_ + parityY + 1) / 2;
        const std::size_t size = static_cast<std::size_t>(planes.width) * planes.height;
        planes.cbPm.resize(size);
        planes.crPm.resize(size);
        planes.inv.resize(size);
    }
    const bool hasColour =
        bitmap.colour.size() >= static_cast<std::size_t>(bitmap.width) * bitmap.height * 4;
    const PremultipliedToYuv toYuv(colours.format);
    const std::size_t padded = static_cast<std::size_t>(width_) + 3;
    MixedRow rows[2] = {MixedRow(padded), MixedRow(padded)};
    QuadSums sums(padded);
    const int blockRows = (height_ + parityY + 1) / 2;
    for (int i = 0; i < blockRows; ++i) {
        for (int dy = 0; dy < 2; ++dy) {
            const int row = 2 * i - parityY + dy;
            MixedRow& mixed = rows[dy];
            if (row < 0 || row >= height_) {
                mixed.clear();
                continue;
            }
            const std::size_t src = static_cast<std::size_t>(row + cropY_) * bitmap.width + cropX_;
            mixRow(&bitmap.fill[src], &bitmap.outline[src],
                   hasColour ? &bitmap.colour[src * 4] : nullptr, width_, colours, toYuv, mixed);
            const std::size_t dst = static_cast<std::size_t>(row) * width_;
            lumaBytes(mixed.y.data() + 1, mixed.alpha.data() + 1, width_, &lumaPm_[dst],
                      &lumaInv_[dst]);
        }
        sumRowQuads(rows[0], rows[1], sums);
        for (int p = 0; p < 2; ++p) {
            if (parities[p]) {
                ChromaPlanes& planes = chroma_[p];
                const std::size_t dst = static_cast<std::size_t>(i) * planes.width;
                averageBlocks(sums.alpha.data(), sums.cb.data(), sums.cr.data(), p, planes.width,
                              &planes.cbPm[dst], &planes.crPm[dst], &planes.inv[dst]);
            }
        }
    }
    lumaSpans_ = findSpans(lumaInv_, width_, height_);
    for (ChromaPlanes& planes : chroma_) {
        if (planes.width > 0) {
            planes.spans = findSpans(planes.inv, planes.width, planes.height);
        }
    }
}

void CommentSprite::blit(const VhookFrame& frame, int64_t bitmapLeft, FrameRows rows) const {
    if (empty() || frame.width <= 0 || frame.height <= 0) {
        return;
    }
    const int64_t left = bitmapLeft + cropX_;
    blitLuma(frame, left, rows);
    blitChroma(frame, left, rows);
}

void CommentSprite::blitLuma(const VhookFrame& frame, int64_t left, FrameRows rows) const {
    int64_t colFrom, colTo, rowFrom, rowTo;
    if (!clipSpan(left, width_, frame.width, colFrom, colTo) ||
        !clipSpan(top_, height_, std::min<int64_t>(frame.height, rows.to), rowFrom, rowTo)) {
        return;
    }
    rowFrom = std::max(rowFrom, rows.from - top_);
    for (int64_t row = rowFrom; row < rowTo; ++row) {
        const RowSpan span = lumaSpans_[row];
        const int64_t from = std::max<int64_t>(colFrom, span.first);
        const int64_t to = std::min<int64_t>(colTo, span.last);
        if (from >= to) {
            continue;
        }
        uint8_t* dst = frame.data[0] + (top_ + row) * frame.linesize[0] + (left + from);
        const std::size_t src = static_cast<std::size_t>(row) * width_ + from;
        if (row + kPrefetchRowsAhead < height_) {
            const std::size_t ahead = src + kPrefetchRowsAhead * width_;
            prefetchBytes(&lumaPm_[ahead], to - from);
            prefetchBytes(&lumaInv_[ahead], to - from);
        }
        blendPixels(dst, &lumaPm_[src], &lumaInv_[src], static_cast<int>(to - from));
    }
}

void CommentSprite::blitChroma(const VhookFrame& frame, int64_t left, FrameRows rows) const {
    const int64_t firstColumn = floorDiv2(left);
    const int parity = static_cast<int>(left - 2 * firstColumn);
    const ChromaPlanes& planes = chroma_[parity];
    if (planes.width == 0) {
        return;  // a parity the comment was not expected to use
    }
    const int64_t firstRow = floorDiv2(top_);
    const int chromaWidth = (frame.width + 1) / 2;
    const int chromaHeight = (frame.height + 1) / 2;
    int64_t colFrom, colTo, rowFrom, rowTo;
    const int64_t rowsEnd = std::min<int64_t>(chromaHeight, rows.to / 2 + rows.to % 2);
    if (!clipSpan(firstColumn, planes.width, chromaWidth, colFrom, colTo) ||
        !clipSpan(firstRow, planes.height, rowsEnd, rowFrom, rowTo)) {
        return;
    }
    rowFrom = std::max(rowFrom, rows.from / 2 - firstRow);
    for (int64_t row = rowFrom; row < rowTo; ++row) {
        const RowSpan span = planes.spans[row];
        const int64_t from = std::max<int64_t>(colFrom, span.first);
        const int64_t to = std::min<int64_t>(colTo, span.last);
        if (from >= to) {
            continue;
        }
        const int count = static_cast<int>(to - from);
        const int64_t frameRow = firstRow + row;
        const int64_t frameCol = firstColumn + from;
        const std::size_t src = static_cast<std::size_t>(row) * planes.width + from;
        if (row + kPrefetchRowsAhead < planes.height) {
            const std::size_t ahead = src + kPrefetchRowsAhead * planes.width;
            prefetchBytes(&planes.cbPm[ahead], count);
            prefetchBytes(&planes.crPm[ahead], count);
            prefetchBytes(&planes.inv[ahead], count);
        }
        blendPixelPairs(frame.data[1] + frameRow * frame.linesize[1] + frameCol,
                        frame.data[2] + frameRow * frame.linesize[2] + frameCol, &planes.cbPm[src],
                        &planes.crPm[src], &planes.inv[src], count);
    }
}

std::size_t CommentSprite::byteSize() const {
    std::size_t bytes = lumaPm_.size() + lumaInv_.size() + lumaSpans_.size() * sizeof(RowSpan);
    for (const ChromaPlanes& planes : chroma_) {
        bytes += planes.cbPm.size() + planes.crPm.size() + planes.inv.size() +
                 planes.spans.size() * sizeof(RowSpan);
    }
    return bytes;
}
