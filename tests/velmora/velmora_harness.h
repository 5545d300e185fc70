#pragma once
// Drives the real velmora.so of the program folder through its C interface, as the encoder
// does, with overlay files written into a temporary folder and synthetic YUV 4:2:0 frames.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/work_file_names.h"
#include "support/temp_folder.h"
#include "velmora/velmora_api.h"

namespace velmora_test {

namespace fs = std::filesystem;

inline const char* kFontFolder = "/usr/share/fonts/opentype/ipafont-gothic/";
inline const char* kFontFile = "ipagp.ttf";

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
        data += b.text + '\0';
    }
    return data;
}

// The module, loaded with dlopen as the encoder loads it.
class VelmoraModule {
public:
    VelmoraModule() : handle_(::dlopen(LUMIVOX_PROGRAM_DIR "/velmora.so", RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr) {
            loadError = ::dlerror();
            return;
        }
        configure = reinterpret_cast<vhook_configure_fn>(::dlsym(handle_, "vhook_configure"));
        process = reinterpret_cast<vhook_process_fn>(::dlsym(handle_, "vhook_process"));
        release = reinterpret_cast<vhook_release_fn>(::dlsym(handle_, "vhook_release"));
        configure2 = reinterpret_cast<vhook_configure2_fn>(::dlsym(handle_, "vhook_configure2"));
    }
    ~VelmoraModule() {
        if (handle_ != nullptr)
            ::dlclose(handle_);
    }
    VelmoraModule(const VelmoraModule&) = delete;
    bool loaded() const { return configure && process && release; }

    std::string loadError;
    vhook_configure_fn configure = nullptr;
    vhook_process_fn process = nullptr;
    vhook_release_fn release = nullptr;
    vhook_configure2_fn configure2 = nullptr;  // the second version of the interface

private:
    void* handle_;
};

struct Rgb {
    double r, g, b;
};

// The limited-range BT.601 grey the tests draw on.
inline constexpr uint8_t kGreyY = 126, kGreyC = 128;

// A YUV 4:2:0 frame filled with one colour, with padded rows and guard bytes after every plane,
// so that writes outside the visible picture are seen.
class TestFrame {
public:
    static constexpr int kPad = 16;
    static constexpr uint8_t kGuard = 0xA5;

    TestFrame(int width, int height, uint8_t y = kGreyY, uint8_t c = kGreyC, int pad = kPad)
        : width_(width), height_(height) {
        for (int p = 0; p < 3; ++p) {
            stride_[p] = planeWidth(p) + pad;
            planes_[p].assign(static_cast<std::size_t>(stride_[p]) * (planeHeight(p) + 1), kGuard);
            for (int row = 0; row < planeHeight(p); ++row) {
                std::fill_n(&planes_[p][static_cast<std::size_t>(row) * stride_[p]], planeWidth(p),
                            p == 0 ? y : c);
            }
        }
    }
    bool operator==(const TestFrame&) const = default;

    int width() const { return width_; }
    int height() const { return height_; }

    VhookFrame view(int64_t index, int matrix, int fullRange) {
        VhookFrame frame{width_, height_, {}, {}, index, matrix, fullRange};
        for (int p = 0; p < 3; ++p) {
            frame.data[p] = planes_[p].data();
            frame.linesize[p] = stride_[p];
        }
        return frame;
    }
    // The picture upside down, as a frame whose rows run backwards in memory (negative
    // strides, as FFmpeg allows).
    VhookFrame flippedView(int64_t index, int matrix, int fullRange) {
        VhookFrame frame = view(index, matrix, fullRange);
        for (int p = 0; p < 3; ++p) {
            frame.data[p] += static_cast<std::ptrdiff_t>(planeHeight(p) - 1) * stride_[p];
            frame.linesize[p] = -stride_[p];
        }
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

    // True when both hold the same picture, whatever their strides.
    bool samePicture(const TestFrame& other) const {
        if (width_ != other.width_ || height_ != other.height_) {
            return false;
        }
        for (int p = 0; p < 3; ++p) {
            for (int row = 0; row < planeHeight(p); ++row) {
                for (int col = 0; col < planeWidth(p); ++col) {
                    if (at(p, col, row) != other.at(p, col, row)) {
                        return false;
                    }
                }
            }
        }
        return true;
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

struct InkBox {
    int left = 0, top = 0, right = 0, bottom = 0;  // exclusive right and bottom
    int pixels = 0;
    bool empty() const { return pixels == 0; }
};

// The pixels in rows [top, bottom) of a picture whose luma(x, y) differs from the grey by more
// than 12.
template <class Luma>
InkBox findInk(int width, int height, Luma luma, int top = 0, int bottom = INT32_MAX) {
    InkBox box{width, height, 0, 0, 0};
    for (int y = top; y < std::min(bottom, height); ++y) {
        for (int x = 0; x < width; ++x) {
            if (std::abs(luma(x, y) - kGreyY) > 12) {
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                       std::max(box.bottom, y + 1), box.pixels + 1};
            }
        }
    }
    return box.pixels == 0 ? InkBox{} : box;
}
inline InkBox findInk(const TestFrame& frame, int top = 0, int bottom = INT32_MAX) {
    const auto luma = [&frame](int x, int y) { return frame.luma(x, y); };
    return findInk(frame.width(), frame.height(), luma, top, bottom);
}

// Pixels in [left, right) x [top, bottom) that decode as red.
inline int countRed(const TestFrame& frame, int left, int top, int right, int bottom,
                    int matrix = 601, bool fullRange = false) {
    int count = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, frame.height()); ++y) {
        for (int x = std::max(left, 0); x < std::min(right, frame.width()); ++x) {
            const Rgb c = frame.rgb(x, y, matrix, fullRange);
            count += c.r > 200 && c.g < 50 && c.b < 50 ? 1 : 0;
        }
    }
    return count;
}

