#include "encoder/transcoder.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "encoder/audio_pipeline.h"
#include "encoder/av_error.h"
#include "encoder/console.h"
#include "encoder/input_file.h"
#include "encoder/output_muxer.h"
#include "encoder/program_folder.h"
#include "encoder/status_reporter.h"
#include "encoder/stop_request.h"
#include "encoder/vhook_module.h"
#include "encoder/video_pipeline.h"

namespace {

bool isLocalFile(const std::string& path) {
    const char* protocol = avio_find_protocol_name(path.c_str());
    return protocol && std::strcmp(protocol, "file") == 0;
}

std::string localPath(const std::string& path) {
    return path.rfind("file:", 0) == 0 ? path.substr(5) : path;
}

// ffmpeg's default video sync for the container.
VideoSyncMode syncModeFor(const AVOutputFormat* format, const AVFormatContext* input) {
    if (std::strcmp(format->name, "avi") == 0) {
        return VideoSyncMode::Vfr;
    }
    if (format->flags & AVFMT_VARIABLE_FPS) {
        return (format->flags & AVFMT_NOTIMESTAMPS) ? VideoSyncMode::Passthrough
                                                    : VideoSyncMode::Vfr;
    }
    return input->nb_streams == 1 ? VideoSyncMode::Vscfr : VideoSyncMode::Cfr;
}

// Containers whose "video" is a cover picture (mp3 and the like) get no video stream unless
// an encoder is named.
bool carriesVideo(AVCodecID defaultCodec, const EncoderOptions& o) {
    if (!o.videoCodec.empty()) {
        return true;
    }
    return defaultCodec != AV_CODEC_ID_NONE && defaultCodec != AV_CODEC_ID_PNG;
}

std::string rateText(AVRational r) {
    return std::to_string(r.num) + "/" + std::to_string(r.den);
}

std::string inputSummary(const std::string& path, const InputFile& input) {
    const AVFormatContext* ctx = input.context();
    std::string s = "Input: '" + path + "' (" + ctx->iformat->name + ")";
    if (ctx->duration != AV_NOPTS_VALUE) {
        char d[32];
        snprintf(d, sizeof d, ", %.2f s", static_cast<double>(ctx->duration) / AV_TIME_BASE);
        s += d;
    }
    if (const AVStream* v = input.videoStream()) {
        s += std::string(", video ") + avcodec_get_name(v->codecpar->codec_id) + " " +
             std::to_string(v->codecpar->width) + "x" + std::to_string(v->codecpar->height) + " " +
             rateText(videoStreamFrameRate(v)) + " fps";
    }
    if (const AVStream* a = input.audioStream()) {
        s += std::string(", audio ") + avcodec_get_name(a->codecpar->codec_id) + " " +
             std::to_string(a->codecpar->sample_rate) + " Hz";
    }
    return s;
}

}  // namespace

