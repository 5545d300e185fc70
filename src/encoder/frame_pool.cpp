#include "encoder/frame_pool.h"

#include <algorithm>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {
// Row alignment that suits every SIMD width libavcodec uses.
constexpr int kAlign = 64;
}  // namespace

FramePool::~FramePool() {
    reset();
}

void FramePool::reset() {
    // Frames still out keep their pool alive; av_buffer_pool_uninit frees it when they return.
    for (AVBufferPool*& p : pools_) {
        av_buffer_pool_uninit(&p);
    }
}

bool FramePool::configure(int width, int height, AVPixelFormat format) {
    reset();
    width_ = width;
    height_ = height;
    format_ = format;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (!desc || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL) ||
        av_image_fill_linesizes(linesize_, format, FFALIGN(width, kAlign)) < 0) {
        return false;
    }
    const int planes = av_pix_fmt_count_planes(format);
    bool usePreferred = true;
    for (int i = 0; i < 4; ++i) {
        linesize_[i] = FFALIGN(linesize_[i], kAlign);
        planeSize_[i] = 0;
        if (i < planes && (preferred_[i] < linesize_[i] || preferred_[i] % kAlign != 0)) {
            usePreferred = false;
        }
    }
    if (usePreferred) {
        std::copy(preferred_, preferred_ + 4, linesize_);
    }
    for (int i = 0; i < planes; ++i) {
        const int h = (i == 1 || i == 2) ? AV_CEIL_RSHIFT(height, desc->log2_chroma_h) : height;
        // One spare row: some SIMD code reads a little past the last one.
        planeSize_[i] = static_cast<size_t>(linesize_[i]) * (h + 1) + kAlign;
        pools_[i] = av_buffer_pool_init(planeSize_[i], nullptr);
        if (!pools_[i]) {
            return false;
        }
    }
    return true;
}

void FramePool::preferLinesizes(const int linesize[4]) {
    if (std::equal(linesize, linesize + 4, preferred_)) {
        return;
    }
    std::copy(linesize, linesize + 4, preferred_);
    format_ = AV_PIX_FMT_NONE;  // configure anew on the next get()
}

FramePtr FramePool::get(int width, int height, AVPixelFormat format) {
    if ((width != width_ || height != height_ || format != format_ || !pools_[0]) &&
        !configure(width, height, format)) {
        return nullptr;
    }
    FramePtr frame(av_frame_alloc());
    if (!frame) {
        return nullptr;
    }
    frame->width = width;
    frame->height = height;
    frame->format = format;
    for (int i = 0; i < 4 && pools_[i]; ++i) {
        frame->buf[i] = av_buffer_pool_get(pools_[i]);
        if (!frame->buf[i]) {
            return nullptr;
        }
        frame->data[i] = reinterpret_cast<uint8_t*>(
            FFALIGN(reinterpret_cast<uintptr_t>(frame->buf[i]->data), kAlign));
        frame->linesize[i] = linesize_[i];
    }
    frame->extended_data = frame->data;
    return frame;
}