// The argument vector of `words` (which must outlive it), ended by a null pointer.
inline std::vector<char*> argvOf(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return argv;
}

// One configured run of the module: configure on construction, release on destruction.
class FilterSession {
public:
    FilterSession(const VelmoraModule& module, std::vector<std::string> words, int width,
                  int height)
        : module_(module), words_(std::move(words)) {
        std::vector<char*> argv = argvOf(words_);
        char error[512] = "untouched";
        result_ = module_.configure(&ctx_, static_cast<int>(words_.size()), argv.data(), width,
                                    height, 25, 1, error, sizeof error);
        error_ = error;
    }
    ~FilterSession() { module_.release(ctx_); }
    FilterSession(const FilterSession&) = delete;

    bool ok() const { return result_ == 0 && ctx_ != nullptr; }
    int result() const { return result_; }
    const std::string& error() const { return error_; }

    int process(TestFrame& frame, int64_t index, int matrix = 601, int fullRange = 0) {
        VhookFrame view = frame.view(index, matrix, fullRange);
        return module_.process(ctx_, &view);
    }
    // A grey frame of the given size with frame `index` drawn onto it.
    TestFrame draw(int64_t index, int width = 320, int height = 240) {
        TestFrame frame(width, height);
        EXPECT_EQ(process(frame, index), 0) << "frame " << index;
        EXPECT_TRUE(frame.guardsIntact()) << "frame " << index;
        return frame;
    }

private:
    const VelmoraModule& module_;
    std::vector<std::string> words_;
    void* ctx_ = nullptr;
    int result_ = -1;
    std::string error_;
};

// A test with the module loaded and a temporary folder for the overlay files.
class VelmoraTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.loaded()) << "cannot load velmora.so: " << module_.loadError;
    }

    // Writes comment.ini and data.ini into the temporary folder.
    void writeOverlay(const std::vector<Block>& blocks, const Header& header = Header{}) {
        writeBytes(commentPath(), commentIniText(header, blocks));
        writeBytes(dataPath(), dataIniText(blocks));
    }
    // A filter opened on `blocks` written as the overlay files, with `values` after data.ini's
    // texts. A filter that fails to open fails the test and draws nothing.
    std::unique_ptr<FilterSession> openOn(const std::vector<Block>& blocks, int width = 320,
                                          int height = 240, const std::string& values = "") {
        writeOverlay(blocks);
        if (!values.empty()) {
            std::ofstream(dataPath(), std::ios::binary | std::ios::app)
                << kDrawingValuesMark << '\0' << values << '\0';
        }
        auto filter = open(width, height);
        EXPECT_TRUE(filter->ok()) << filter->error();
        return filter;
    }
    // Frame `index` drawn by a filter opened on `blocks` and `values`.
    TestFrame drawOverlay(const std::vector<Block>& blocks, int64_t index = 0,
                          const std::string& values = "") {
        return openOn(blocks, 320, 240, values)->draw(index);
    }
    std::string commentPath() const { return folder_.file("comment.ini").string(); }
    std::string dataPath() const { return folder_.file("data.ini").string(); }
    // The usual command line: velmora.dll -N <comment.ini> -D <data.ini>
    std::vector<std::string> words() const {
        return {"velmora.dll", "-N", commentPath(), "-D", dataPath()};
    }

    // Configures the module on the overlay files; what it wrote to stderr goes to `messages`.
    std::unique_ptr<FilterSession> open(int width = 320, int height = 240,
                                        std::string* messages = nullptr) {
        testing::internal::CaptureStderr();
        auto filter = std::make_unique<FilterSession>(module_, words(), width, height);
        const std::string written = testing::internal::GetCapturedStderr();
        if (messages != nullptr)
            *messages = written;
        return filter;
    }

    VelmoraModule module_;
    TestTempFolder folder_;
};

}  // namespace velmora_test
