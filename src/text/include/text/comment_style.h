#pragma once
// How a comment looks on the picture beyond its glyphs: the em height of its point size, the
// width and colour of the outline around it. The frame filter draws with these and the subtitle
// script is written from them, so that both show a comment alike.

#include <algorithm>
#include <cstdint>

// The em height in pixels of a size in points, as the layout measured it (96 dpi).
inline int emPixelsFor(int sizePt) {
    return (sizePt * 96 * 2 + 72) / (72 * 2);
}

// Outline width in pixels for a comment drawn at an em height of `emPx` pixels.
inline int outlineWidthFor(int emPx) {
    return std::clamp((emPx + 8) / 16, 1, 4);
}

// The outline colour that keeps text of the given colour readable on any picture: black
// around light or saturated colours, white around black and very dark ones.
inline void outlineColourFor(uint8_t red, uint8_t green, uint8_t blue, uint8_t rgbOut[3]) {
    const int luma = (299 * red + 587 * green + 114 * blue) / 1000;
    const int brightest = std::max({red, green, blue});
    const bool veryDark = luma < 0x40 && brightest < 0xC0;
    const uint8_t level = veryDark ? 0xFF : 0x00;
    rgbOut[0] = rgbOut[1] = rgbOut[2] = level;
}
