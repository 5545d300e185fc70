#pragma once
// Draws the laid-out comments onto the frames of one encoding run.
//
// Comments are kept sorted by their first frame. A comment is rendered into a sprite on the
// first frame it is shown and freed after its last one, so only the comments on screen hold
// pixels; each frame costs a blend over the active sprites' area and allocates nothing once
// the sprites exist. Frames may skip indices; an index below the previous one starts over.
// Used by one thread (the encoder's filter calls).

#include <cstdint>
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

class CommentOverlay {
public:
    // `width` and `height` are the frame size the comments were laid out for; a scrolling
    // comment enters at x = width.
    CommentOverlay(std::unique_ptr<TextEngine> engine, std::vector<OverlayComment> comments,
                   int width, int height);

    // Draws every comment shown on frame `frame.index` (startFrame <= index < endFrame).
    void process(const VhookFrame& frame);

    std::size_t activeCount() const { return active_.size(); }
    std::size_t spriteBytes() const;
    std::size_t commentCount() const { return comments_.size(); }

private:
    struct ActiveComment {
        std::size_t index = 0;  // into comments_
        bool rendered = false;  // false until the sprite is made (or found to be unneeded)
        YuvFormat format;       // the levels the sprite was made for
        int originX = 0;        // bitmap's left edge relative to the comment's x
        CommentSprite sprite;
    };

    void rewind();
    void retireEnded(int64_t frame);
    void activateStarted(int64_t frame);
    void render(ActiveComment& active, const VhookFrame& frame);
    bool fitsPixelBudget(const OverlayComment& comment, int outlinePx);
    int64_t commentLeft(const OverlayComment& comment, int64_t frame) const;
    void note(const std::string& text);
    // The engine of the comment's own face (opened at its first use), else the comment font's.
    TextEngine& engineFor(const OverlayComment& comment);

    std::unique_ptr<TextEngine> engine_;
    // Faces that comments asked for, by "index:path"; null when the file could not be opened.
    std::map<std::string, std::unique_ptr<TextEngine>> faceEngines_;
    std::vector<OverlayComment> comments_;  // by startFrame, file order among equals
    std::vector<ActiveComment> active_;     // in the order they started: later ones on top
    std::size_t next_ = 0;                  // first comment not yet started
    int64_t lastFrame_ = INT64_MIN;
    int width_;
    int height_;
    int notes_ = 0;
};

// Scales the fill and outline coverage of `bitmap` by opacity / 255.
void applyOpacity(CommentBitmap& bitmap, uint8_t opacity);
