#include "velmora/comment_overlay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int kLayoutDpi = 96;
// Notes about single comments printed per run; more would only bury the encoder's output.
constexpr int kMaxNotes = 20;
// Beyond this distance from the frame a position is off screen whatever the sprite's size;
// clamping there keeps later additions far from overflow.
constexpr int64_t kFarAway = int64_t{1} << 40;

// Luma rows copied and drawn on at a time when drawing onto a copy: with their chroma rows
// about 46 KiB of a 1920-pixel-wide picture, which stays in the core's cache while the
// sprites are blended onto it. Even, so that chroma rows split with them.
constexpr int64_t kBandRows = 16;

// Copies `rows` rows of one plane. When both planes have the same stride, and their rows run
// forwards in memory, the rows and the padding between them are one block, which memcpy moves
// several times faster than row by row.
void copyPlaneRows(const uint8_t* source, int sourceStride, uint8_t* target, int targetStride,
                   std::size_t width, int64_t rows) {
    if (rows <= 0) {
        return;
    }
    if (sourceStride == targetStride && targetStride > 0 &&
        static_cast<std::size_t>(targetStride) >= width) {
        std::memcpy(target, source, static_cast<std::size_t>(rows - 1) * targetStride + width);
        return;
    }
    for (int64_t row = 0; row < rows; ++row) {
        std::memcpy(target + row * targetStride, source + row * sourceStride, width);
    }
}

void copyRows(const VhookFrame& source, const VhookFrame& target, FrameRows rows) {
    const std::size_t width = static_cast<std::size_t>(target.width);
    copyPlaneRows(source.data[0] + rows.from * source.linesize[0], source.linesize[0],
                  target.data[0] + rows.from * target.linesize[0], target.linesize[0], width,
                  rows.to - rows.from);
    const int64_t chromaFrom = rows.from / 2;
    const int64_t chromaTo = (rows.to + 1) / 2;
    for (int plane = 1; plane < 3; ++plane) {
        copyPlaneRows(source.data[plane] + chromaFrom * source.linesize[plane],
                      source.linesize[plane],
                      target.data[plane] + chromaFrom * target.linesize[plane],
                      target.linesize[plane], (width + 1) / 2, chromaTo - chromaFrom);
    }
}

}  // namespace

CommentOverlay::CommentOverlay(std::unique_ptr<TextEngine> engine,
                               std::vector<OverlayComment> comments, int width,
                               std::size_t spriteByteCeiling,
                               std::function<void(const std::string&)> warn)
    : engine_(std::move(engine)),
      comments_(std::move(comments)),
      width_(width),
      spriteByteCeiling_(spriteByteCeiling),
      warn_(std::move(warn)) {
    std::stable_sort(comments_.begin(), comments_.end(),
                     [](const OverlayComment& a, const OverlayComment& b) {
                         return a.startFrame < b.startFrame;
                     });
    active_.reserve(64);
}

void CommentOverlay::process(const VhookFrame& frame) {
    prepare(frame);
    drawRows(frame, FrameRows{});
}

void CommentOverlay::processInto(const VhookFrame& source, const VhookFrame& target) {
    prepare(target);
    for (int64_t from = 0; from < target.height; from += kBandRows) {
        const FrameRows rows{from, std::min<int64_t>(from + kBandRows, target.height)};
        copyRows(source, target, rows);
        drawRows(target, rows);
    }
}

void CommentOverlay::prepare(const VhookFrame& frame) {
    const int64_t index = frame.index;
    if (index < lastFrame_) {
        rewind();
    }
    lastFrame_ = index;
    retireEnded(index);
    activateStarted(index);
    renderWithinCeiling(frame);
    placeSprites(index);
}

void CommentOverlay::placeSprites(int64_t frame) {
    drawOrder_.clear();
    for (const bool ownerPass : {false, true}) {
        for (const ActiveComment& active : active_) {
            const OverlayComment& comment = comments_[active.index];
            if (comment.owner == ownerPass && !active.sprite.empty()) {
                drawOrder_.push_back(
                    {&active.sprite, commentLeft(comment, frame) + active.originX});
            }
        }
    }
}

void CommentOverlay::drawRows(const VhookFrame& frame, FrameRows rows) const {
    for (const PlacedSprite& placed : drawOrder_) {
        if (placed.sprite->meetsRows(rows)) {
            placed.sprite->blit(frame, placed.left, rows);
        }
    }
}

