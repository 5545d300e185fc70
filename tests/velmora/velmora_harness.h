#pragma once
// Drives the real velmora.so of the program folder through its C interface, with overlay
// files written into a temporary folder and synthetic YUV 4:2:0 frames.

#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "velmora/velmora_api.h"

namespace velmora_test {

namespace fs = std::filesystem;

inline const char* kFontFolder = "/usr/share/fonts/opentype/ipafont-gothic/";
inline const char* kFontFile = "ipagp.ttf";

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "lumivox-velmora-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// One block of comment.ini with its text for data.ini. Numbers are written as given.
struct Block {
    std::string mail;
    std::string position = "1";
    std::string y = "0";
    std::string startFrame = "0";
    std::string speed = "0";
    std::string colour = "FF FF FF";
    std::string fontSize = "18";
    std::string vpos = "0";
    std::string endFrame = "10";
    std::string x = "0";
    std::string text = "test";
};

struct Header {
    std::string fontsFolder = kFontFolder;
    std::string fontFile = kFontFile;
    std::string baseSize = "18";
    std::string faceIndex = "0";
    std::string videoWidth = "320";
};

inline std::string commentIniText(const Header& header, const std::vector<Block>& blocks) {
    std::string text;
    for (const std::string* line : {&header.fontsFolder, &header.fontFile, &header.baseSize,
                                    &header.faceIndex, &header.videoWidth}) {
        text += *line + "\r\n";
    }
    for (const Block& b : blocks) {
        for (const std::string* line : {&b.mail, &b.position, &b.y, &b.startFrame, &b.speed,
                                        &b.colour, &b.fontSize, &b.vpos, &b.endFrame, &b.x}) {
            text += *line + "\r\n";
        }
    }
    return text;
}

inline std::string dataIniText(const std::vector<Block>& blocks) {
    std::string data;
    for (const Block& b : blocks) {
        data += b.text;
        data.push_back('\0');
    }
    return data;
}

inline void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

// The module, loaded once per test with dlopen as the encoder loads it.
class VelmoraModule {
public:
    VelmoraModule() {
        handle_ = ::dlopen(LUMIVOX_PROGRAM_DIR "/velmora.so", RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            loadError_ = ::dlerror();
            return;
        }
        configure_ = reinterpret_cast<vhook_configure_fn>(::dlsym(handle_, "vhook_configure"));
        process_ = reinterpret_cast<vhook_process_fn>(::dlsym(handle_, "vhook_process"));
        release_ = reinterpret_cast<vhook_release_fn>(::dlsym(handle_, "vhook_release"));
    }
    ~VelmoraModule() {
        if (handle_ != nullptr) {
            ::dlclose(handle_);
        }
    }
    VelmoraModule(const VelmoraModule&) = delete;
    VelmoraModule& operator=(const VelmoraModule&) = delete;

    bool loaded() const { return configure_ && process_ && release_; }
    const std::string& loadError() const { return loadError_; }
    void* handle() const { return handle_; }
    vhook_configure_fn configure() const { return configure_; }
    vhook_process_fn process() const { return process_; }
    vhook_release_fn release() const { return release_; }

private:
    void* handle_ = nullptr;
    std::string loadError_;
    vhook_configure_fn configure_ = nullptr;
    vhook_process_fn process_ = nullptr;
    vhook_release_fn release_ = nullptr;
};

struct Rgb {
    double r, g, b;
};

// A YUV 4:2:0 frame with padded rows and guard bytes after every plane, so that writes outside
// the visible picture are seen.
class TestFrame {
public:
    static constexpr int kPad = 16;
    static constexpr uint8_t kGuard = 0xA5;

    TestFrame(int width, int height) : width_(width), height_(height) {
        const int cw = (width + 1) / 2, ch = (height + 1) / 2;
        stride_[0] = width + kPad;
        stride_[1] = stride_[2] = cw + kPad;
        planes_[0].assign(static_cast<std::size_t>(stride_[0]) * (height + 1), kGuard);
        planes_[1].assign(static_cast<std::size_t>(stride_[1]) * (ch + 1), kGuard);
        planes_[2].assign(static_cast<std::size_t>(stride_[2]) * (ch + 1), kGuard);
    }

    int width() const { return width_; }
    int height() const { return height_; }

