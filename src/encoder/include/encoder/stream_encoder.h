#pragma once
// One opened encoder and the output stream it feeds. encode() is called by one thread (the
// stream's encoding thread); the counters are read by the status thread.

#include <atomic>
#include <string>

#include "encoder/av_handles.h"
#include "encoder/encoder_options.h"
#include "encoder/output_muxer.h"
#include "platform/result.h"

class StreamEncoder {
public:
    explicit StreamEncoder(OutputMuxer& muxer) : muxer_(muxer) {}

    // Opens `codec` on the configured context (sizes, formats, time base, rate control set by
    // the caller) with the encoder's own `options`, and adds the output stream. Fails with a
    // reason naming the encoder, also when the encoder has no use for one of the options.
    Status open(CodecContextPtr context, AVRational frameRate, const AvOptionList& options = {});

    // Encodes one frame (pts in the encoder's time base) and writes what comes out; null
    // drains the encoder at the end.
    Status encode(const AVFrame* frame);

    AVCodecContext* context() const { return ctx_.get(); }
    // For video encoders that take a frame with the strides of their own picture buffers
    // without copying it (the MPEG-4 family's): those strides. Zeros for every other encoder,
    // which copies or reads its input whatever its strides.
    const int* pictureLinesizes() const { return pictureLinesizes_; }
    bool wantsPictureLinesizes() const { return pictureLinesizes_[0] > 0; }
    int64_t framesEncoded() const { return frames_.load(std::memory_order_relaxed); }
    // The quantiser of the latest packet (lambda / FF_QP2LAMBDA), -1 when none was reported.
    float lastQuantiser() const { return quantiser_.load(std::memory_order_relaxed); }

private:
    Status drain();
    void learnPictureLinesizes();

    OutputMuxer& muxer_;
    CodecContextPtr ctx_;
    PacketPtr packet_{av_packet_alloc()};
    int streamIndex_ = -1;
    int pictureLinesizes_[4] = {};
    std::atomic<int64_t> frames_{0};
    std::atomic<float> quantiser_{-1.0f};
};
