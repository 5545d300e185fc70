#include "text/text_engine.h"

#include <algorithm>
#include <exception>

#include "platform/log.h"
#include "text/comment_lines.h"
#include "text/face_cache.h"
#include "text/glyph_rasterizer.h"
#include "text/line_shaper.h"

namespace {

constexpr int kDefaultDpi = 96;

// The largest comment bitmap made (pixels per plane): far beyond the longest comment at any
// sensible size, it keeps an absurd size from exhausting the memory.
constexpr size_t kMaxBitmapPixels = size_t{1} << 26;

// A glyph placed in the comment: glyph.x / glyph.y are its origin (on its line's baseline,
// the shaper's offsets included) in pixels from the top-left corner of the comment's box.
struct GlyphStamp {
    PlacedGlyph glyph;
    const GlyphImages* images;
};

struct Bounds {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    template <class Image>
    void include(const Image& image, int x, int y) {
        if (image.width <= 0 || image.rows <= 0) {
            return;
        }
        left = std::min(left, x + image.left);
        top = std::min(top, y - image.top);
        right = std::max(right, x + image.left + image.width);
        bottom = std::max(bottom, y - image.top + image.rows);
    }
};

// Lays `count` coverage values over a row of a plane: a + b - round(a * b / 255), in 16-bit
// lanes so that the compiler vectorises it (with t = a * b + 127, at most 65152,
// t / 255 == ((t + 1) * 257) >> 16).
void stampRow(uint8_t* __restrict out, const uint8_t* __restrict in, int count) {
    for (int col = 0; col < count; ++col) {
        const uint16_t a = out[col];
        const uint16_t b = in[col];
        const uint16_t next = static_cast<uint16_t>(a * b + 128);
        const uint16_t product = static_cast<uint16_t>((uint32_t{next} * 257) >> 16);
        out[col] = static_cast<uint8_t>(a + b - product);
    }
}

// Adds a glyph's coverage to a plane. Coverages combine like independent partial hits
// (a + b - ab), so the edges where two glyphs touch are not left thin.
void stamp(std::vector<uint8_t>& plane, const CommentBitmap& bitmap, const GlyphImage& image, int x,
           int y) {
    const int left = x + image.left - bitmap.originX;
    const int top = y - image.top - bitmap.originY;
    for (int row = 0; row < image.rows; ++row) {
        stampRow(&plane[static_cast<size_t>(top + row) * bitmap.width + left],
                 &image.coverage[static_cast<size_t>(row) * image.width], image.width);
    }
}

// Lays a colour image over the colour plane (premultiplied "over").
void stampColour(CommentBitmap& bitmap, const ColourImage& image, int x, int y) {
    const int left = x + image.left - bitmap.originX;
    const int top = y - image.top - bitmap.originY;
    for (int row = 0; row < image.rows; ++row) {
        const uint8_t* in = &image.rgba[static_cast<size_t>(row) * image.width * 4];
        uint8_t* out = &bitmap.colour[(static_cast<size_t>(top + row) * bitmap.width + left) * 4];
        for (int i = 0; i < image.width * 4; i += 4) {
            const int keep = 255 - in[i + 3];
            for (int c = 0; c < 4; ++c) {
                out[i + c] = static_cast<uint8_t>(in[i + c] + (out[i + c] * keep + 127) / 255);
            }
        }
    }
}

// How far the baseline of a colour strike glyph moves so that the strike's line (one em high)
// sits in the middle of the comment's line.
int strikeBaselineShift(const PlacedGlyph& glyph, const FaceSize& line) {
    if (!glyph.face->colourStrikes) {
        return 0;
    }
    const int strikeHeight = glyph.size->strikeAscentPx + glyph.size->strikeDescentPx;
    const int lineHeight = line.ascentPx + line.descentPx;
    return (lineHeight - strikeHeight) / 2 + glyph.size->strikeAscentPx - line.ascentPx;
}

}  // namespace

struct TextEngine::Impl {
    FaceCache faces;
    FontFace* primary = nullptr;
    int dpi = kDefaultDpi;
    std::unique_ptr<LineShaper> shaper;
    std::unique_ptr<GlyphRasterizer> rasterizer;
    std::vector<GlyphStamp> stamps;  // scratch of renderComment
};

