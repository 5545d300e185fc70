#include "encoder/media_probe.h"

#include <algorithm>

#include "encoder/av_handles.h"
#include "encoder/input_file.h"

namespace {

// The end of the last packet, for files whose header states no length. Reads the whole file,
// but only when the cheap sources of the length are missing.
int64_t scanDurationUs(AVFormatContext* ctx) {
    const PacketPtr owned(av_packet_alloc());
    AVPacket* const pkt = owned.get();
    int64_t startUs = ctx->start_time != AV_NOPTS_VALUE ? ctx->start_time : 0;
    int64_t endUs = startUs;
    while (pkt && av_read_frame(ctx, pkt) >= 0) {
        const AVStream* st = ctx->streams[pkt->stream_index];
        int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (ts != AV_NOPTS_VALUE) {
            int64_t end = av_rescale_q(ts + pkt->duration, st->time_base, AV_TIME_BASE_Q);
            endUs = std::max(endUs, end);
        }
        av_packet_unref(pkt);
    }
    return endUs - startUs;
}

}  // namespace

Result<ProbeFacts> probeMedia(const std::string& path) {
    InputFile input;
    if (Status opened = input.open(path, ""); !opened) {
        return opened.failure();
    }
    const AVStream* video = input.videoStream();
    if (!video) {
        return Failure{"'" + path + "' has no video stream"};
    }
    ProbeFacts f;
    f.width = video->codecpar->width;
    f.height = video->codecpar->height;
    f.frameRate = videoStreamFrameRate(video);
    if (f.frameRate.num <= 0 || f.frameRate.den <= 0) {
        return Failure{"The frame rate of the video stream of '" + path + "' is unknown"};
    }
    const AVFormatContext* ctx = input.context();
    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0) {
        f.durationUs = ctx->duration;
    } else if (video->duration != AV_NOPTS_VALUE && video->duration > 0) {
        f.durationUs = av_rescale_q(video->duration, video->time_base, AV_TIME_BASE_Q);
    } else {
        f.durationUs = scanDurationUs(input.context());
    }
    return f;
}

std::string probeBlockText(const ProbeFacts& facts) {
    const int64_t seconds = facts.durationUs / 1000000;
    const int64_t hundredths = (facts.durationUs % 1000000) / 10000;
    std::string text = "niconico++\r\n";
    for (int64_t v : {seconds, hundredths, int64_t{facts.width}, int64_t{facts.height},
                      int64_t{facts.frameRate.num}, int64_t{facts.frameRate.den}}) {
        text += std::to_string(v);
        text += '\n';
    }
    text += "niconico_end\n";
    return text;
}
