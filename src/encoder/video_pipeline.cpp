#include "encoder/video_pipeline.h"

#include <algorithm>
#include <cmath>

#include "encoder/av_error.h"
#include "encoder/console.h"
#include "encoder/encoder_choice.h"

extern "C" {
#include <libavutil/common.h>
#include <libavutil/pixdesc.h>
}

namespace {

bool isFullRange(const AVFrame* f) {
    return f->color_range == AVCOL_RANGE_JPEG || f->format == AV_PIX_FMT_YUVJ420P;
}

bool isPlanar420(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

// BT.709 for HD pictures, BT.601 for SD, unless the stream says which.
int colourMatrix(const AVFrame* f) {
    switch (f->colorspace) {
        case AVCOL_SPC_BT709:
            return 709;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
        case AVCOL_SPC_FCC:
            return 601;
        default:
            return (f->width >= 1280 || f->height >= 720) ? 709 : 601;
    }
}

AVPixelFormat sourceFormat(const AVCodecParameters* par) {
    AVPixelFormat f = static_cast<AVPixelFormat>(par->format);
    return f == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : f;
}

}  // namespace

VideoPipeline::~VideoPipeline() {
    abort();
    join();
}

Status VideoPipeline::setup(const VideoPipelineSetup& setup, bool globalHeader) {
    setup_ = setup;
    const EncoderOptions& o = *setup.options;
    AVStream* st = setup.stream;
    const AVCodecParameters* par = st->codecpar;

    Result<CodecContextPtr> decoder = openStreamDecoder(st, o.threads, "video");
    if (!decoder) {
        return decoder.failure();
    }
    decoder_ = std::move(*decoder);

    // What enters the graph; decoded frames that differ are converted to it first, so that
    // the frame filter always sees planar 4:2:0 of the size it was configured with.
    graphInput_.width = par->width;
    graphInput_.height = par->height;
    graphInput_.format = sourceFormat(par);
    if (setup.vhook && !isPlanar420(graphInput_.format)) {
        graphInput_.format = AV_PIX_FMT_YUV420P;
    }
    graphInput_.timeBase = st->time_base;
    graphInput_.sampleAspect =
        par->sample_aspect_ratio.num > 0 ? par->sample_aspect_ratio : st->sample_aspect_ratio;
    AVRational inputRate = av_guess_frame_rate(nullptr, st, nullptr);
    graphInput_.frameRate = inputRate;

    const Result<const AVCodec*> found =
        findEncoder(o.videoCodec, AVMEDIA_TYPE_VIDEO, setup.defaultCodec);
    if (!found) {
        return found.failure();
    }
    const AVCodec* codec = *found;
    AVPixelFormat requested =
        o.pixelFormat.empty() ? AV_PIX_FMT_NONE : av_get_pix_fmt(o.pixelFormat.c_str());
    auto formats = encoderPixelFormats(codec, graphInput_.format, requested);
    if (Status built = graph_.build(graphInput_, o.videoFilter, o.width, o.height, formats);
        !built) {
        return built;
    }

    AVRational graphRate = graph_.frameRate();
    rate_ = encoderFrameRate(codec, o.frameRate, graphRate.num > 0 ? graphRate : inputRate);
    sync_ = FrameRateConverter(setup.sync);

    CodecContextPtr enc(avcodec_alloc_context3(codec));
    if (!enc) {
        return Failure{"Out of memory opening the video encoder"};
    }
    enc->width = graph_.width();
    enc->height = graph_.height();
    enc->pix_fmt = graph_.format();
    enc->sample_aspect_ratio = graph_.sampleAspect();
    enc->time_base = av_inv_q(rate_);
    enc->framerate = rate_;
    enc->thread_count = o.threads;
    enc->color_range = par->color_range;
    enc->color_primaries = par->color_primaries;
    enc->color_trc = par->color_trc;
    enc->colorspace = par->color_space;
    enc->chroma_sample_location = par->chroma_location;
    if (o.videoBitrate) {
        enc->bit_rate = *o.videoBitrate;
    }
    if (o.videoQuality) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = static_cast<int>(std::lround(FF_QP2LAMBDA * *o.videoQuality));
    }
    if (globalHeader) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (Status opened = encoder_.open(std::move(enc), rate_, o.videoEncoderOptions); !opened) {
        return opened;
    }
    // When the graph hands frames through unchanged to an encoder that can take them with its
    // own strides, the frame filter's copies are made with those, which spares the encoder a
    // copy. Otherwise they are made with the decoded frames' strides (applyVhook), which lets
    // the filter copy each plane as one block.
    if (graph_.width() == graphInput_.width && graph_.height() == graphInput_.height &&
        graph_.format() == graphInput_.format && encoder_.wantsPictureLinesizes()) {
        pool_.preferLinesizes(encoder_.pictureLinesizes());
    } else {
        copiesFollowSource_ = true;
    }
    return {};
}