TextEngine& CommentOverlay::engineFor(const OverlayComment& comment) {
    if (comment.faceFile.empty()) {
        return *engine_;
    }
    const std::string key = std::to_string(comment.faceIndex) + ":" + comment.faceFile;
    auto found = faceEngines_.find(key);
    if (found == faceEngines_.end()) {
        Result<std::unique_ptr<TextEngine>> opened =
            TextEngine::open(comment.faceFile, comment.faceIndex, kLayoutDpi);
        if (!opened) {
            note(opened.error() + "; comments in that face are drawn in the comment font");
        }
        found = faceEngines_.emplace(key, opened ? std::move(*opened) : nullptr).first;
    }
    return found->second ? *found->second : *engine_;
}

// Fades a comment as one piece. The sprite lays the fill over the outline (alpha
// af + ao (1 - af)); scaling both planes alike would darken where they overlap, so the fill is
// scaled by the opacity and the outline so that its share of the result scales by it as well:
// ao' (1 - af') = opacity * ao (1 - af). Colour glyphs, premultiplied, scale as they are.
void applyOpacity(CommentBitmap& bitmap, uint8_t opacity) {
    if (opacity == 255) {
        return;
    }
    for (uint8_t& level : bitmap.colour) {
        level = static_cast<uint8_t>((level * opacity + 127) / 255);
    }
    const float scale = opacity / 255.0f;
    for (std::size_t i = 0; i < bitmap.fill.size() && i < bitmap.outline.size(); ++i) {
        const float fill = bitmap.fill[i] / 255.0f;
        const float outline = bitmap.outline[i] / 255.0f;
        const float newFill = fill * scale;
        const float newOutline =
            newFill < 1.0f ? scale * outline * (1.0f - fill) / (1.0f - newFill) : 0.0f;
        bitmap.fill[i] = static_cast<uint8_t>(std::clamp(newFill, 0.0f, 1.0f) * 255.0f + 0.5f);
        bitmap.outline[i] =
            static_cast<uint8_t>(std::clamp(newOutline, 0.0f, 1.0f) * 255.0f + 0.5f);
    }
}

void CommentOverlay::rewind() {
    active_.clear();
    spriteBytes_ = 0;
    crowdedOut_ = 0;
    next_ = 0;
}

// Past its last frame, or rendered and never to be seen again: nothing on the frame (below
// it, too large) or scrolled out over the left edge.
void CommentOverlay::retireEnded(int64_t frame) {
    std::erase_if(active_, [&](const ActiveComment& active) {
        const OverlayComment& comment = comments_[active.index];
        const bool gone =
            comment.endFrame <= frame ||
            (active.rendered &&
             (active.sprite.empty() ||
              (comment.position == 0 && comment.speed > 0 &&
               active.sprite.leftOfFrame(commentLeft(comment, frame) + active.originX))));
        if (gone) {
            spriteBytes_ -= active.sprite.byteSize();
        }
        return gone;
    });
}

void CommentOverlay::renderWithinCeiling(const VhookFrame& frame) {
    const YuvFormat format{frame.matrix == 709 ? 709 : 601, frame.fullRange != 0};
    bool crowded = false;
    for (ActiveComment& active : active_) {
        if (active.rendered && active.format == format) {
            continue;
        }
        spriteBytes_ -= active.sprite.byteSize();
        active.sprite = CommentSprite();
        // Once one comment does not fit, the newer ones of this frame are not tried: the
        // comments shown are always the older ones, and a crowded frame renders nothing more.
        if (!crowded && spriteBytes_ < spriteByteCeiling_) {
            render(active, frame);
            spriteBytes_ += active.sprite.byteSize();
            if (spriteBytes_ > spriteByteCeiling_) {
                spriteBytes_ -= active.sprite.byteSize();
                active.sprite = CommentSprite();
                crowded = true;
            }
        } else {
            crowded = true;
        }
        if (crowded) {
            active.crowdedOut = true;
            ++crowdedOut_;
        }
    }
    if (crowded) {
        warnOfCrowding(frame.index);
        std::erase_if(active_, [](const ActiveComment& active) { return active.crowdedOut; });
    }
}

void CommentOverlay::warnOfCrowding(int64_t frame) {
    if (warnedOfCrowding_) {
        return;
    }
    warnedOfCrowding_ = true;
    char ceiling[32];
    std::snprintf(ceiling, sizeof ceiling, "%.1f",
                  static_cast<double>(spriteByteCeiling_) / (1024 * 1024));
    const std::string text = "the comments on frame " + std::to_string(frame) + " need more than " +
                             ceiling +
                             " MiB of bitmaps; the newest comments of crowded frames are not drawn";
    if (warn_) {
        warn_(text);
    } else {
        std::fprintf(stderr, "velmora: %s\n", text.c_str());
    }
}

