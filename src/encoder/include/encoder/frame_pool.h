#pragma once
// Reusable picture buffers for the frames the pipeline must copy (the frame filter draws on
// a private copy when the decoder still holds the picture). Without a pool every copy of a
// 720p frame is a fresh 1.4 MB allocation: mapped, faulted in page by page, and unmapped again
// by the encoding thread.
// get() is called from one thread; buffers return to the pool from any thread.

#include "encoder/av_handles.h"

extern "C" {
#include <libavutil/buffer.h>
}

class FramePool {
public:
    FramePool() = default;
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;
    ~FramePool();

    // Row strides to use when they are large enough and suitably aligned: the encoder's own,
    // so that it can take the frames as they are instead of copying them, or those of the
    // frames being copied, so that a plane is copied as one block. Takes effect on the next
    // get(); the same strides again change nothing.
    void preferLinesizes(const int linesize[4]);

    // A frame of the given size and planar format with its own buffers, or null.
    FramePtr get(int width, int height, AVPixelFormat format);

private:
    bool configure(int width, int height, AVPixelFormat format);
    void reset();

    int width_ = 0;
    int height_ = 0;
    AVPixelFormat format_ = AV_PIX_FMT_NONE;
    int linesize_[4] = {};
    int preferred_[4] = {};
    size_t planeSize_[4] = {};
    AVBufferPool* pools_[4] = {};
};
