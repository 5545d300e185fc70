#include "comments/placed_box_list.h"

#include <algorithm>

namespace {

// Floor of p / q for q > 0.
int64_t floorDiv(int64_t p, int64_t q) {
    int64_t quotient = p / q;
    if (p % q != 0 && p < 0) {
        --quotient;
    }
    return quotient;
}

// Narrows the integer range [lo, hi] to the k that satisfy k * a < b.
void keepWhereProductBelow(int64_t a, int64_t b, int64_t& lo, int64_t& hi) {
    if (a == 0) {
        if (b <= 0) {
            hi = lo - 1;
        }
    } else if (a > 0) {
        hi = std::min(hi, floorDiv(b - 1, a));
    } else {
        lo = std::max(lo, floorDiv(-b, -a) + 1);
    }
}

}  // namespace

PlacedBoxList::PlacedBoxList(int64_t frameHeight, int64_t displayFrames, int64_t pruneHorizon)
    : frameHeight_(frameHeight), displayFrames_(displayFrames), pruneHorizon_(pruneHorizon) {}

void PlacedBoxList::prepare(int kind, int64_t startFrame) {
    // Boxes of other kinds never block this comment, so the working list holds only its own
    // kind; the relative order of those boxes is that of the whole list.
    working_.clear();
    for (const PlacedBox& box : boxes_) {
        if (box.kind != kind) {
            continue;
        }
        if (box.kind == 0) {
            // Boxes of comments that start later (d < 0) move right.
            const int64_t shift = (startFrame - box.frame) * box.speed;
            if (box.right - shift < 0) {
                continue;
            }
            PlacedBox& moved = working_.emplace_back(box);
            moved.left -= shift;
            moved.right -= shift;
            moved.frame = startFrame;
        } else {
            if (box.endFrame < startFrame) {
                continue;
            }
            working_.push_back(box);
        }
    }
}

const PlacedBox* PlacedBoxList::firstOverlapAtStart(const PlacementCandidate& c,
                                                    int64_t top) const {
    if (c.width <= 0 || c.height <= 0) {
        return nullptr;
    }
    const int64_t left = c.left;
    const int64_t right = c.left + c.width;
    const int64_t bottom = top + c.height;
    for (const PlacedBox& box : working_) {
        if (box.top >= bottom) {
            break;  // sorted by top: no later box reaches up into the candidate
        }
        if (std::max(box.left, left) < std::min(box.right, right) &&
            std::max(box.top, top) < std::min(box.bottom, bottom)) {
            return &box;
        }
    }
    return nullptr;
}

// The sweep asks, for k = 0 .. N-1 and in list order for each k, whether a box moved left by
// k * its speed (and still reaching into the frame) overlaps the candidate moved left by
// k * its speed. The vertical overlap does not depend on k, and each horizontal condition is
// linear in k, so each box's hits form one range of k: the first hit of the sweep is the box
// whose range starts lowest, the earlier box in the list on a tie.
const PlacedBox* PlacedBoxList::firstOverlapInSweep(const PlacementCandidate& c,
                                                    int64_t top) const {
    if (c.width <= 0 || c.height <= 0) {
        return nullptr;
    }
    const int64_t left = c.left;
    const int64_t right = c.left + c.width;
    const int64_t bottom = top + c.height;
    const PlacedBox* first = nullptr;
    int64_t firstK = displayFrames_;  // one past the last step
    for (const PlacedBox& box : working_) {
        if (box.top >= bottom) {
            break;
        }
        if (box.bottom <= top || box.top >= box.bottom || box.left >= box.right) {
            continue;
        }
        int64_t lo = 0;
        int64_t hi = firstK - 1;  // a later hit than the best so far changes nothing
        const int64_t closing = c.speed - box.speed;
        // box.left - k*box.speed < right - k*c.speed
        keepWhereProductBelow(closing, right - box.left, lo, hi);
        // left - k*c.speed < box.right - k*box.speed
        keepWhereProductBelow(-closing, box.right - left, lo, hi);
        // box.right - k*box.speed > 0
        keepWhereProductBelow(box.speed, box.right, lo, hi);
        if (lo <= hi) {
            first = &box;
            firstK = lo;
        }
    }
    return first;
}

std::optional<int64_t> PlacedBoxList::findFreeTop(const PlacementCandidate& c) const {
    const bool bottomComment = c.kind == 2;
    int64_t top = bottomComment ? frameHeight_ - c.height : 0;
    // Every push moves the candidate strictly past a box edge (down, or up for a bottom
    // comment, whose boxes never move), so the loop ends after at most one push per box.
    for (;;) {
        if (const PlacedBox* hit = firstOverlapAtStart(c, top)) {
            top = bottomComment ? hit->top - c.height : hit->bottom;
            if (top + c.height > frameHeight_ + 1 || top < -1) {
                return std::nullopt;
            }
            continue;
        }
        if (const PlacedBox* hit = firstOverlapInSweep(c, top)) {
            top = hit->bottom;
            continue;
        }
        return top;
    }
}

void PlacedBoxList::finishComment(int64_t startFrame, const PlacedBox* box) {
    if (startFrame > pruneHorizon_) {
        const int64_t oldest = startFrame - pruneHorizon_;
        std::erase_if(boxes_, [oldest](const PlacedBox& b) { return b.endFrame < oldest; });
    }
    if (box != nullptr) {
        auto at =
            std::upper_bound(boxes_.begin(), boxes_.end(), box->top,
                             [](int64_t top, const PlacedBox& placed) { return top < placed.top; });
        boxes_.insert(at, *box);
    }
}