int Transcoder::run(const EncoderOptions& o) {
    std::string error;
    const std::string& out = o.outputFile;
    if (isLocalFile(out) && std::filesystem::exists(localPath(out)) && !o.overwrite) {
        console::message("File '" + out + "' already exists. Not overwriting - exiting" +
                         (o.neverOverwrite ? "" : " (use -y to overwrite)"));
        return 1;
    }

    InputFile input;
    if (!input.open(o.inputFile, o.inputFormat, error)) {
        console::message(error);
        return 1;
    }
    if (isLocalFile(out) && isLocalFile(o.inputFile)) {
        std::error_code ec;
        if (std::filesystem::equivalent(localPath(o.inputFile), localPath(out), ec)) {
            console::message("Output file '" + out + "' is the input file - exiting");
            return 1;
        }
    }

    OutputMuxer muxer;
    if (!muxer.create(out, o.outputFormat, error)) {
        console::message(error);
        return 1;
    }
    const AVOutputFormat* format = muxer.format();
    const AVCodecID videoDefault =
        av_guess_codec(format, nullptr, out.c_str(), nullptr, AVMEDIA_TYPE_VIDEO);
    const AVCodecID audioDefault =
        av_guess_codec(format, nullptr, out.c_str(), nullptr, AVMEDIA_TYPE_AUDIO);
    AVStream* videoStream =
        (!o.disableVideo && carriesVideo(videoDefault, o)) ? input.videoStream() : nullptr;
    AVStream* audioStream =
        (!o.disableAudio && (!o.audioCodec.empty() || audioDefault != AV_CODEC_ID_NONE))
            ? input.audioStream()
            : nullptr;
    if (!videoStream && !audioStream) {
        console::message("Output file '" + out + "' would contain no stream: '" + o.inputFile +
                         "' has no " + (o.disableVideo ? "audio" : "video or audio") +
                         " that the container '" + format->name + "' can carry");
        return 1;
    }

    // The frame filter counts frames at the rate the probe reported, so that the comment
    // layout and the drawing agree.
    std::unique_ptr<VhookModule> vhook;
    AVRational indexRate{0, 1};
    if (!o.vhook.empty()) {
        if (!videoStream) {
            console::message("Option '-vhook' ignored: the output has no video", AV_LOG_WARNING);
        } else {
            indexRate = videoStreamFrameRate(videoStream);
            if (indexRate.num <= 0) {
                indexRate = av_guess_frame_rate(input.context(), videoStream, nullptr);
            }
            if (indexRate.num <= 0) {
                indexRate = AVRational{25, 1};
            }
            vhook = std::make_unique<VhookModule>();
            const AVCodecParameters* par = videoStream->codecpar;
            if (!vhook->load(o.vhook, executableFolder(), error) ||
                !vhook->configure(par->width, par->height, indexRate.num, indexRate.den, error)) {
                console::message(error);
                return 1;
            }
        }
    }

    const int64_t offsetUs = input.startTimeUs() + o.startUs;
    bool seeked = false;
    if (o.seekInput && o.startUs > 0) {
        int ret = avformat_seek_file(input.context(), -1, INT64_MIN, offsetUs, offsetUs, 0);
        if (ret < 0) {
            console::message("Could not seek to " + std::to_string(o.startUs / 1000) +
                                 " ms; decoding from the start instead: " + avErrorText(ret),
                             AV_LOG_WARNING);
        } else {
            seeked = true;
        }
    }

    RunState state;
    std::unique_ptr<VideoPipeline> video;
    std::unique_ptr<AudioPipeline> audio;
    if (videoStream) {
        video = std::make_unique<VideoPipeline>(muxer, state);
        VideoPipelineSetup vs;
        vs.stream = videoStream;
        vs.options = &o;
        vs.defaultCodec = videoDefault;
        vs.vhook = vhook.get();
        vs.indexRate = indexRate;
        vs.sync = syncModeFor(format, input.context());
        vs.offsetUs = offsetUs;
        vs.seeked = seeked;
        if (!video->setup(vs, muxer.needsGlobalHeader(), error)) {
            console::message(error);
            return 1;
        }
    }
    if (audioStream) {
        audio = std::make_unique<AudioPipeline>(muxer, state);
        AudioPipelineSetup as;
        as.stream = audioStream;
        as.options = &o;
        as.defaultCodec = audioDefault;
        as.offsetUs = offsetUs;
        if (!audio->setup(as, muxer.needsGlobalHeader(), error)) {
            console::message(error);
            return 1;
        }
    }
    if (!muxer.open(error)) {
        console::message(error);
        muxer.discard();
        return 1;
    }

    console::message(inputSummary(o.inputFile, input), AV_LOG_INFO);
    std::string summary = "Output: '" + out + "' (" + format->name + ")";
    if (video) {
        summary += ", video " + video->description();
    }
    if (audio) {
        summary += ", audio " + audio->description();
    }
    console::message(summary, AV_LOG_INFO);
    if (vhook) {
        console::message("Frame filter: " + o.vhook, AV_LOG_INFO);
    }

    state.onFailure([&] {
        if (video) {
            video->abort();
        }
        if (audio) {
            audio->abort();
        }
    });
    StatusReporter status(video ? &video->encoder() : nullptr, muxer);
    status.start();
    if (video) {
        video->start();
    }
    if (audio) {
        audio->start();
    }

    // Demultiplexing on this thread; the queues keep it from running far ahead.
    std::string readError;
    PacketPtr packet(av_packet_alloc());
    while (packet && !stopRequested() && !state.failed()) {
        if ((!video || video->reachedEnd()) && (!audio || audio->reachedEnd())) {
            break;
        }
        int ret = av_read_frame(input.context(), packet.get());
        if (ret == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (ret < 0) {
            if (ret != AVERROR_EOF) {
                readError = "Error reading '" + o.inputFile + "': " + avErrorText(ret);
                console::message(readError);
            }
            break;
        }
        BlockingQueue<PacketPtr>* queue = nullptr;
        if (video && packet->stream_index == videoStream->index) {
            queue = &video->packets();
        } else if (audio && packet->stream_index == audioStream->index) {
            queue = &audio->packets();
        }
        if (!queue) {
            av_packet_unref(packet.get());
            continue;
        }
        PacketPtr item(av_packet_alloc());
        if (!item) {
            state.fail("Out of memory reading the input");
            break;
        }
        av_packet_move_ref(item.get(), packet.get());
        if (!queue->push(item)) {
            break;  // a stage failed
        }
    }
    if (video) {
        video->packets().close();
    }
    if (audio) {
        audio->packets().close();
    }
    if (video) {
        video->join();
    }
    if (audio) {
        audio->join();
    }

    if (state.failed()) {
        status.finish();
        console::message(state.error());
        console::message("The output '" + out + "' is incomplete");
        return 1;
    }
    if (!muxer.finish(error)) {
        status.finish();
        console::message(error);
        return 1;
    }
    status.finish();

    if (stopRequested()) {
        console::message("Stopped by a signal; '" + out + "' holds what was encoded so far");
        return 255;
    }
    int code = 0;
    const int64_t written = (video ? video->encoder().framesEncoded() : 0) +
                            (audio ? audio->encoder().framesEncoded() : 0);
    if (written == 0) {
        console::message("Output file '" + out + "' is empty: nothing was encoded");
        code = 1;
    }
    if (!readError.empty()) {
        console::message("The input could not be read to its end; '" + out + "' is shorter");
        code = 1;
    }
    for (const std::string& loss : {video ? video->lossReport() : std::string(),
                                    audio ? audio->lossReport() : std::string()}) {
        if (!loss.empty()) {
            console::message("Decoding failed: " + loss);
            code = 1;
        }
    }
    return code;
}
