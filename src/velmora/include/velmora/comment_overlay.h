#pragma once
// Draws the laid-out comments onto the frames of one encoding run.
//
// Comments are kept sorted by their first frame. A comment is rendered into a sprite on the
// first frame it is shown and freed after its last one, or as soon as a scrolling comment has
// left the frame, so only the comments on screen hold pixels; each frame costs a blend over
// the active sprites' area and allocates nothing once the sprites exist.
// The sprites together hold at most a ceiling of bytes: on a frame so crowded that the next
// comment's sprite would pass it, that comment and every newer one starting on that frame are
// not drawn at all (one warning per run). A thread of hundreds of thousands of comments thus
// costs the comments that fit, not one bitmap each.
// Frames may skip indices; an index below the previous one starts over.
// Used by one thread (the encoder's filter calls).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "text/comment_style.h"
#include "text/text_engine.h"
#include "velmora/comment_sprite.h"
#include "velmora/overlay_script.h"
#include "velmora/velmora_api.h"
#include "velmora/yuv_colour.h"

// The largest bitmap a comment may need, in pixels; larger comments are not drawn.
inline constexpr int64_t kMaxCommentPixels = 8 * 1024 * 1024;

// The bytes the sprites on screen may hold together unless the filter is told otherwise.
inline constexpr std::size_t kDefaultSpriteByteCeiling = std::size_t{128} << 20;

class CommentOverlay {
public:
    // `width` is the frame width the comments were laid out for; a scrolling comment enters at
    // x = width.
    CommentOverlay(std::unique_ptr<TextEngine> engine, std::vector<OverlayComment> comments,
                   int width, std::size_t spriteByteCeiling = kDefaultSpriteByteCeiling,
                   std::function<void(const std::string&)> warn = {});

    // Draws every comment shown on frame `frame.index` (startFrame <= index < endFrame).
    void process(const VhookFrame& frame);
    // The same drawing onto a copy: `target` (same size, index, matrix and range as `source`,
    // its own planes) receives the whole of `source` with the comments drawn; `source` is only
    // read. The picture is copied and drawn on band by band, so each band is drawn on while it
    // is still in the cache: cheaper than copying the whole picture first and drawing after.
    // The result is the same, byte for byte.
    void processInto(const VhookFrame& source, const VhookFrame& target);

    std::size_t activeCount() const { return active_.size(); }
    std::size_t spriteBytes() const { return spriteBytes_; }
    std::size_t commentCount() const { return comments_.size(); }
    // Comments left undrawn for the ceiling since the last start over.
    std::size_t crowdedOutCount() const { return crowdedOut_; }

private:
    struct ActiveComment {
        std::size_t index = 0;    // into comments_
        bool rendered = false;    // false until the sprite is made (or found to be unneeded)
        bool crowdedOut = false;  // left undrawn for the ceiling: leaves the active ones
        YuvFormat format;         // the levels the sprite was made for
        int originX = 0;          // bitmap's left edge relative to the comment's x
        CommentSprite sprite;
    };

    // Brings the active comments and their sprites up to frame `frame.index`.
    void prepare(const VhookFrame& frame);
    // Lists the sprites to draw on the prepared frame in the order they are drawn.
    void placeSprites(int64_t frame);
    // Blends the placed sprites within `rows` of the frame.
    void drawRows(const VhookFrame& frame, FrameRows rows) const;
    void rewind();
    void retireEnded(int64_t frame);
    void activateStarted(int64_t frame);
    // Makes the sprites of the comments that started on this frame while the ceiling allows,
    // and drops the comments it does not allow from the active ones.
    void renderWithinCeiling(const VhookFrame& frame);
    void render(ActiveComment& active, const VhookFrame& frame);
    void warnOfCrowding(int64_t frame);
    bool fitsPixelBudget(const OverlayComment& comment, int outlinePx);
    int64_t commentLeft(const OverlayComment& comment, int64_t frame) const;
    void note(const std::string& text);
    // The engine of the comment's own face (opened at its first use), else the comment font's.
    TextEngine& engineFor(const OverlayComment& comment);

    // A sprite of the frame being drawn and its bitmap's left edge on it.
    struct PlacedSprite {
        const CommentSprite* sprite = nullptr;
        int64_t left = 0;
    };

    std::unique_ptr<TextEngine> engine_;
    // Faces that comments asked for, by "index:path"; null when the file could not be opened.
    std::map<std::string, std::unique_ptr<TextEngine>> faceEngines_;
    std::vector<OverlayComment> comments_;  // by startFrame, file order among equals
    std::vector<ActiveComment> active_;     // in the order they started: later ones on top
    std::vector<PlacedSprite> drawOrder_;   // this frame's sprites, the owner's last
    std::size_t next_ = 0;                  // first comment not yet started
    int64_t lastFrame_ = INT64_MIN;
    int width_;
    std::size_t spriteByteCeiling_;
    std::size_t spriteBytes_ = 0;  // held by the sprites of active_
    std::size_t crowdedOut_ = 0;
    bool warnedOfCrowding_ = false;
    std::function<void(const std::string&)> warn_;  // empty: standard error
    int notes_ = 0;
};

// Scales the fill and outline coverage of `bitmap` by opacity / 255.
void applyOpacity(CommentBitmap& bitmap, uint8_t opacity);
