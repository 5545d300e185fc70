#include "encoder/packet_decoder.h"

#include <algorithm>

#include "encoder/av_error.h"
#include "encoder/console.h"

namespace {

// Damaged packets in a row from which a part of the stream counts as lost.
constexpr int64_t kLostStreak = 25;

}  // namespace

Result<CodecContextPtr> openStreamDecoder(const AVStream* stream, int threads,
                                          const char* streamWord) {
    const AVCodecParameters* par = stream->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) {
        return Failure{std::string("No decoder for the ") + streamWord + " codec '" +
                       avcodec_get_name(par->codec_id) + "'"};
    }
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), par) < 0) {
        return Failure{std::string("Out of memory opening the ") + streamWord + " decoder"};
    }
    decoder->pkt_timebase = stream->time_base;
    decoder->thread_count = threads;
    const int ret = avcodec_open2(decoder.get(), codec, nullptr);
    if (ret < 0) {
        return Failure{std::string("Cannot open the ") + streamWord + " decoder '" + codec->name +
                       "': " + avErrorText(ret)};
    }
    return decoder;
}

bool PacketDecoder::decode(AVCodecContext* decoder, const AVPacket* packet, AVFrame* frame,
                           RunState& state, const std::function<bool(AVFrame*)>& onFrame) {
    int ret = avcodec_send_packet(decoder, packet);
    if (ret < 0 && ret != AVERROR_EOF) {
        if (ret == AVERROR(ENOMEM)) {
            state.fail(std::string("Out of memory decoding ") + names_.stream);
            return false;
        }
        recordError(ret);  // a damaged packet: report it and go on
        return true;
    }
    for (;;) {
        ret = avcodec_receive_frame(decoder, frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return true;
        }
        if (ret < 0) {
            recordError(ret);
            return true;
        }
        ++framesDecoded_;
        errorStreak_ = 0;
        if (!onFrame(frame)) {
            return false;
        }
    }
}

void PacketDecoder::recordError(int averror) {
    console::message(
        std::string("Error while decoding ") + names_.stream + ": " + avErrorText(averror),
        AV_LOG_WARNING);
    ++errors_;
    longestStreak_ = std::max(longestStreak_, ++errorStreak_);
}

std::string PacketDecoder::lossReport() const {
    if (errors_ == 0) {
        return {};
    }
    if (framesDecoded_ == 0) {
        return std::string("no ") + names_.frames + " could be decoded (" +
               std::to_string(errors_) + " errors)";
    }
    if (longestStreak_ >= kLostStreak) {
        return std::string(names_.stream) + " decoding failed on " +
               std::to_string(longestStreak_) + " packets in a row; part of the " +
               names_.lostPart + " is missing";
    }
    return {};
}
