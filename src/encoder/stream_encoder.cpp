#include "encoder/stream_encoder.h"

#include "encoder/av_error.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

bool StreamEncoder::open(CodecContextPtr context, AVRational frameRate, std::string& error) {
    ctx_ = std::move(context);
    const char* name = ctx_->codec ? ctx_->codec->name : "?";
    int ret = avcodec_open2(ctx_.get(), ctx_->codec, nullptr);
    if (ret < 0) {
        error = std::string("Cannot open the encoder '") + name + "': " + avErrorText(ret);
        return false;
    }
    streamIndex_ = muxer_.addStream(ctx_.get(), frameRate, error);
    return streamIndex_ >= 0 && packet_;
}

bool StreamEncoder::encode(const AVFrame* frame, std::string& error) {
    int ret = avcodec_send_frame(ctx_.get(), frame);
    if (ret < 0 && !(frame == nullptr && ret == AVERROR_EOF)) {
        error = std::string("Error encoding with '") + ctx_->codec->name + "': " + avErrorText(ret);
        return false;
    }
    if (frame) {
        frames_.fetch_add(1, std::memory_order_relaxed);
    }
    return drain(error);
}

bool StreamEncoder::drain(std::string& error) {
    for (;;) {
        int ret = avcodec_receive_packet(ctx_.get(), packet_.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return true;
        }
        if (ret < 0) {
            error =
                std::string("Error encoding with '") + ctx_->codec->name + "': " + avErrorText(ret);
            return false;
        }
        size_t size = 0;
        const uint8_t* stats =
            av_packet_get_side_data(packet_.get(), AV_PKT_DATA_QUALITY_STATS, &size);
        if (stats && size >= 4) {
            quantiser_.store(static_cast<float>(AV_RL32(stats)) / FF_QP2LAMBDA,
                             std::memory_order_relaxed);
        }
        if (ctx_->codec_type == AVMEDIA_TYPE_VIDEO && packet_->duration <= 0) {
            packet_->duration = 1;  // one frame period: the time base is 1 / frame rate
        }
        packet_->stream_index = streamIndex_;
        if (!muxer_.write(packet_.get(), ctx_->time_base, error)) {
            av_packet_unref(packet_.get());
            return false;
        }
        av_packet_unref(packet_.get());
    }
}
