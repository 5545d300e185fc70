#include "encoder/output_muxer.h"

#include <cstdio>

#include "encoder/av_error.h"

OutputMuxer::~OutputMuxer() {
    closeFile();
    avformat_free_context(ctx_);
}

bool OutputMuxer::create(const std::string& path, const std::string& format, std::string& error) {
    path_ = path;
    int ret = avformat_alloc_output_context2(
        &ctx_, nullptr, format.empty() ? nullptr : format.c_str(), path.c_str());
    if (ret < 0 || !ctx_) {
        if (!format.empty()) {
            error = "Unknown output format '" + format + "'";
        } else {
            error = "Cannot choose a container for '" + path +
                    "' from its extension (name one with -f)";
        }
        return false;
    }
    return true;
}

bool OutputMuxer::needsGlobalHeader() const {
    return ctx_ && (ctx_->oformat->flags & AVFMT_GLOBALHEADER);
}

int OutputMuxer::addStream(const AVCodecContext* encoder, AVRational frameRate,
                           std::string& error) {
    AVStream* st = avformat_new_stream(ctx_, nullptr);
    if (!st) {
        error = "Out of memory adding an output stream";
        return -1;
    }
    int ret = avcodec_parameters_from_context(st->codecpar, encoder);
    if (ret < 0) {
        error = "Cannot set up the output stream: " + avErrorText(ret);
        return -1;
    }
    st->time_base = encoder->time_base;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        st->avg_frame_rate = frameRate;
        st->r_frame_rate = frameRate;
        st->sample_aspect_ratio = encoder->sample_aspect_ratio;
    }
    return st->index;
}

bool OutputMuxer::open(std::string& error) {
    if (!(ctx_->oformat->flags & AVFMT_NOFILE)) {
        int ret = avio_open(&ctx_->pb, path_.c_str(), AVIO_FLAG_WRITE);
        if (ret < 0) {
            error = "Cannot create '" + path_ + "': " + avErrorText(ret);
            return false;
        }
        fileOpen_ = true;
    }
    int ret = avformat_write_header(ctx_, nullptr);
    if (ret < 0) {
        error = "Cannot write the header of '" + path_ + "': " + avErrorText(ret);
        return false;
    }
    headerWritten_ = true;
    if (ctx_->pb) {
        bytes_ = avio_tell(ctx_->pb);
    }
    return true;
}

bool OutputMuxer::write(AVPacket* packet, AVRational timeBase, std::string& error) {
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
    int ret = av_interleaved_write_frame(ctx_, packet);
    if (ctx_->pb) {
        bytes_.store(avio_tell(ctx_->pb), std::memory_order_relaxed);
    }
    if (ret < 0) {
        error = "Error writing '" + path_ + "': " + avErrorText(ret);
        return false;
    }
    return true;
}

bool OutputMuxer::finish(std::string& error) {
    std::lock_guard lock(mutex_);
    int ret = av_write_trailer(ctx_);
    if (ret < 0) {
        error = "Error finishing '" + path_ + "': " + avErrorText(ret);
        return false;
    }
    if (ctx_->pb) {
        avio_flush(ctx_->pb);
        // The trailer may rewrite the header, leaving the position near the start.
        int64_t size = avio_size(ctx_->pb);
        if (size > bytes_.load(std::memory_order_relaxed)) {
            bytes_.store(size, std::memory_order_relaxed);
        }
        if (ctx_->pb->error < 0) {
            error = "Error writing '" + path_ + "': " + avErrorText(ctx_->pb->error);
            return false;
        }
    }
    if (fileOpen_) {
        fileOpen_ = false;
        ret = avio_closep(&ctx_->pb);
        if (ret < 0) {
            error = "Error closing '" + path_ + "': " + avErrorText(ret);
            return false;
        }
    }
    return true;
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
