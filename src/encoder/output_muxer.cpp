#include "encoder/output_muxer.h"

#include <cstdio>

#include "encoder/av_error.h"

OutputMuxer::~OutputMuxer() {
    closeFile();  // before the context goes
}

Status OutputMuxer::create(const std::string& path, const std::string& format) {
    path_ = path;
    AVFormatContext* created = nullptr;
    int ret = avformat_alloc_output_context2(
        &created, nullptr, format.empty() ? nullptr : format.c_str(), path.c_str());
    ctx_.reset(created);
    if (ret < 0 || !ctx_) {
        if (!format.empty()) {
            return Failure{"Unknown output format '" + format + "'"};
        }
        return Failure{"Cannot choose a container for '" + path +
                       "' from its extension (name one with -f)"};
    }
    return {};
}

bool OutputMuxer::needsGlobalHeader() const {
    return ctx_ && (ctx_->oformat->flags & AVFMT_GLOBALHEADER);
}

Result<int> OutputMuxer::addStream(const AVCodecContext* encoder, AVRational frameRate) {
    AVStream* st = avformat_new_stream(ctx_.get(), nullptr);
    if (!st) {
        return Failure{"Out of memory adding an output stream"};
    }
    int ret = avcodec_parameters_from_context(st->codecpar, encoder);
    if (ret < 0) {
        return Failure{"Cannot set up the output stream: " + avErrorText(ret)};
    }
    st->time_base = encoder->time_base;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        st->avg_frame_rate = frameRate;
        st->r_frame_rate = frameRate;
        st->sample_aspect_ratio = encoder->sample_aspect_ratio;
        applyVideoTag(st);
    }
    return st->index;
}

Result<int> OutputMuxer::addCopiedStream(const AVStream* input) {
    AVStream* st = avformat_new_stream(ctx_.get(), nullptr);
    if (!st) {
        return Failure{"Out of memory adding an output stream"};
    }
    int ret = avcodec_parameters_copy(st->codecpar, input->codecpar);
    if (ret < 0) {
        return Failure{"Cannot set up the copied stream: " + avErrorText(ret)};
    }
    // The input container's tag means nothing in another container; the muxer picks its own.
    st->codecpar->codec_tag = 0;
    st->time_base = input->time_base;
    st->disposition = input->disposition;
    if (input->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        st->avg_frame_rate = input->avg_frame_rate;
        st->r_frame_rate = input->r_frame_rate;
        st->sample_aspect_ratio = input->sample_aspect_ratio;
        applyVideoTag(st);
    }
    av_dict_copy(&st->metadata, input->metadata, 0);
    return st->index;
}

void OutputMuxer::applyVideoTag(AVStream* stream) const {
    if (videoTag_.empty()) {
        return;
    }
    char code[4] = {' ', ' ', ' ', ' '};
    videoTag_.copy(code, 4);
    stream->codecpar->codec_tag = MKTAG(code[0], code[1], code[2], code[3]);
}

Status OutputMuxer::open() {
    if (!(ctx_->oformat->flags & AVFMT_NOFILE)) {
        int ret = avio_open(&ctx_->pb, path_.c_str(), AVIO_FLAG_WRITE);
        if (ret < 0) {
            return Failure{"Cannot create '" + path_ + "': " + avErrorText(ret)};
        }
        fileOpen_ = true;
    }
    AvDictionary dictionary;
    for (const auto& [key, value] : options_) {
        av_dict_set(dictionary.address(), key.c_str(), value.c_str(), 0);
    }
    int ret = avformat_write_header(ctx_.get(), dictionary.address());
    if (ret < 0) {
        return Failure{"Cannot write the header of '" + path_ + "': " + avErrorText(ret)};
    }
    headerWritten_ = true;
    if (const std::string unused = dictionary.firstKey(); !unused.empty()) {
        return Failure{"Option '-" + unused + "' is not understood by the container '" +
                       ctx_->oformat->name + "'"};
    }
    if (ctx_->pb) {
        bytes_ = avio_tell(ctx_->pb);
    }
    return {};
}

Status OutputMuxer::write(AVPacket* packet, AVRational timeBase) {
    std::lock_guard lock(mutex_);
    AVStream* st = ctx_->streams[packet->stream_index];
    av_packet_rescale_ts(packet, timeBase, st->time_base);
    int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (ts != AV_NOPTS_VALUE) {
        int64_t end = av_rescale_q(ts + packet->duration, st->time_base, AV_TIME_BASE_Q);
        if (end > timeUs_.load(std::memory_order_relaxed)) {
            timeUs_.store(end, std::memory_order_relaxed);
        }
    }
    int ret = av_interleaved_write_frame(ctx_.get(), packet);
    if (ctx_->pb) {
        bytes_.store(avio_tell(ctx_->pb), std::memory_order_relaxed);
    }
    if (ret < 0) {
        return Failure{"Error writing '" + path_ + "': " + avErrorText(ret)};
    }
    return {};
}

Status OutputMuxer::finish() {
    std::lock_guard lock(mutex_);
    int ret = av_write_trailer(ctx_.get());
    if (ret < 0) {
        return Failure{"Error finishing '" + path_ + "': " + avErrorText(ret)};
    }
    if (ctx_->pb) {
        avio_flush(ctx_->pb);
        // The trailer may rewrite the header, leaving the position near the start.
        int64_t size = avio_size(ctx_->pb);
        if (size > bytes_.load(std::memory_order_relaxed)) {
            bytes_.store(size, std::memory_order_relaxed);
        }
        if (ctx_->pb->error < 0) {
            return Failure{"Error writing '" + path_ + "': " + avErrorText(ctx_->pb->error)};
        }
    }
    if (fileOpen_) {
        fileOpen_ = false;
        ret = avio_closep(&ctx_->pb);
        if (ret < 0) {
            return Failure{"Error closing '" + path_ + "': " + avErrorText(ret)};
        }
    }
    return {};
}

void OutputMuxer::closeFile() {
    if (fileOpen_ && ctx_) {
        avio_closep(&ctx_->pb);
        fileOpen_ = false;
    }
}

void OutputMuxer::discard() {
    bool created = ctx_ && (fileOpen_ || headerWritten_);
    closeFile();
    if (created) {
        std::remove(path_.c_str());
    }
}
