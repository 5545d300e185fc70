#include "encoder/video_filter_graph.h"

#include "encoder/av_error.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

namespace {

struct InOutFree {
    void operator()(AVFilterInOut* p) const { avfilter_inout_free(&p); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutFree>;

std::string chainText(const std::string& userGraph, int width, int height,
                      const std::vector<AVPixelFormat>& formats) {
    std::string chain = userGraph;
    auto append = [&chain](const std::string& filter) {
        chain += chain.empty() ? filter : "," + filter;
    };
    if (width > 0 && height > 0) {
        append("scale=" + std::to_string(width) + ":" + std::to_string(height));
    }
    if (!formats.empty()) {
        std::string list;
        for (AVPixelFormat f : formats) {
            if (const char* name = av_get_pix_fmt_name(f)) {
                list += list.empty() ? name : std::string("|") + name;
            }
        }
        append("format=pix_fmts=" + list);
    }
    if (chain.empty()) {
        chain = "null";
    }
    return chain;
}

}  // namespace

Status VideoFilterGraph::build(const VideoGraphInput& in, const std::string& userGraph, int width,
                               int height, const std::vector<AVPixelFormat>& formats) {
    graph_.reset(avfilter_graph_alloc());
    if (!graph_) {
        return Failure{"Out of memory creating the video filter graph"};
    }
    // The scaler ffmpeg's command line uses by default, for the same pictures.
    graph_->scale_sws_opts = av_strdup("flags=bicubic");

    char args[512];
    snprintf(args, sizeof args,
             "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d:frame_rate=%d/%d",
             in.width, in.height, static_cast<int>(in.format), in.timeBase.num, in.timeBase.den,
             in.sampleAspect.num > 0 ? in.sampleAspect.num : 0,
             in.sampleAspect.num > 0 ? in.sampleAspect.den : 1,
             in.frameRate.num > 0 ? in.frameRate.num : 0,
             in.frameRate.num > 0 ? in.frameRate.den : 1);
    int ret = avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", args,
                                           nullptr, graph_.get());
    if (ret >= 0) {
        ret = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out",
                                           nullptr, nullptr, graph_.get());
    }
    if (ret < 0) {
        return Failure{"Cannot create the video filter graph: " + avErrorText(ret)};
    }

    InOutPtr outputs(avfilter_inout_alloc());
    InOutPtr inputs(avfilter_inout_alloc());
    if (!outputs || !inputs) {
        return Failure{"Out of memory creating the video filter graph"};
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source_;
    outputs->pad_idx = 0;
    outputs->next = nullptr;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    inputs->pad_idx = 0;
    inputs->next = nullptr;

    const std::string chain = chainText(userGraph, width, height, formats);
    AVFilterInOut* ins = inputs.release();
    AVFilterInOut* outs = outputs.release();
    ret = avfilter_graph_parse_ptr(graph_.get(), chain.c_str(), &ins, &outs, nullptr);
    avfilter_inout_free(&ins);
    avfilter_inout_free(&outs);
    if (ret < 0) {
        return Failure{"Invalid video filter graph '" + userGraph + "': " + avErrorText(ret)};
    }
    ret = avfilter_graph_config(graph_.get(), nullptr);
    if (ret < 0) {
        return Failure{"Cannot configure the video filter graph '" + chain +
                       "': " + avErrorText(ret)};
    }
    return {};
}

Status VideoFilterGraph::push(AVFrame* frame) {
    int ret = av_buffersrc_add_frame_flags(source_, frame, 0);
    if (ret < 0) {
        return Failure{"Error filtering video: " + avErrorText(ret)};
    }
    return {};
}

int VideoFilterGraph::pull(AVFrame* frame) {
    return av_buffersink_get_frame(sink_, frame);
}

int VideoFilterGraph::width() const {
    return av_buffersink_get_w(sink_);
}
int VideoFilterGraph::height() const {
    return av_buffersink_get_h(sink_);
}
AVPixelFormat VideoFilterGraph::format() const {
    return static_cast<AVPixelFormat>(av_buffersink_get_format(sink_));
}
AVRational VideoFilterGraph::timeBase() const {
    return av_buffersink_get_time_base(sink_);
}
AVRational VideoFilterGraph::sampleAspect() const {
    return av_buffersink_get_sample_aspect_ratio(sink_);
}
AVRational VideoFilterGraph::frameRate() const {
    return av_buffersink_get_frame_rate(sink_);
}