std::string VideoPipeline::description() const {
    const AVCodecContext* c = encoder_.context();
    if (!c) {
        return {};
    }
    std::string d = std::string(c->codec->name) + " " + std::to_string(c->width) + "x" +
                    std::to_string(c->height);
    if (const char* f = av_get_pix_fmt_name(c->pix_fmt)) {
        d += ' ';
        d += f;
    }
    d.append(" ").append(std::to_string(rate_.num)).append("/");
    d.append(std::to_string(rate_.den)).append(" fps");
    if (c->flags & AV_CODEC_FLAG_QSCALE) {
        char q[32];
        snprintf(q, sizeof q, " q=%.1f", static_cast<double>(c->global_quality) / FF_QP2LAMBDA);
        d += q;
    } else if (c->bit_rate > 0) {
        d.append(" ").append(std::to_string(c->bit_rate / 1000)).append(" kb/s");
    }
    return d;
}

void VideoPipeline::start() {
    decodeThread_ = std::thread([this] { decodeLoop(); });
    encodeThread_ = std::thread([this] { encodeLoop(); });
}

void VideoPipeline::abort() {
    packets_.abort();
    frames_.abort();
}

void VideoPipeline::join() {
    if (decodeThread_.joinable()) {
        decodeThread_.join();
    }
    if (encodeThread_.joinable()) {
        encodeThread_.join();
    }
}

std::string VideoPipeline::lossReport() const {
    return decoding_.lossReport();
}

void VideoPipeline::decodeLoop() {
    PacketPtr packet;
    // Past the -t limit the packets are still taken (and dropped) until the demuxer notices,
    // so that it never waits on a full queue.
    while (packets_.pop(packet)) {
        if (!reachedEnd() && !decodePacket(packet.get())) {
            return;
        }
        packet.reset();
    }
    if (state_.failed()) {
        return;
    }
    if (!decodePacket(nullptr)) {
        return;
    }
    if (Status pushed = graph_.push(nullptr); !pushed) {
        state_.fail(pushed.error());
        return;
    }
    if (!drainGraph()) {
        return;
    }
    frames_.close();
}

bool VideoPipeline::decodePacket(const AVPacket* packet) {
    return decoding_.decode(decoder_.get(), packet, decoded_.get(), state_,
                            [this](AVFrame* frame) { return handleDecoded(frame); });
}

bool VideoPipeline::handleDecoded(AVFrame* frame) {
    AVStream* st = setup_.stream;
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) {
        // No timestamp at all: one frame period after the previous one.
        AVRational period =
            av_inv_q(graphInput_.frameRate.num > 0 ? graphInput_.frameRate : AVRational{25, 1});
        pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + av_rescale_q(1, period, st->time_base);
    }
    lastPts_ = pts;
    if (origin_ == AV_NOPTS_VALUE) {
        origin_ = (setup_.seeked && st->start_time != AV_NOPTS_VALUE) ? st->start_time : pts;
    }

    const int64_t rel = pts - av_rescale_q(setup_.offsetUs, AV_TIME_BASE_Q, st->time_base);
    if (rel < 0) {
        av_frame_unref(frame);  // before -ss
        return true;
    }
    const int64_t durationUs = setup_.options->durationUs;
    if (durationUs >= 0 && av_rescale_q(rel, st->time_base, AV_TIME_BASE_Q) >= durationUs) {
        av_frame_unref(frame);
        reachedEnd_.store(true, std::memory_order_relaxed);
        return true;
    }

    FramePtr owned(av_frame_alloc());
    if (!owned) {
        state_.fail("Out of memory decoding video");
        return false;
    }
    av_frame_move_ref(owned.get(), frame);
    if (!normalise(owned)) {
        return false;
    }
    if (setup_.vhook && !applyVhook(owned.get(), pts)) {
        return false;
    }
    owned->pts = rel;
    if (Status pushed = graph_.push(owned.get()); !pushed) {
        state_.fail(pushed.error());
        return false;
    }
    return drainGraph();
}

