#include "text/glyph_rasterizer.h"

#include FT_GLYPH_H

#include <algorithm>
#include <functional>

namespace {

GlyphImage imageOf(const FT_BitmapGlyph glyph) {
    GlyphImage image;
    const FT_Bitmap& bitmap = glyph->bitmap;
    if (bitmap.width == 0 || bitmap.rows == 0 ||
        (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO)) {
        return image;
    }
    image.left = glyph->left;
    image.top = glyph->top;
    image.width = static_cast<int>(bitmap.width);
    image.rows = static_cast<int>(bitmap.rows);
    image.coverage.resize(static_cast<size_t>(image.width) * image.rows);
    const int pitch = bitmap.pitch;
    const unsigned char* firstRow =
        pitch >= 0 ? bitmap.buffer : bitmap.buffer - pitch * (image.rows - 1);
    const int maxGray = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
    for (int y = 0; y < image.rows; ++y) {
        const unsigned char* row = firstRow + static_cast<ptrdiff_t>(y) * pitch;
        uint8_t* out = &image.coverage[static_cast<size_t>(y) * image.width];
        for (int x = 0; x < image.width; ++x) {
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                out[x] = (row[x >> 3] & (0x80 >> (x & 7))) != 0 ? 255 : 0;
            } else {
                out[x] = static_cast<uint8_t>(row[x] * 255 / maxGray);
            }
        }
    }
    return image;
}

// Renders `glyph` (consumed) to an antialiased coverage image.
GlyphImage rasterize(FtGlyphPtr glyph) {
    GlyphImage image;
    // On success FreeType destroys the outline glyph and hands back the bitmap glyph.
    FT_Glyph converted = glyph.release();
    const bool rendered = FT_Glyph_To_Bitmap(&converted, FT_RENDER_MODE_NORMAL, nullptr, 1) == 0;
    glyph.reset(converted);
    if (rendered) {
        image = imageOf(reinterpret_cast<FT_BitmapGlyph>(glyph.get()));
    }
    return image;
}

// The pixel-wise maximum of two images of one glyph, on the box that holds both.
GlyphImage unite(const GlyphImage& a, const GlyphImage& b) {
    if (a.coverage.empty()) {
        return b;
    }
    if (b.coverage.empty()) {
        return a;
    }
    GlyphImage united;
    united.left = std::min(a.left, b.left);
    united.top = std::max(a.top, b.top);
    united.width = std::max(a.left + a.width, b.left + b.width) - united.left;
    united.rows = std::max(a.rows - a.top, b.rows - b.top) + united.top;
    united.coverage.assign(static_cast<size_t>(united.width) * united.rows, 0);
    for (const GlyphImage* part : {&a, &b}) {
        const int dx = part->left - united.left;
        const int dy = united.top - part->top;
        for (int y = 0; y < part->rows; ++y) {
            const uint8_t* in = &part->coverage[static_cast<size_t>(y) * part->width];
            uint8_t* out = &united.coverage[static_cast<size_t>(y + dy) * united.width + dx];
            for (int x = 0; x < part->width; ++x) {
                out[x] = std::max(out[x], in[x]);
            }
        }
    }
    return united;
}

}  // namespace

size_t GlyphRasterizer::KeyHash::operator()(const Key& key) const {
    size_t hash = std::hash<const void*>()(key.face);
    hash = hash * 31 + static_cast<size_t>(key.ppem);
    hash = hash * 31 + key.glyph;
    return hash * 31 + static_cast<size_t>(key.outlinePx);
}

GlyphRasterizer::GlyphRasterizer(FaceCache& faces) : faces_(faces) {
    FT_Stroker stroker = nullptr;
    if (faces_.library() != nullptr && FT_Stroker_New(faces_.library(), &stroker) == 0) {
        stroker_.reset(stroker);
    }
}

GlyphRasterizer::~GlyphRasterizer() = default;

const GlyphImages& GlyphRasterizer::images(FontFace& face, FaceSize& size, uint32_t glyph,
                                           int outlinePx) {
    outlinePx = std::max(outlinePx, 0);
    const Key key{&face, size.ppem, glyph, outlinePx};
    const auto found = cache_.find(key);
    if (found != cache_.end()) {
        return found->second;
    }
    return cache_.emplace(key, render(face, size, glyph, outlinePx)).first->second;
}

// The outline image is the glyph dilated by the outline width: a stroke `outlinePx` wide on
// both sides of every contour, united with the glyph itself. Stroking both sides, rather than
// only the outer border, keeps the result right for fonts whose contours overlap or run in
// the unexpected direction, which many CJK fonts have.
GlyphImages GlyphRasterizer::render(FontFace& face, FaceSize& size, uint32_t glyph, int outlinePx) {
    GlyphImages images;
    faces_.activate(face, size);
    FT_Glyph loaded = nullptr;
    if (FT_Load_Glyph(face.ftFace.get(), glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0 ||
        FT_Get_Glyph(face.ftFace->glyph, &loaded) != 0) {
        return images;
    }
    FtGlyphPtr fillGlyph(loaded);
    FtGlyphPtr strokeGlyph;
    if (outlinePx > 0 && stroker_ && fillGlyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (strokerRadius_ != outlinePx) {
            FT_Stroker_Set(stroker_.get(), static_cast<FT_Fixed>(outlinePx) * 64,
                           FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND, 0);
            strokerRadius_ = outlinePx;
        }
        FT_Glyph copy = nullptr;
        if (FT_Glyph_Copy(fillGlyph.get(), &copy) == 0) {
            // The stroke replaces the copy in place; on failure the copy is dropped.
            const bool stroked = FT_Glyph_Stroke(&copy, stroker_.get(), 1) == 0;
            strokeGlyph.reset(copy);
            if (!stroked) {
                strokeGlyph.reset();
            }
        }
    }
    images.fill = rasterize(std::move(fillGlyph));
    images.outline =
        strokeGlyph ? unite(rasterize(std::move(strokeGlyph)), images.fill) : images.fill;
    return images;
}
