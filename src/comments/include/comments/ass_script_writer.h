#pragma once
// The laid-out comments as an ASS subtitle script, for the formats that keep the comments as a
// track the viewer can switch on and off (or as a file beside the video).
//
// The script places every comment exactly where the frame filter draws it: the play resolution
// is the video's size, each comment is anchored at its top-left corner (\an7) on its layout
// position, a scrolling comment moves by \move from the right edge at its speed in pixels per
// frame, and its event covers the frames [startFrame, endFrame) of the layout's frame rate. The
// size, colour and outline are the filter's (text/comment_style.h); the font size is written
// as the renderer's size of the same em height, and each line gets the letter spacing that
// makes it as wide as the filter draws it. A comment's opacity becomes its \alpha, its own face
// (a font file) its \fn with that face's metrics, and the owner's comments lie on a higher layer.
// Comments the filter skips (a colour it cannot read, a size out of range, no frame to show on) are
// left out here too.

#include <string>

#include "comments/chat_record.h"
#include "platform/result.h"
#include "text/text_engine.h"

struct AssScriptHeader {
    int videoWidth = 0;  // the play resolution: the frame size the layout worked with
    int videoHeight = 0;
    double fps = 0;                // the rate the layout's frame numbers count in
    std::string fontFamily;        // found again by the renderer through fontconfig
    double lineHeightPerEm = 1.0;  // the font's line height per em (TextEngine::lineHeightPerEm)
    // The comment font, to give each line the letter spacing that makes a renderer with exact
    // advances end it where the filter's whole-pixel advances do. None: no spacing.
    TextEngine* engine = nullptr;
};

// The script as UTF-8 text with LF line ends. Comments in the order the filter stacks them
// (by first frame, list order among equals), so that later ones are drawn over earlier ones.
std::string composeAssScript(const AssScriptHeader& header, const ChatList& chats);

// Writes the script to `path`, replacing an earlier file as a whole.
Status writeAssScript(const std::string& path, const AssScriptHeader& header,
                      const ChatList& chats);

// The time of frame `frame` at `fps` in milliseconds, and the start of the event that first shows
// on that frame in centiseconds: halfway between it and the frame before, so that a player's
// rounding of frame times by a few milliseconds cannot move the comment to a neighbouring frame.
double frameTimeMs(int64_t frame, double fps);
int64_t eventBoundaryCs(int64_t frame, double fps);