bool VideoPipeline::normalise(FramePtr& frame) {
    if (frame->width == graphInput_.width && frame->height == graphInput_.height &&
        frame->format == graphInput_.format) {
        return true;
    }
    // The cached context is handed over: swscale keeps it, or frees it and makes another.
    sws_.reset(sws_getCachedContext(sws_.release(), frame->width, frame->height,
                                    static_cast<AVPixelFormat>(frame->format), graphInput_.width,
                                    graphInput_.height, graphInput_.format, SWS_BICUBIC, nullptr,
                                    nullptr, nullptr));
    FramePtr out(av_frame_alloc());
    if (!sws_ || !out) {
        state_.fail("Cannot convert the decoded video to the filter's pixel format");
        return false;
    }
    out->width = graphInput_.width;
    out->height = graphInput_.height;
    out->format = graphInput_.format;
    if (av_frame_get_buffer(out.get(), 0) < 0) {
        state_.fail("Out of memory converting video");
        return false;
    }
    sws_scale(sws_.get(), frame->data, frame->linesize, 0, frame->height, out->data, out->linesize);
    av_frame_copy_props(out.get(), frame.get());
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    if (d && (d->flags & AV_PIX_FMT_FLAG_RGB)) {
        // swscale's default conversion from RGB: BT.601, limited range.
        out->colorspace = AVCOL_SPC_SMPTE170M;
        out->color_range = AVCOL_RANGE_MPEG;
    }
    frame = std::move(out);
    return true;
}

bool VideoPipeline::applyVhook(AVFrame* frame, int64_t pts) {
    const VhookFrame source = vhookFrameOf(frame, pts);
    if (av_frame_is_writable(frame)) {
        VhookFrame target = source;
        return vhookDone(setup_.vhook->process(target), source.index);
    }
    // The decoder may still hold this picture as a reference: draw on a private copy. A module
    // that can copies and draws in one pass.
    if (copiesFollowSource_) {
        pool_.preferLinesizes(frame->linesize);
    }
    FramePtr copy =
        pool_.get(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format));
    if (!copy || av_frame_copy_props(copy.get(), frame) < 0) {
        state_.fail("Out of memory preparing a frame for the frame filter");
        return false;
    }
    VhookFrame target = vhookFrameOf(copy.get(), pts);
    bool drawn = false;
    if (setup_.vhook->drawsIntoCopies()) {
        drawn = setup_.vhook->processInto(source, target);
    } else {
        if (av_frame_copy(copy.get(), frame) < 0) {
            state_.fail("Out of memory preparing a frame for the frame filter");
            return false;
        }
        drawn = setup_.vhook->process(target);
    }
    av_frame_unref(frame);
    av_frame_move_ref(frame, copy.get());
    return vhookDone(drawn, source.index);
}

VhookFrame VideoPipeline::vhookFrameOf(const AVFrame* frame, int64_t pts) const {
    const AVRational tb = setup_.stream->time_base;
    const AVRational rate = setup_.indexRate;
    VhookFrame vf = {};
    vf.width = frame->width;
    vf.height = frame->height;
    for (int i = 0; i < 3; ++i) {
        vf.data[i] = frame->data[i];
        vf.linesize[i] = frame->linesize[i];
    }
    // round((pts - origin) * time_base * rate), halves away from zero.
    vf.index = av_rescale_rnd(pts - origin_, int64_t{tb.num} * rate.num, int64_t{tb.den} * rate.den,
                              AV_ROUND_NEAR_INF);
    vf.matrix = colourMatrix(frame);
    vf.fullRange = isFullRange(frame) ? 1 : 0;
    return vf;
}

bool VideoPipeline::vhookDone(bool drawn, int64_t index) {
    if (!drawn) {
        state_.fail("The frame filter failed on frame " + std::to_string(index));
    }
    return drawn;
}

