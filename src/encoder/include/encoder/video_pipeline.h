#pragma once
// The video branch of an encode: two threads.
//   decoding thread: packets -> decoder -> trim to -ss/-t -> frame filter (vhook) -> filter
//                    graph (-vf, -s, pixel format) -> frame-rate conversion -> frame queue
//   encoding thread: frame queue -> encoder -> muxer
// The demuxing thread feeds packets(); close() it at the end of the input.

#include <atomic>
#include <string>
#include <thread>

#include "encoder/av_handles.h"
#include "encoder/blocking_queue.h"
#include "encoder/encoder_options.h"
#include "encoder/frame_pool.h"
#include "encoder/frame_rate_converter.h"
#include "encoder/packet_decoder.h"
#include "encoder/run_state.h"
#include "encoder/stream_encoder.h"
#include "encoder/vhook_module.h"
#include "encoder/video_filter_graph.h"

struct VideoPipelineSetup {
    AVStream* stream = nullptr;
    const EncoderOptions* options = nullptr;
    AVCodecID defaultCodec = AV_CODEC_ID_NONE;  // the container's, used without -vcodec/-acodec
    VhookModule* vhook = nullptr;               // configured module, or null
    AVRational indexRate{0, 1};                 // the rate the module counts frames in
    VideoSyncMode sync = VideoSyncMode::Cfr;
    int64_t offsetUs = 0;  // input time that becomes output time 0 (file start + -ss)
    bool seeked = false;   // the input was seeked to -ss, so its first frames were never read
};

class VideoPipeline {
public:
    VideoPipeline(OutputMuxer& muxer, RunState& state) : encoder_(muxer), state_(state) {}
    VideoPipeline(const VideoPipeline&) = delete;
    VideoPipeline& operator=(const VideoPipeline&) = delete;
    ~VideoPipeline();

    // Opens the decoder, builds the graph and opens the encoder (adding the output stream).
    Status setup(const VideoPipelineSetup& setup, bool globalHeader);
    void start();
    void abort();
    void join();

    BlockingQueue<PacketPtr>& packets() { return packets_; }
    // The -t limit was reached; the demuxer need not read more for this stream.
    bool reachedEnd() const { return reachedEnd_.load(std::memory_order_relaxed); }
    const StreamEncoder& encoder() const { return encoder_; }
    // Empty, or why the stream counts as lost (decoding failed for good).
    std::string lossReport() const;
    // "msmpeg4 512x384 yuv420p 30000/1001 fps" for the banner.
    std::string description() const;

private:
    void decodeLoop();
    void encodeLoop();
    bool decodePacket(const AVPacket* packet);
    bool handleDecoded(AVFrame* frame);
    bool normalise(FramePtr& frame);
    // Draws the comments onto `frame`, which afterwards holds a picture of its own when the
    // decoder's was shared. False (and the failure recorded) when the module fails.
    bool applyVhook(AVFrame* frame, int64_t pts);
    // The module's view of `frame` shown at `pts`.
    VhookFrame vhookFrameOf(const AVFrame* frame, int64_t pts) const;
    bool vhookDone(bool drawn, int64_t index);
    bool drainGraph();
    bool syncAndQueue(AVFrame* frame);
    bool queueFrame(const AVFrame* frame, int64_t pts);

    VideoPipelineSetup setup_;
    CodecContextPtr decoder_;
    VideoFilterGraph graph_;
    VideoGraphInput graphInput_;
    SwsContextPtr sws_;                // cached converter for frames that differ from graphInput_
    FramePool pool_;                   // buffers of the frame filter's private copies
    bool copiesFollowSource_ = false;  // the copies take the strides of the frames copied
    FrameRateConverter sync_{VideoSyncMode::Cfr};
    StreamEncoder encoder_;
    RunState& state_;
    AVRational rate_{25, 1};  // output frame rate; the encoder's time base is its inverse
    FramePtr decoded_{av_frame_alloc()};
    FramePtr filtered_{av_frame_alloc()};
    FramePtr previous_;  // last frame queued, for repeats
    BlockingQueue<PacketPtr> packets_{64};
    BlockingQueue<FramePtr> frames_{6};
    std::thread decodeThread_;
    std::thread encodeThread_;
    std::atomic<bool> reachedEnd_{false};
    int64_t framesQueued_ = 0;  // frames handed to the encoder (decoding thread)

    // Decoding thread's bookkeeping.
    int64_t origin_ = AV_NOPTS_VALUE;  // pts the frame-filter index counts from
    int64_t lastPts_ = AV_NOPTS_VALUE;
    PacketDecoder decoding_{{"video", "video frame", "video"}};
};