void CommentOverlay::activateStarted(int64_t frame) {
    while (next_ < comments_.size() && comments_[next_].startFrame <= frame) {
        if (comments_[next_].endFrame > frame) {
            ActiveComment active;
            active.index = next_;
            active_.push_back(std::move(active));
        }
        ++next_;
    }
}

int64_t CommentOverlay::commentLeft(const OverlayComment& comment, int64_t frame) const {
    if (comment.position != 0) {
        return comment.x;
    }
    // frame - startFrame < 2^32 and |speed| <= 2^31 while the comment is shown: no overflow.
    const int64_t moved = int64_t{comment.speed} * (frame - comment.startFrame);
    return std::clamp<int64_t>(int64_t{width_} - moved, -kFarAway, kFarAway);
}

void CommentOverlay::render(ActiveComment& active, const VhookFrame& frame) {
    const OverlayComment& comment = comments_[active.index];
    active.rendered = true;
    active.format = YuvFormat{frame.matrix == 709 ? 709 : 601, frame.fullRange != 0};
    active.sprite = CommentSprite();
    if (comment.y >= frame.height) {
        return;  // below the picture: nothing to draw
    }
    const int outlinePx = outlineWidthFor(emPixelsFor(comment.fontSize));
    if (!fitsPixelBudget(comment, outlinePx)) {
        note("comment " + std::to_string(comment.block + 1) + " would need a bitmap of more than " +
             std::to_string(kMaxCommentPixels) + " pixels; it is not drawn");
        return;
    }
    try {
        CommentBitmap bitmap =
            engineFor(comment).renderComment(comment.text, comment.fontSize, outlinePx);
        applyOpacity(bitmap, comment.opacity);
        uint8_t outline[3];
        outlineColourFor(comment.red, comment.green, comment.blue, outline);
        SpriteColours colours;
        colours.fill = rgbToYuv(comment.red, comment.green, comment.blue, active.format);
        colours.outline = rgbToYuv(outline[0], outline[1], outline[2], active.format);
        colours.format = active.format;
        SpritePlacement placement;
        placement.bitmapTop = int64_t{comment.y} + bitmap.originY;
        placement.bitmapLeft = commentLeft(comment, frame.index) + bitmap.originX;
        placement.moving = comment.position == 0 && comment.speed != 0;
        placement.bothParities = (comment.speed & 1) != 0;
        placement.frameWidth = frame.width;
        placement.frameHeight = frame.height;
        active.originX = bitmap.originX;
        active.sprite = CommentSprite::build(bitmap, colours, placement);
    } catch (const std::bad_alloc&) {
        active.sprite = CommentSprite();
        note("out of memory while drawing comment " + std::to_string(comment.block + 1) +
             "; it is not drawn");
    }
}

// A cheap upper bound first (no glyph is wider than two ems, no line taller than two); the
// exact extents only for the rare comment that exceeds it.
bool CommentOverlay::fitsPixelBudget(const OverlayComment& comment, int outlinePx) {
    const int64_t em = emPixelsFor(comment.fontSize);
    int64_t lines = 1, longest = 0, current = 0;
    for (char16_t unit : comment.text) {
        if (unit == u'\n') {
            ++lines;
            current = 0;
        } else {
            longest = std::max(longest, ++current);
        }
    }
    const int64_t pad = 2 * outlinePx + 4;
    if ((std::max<int64_t>(longest, 1) * 2 * em + pad) * (lines * 2 * em + pad) <=
        kMaxCommentPixels) {
        return true;
    }
    int64_t width = 0, height = 0;
    std::size_t start = 0;
    const std::u16string_view text = comment.text;
    while (start <= text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        const std::u16string_view line = text.substr(start, end - start);
        const TextExtent extent =
            engine_->lineExtent(line.empty() ? u"あ" : line, comment.fontSize);
        width = std::max<int64_t>(width, extent.cx);
        height += extent.cy;
        start = end + 1;
    }
    return (width + pad) * (height + pad) <= kMaxCommentPixels;
}

void CommentOverlay::note(const std::string& text) {
    if (notes_ < kMaxNotes) {
        std::fprintf(stderr, "velmora: %s\n", text.c_str());
    } else if (notes_ == kMaxNotes) {
        std::fprintf(stderr, "velmora: further notes about single comments are left out\n");
    }
    ++notes_;
}