bool VideoPipeline::drainGraph() {
    for (;;) {
        int ret = graph_.pull(filtered_.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return true;
        }
        if (ret < 0) {
            state_.fail("Error filtering video: " + avErrorText(ret));
            return false;
        }
        bool ok = syncAndQueue(filtered_.get());
        av_frame_unref(filtered_.get());
        if (!ok) {
            return false;
        }
    }
}

bool VideoPipeline::syncAndQueue(AVFrame* frame) {
    const AVRational encTb = encoder_.context()->time_base;
    const AVRational sinkTb = graph_.timeBase();
    if (frame->pts == AV_NOPTS_VALUE) {
        return true;
    }
    // The frame's time in output frame periods, with extra precision, nudged off exact halves
    // so that rounding does not depend on representation noise.
    AVRational fine = encTb;
    const int extraBits = av_clip(29 - av_log2(static_cast<unsigned>(fine.den)), 0, 16);
    fine.den <<= extraBits;
    double time = static_cast<double>(av_rescale_q(frame->pts, sinkTb, fine)) / (1 << extraBits);
    time += (time > 0 ? 1.0 : time < 0 ? -1.0 : 0.0) / (1 << 17);

    // Its length in the same unit: the input's frame period, at most one output period, or
    // the packet's own duration when no filter was asked for.
    double duration = 0;
    const AVRational graphRate = graph_.frameRate();
    if (graphRate.num > 0 && graphRate.den > 0) {
        duration = 1 / (av_q2d(graphRate) * av_q2d(encTb));
    }
    if (setup_.stream->start_time != AV_NOPTS_VALUE) {
        duration = std::min(duration, 1 / (av_q2d(rate_) * av_q2d(encTb)));
    }
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    const int64_t packetDuration = frame->duration;
#else
    const int64_t packetDuration = frame->pkt_duration;
#endif
    if (setup_.options->videoFilter.empty() && packetDuration > 0) {
        long d = std::lrint(packetDuration * av_q2d(setup_.stream->time_base) / av_q2d(encTb));
        if (d > 0) {
            duration = static_cast<double>(d);
        }
    }

    FrameRateConverter::Decision d = sync_.next(time, duration);
    int64_t pts = d.firstPts;
    for (int64_t i = 0; i < d.repeatPrevious && previous_; ++i) {
        if (!queueFrame(previous_.get(), pts++)) {
            return false;
        }
    }
    for (int64_t i = 0; i < d.copies; ++i) {
        if (!queueFrame(frame, pts++)) {
            return false;
        }
    }
    if (d.copies > 0 || d.repeatPrevious > 0) {
        if (!previous_) {
            previous_.reset(av_frame_alloc());
        }
        av_frame_unref(previous_.get());
        av_frame_ref(previous_.get(), frame);
    }
    return true;
}

bool VideoPipeline::queueFrame(const AVFrame* frame, int64_t pts) {
    const AVCodecContext* enc = encoder_.context();
    const int64_t durationUs = setup_.options->durationUs;
    const int64_t maxFrames = setup_.options->maxVideoFrames;
    if ((durationUs >= 0 && av_rescale_q(pts, enc->time_base, AV_TIME_BASE_Q) >= durationUs) ||
        (maxFrames >= 0 && framesQueued_ >= maxFrames)) {
        reachedEnd_.store(true, std::memory_order_relaxed);
        return true;
    }
    ++framesQueued_;
    FramePtr copy(av_frame_clone(frame));  // a new reference, not a copy of the picture
    if (!copy) {
        state_.fail("Out of memory queueing video");
        return false;
    }
    copy->pts = pts;
    copy->pict_type = AV_PICTURE_TYPE_NONE;
    copy->quality = enc->global_quality;
    return frames_.push(copy);
}

void VideoPipeline::encodeLoop() {
    FramePtr frame;
    while (frames_.pop(frame)) {
        if (Status encoded = encoder_.encode(frame.get()); !encoded) {
            state_.fail(encoded.error());
            return;
        }
        frame.reset();
    }
    if (state_.failed()) {
        return;
    }
    if (Status drained = encoder_.encode(nullptr); !drained) {
        state_.fail(drained.error());
    }
}
