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

PremultipliedToYuv::PremultipliedToYuv(YuvFormat format) : black_(rgbToYuv(0, 0, 0, format)) {
    const YuvColour primaries[3] = {rgbToYuv(255, 0, 0, format), rgbToYuv(0, 255, 0, format),
                                    rgbToYuv(0, 0, 255, format)};
    for (int c = 0; c < 3; ++c) {
        perChannel_[c].y = (primaries[c].y - black_.y) / 255.0f;
        perChannel_[c].cb = (primaries[c].cb - black_.cb) / 255.0f;
        perChannel_[c].cr = (primaries[c].cr - black_.cr) / 255.0f;
    }
}

YuvColour PremultipliedToYuv::operator()(uint8_t red, uint8_t green, uint8_t blue,
                                         uint8_t alpha) const {
    const float a = alpha / 255.0f;
    const float channels[3] = {static_cast<float>(red), static_cast<float>(green),
                               static_cast<float>(blue)};
    YuvColour out{black_.y * a, black_.cb * a, black_.cr * a};
    for (int c = 0; c < 3; ++c) {
        out.y += perChannel_[c].y * channels[c];
        out.cb += perChannel_[c].cb * channels[c];
        out.cr += perChannel_[c].cr * channels[c];
    }
    return out;
}