TextEngine::TextEngine(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TextEngine::~TextEngine() = default;

Result<std::unique_ptr<TextEngine>> TextEngine::open(const std::string& fontPath, int faceIndex,
                                                     int dpi) {
    try {
        return openEngine(fontPath, faceIndex, dpi);
    } catch (const std::exception& e) {
        return Failure{fontPath + ": " + e.what()};
    }
}

Result<std::unique_ptr<TextEngine>> TextEngine::openEngine(const std::string& fontPath,
                                                           int faceIndex, int dpi) {
    auto impl = std::make_unique<Impl>();
    const Result<FontFace*> primary = impl->faces.face(fontPath, faceIndex);
    if (!primary) {
        return primary.failure();
    }
    impl->primary = *primary;
    impl->dpi = dpi > 0 ? dpi : kDefaultDpi;
    impl->shaper = std::make_unique<LineShaper>(impl->faces, *impl->primary);
    impl->rasterizer = std::make_unique<GlyphRasterizer>(impl->faces);
    // The constructor is private: make_unique cannot reach it.
    return std::unique_ptr<TextEngine>(new TextEngine(std::move(impl)));
}

int TextEngine::dpi() const {
    return impl_->dpi;
}

int TextEngine::emPixels(int sizePt) const {
    const long long dots = static_cast<long long>(std::max(sizePt, 0)) * impl_->dpi;
    const long long pixels = (2 * dots + 72) / 144;  // dots / 72, rounded half up
    return static_cast<int>(std::clamp<long long>(pixels, 1, FaceCache::kMaxPpem));
}

// cx: the shaped line's whole-pixel advances added up. cy: ascent + descent of the comment
// font, each rounded to whole pixels on its own, as the system reports a TrueType line.
TextExtent TextEngine::lineExtent(std::u16string_view line, int sizePt) {
    try {
        return measureLine(line, sizePt);
    } catch (const std::exception&) {  // out of memory: measure nothing rather than throw
        return {};
    }
}

TextExtent TextEngine::measureLine(std::u16string_view line, int sizePt) {
    const int ppem = emPixels(sizePt);
    FaceSize* size = impl_->faces.size(*impl_->primary, ppem);
    if (size == nullptr) {
        return {};
    }
    const ShapedLine& shaped = impl_->shaper->shape(line, ppem);
    return {shaped.advance, size->ascentPx + size->descentPx};
}

CommentBitmap TextEngine::renderComment(std::u16string_view text, int sizePt, int outlinePx) {
    try {
        return render(text, sizePt, outlinePx);
    } catch (const std::exception&) {  // out of memory: draw nothing rather than throw
        return {};
    }
}

CommentBitmap TextEngine::render(std::u16string_view text, int sizePt, int outlinePx) {
    CommentBitmap bitmap;
    const int ppem = emPixels(sizePt);
    FaceSize* size = impl_->faces.size(*impl_->primary, ppem);
    if (size == nullptr) {
        return bitmap;
    }
    const int lineHeight = size->ascentPx + size->descentPx;
    const std::vector<CommentLine> lines = splitCommentLines(text);
    auto& stamps = impl_->stamps;
    stamps.clear();
    Bounds bounds;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int baseline = static_cast<int>(i) * lineHeight + size->ascentPx;
        const ShapedLine& shaped =
            impl_->shaper->shape(lines[i].blank ? kBlankLineStandIn : lines[i].text, ppem);
        bounds.right = std::max(bounds.right, shaped.advance);
        if (lines[i].blank) {
            continue;
        }
        for (PlacedGlyph glyph : shaped.glyphs) {
            glyph.y += baseline + strikeBaselineShift(glyph, *size);
            stamps.push_back({glyph, nullptr});
        }
    }
    bounds.bottom = static_cast<int>(lines.size()) * lineHeight;
    // The box alone decides whether the comment is drawable at all, before any glyph of an
    // absurd size is rasterised.
    if (static_cast<size_t>(bounds.right) * static_cast<size_t>(bounds.bottom) > kMaxBitmapPixels) {
        return bitmap;
    }
    for (GlyphStamp& stamped : stamps) {
        const PlacedGlyph& glyph = stamped.glyph;
        stamped.images =
            &impl_->rasterizer->images(*glyph.face, *glyph.size, glyph.glyph, outlinePx);
        bounds.include(stamped.images->outline, glyph.x, glyph.y);
        bounds.include(stamped.images->fill, glyph.x, glyph.y);
        bounds.include(stamped.images->colour, glyph.x, glyph.y);
    }
    const size_t area = static_cast<size_t>(bounds.right - bounds.left) *
                        static_cast<size_t>(bounds.bottom - bounds.top);
    if (area > kMaxBitmapPixels) {
        return bitmap;
    }
    bitmap.originX = bounds.left;
    bitmap.originY = bounds.top;
    bitmap.width = bounds.right - bounds.left;
    bitmap.height = bounds.bottom - bounds.top;
    bitmap.fill.assign(area, 0);
    bitmap.outline.assign(area, 0);
    for (const GlyphStamp& stamped : stamps) {
        const PlacedGlyph& glyph = stamped.glyph;
        stamp(bitmap.fill, bitmap, stamped.images->fill, glyph.x, glyph.y);
        stamp(bitmap.outline, bitmap, stamped.images->outline, glyph.x, glyph.y);
        if (!stamped.images->colour.rgba.empty()) {
            if (bitmap.colour.empty()) {
                bitmap.colour.assign(area * 4, 0);
            }
            stampColour(bitmap, stamped.images->colour, glyph.x, glyph.y);
        }
    }
    return bitmap;
}

TextEngine::LineAdvances TextEngine::lineAdvances(std::u16string_view line, int sizePt) {
    try {
        const ShapedLine& shaped = impl_->shaper->shape(line, emPixels(sizePt));
        return {shaped.advance, shaped.exactAdvance, static_cast<int>(shaped.glyphs.size())};
    } catch (const std::exception&) {  // out of memory
        return {};
    }
}

double TextEngine::lineHeightPerEm() const {
    const FontFace& face = *impl_->primary;
    return face.unitsPerEm > 0
               ? static_cast<double>(face.ascentUnits + face.descentUnits) / face.unitsPerEm
               : 1.0;
}

std::string TextEngine::familyName() const {
    const char* name = impl_->primary->ftFace ? impl_->primary->ftFace->family_name : nullptr;
    return name ? name : "";
}

TextEngineStats TextEngine::stats() const {
    TextEngineStats stats;
    stats.faceLoads = impl_->faces.faceLoads();
    stats.sizeLoads = impl_->faces.sizeLoads();
    stats.fallbackSorts = impl_->shaper->fallbackSorts();
    return stats;
}

std::unique_ptr<TextMeasurer> makeTextMeasurer(const std::string& fontPath, int faceIndex,
                                               int dpi) {
    Result<std::unique_ptr<TextEngine>> engine = TextEngine::open(fontPath, faceIndex, dpi);
    if (engine) {
        return std::move(*engine);
    }
    logWarning(LogComponent::Job,
               "the comments are measured without their font: " + engine.error());
    return std::make_unique<NoDeviceMeasurer>();
}