    void fill(uint8_t y, uint8_t u, uint8_t v) {
        const uint8_t values[3] = {y, u, v};
        for (int p = 0; p < 3; ++p) {
            for (int row = 0; row < planeHeight(p); ++row) {
                std::fill_n(&planes_[p][static_cast<std::size_t>(row) * stride_[p]], planeWidth(p),
                            values[p]);
            }
        }
    }

    VhookFrame view(int64_t index, int matrix = 601, int fullRange = 0) {
        VhookFrame frame{};
        frame.width = width_;
        frame.height = height_;
        for (int p = 0; p < 3; ++p) {
            frame.data[p] = planes_[p].data();
            frame.linesize[p] = stride_[p];
        }
        frame.index = index;
        frame.matrix = matrix;
        frame.fullRange = fullRange;
        return frame;
    }

    uint8_t luma(int x, int y) const { return at(0, x, y); }
    uint8_t cb(int x, int y) const { return at(1, x / 2, y / 2); }
    uint8_t cr(int x, int y) const { return at(2, x / 2, y / 2); }

    // The colour of pixel (x, y), decoded with the given matrix and range (0..255 per channel).
    Rgb rgb(int x, int y, int matrix = 601, bool fullRange = false) const {
        const double kr = matrix == 709 ? 0.2126 : 0.299;
        const double kb = matrix == 709 ? 0.0722 : 0.114;
        const double luma = fullRange ? this->luma(x, y) / 255.0 : (this->luma(x, y) - 16) / 219.0;
        const double scale = fullRange ? 255.0 : 224.0;
        const double pb = (cb(x, y) - 128) / scale;
        const double pr = (cr(x, y) - 128) / scale;
        const double r = luma + 2 * (1 - kr) * pr;
        const double b = luma + 2 * (1 - kb) * pb;
        const double g = (luma - kr * r - kb * b) / (1 - kr - kb);
        return {255 * r, 255 * g, 255 * b};
    }

    // True when every byte outside the picture still holds the guard value.
    bool guardsIntact() const {
        for (int p = 0; p < 3; ++p) {
            for (int row = 0; row <= planeHeight(p); ++row) {
                for (int col = 0; col < stride_[p]; ++col) {
                    const bool inside = row < planeHeight(p) && col < planeWidth(p);
                    if (!inside &&
                        planes_[p][static_cast<std::size_t>(row) * stride_[p] + col] != kGuard) {
                        return false;
                    }
                }
            }
        }
        return true;
    }

private:
    int planeWidth(int p) const { return p == 0 ? width_ : (width_ + 1) / 2; }
    int planeHeight(int p) const { return p == 0 ? height_ : (height_ + 1) / 2; }
    uint8_t at(int p, int x, int y) const {
        return planes_[p][static_cast<std::size_t>(y) * stride_[p] + x];
    }

    int width_, height_;
    int stride_[3];
    std::vector<uint8_t> planes_[3];
};

// The limited-range BT.601 grey the tests draw on.
inline constexpr uint8_t kGreyY = 126, kGreyC = 128;

struct InkBox {
    int left = 0, top = 0, right = 0, bottom = 0;  // exclusive right and bottom
    int pixels = 0;
    bool empty() const { return pixels == 0; }
};

// The pixels whose luma differs from `background` by more than `threshold`.
inline InkBox findInk(const TestFrame& frame, uint8_t background, int threshold = 12) {
    InkBox box{frame.width(), frame.height(), 0, 0, 0};
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            if (std::abs(frame.luma(x, y) - background) > threshold) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
                ++box.pixels;
            }
        }
    }
    if (box.pixels == 0) {
        box = InkBox{};
    }
    return box;
}

inline bool isRed(const Rgb& c) {
    return c.r > 200 && c.g < 50 && c.b < 50;
}

// Pixels in [left, right) x [top, bottom) that decode as red.
inline int countRed(const TestFrame& frame, int left, int top, int right, int bottom,
                    int matrix = 601, bool fullRange = false) {
    int count = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, frame.height()); ++y) {
        for (int x = std::max(left, 0); x < std::min(right, frame.width()); ++x) {
            count += isRed(frame.rgb(x, y, matrix, fullRange)) ? 1 : 0;
        }
    }
    return count;
}

}  // namespace velmora_test
