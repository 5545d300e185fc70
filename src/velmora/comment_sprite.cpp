#include "velmora/comment_sprite.h"

#include <algorithm>

namespace {

// Coverage and pre-multiplied colour of one bitmap pixel: the outline drawn first, the glyph
// over it, and a colour glyph (premultiplied, already in the frame's levels) over both.
struct PixelMix {
    float alpha = 0;  // 0..1
    float y = 0;      // pre-multiplied levels
    float cb = 0;
    float cr = 0;
};

PixelMix mixPixel(uint8_t fill, uint8_t outline, const SpriteColours& colours, const uint8_t* rgba,
                  const PremultipliedToYuv& toYuv) {
    const float af = fill / 255.0f;
    const float ao = outline / 255.0f;
    const float outlineShare = ao * (1.0f - af);
    PixelMix mix;
    mix.alpha = af + outlineShare;
    mix.y = colours.fill.y * af + colours.outline.y * outlineShare;
    mix.cb = colours.fill.cb * af + colours.outline.cb * outlineShare;
    mix.cr = colours.fill.cr * af + colours.outline.cr * outlineShare;
    if (rgba != nullptr && rgba[3] != 0) {
        const YuvColour colour = toYuv(rgba[0], rgba[1], rgba[2], rgba[3]);
        const float keep = 1.0f - rgba[3] / 255.0f;
        mix.alpha = rgba[3] / 255.0f + mix.alpha * keep;
        mix.y = colour.y + mix.y * keep;
        mix.cb = colour.cb + mix.cb * keep;
        mix.cr = colour.cr + mix.cr * keep;
    }
    return mix;
}

uint8_t toByte(float value) {
    return static_cast<uint8_t>(std::clamp(value, 0.0f, 255.0f) + 0.5f);
}

int64_t floorDiv2(int64_t value) {
    return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

// The blend is most of the filter's time: on x86-64 with GCC or Clang an AVX2 copy is made
// beside the baseline one and chosen at load time by the CPU's abilities.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(__SANITIZE_ADDRESS__)
#define VELMORA_BLEND_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_BLEND_CLONES
#endif

// out = pm + round(bg * inv / 255), saturated. Written so that the compiler vectorises it.
VELMORA_BLEND_CLONES void blendRow(uint8_t* __restrict dst, const uint8_t* __restrict pm,
                                   const uint8_t* __restrict inv, int count) {
    for (int i = 0; i < count; ++i) {
        const uint16_t product = static_cast<uint16_t>(dst[i] * inv[i] + 128);
        const uint16_t scaled = static_cast<uint16_t>((product + (product >> 8)) >> 8);
        const uint16_t sum = static_cast<uint16_t>(scaled + pm[i]);
        dst[i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
    }
}

// The part [from, to) of [0, size) that the range [start, start + length) covers, as offsets
// into the range; false when they do not meet.
bool clipSpan(int64_t start, int64_t length, int64_t size, int64_t& from, int64_t& to) {
    from = std::max<int64_t>(0, -start);
    to = std::min<int64_t>(length, size - start);
    return from < to;
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
    std::vector<PixelMix> rows[2] = {std::vector<PixelMix>(padded), std::vector<PixelMix>(padded)};
    const int blockRows = (height_ + parityY + 1) / 2;
    for (int i = 0; i < blockRows; ++i) {
        for (int dy = 0; dy < 2; ++dy) {
            const int row = 2 * i - parityY + dy;
            std::vector<PixelMix>& mixes = rows[dy];
            if (row < 0 || row >= height_) {
                std::fill(mixes.begin(), mixes.end(), PixelMix{});
                continue;
            }
            const std::size_t src = static_cast<std::size_t>(row + cropY_) * bitmap.width + cropX_;
            const std::size_t dst = static_cast<std::size_t>(row) * width_;
            for (int col = 0; col < width_; ++col) {
                const PixelMix mix =
                    mixPixel(bitmap.fill[src + col], bitmap.outline[src + col], colours,
                             hasColour ? &bitmap.colour[(src + col) * 4] : nullptr, toYuv);
                mixes[col + 1] = mix;
                lumaPm_[dst + col] = toByte(mix.y);
                lumaInv_[dst + col] = toByte(255.0f * (1.0f - mix.alpha));
            }
        }
        for (int p = 0; p < 2; ++p) {
            if (!parities[p]) {
                continue;
            }
            ChromaPlanes& planes = chroma_[p];
            const std::size_t dst = static_cast<std::size_t>(i) * planes.width;
            for (int j = 0; j < planes.width; ++j) {
                const int first = 2 * j - p + 1;  // index in the padded row buffers
                const PixelMix& a = rows[0][first];
                const PixelMix& b = rows[0][first + 1];
                const PixelMix& c = rows[1][first];
                const PixelMix& d = rows[1][first + 1];
                planes.cbPm[dst + j] = toByte((a.cb + b.cb + c.cb + d.cb) * 0.25f);
                planes.crPm[dst + j] = toByte((a.cr + b.cr + c.cr + d.cr) * 0.25f);
                planes.inv[dst + j] =
                    toByte(255.0f * (1.0f - (a.alpha + b.alpha + c.alpha + d.alpha) * 0.25f));
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

void CommentSprite::blit(const VhookFrame& frame, int64_t bitmapLeft) const {
    if (empty() || frame.width <= 0 || frame.height <= 0) {
        return;
    }
    const int64_t left = bitmapLeft + cropX_;
    blitLuma(frame, left);
    blitChroma(frame, left);
}

void CommentSprite::blitLuma(const VhookFrame& frame, int64_t left) const {
    int64_t colFrom, colTo, rowFrom, rowTo;
    if (!clipSpan(left, width_, frame.width, colFrom, colTo) ||
        !clipSpan(top_, height_, frame.height, rowFrom, rowTo)) {
        return;
    }
    for (int64_t row = rowFrom; row < rowTo; ++row) {
        const RowSpan span = lumaSpans_[row];
        const int64_t from = std::max<int64_t>(colFrom, span.first);
        const int64_t to = std::min<int64_t>(colTo, span.last);
        if (from >= to) {
            continue;
        }
        uint8_t* dst = frame.data[0] + (top_ + row) * frame.linesize[0] + (left + from);
        const std::size_t src = static_cast<std::size_t>(row) * width_ + from;
        blendRow(dst, &lumaPm_[src], &lumaInv_[src], static_cast<int>(to - from));
    }
}

void CommentSprite::blitChroma(const VhookFrame& frame, int64_t left) const {
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
    if (!clipSpan(firstColumn, planes.width, chromaWidth, colFrom, colTo) ||
        !clipSpan(firstRow, planes.height, chromaHeight, rowFrom, rowTo)) {
        return;
    }
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
        blendRow(frame.data[1] + frameRow * frame.linesize[1] + frameCol, &planes.cbPm[src],
                 &planes.inv[src], count);
        blendRow(frame.data[2] + frameRow * frame.linesize[2] + frameCol, &planes.crPm[src],
                 &planes.inv[src], count);
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
