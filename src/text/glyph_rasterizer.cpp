#include "text/glyph_rasterizer.h"

#include FT_GLYPH_H

#include <algorithm>
#include <cmath>
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

// FreeType's BGRA bitmap (premultiplied) as RGBA.
ColourImage colourImageOf(const FT_GlyphSlot slot) {
    ColourImage image;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_BGRA || bitmap.width == 0 || bitmap.rows == 0) {
        return image;
    }
    image.left = slot->bitmap_left;
    image.top = slot->bitmap_top;
    image.width = static_cast<int>(bitmap.width);
    image.rows = static_cast<int>(bitmap.rows);
    image.rgba.resize(static_cast<size_t>(image.width) * image.rows * 4);
    const int pitch = bitmap.pitch;
    const unsigned char* firstRow =
        pitch >= 0 ? bitmap.buffer : bitmap.buffer - pitch * (image.rows - 1);
    for (int y = 0; y < image.rows; ++y) {
        const unsigned char* in = firstRow + static_cast<ptrdiff_t>(y) * pitch;
        uint8_t* out = &image.rgba[static_cast<size_t>(y) * image.width * 4];
        for (int x = 0; x < image.width; ++x, in += 4, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = in[3];
        }
    }
    return image;
}

// How the old pixels along one axis make up each new pixel: new pixel i covers old positions
// [i / factor, (i + 1) / factor), each old pixel weighted by the share of it inside.
struct AxisTap {
    int from = 0;
    std::vector<float> weights;  // for old pixels from, from + 1, ...; they add up to 1
};

std::vector<AxisTap> axisTaps(int oldSize, int newSize) {
    std::vector<AxisTap> taps(static_cast<size_t>(newSize));
    const double step = static_cast<double>(oldSize) / newSize;
    for (int i = 0; i < newSize; ++i) {
        const double begin = i * step;
        const double end = std::min<double>(oldSize, (i + 1) * step);
        AxisTap& tap = taps[static_cast<size_t>(i)];
        tap.from = static_cast<int>(begin);
        for (int k = tap.from; k < end; ++k) {
            const double covered = std::min<double>(end, k + 1) - std::max<double>(begin, k);
            tap.weights.push_back(static_cast<float>(covered / (end - begin)));
        }
    }
    return taps;
}

}  // namespace

ColourImage resampled(const ColourImage& image, double factor) {
    ColourImage out;
    if (image.rgba.empty() || !(factor > 0)) {
        return out;
    }
    out.width = std::max(1, static_cast<int>(std::lround(image.width * factor)));
    out.rows = std::max(1, static_cast<int>(std::lround(image.rows * factor)));
    out.left = static_cast<int>(std::lround(image.left * factor));
    out.top = static_cast<int>(std::lround(image.top * factor));
    const std::vector<AxisTap> across = axisTaps(image.width, out.width);
    const std::vector<AxisTap> down = axisTaps(image.rows, out.rows);
    // Across first, into floats (premultiplied channels average correctly), then down.
    std::vector<float> rows(static_cast<size_t>(image.rows) * out.width * 4, 0.0f);
    for (int y = 0; y < image.rows; ++y) {
        const uint8_t* in = &image.rgba[static_cast<size_t>(y) * image.width * 4];
        float* row = &rows[static_cast<size_t>(y) * out.width * 4];
        for (int x = 0; x < out.width; ++x) {
            const AxisTap& tap = across[static_cast<size_t>(x)];
            for (size_t k = 0; k < tap.weights.size(); ++k) {
                for (int c = 0; c < 4; ++c) {
                    row[x * 4 + c] += tap.weights[k] * in[(tap.from + static_cast<int>(k)) * 4 + c];
                }
            }
        }
    }
    out.rgba.resize(static_cast<size_t>(out.rows) * out.width * 4);
    for (int y = 0; y < out.rows; ++y) {
        const AxisTap& tap = down[static_cast<size_t>(y)];
        for (int i = 0; i < out.width * 4; ++i) {
            float sum = 0;
            for (size_t k = 0; k < tap.weights.size(); ++k) {
                sum +=
                    tap.weights[k] *
                    rows[static_cast<size_t>(tap.from + static_cast<int>(k)) * out.width * 4 + i];
            }
            out.rgba[static_cast<size_t>(y) * out.width * 4 + i] =
                static_cast<uint8_t>(std::clamp(sum, 0.0f, 255.0f) + 0.5f);
        }
    }
    return out;
}

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
    if (face.colour) {
        images.colour = renderColour(face, size, glyph);
        if (!images.colour.rgba.empty()) {
            return images;  // an emoji keeps its own colours and has no outline
        }
    }
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

// Colour bitmaps of a strike are scaled to the size; colour layers of an outline font are drawn
// at the size by FreeType. A glyph without colour gives an empty image.
ColourImage GlyphRasterizer::renderColour(FontFace& face, FaceSize& size, uint32_t glyph) {
    FT_Face ftFace = face.ftFace.get();
    if (FT_Load_Glyph(ftFace, glyph, FT_LOAD_COLOR) != 0) {
        return {};
    }
    if (ftFace->glyph->format != FT_GLYPH_FORMAT_BITMAP &&
        FT_Render_Glyph(ftFace->glyph, FT_RENDER_MODE_NORMAL) != 0) {
        return {};
    }
    ColourImage image = colourImageOf(ftFace->glyph);
    return face.colourStrikes ? resampled(image, size.bitmapScale) : image;
}
