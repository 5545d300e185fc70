#pragma once
// What the text tests share: an engine on IPAPGothic, and the box around a comment bitmap's ink.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "text/text_engine.h"

inline const std::string kIpaPGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";

// A test with a text engine on IPAPGothic at 96 dpi.
class IpaPGothicTest : public testing::Test {
protected:
    void SetUp() override {
        Result<std::unique_ptr<TextEngine>> opened = TextEngine::open(kIpaPGothic, 0);
        ASSERT_TRUE(opened) << opened.error();
        engine = std::move(*opened);
    }
    std::unique_ptr<TextEngine> engine;
};

struct InkBox {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;  // right, bottom excl.
    bool empty() const { return left == INT_MAX; }
};

// The box around the pixels of `plane` that are not 0 in the rows from `fromY` to before `toY`,
// in the comment's coordinates (0, 0 = its box's corner). A pixel's value is the byte at
// `offset` of its `stride` bytes: 4 and 3 for the colour plane's alpha.
inline InkBox inkBox(const CommentBitmap& bitmap, const std::vector<uint8_t>& plane,
                     int fromY = INT_MIN, int toY = INT_MAX, size_t stride = 1, size_t offset = 0) {
    InkBox box;
    for (int row = 0; row < bitmap.height; ++row) {
        const int y = row + bitmap.originY;
        for (int col = 0; col < bitmap.width && y >= fromY && y < toY; ++col) {
            const size_t at = (static_cast<size_t>(row) * bitmap.width + col) * stride + offset;
            if (at < plane.size() && plane[at] != 0) {
                const int x = col + bitmap.originX;
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x + 1);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y + 1);
            }
        }
    }
    return box;
}

// The box around the colour plane's opaque and half-opaque pixels (empty without one).
inline InkBox colourInkBox(const CommentBitmap& bitmap) {
    return inkBox(bitmap, bitmap.colour, INT_MIN, INT_MAX, 4, 3);
}
