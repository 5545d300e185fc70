#pragma once
// The audio branch of an encode, on one thread: packets -> decoder -> resampler (to the
// encoder's sample format, rate and channel layout) -> trim to -ss/-t -> sample FIFO (the
// encoder's frame size) -> encoder -> muxer.

#include <atomic>
#include <string>
#include <thread>

#include "encoder/av_handles.h"
#include "encoder/blocking_queue.h"
#include "encoder/encoder_options.h"
#include "encoder/packet_decoder.h"
#include "encoder/run_state.h"
#include "encoder/stream_encoder.h"

struct AudioPipelineSetup {
    AVStream* stream = nullptr;
    const EncoderOptions* options = nullptr;
    AVCodecID defaultCodec = AV_CODEC_ID_NONE;  // the container's, used without -vcodec/-acodec
    int64_t offsetUs = 0;  // input time that becomes output time 0 (file start + -ss)
};

class AudioPipeline {
public:
    AudioPipeline(OutputMuxer& muxer, RunState& state) : encoder_(muxer), state_(state) {}
    AudioPipeline(const AudioPipeline&) = delete;
    AudioPipeline& operator=(const AudioPipeline&) = delete;
    ~AudioPipeline();

    // Opens the decoder and the encoder (adding the output stream).
    Status setup(const AudioPipelineSetup& setup, bool globalHeader);
    void start();
    void abort();
    void join();

    BlockingQueue<PacketPtr>& packets() { return packets_; }
    bool reachedEnd() const { return reachedEnd_.load(std::memory_order_relaxed); }
    const StreamEncoder& encoder() const { return encoder_; }
    std::string lossReport() const;
    std::string description() const;  // "mp3 44100 Hz stereo fltp 128 kb/s"

private:
    void run();
    bool decodePacket(const AVPacket* packet);
    bool handleDecoded(AVFrame* frame);
    bool configureResampler(const AVFrame* frame);
    bool flushResampler();
    bool append(uint8_t* const* data, int count);
    bool encodeFromFifo(int count);

    AudioPipelineSetup setup_;
    CodecContextPtr decoder_;
    StreamEncoder encoder_;
    RunState& state_;
    SwrContextPtr swr_;
    bool resamplerReady_ = false;  // configured for the decoder's current output
    bool passthrough_ = false;     // decoder output already suits the encoder
    AVSampleFormat inFormat_ = AV_SAMPLE_FMT_NONE;
    int inRate_ = 0;
    AVChannelLayout inLayout_ = {};
    AudioFifoPtr fifo_;
    int frameSize_ = 1024;
    SampleBufferPtr buffer_;  // resampler output, `bufferSamples_` long
    int bufferSamples_ = 0;
    FramePtr decoded_{av_frame_alloc()};
    BlockingQueue<PacketPtr> packets_{64};
    std::thread thread_;
    std::atomic<bool> reachedEnd_{false};

    bool positioned_ = false;
    int64_t position_ = 0;  // output sample index of the next resampled sample
    int64_t limit_ = -1;    // samples to write at most (-t), -1 = no limit
    bool fifoPtsSet_ = false;
    int64_t fifoPts_ = 0;  // output pts of the first sample in the FIFO
    PacketDecoder decoding_{{"audio", "audio", "sound"}};
};
