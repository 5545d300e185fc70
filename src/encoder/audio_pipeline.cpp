#include "encoder/audio_pipeline.h"

#include <algorithm>

#include "encoder/av_error.h"
#include "encoder/console.h"
#include "encoder/encoder_choice.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

AudioPipeline::~AudioPipeline() {
    abort();
    join();
    av_channel_layout_uninit(&inLayout_);
}

Status AudioPipeline::setup(const AudioPipelineSetup& setup, bool globalHeader) {
    setup_ = setup;
    const EncoderOptions& o = *setup.options;
    AVStream* st = setup.stream;

    Result<CodecContextPtr> decoder = openStreamDecoder(st, o.threads, "audio");
    if (!decoder) {
        return decoder.failure();
    }
    decoder_ = std::move(*decoder);

    const Result<const AVCodec*> found =
        findEncoder(o.audioCodec, AVMEDIA_TYPE_AUDIO, setup.defaultCodec);
    if (!found) {
        return found.failure();
    }
    const AVCodec* codec = *found;
    CodecContextPtr enc(avcodec_alloc_context3(codec));
    if (!enc) {
        return Failure{"Out of memory opening the audio encoder"};
    }
    enc->sample_rate = encoderSampleRate(codec, o.sampleRate, decoder_->sample_rate);
    enc->sample_fmt = encoderSampleFormat(codec, decoder_->sample_fmt);
    if (!encoderChannelLayout(codec, o.channels, decoder_->ch_layout, enc->ch_layout)) {
        return Failure{"Cannot choose a channel layout for the audio encoder"};
    }
    enc->time_base = AVRational{1, enc->sample_rate};
    enc->thread_count = o.threads;
    if (o.audioBitrate > 0) {
        enc->bit_rate = o.audioBitrate;
    }
    if (globalHeader) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (Status opened = encoder_.open(std::move(enc), AVRational{0, 1}); !opened) {
        return opened;
    }
    const AVCodecContext* c = encoder_.context();
    const bool variable = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    frameSize_ = (c->frame_size > 0 && !variable) ? c->frame_size : 1024;
    fifo_.reset(av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, frameSize_ * 4));
    if (!fifo_) {
        return Failure{"Out of memory opening the audio encoder"};
    }
    if (o.durationUs >= 0) {
        limit_ = av_rescale(o.durationUs, c->sample_rate, AV_TIME_BASE);
    }
    return {};
}

std::string AudioPipeline::description() const {
    const AVCodecContext* c = encoder_.context();
    if (!c) {
        return {};
    }
    char layout[64] = "?";
    av_channel_layout_describe(&c->ch_layout, layout, sizeof layout);
    std::string d =
        std::string(c->codec->name) + " " + std::to_string(c->sample_rate) + " Hz " + layout;
    if (const char* f = av_get_sample_fmt_name(c->sample_fmt)) {
        d += ' ';
        d += f;
    }
    if (c->bit_rate > 0) {
        d.append(" ").append(std::to_string(c->bit_rate / 1000)).append(" kb/s");
    }
    return d;
}

void AudioPipeline::start() {
    thread_ = std::thread([this] { run(); });
}

void AudioPipeline::abort() {
    packets_.abort();
}

void AudioPipeline::join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::string AudioPipeline::lossReport() const {
    return decoding_.lossReport();
}

void AudioPipeline::run() {
    PacketPtr packet;
    while (packets_.pop(packet)) {
        if (!reachedEnd() && !decodePacket(packet.get())) {
            return;
        }
        packet.reset();
    }
    if (state_.failed() || !decodePacket(nullptr) || !flushResampler()) {
        return;
    }
    int left = av_audio_fifo_size(fifo_.get());
    while (left > 0) {
        int n = std::min(left, frameSize_);
        if (!encodeFromFifo(n)) {
            return;
        }
        left -= n;
    }
    if (Status drained = encoder_.encode(nullptr); !drained) {
        state_.fail(drained.error());
    }
}

bool AudioPipeline::decodePacket(const AVPacket* packet) {
    return decoding_.decode(decoder_.get(), packet, decoded_.get(), state_, [this](AVFrame* frame) {
        const bool ok = handleDecoded(frame);
        av_frame_unref(frame);
        return ok;
    });
}

bool AudioPipeline::configureResampler(const AVFrame* frame) {
    AVChannelLayout layout = {};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels == 0) {
        av_channel_layout_default(&layout, std::max(1, frame->ch_layout.nb_channels));
    } else {
        av_channel_layout_copy(&layout, &frame->ch_layout);
    }
    const bool same = resamplerReady_ && frame->format == inFormat_ &&
                      frame->sample_rate == inRate_ &&
                      av_channel_layout_compare(&layout, &inLayout_) == 0;
    if (same) {
        av_channel_layout_uninit(&layout);
        return true;
    }
    // The decoder's output changed (or this is the first frame): keep what the old resampler
    // still holds, then start a new one.
    if (swr_ && !flushResampler()) {
        av_channel_layout_uninit(&layout);
        return false;
    }
    inFormat_ = static_cast<AVSampleFormat>(frame->format);
    inRate_ = frame->sample_rate;
    av_channel_layout_uninit(&inLayout_);
    inLayout_ = layout;

    const AVCodecContext* c = encoder_.context();
    passthrough_ = inFormat_ == c->sample_fmt && inRate_ == c->sample_rate &&
                   av_channel_layout_compare(&inLayout_, &c->ch_layout) == 0;
    swr_.reset();
    resamplerReady_ = true;
    if (passthrough_) {
        return true;
    }
    SwrContext* swr = nullptr;
    // libswresample 4.7 takes the layouts without const; it does not change them.
    int ret = swr_alloc_set_opts2(&swr, &encoder_.context()->ch_layout, c->sample_fmt,
                                  c->sample_rate, &inLayout_, inFormat_, inRate_, 0, nullptr);
    swr_.reset(swr);
    if (ret >= 0) {
        ret = swr_init(swr);
    }
    if (ret < 0) {
        state_.fail("Cannot convert the audio for the encoder: " + avErrorText(ret));
        return false;
    }
    return true;
}

