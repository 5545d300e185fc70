#pragma once
// The areas that the comments laid out so far occupy, and the search for a free vertical place
// for the next comment among them. One list lives for one layout run.
//
// Units: pixels of the video frame and video frames. Coordinates are 64-bit so that moving a
// box over many frames cannot overflow. Rectangles are [left, right) x [top, bottom): shared
// edges do not overlap and an empty rectangle overlaps nothing.

#include <cstdint>
#include <optional>
#include <vector>

struct PlacedBox {
    int kind = 0;      // position of its comment: 0 scrolling, 1 top, 2 bottom
    int64_t left = 0;  // the rectangle at frame `frame`
    int64_t top = 0;
    int64_t right = 0;     // exclusive
    int64_t bottom = 0;    // exclusive
    int64_t speed = 0;     // pixels per frame to the left (0 for top and bottom)
    int64_t endFrame = 0;  // the frame from which the box no longer blocks top/bottom comments
    int64_t frame = 0;     // the frame at which the rectangle holds
};

// The comment that looks for a place: its kind, its horizontal extent at its start frame, its
// height and speed.
struct PlacementCandidate {
    int kind = 0;
    int64_t left = 0;    // `width` for a scrolling comment (it enters at the right edge), else x
    int64_t width = 0;   // W
    int64_t height = 0;  // H
    int64_t speed = 0;   // pixels per frame to the left
};

class PlacedBoxList {
public:
    // `frameHeight`: the video's height; `displayFrames`: N, the frames a comment is shown;
    // `pruneHorizon`: how many frames a box is kept after its end (ceil(3 D)).
    PlacedBoxList(int64_t frameHeight, int64_t displayFrames, int64_t pruneHorizon);

    // Builds the working list for a comment of `kind` that starts at `startFrame`: the boxes of
    // that kind in the order of their tops, scrolling ones moved to `startFrame` (those whose
    // right edge is then below 0 left out), top and bottom ones whose endFrame lies before
    // `startFrame` left out. The list itself is not changed.
    void prepare(int kind, int64_t startFrame);

    // The free top edge for `candidate` among the prepared boxes: first the start test (the
    // first box in the working list that overlaps pushes the candidate below it, or above it
    // for a bottom comment, and a push beyond 1 pixel outside the frame means there is no
    // place), then the sweep over the next N frames in which each box and the candidate move
    // by their own speeds (a box hit pushes the candidate below it, without the edge test).
    // Empty when the comment does not fit.
    std::optional<int64_t> findFreeTop(const PlacementCandidate& candidate) const;

    // Ends a comment that started at `startFrame`: drops the boxes that ended more than the
    // prune horizon before it, then adds `box` (when given) in the order of tops, after the
    // boxes with the same top.
    void finishComment(int64_t startFrame, const PlacedBox* box);

    const std::vector<PlacedBox>& boxes() const { return boxes_; }

private:
    const PlacedBox* firstOverlapAtStart(const PlacementCandidate& c, int64_t top) const;
    const PlacedBox* firstOverlapInSweep(const PlacementCandidate& c, int64_t top) const;

    int64_t frameHeight_;
    int64_t displayFrames_;
    int64_t pruneHorizon_;
    std::vector<PlacedBox> boxes_;    // every kept box, sorted by top (equal tops: insertion order)
    std::vector<PlacedBox> working_;  // the boxes prepared for the current comment; reused
};
