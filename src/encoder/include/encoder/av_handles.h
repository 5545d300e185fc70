#pragma once
// Owning handles for the libav objects the pipeline passes around.

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
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

// The planes of av_samples_alloc_array_and_samples: one buffer, and the array pointing into it.
struct AvSamplesFree {
    void operator()(uint8_t** planes) const {
        av_freep(&planes[0]);
        av_freep(&planes);
    }
};
struct AvInputFormatClose {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// An output context; its file (pb) is closed by its owner before the context goes.
struct AvOutputFormatFree {
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};

// An AVDictionary for handing options to libav; whatever it still holds is freed with it.
class AvDictionary {
public:
    AvDictionary() = default;
    AvDictionary(const AvDictionary&) = delete;
    AvDictionary& operator=(const AvDictionary&) = delete;
    ~AvDictionary() { av_dict_free(&dict_); }
    AVDictionary** address() { return &dict_; }
    // The first key left in the dictionary, or "" when it is empty.
    std::string firstKey() const {
        const AVDictionaryEntry* e = av_dict_get(dict_, "", nullptr, AV_DICT_IGNORE_SUFFIX);
        return e ? e->key : "";
    }

private:
    AVDictionary* dict_ = nullptr;
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, AvInputFormatClose>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, AvOutputFormatFree>;
using SampleBufferPtr = std::unique_ptr<uint8_t*, AvSamplesFree>;
using PacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;
using FramePtr = std::unique_ptr<AVFrame, AvFrameFree>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextFree>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, AvFilterGraphFree>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFree>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextFree>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AvAudioFifoFree>;