bool AudioPipeline::handleDecoded(AVFrame* frame) {
    if (!configureResampler(frame)) {
        return false;
    }
    const AVCodecContext* c = encoder_.context();
    if (!positioned_ && frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        const AVStream* st = setup_.stream;
        int64_t us = av_rescale_q(frame->best_effort_timestamp, st->time_base, AV_TIME_BASE_Q);
        position_ = av_rescale(us - setup_.offsetUs, c->sample_rate, AV_TIME_BASE);
        positioned_ = true;
    }
    if (passthrough_) {
        return append(frame->extended_data, frame->nb_samples);
    }
    int needed = swr_get_out_samples(swr_.get(), frame->nb_samples);
    if (needed > bufferSamples_) {
        buffer_.reset();
        bufferSamples_ = 0;
        uint8_t** planes = nullptr;
        if (av_samples_alloc_array_and_samples(&planes, nullptr, c->ch_layout.nb_channels, needed,
                                               c->sample_fmt, 0) < 0) {
            state_.fail("Out of memory converting audio");
            return false;
        }
        buffer_.reset(planes);
        bufferSamples_ = needed;
    }
    int n = swr_convert(swr_.get(), buffer_.get(), bufferSamples_,
                        const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (n < 0) {
        state_.fail("Error converting audio: " + avErrorText(n));
        return false;
    }
    return append(buffer_.get(), n);
}

bool AudioPipeline::flushResampler() {
    if (!swr_ || !buffer_) {
        return true;
    }
    for (;;) {
        int n = swr_convert(swr_.get(), buffer_.get(), bufferSamples_, nullptr, 0);
        if (n < 0) {
            state_.fail("Error converting audio: " + avErrorText(n));
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (!append(buffer_.get(), n)) {
            return false;
        }
    }
}

bool AudioPipeline::append(uint8_t* const* data, int count) {
    const int64_t start = position_;
    position_ += count;
    int64_t skip = std::clamp<int64_t>(-start, 0, count);  // before -ss
    int64_t keepEnd = count;
    if (limit_ >= 0) {
        keepEnd = std::clamp<int64_t>(limit_ - start, 0, count);
        if (position_ >= limit_) {
            reachedEnd_.store(true, std::memory_order_relaxed);
        }
    }
    if (keepEnd <= skip) {
        return true;
    }
    if (!fifoPtsSet_) {
        fifoPts_ = start + skip;
        fifoPtsSet_ = true;
    }
    const AVCodecContext* c = encoder_.context();
    const int channels = c->ch_layout.nb_channels;
    const int bytes = av_get_bytes_per_sample(c->sample_fmt);
    const bool planar = av_sample_fmt_is_planar(c->sample_fmt);
    void* planes[AV_NUM_DATA_POINTERS * 8] = {};
    const int planeCount = planar ? channels : 1;
    if (planeCount > static_cast<int>(std::size(planes))) {
        state_.fail("Too many audio channels");
        return false;
    }
    const int64_t offset = skip * bytes * (planar ? 1 : channels);
    for (int i = 0; i < planeCount; ++i) {
        planes[i] = data[i] + offset;
    }
    const int n = static_cast<int>(keepEnd - skip);
    if (av_audio_fifo_write(fifo_.get(), planes, n) < n) {
        state_.fail("Out of memory buffering audio");
        return false;
    }
    while (av_audio_fifo_size(fifo_.get()) >= frameSize_) {
        if (!encodeFromFifo(frameSize_)) {
            return false;
        }
    }
    return true;
}

bool AudioPipeline::encodeFromFifo(int count) {
    const AVCodecContext* c = encoder_.context();
    FramePtr frame(av_frame_alloc());
    if (!frame) {
        state_.fail("Out of memory encoding audio");
        return false;
    }
    frame->nb_samples = count;
    frame->format = c->sample_fmt;
    frame->sample_rate = c->sample_rate;
    av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        state_.fail("Out of memory encoding audio");
        return false;
    }
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), count) <
        count) {
        state_.fail("Error reading buffered audio");
        return false;
    }
    frame->pts = fifoPts_;
    fifoPts_ += count;
    if (Status encoded = encoder_.encode(frame.get()); !encoded) {
        state_.fail(encoded.error());
        return false;
    }
    return true;
}
