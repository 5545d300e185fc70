#pragma once
// Owning handles for the libav objects the pipeline passes around.

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

struct AvPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct AvFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct AvCodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvFilterGraphFree {
    void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct SwsContextFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrContextFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct AvAudioFifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using PacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;
using FramePtr = std::unique_ptr<AVFrame, AvFrameFree>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextFree>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, AvFilterGraphFree>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFree>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextFree>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AvAudioFifoFree>;
