#include "velmora/yuv_colour.h"

YuvColour rgbToYuv(uint8_t red, uint8_t green, uint8_t blue, YuvFormat format) {
    const bool bt709 = format.matrix == 709;
    const double kr = bt709 ? 0.2126 : 0.299;
    const double kb = bt709 ? 0.0722 : 0.114;
    const double r = red / 255.0;
    const double g = green / 255.0;
    const double b = blue / 255.0;
    const double luma = kr * r + (1.0 - kr - kb) * g + kb * b;  // 0..1
    const double cb = (b - luma) / (2.0 * (1.0 - kb));          // -0.5..0.5
    const double cr = (r - luma) / (2.0 * (1.0 - kr));          // -0.5..0.5
    YuvColour out;
    if (format.fullRange) {
        out.y = static_cast<float>(255.0 * luma);
        out.cb = static_cast<float>(128.0 + 255.0 * cb);
        out.cr = static_cast<float>(128.0 + 255.0 * cr);
        // 128 + 127.5 would round to 256 for pure blue and red: keep inside the byte.
        out.cb = out.cb > 255.0f ? 255.0f : out.cb;
        out.cr = out.cr > 255.0f ? 255.0f : out.cr;
    } else {
        out.y = static_cast<float>(16.0 + 219.0 * luma);
        out.cb = static_cast<float>(128.0 + 224.0 * cb);
        out.cr = static_cast<float>(128.0 + 224.0 * cr);
    }
    return out;
}
