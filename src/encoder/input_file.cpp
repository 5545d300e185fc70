#include "encoder/input_file.h"

#include <climits>
#include <cmath>

#include "encoder/av_error.h"

namespace {

bool isRealVideo(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           !(st->disposition & AV_DISPOSITION_ATTACHED_PIC) && st->codecpar->width > 0 &&
           st->codecpar->height > 0;
}

}  // namespace

Status InputFile::open(const std::string& path, const std::string& format) {
    const AVInputFormat* ifmt = nullptr;
    if (!format.empty()) {
        ifmt = av_find_input_format(format.c_str());
        if (!ifmt) {
            return Failure{"Unknown input format '" + format + "'"};
        }
    }
    AVFormatContext* opened = nullptr;
    int ret = avformat_open_input(&opened, path.c_str(), ifmt, nullptr);
    if (ret < 0) {
        return Failure{"Cannot open '" + path + "': " + avErrorText(ret)};  // nothing to free
    }
    ctx_.reset(opened);
    AVFormatContext* const ctx = opened;
    ret = avformat_find_stream_info(ctx, nullptr);
    if (ret < 0) {
        return Failure{"Cannot read the streams of '" + path + "': " + avErrorText(ret)};
    }
    // The first real video stream the demuxer calls best; cover art is skipped.
    int best = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best >= 0 && isRealVideo(ctx->streams[best])) {
        video_ = ctx->streams[best];
    } else {
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            if (isRealVideo(ctx->streams[i])) {
                video_ = ctx->streams[i];
                break;
            }
        }
    }
    best =
        av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, video_ ? video_->index : -1, nullptr, 0);
    if (best >= 0 && ctx->streams[best]->codecpar->sample_rate > 0) {
        audio_ = ctx->streams[best];
    }
    return {};
}

int64_t InputFile::startTimeUs() const {
    if (ctx_ && ctx_->start_time != AV_NOPTS_VALUE) {
        return ctx_->start_time;
    }
    return 0;
}

AVRational videoStreamFrameRate(const AVStream* stream) {
    AVRational avg = stream->avg_frame_rate;
    AVRational real = stream->r_frame_rate;
    const bool avgOk = avg.num > 0 && avg.den > 0;
    const bool realOk = real.num > 0 && real.den > 0;
    AVRational r{0, 0};
    if (avgOk && realOk && std::fabs(av_q2d(avg) / av_q2d(real) - 1.0) <= 0.001) {
        r = real;
    } else if (avgOk) {
        r = avg;
    } else if (realOk) {
        r = real;
    } else {
        return r;
    }
    av_reduce(&r.num, &r.den, r.num, r.den, INT_MAX);
    return r;
}
