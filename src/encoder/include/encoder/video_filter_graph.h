#pragma once
// The libavfilter graph between the decoded frames and the video encoder:
//   buffer -> [the -vf graph] -> [scale to -s] -> format (the encoder's pixel formats) -> sink
// Frames pass by reference; a conversion happens only where a filter needs one.

#include <string>
#include <vector>

#include "encoder/av_handles.h"
#include "platform/result.h"

struct VideoGraphInput {
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    AVRational timeBase{1, 1};
    AVRational sampleAspect{0, 1};
    AVRational frameRate{0, 1};
};

class VideoFilterGraph {
public:
    // `userGraph` may be empty; `width`/`height` 0 keep the size; `formats` lists the pixel
    // formats the encoder takes (empty = any), best first.
    Status build(const VideoGraphInput& input, const std::string& userGraph, int width, int height,
                 const std::vector<AVPixelFormat>& formats);

    // Takes the frame's reference; null marks the end of the input.
    Status push(AVFrame* frame);
    // 0 with a frame, AVERROR(EAGAIN) when more input is needed, AVERROR_EOF at the end.
    int pull(AVFrame* frame);

    int width() const;
    int height() const;
    AVPixelFormat format() const;
    AVRational timeBase() const;
    AVRational sampleAspect() const;
    AVRational frameRate() const;

private:
    FilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
};
