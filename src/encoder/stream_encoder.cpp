#include "encoder/stream_encoder.h"

#include "encoder/av_error.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

Status StreamEncoder::open(CodecContextPtr context, AVRational frameRate,
                           const AvOptionList& options) {
    ctx_ = std::move(context);
    const char* name = ctx_->codec ? ctx_->codec->name : "?";
    AvDictionary dictionary;
    for (const auto& [key, value] : options) {
        av_dict_set(dictionary.address(), key.c_str(), value.c_str(), 0);
    }
    int ret = avcodec_open2(ctx_.get(), ctx_->codec, dictionary.address());
    if (ret < 0) {
        return Failure{std::string("Cannot open the encoder '") + name + "': " + avErrorText(ret)};
    }
    // libavcodec leaves behind what the encoder did not take: an option it has no use for
    // would otherwise be dropped without a word.
    if (const std::string unused = dictionary.firstKey(); !unused.empty()) {
        return Failure{"Option '-" + unused + "' is not understood by the encoder '" + name + "'"};
    }
    if (!packet_) {
        return Failure{"Out of memory opening the encoder '" + std::string(name) + "'"};
    }
    const Result<int> stream = muxer_.addStream(ctx_.get(), frameRate);
    if (!stream) {
        return stream.failure();
    }
    streamIndex_ = *stream;
    if (ctx_->codec_type == AVMEDIA_TYPE_VIDEO) {
        learnPictureLinesizes();
    }
    return {};
}

namespace {

// The encoders built on libavcodec's shared MPEG video encoder.
bool usesInputWithOwnStrides(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_MPEG1VIDEO:
        case AV_CODEC_ID_MPEG2VIDEO:
        case AV_CODEC_ID_MPEG4:
        case AV_CODEC_ID_H261:
        case AV_CODEC_ID_H263:
        case AV_CODEC_ID_H263P:
        case AV_CODEC_ID_FLV1:
        case AV_CODEC_ID_MSMPEG4V2:
        case AV_CODEC_ID_MSMPEG4V3:
        case AV_CODEC_ID_WMV1:
        case AV_CODEC_ID_WMV2:
        case AV_CODEC_ID_RV10:
        case AV_CODEC_ID_RV20:
        case AV_CODEC_ID_MJPEG:
        case AV_CODEC_ID_AMV:
        case AV_CODEC_ID_SPEEDHQ:
            return true;
        default:
            return false;
    }
}

}  // namespace

void StreamEncoder::learnPictureLinesizes() {
    // libavcodec's MPEG-4 family encoders keep their pictures in buffers from the context's
    // default allocator, 16 pixels of edge on every side, and use an input frame directly when
    // its strides equal those (else they copy it). Asking the same allocator for a buffer of
    // that size tells the strides. Any other encoder ignores strides.
    if (!usesInputWithOwnStrides(ctx_->codec_id)) {
        return;
    }
    constexpr int kEdge = 16;
    FramePtr probe(av_frame_alloc());
    if (!probe) {
        return;
    }
    probe->width = ctx_->width + 2 * kEdge;
    probe->height = ctx_->height + 2 * kEdge;
    probe->format = ctx_->pix_fmt;
    if (avcodec_default_get_buffer2(ctx_.get(), probe.get(), 0) == 0) {
        for (int i = 0; i < 4; ++i) {
            pictureLinesizes_[i] = probe->linesize[i];
        }
    }
}

Status StreamEncoder::encode(const AVFrame* frame) {
    int ret = avcodec_send_frame(ctx_.get(), frame);
    if (ret < 0 && !(frame == nullptr && ret == AVERROR_EOF)) {
        return Failure{std::string("Error encoding with '") + ctx_->codec->name +
                       "': " + avErrorText(ret)};
    }
    if (frame) {
        frames_.fetch_add(1, std::memory_order_relaxed);
    }
    return drain();
}

Status StreamEncoder::drain() {
    for (;;) {
        int ret = avcodec_receive_packet(ctx_.get(), packet_.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return {};
        }
        if (ret < 0) {
            return Failure{std::string("Error encoding with '") + ctx_->codec->name +
                           "': " + avErrorText(ret)};
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
        const Status written = muxer_.write(packet_.get(), ctx_->time_base);
        av_packet_unref(packet_.get());
        if (!written) {
            return written;
        }
    }
}
