#pragma once
// Conversion of a comment's RGB colour to the Y'CbCr levels of the frames it is drawn on.

#include <cstdint>

struct YuvColour {
    // Levels as stored in the frame's planes, before rounding: Y' and the two colour differences.
    float y = 0;
    float cb = 0;
    float cr = 0;
};

// How a frame's 8-bit planes encode colour.
struct YuvFormat {
    int matrix = 601;        // 709 for BT.709; anything else is read as BT.601
    bool fullRange = false;  // true: 0..255 for all planes; false: Y' 16..235, Cb/Cr 16..240

    bool operator==(const YuvFormat&) const = default;
};

// The Y'CbCr of a gamma-encoded sRGB-style colour (0..255 per channel) in `format`.
YuvColour rgbToYuv(uint8_t red, uint8_t green, uint8_t blue, YuvFormat format);

// rgbToYuv for colours with premultiplied alpha (0..255 per channel and alpha): the levels, also
// premultiplied, are black's levels scaled by alpha plus each channel's share.
class PremultipliedToYuv {
public:
    explicit PremultipliedToYuv(YuvFormat format);
    YuvColour operator()(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) const;

private:
    YuvColour black_;
    YuvColour perChannel_[3];  // the levels one step of red, green or blue adds
};
