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
#include "encoder/status_reporter.h"
#include "encoder/vhook_module.h"
#include "encoder/video_pipeline.h"
#include "platform/known_folders.h"
#include "platform/stop_signals.h"

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

Status Transcoder::outputMayBeWritten() {
    const std::string& out = o_.outputFile;
    if (isLocalFile(out) && std::filesystem::exists(localPath(out)) && !o_.overwrite) {
        return Failure{"File '" + out + "' already exists. Not overwriting - exiting" +
                       (o_.neverOverwrite ? "" : " (use -y to overwrite)")};
    }
    if (isLocalFile(out) && isLocalFile(o_.inputFile)) {
        std::error_code ec;
        if (std::filesystem::equivalent(localPath(o_.inputFile), localPath(out), ec)) {
            return Failure{"Output file '" + out + "' is the input file - exiting"};
        }
    }
    return {};
}

Status Transcoder::chooseStreams() {
    const AVOutputFormat* format = muxer_.format();
    const char* out = o_.outputFile.c_str();
    videoDefault_ = av_guess_codec(format, nullptr, out, nullptr, AVMEDIA_TYPE_VIDEO);
    audioDefault_ = av_guess_codec(format, nullptr, out, nullptr, AVMEDIA_TYPE_AUDIO);
    if (!o_.disableVideo && carriesVideo(videoDefault_, o_)) {
        videoStream_ = input_.videoStream();
    }
    if (!o_.disableAudio && (!o_.audioCodec.empty() || audioDefault_ != AV_CODEC_ID_NONE)) {
        audioStream_ = input_.audioStream();
    }
    if (!videoStream_ && !audioStream_) {
        return Failure{"Output file '" + o_.outputFile + "' would contain no stream: '" +
                       o_.inputFile + "' has no " + (o_.disableVideo ? "audio" : "video or audio") +
                       " that the container '" + format->name + "' can carry"};
    }
    return {};
}

Status Transcoder::startFrameFilter() {
    if (o_.vhook.empty()) {
        return {};
    }
    if (!videoStream_) {
        console::message("Option '-vhook' ignored: the output has no video", AV_LOG_WARNING);
        return {};
    }
    // The frame filter counts frames at the rate the probe reports, so that the comment layout
    // and the drawing agree.
    indexRate_ = videoStreamFrameRate(videoStream_);
    if (indexRate_.num <= 0) {
        indexRate_ = av_guess_frame_rate(input_.context(), videoStream_, nullptr);
    }
    if (indexRate_.num <= 0) {
        indexRate_ = AVRational{25, 1};
    }
    vhook_ = std::make_unique<VhookModule>();
    const AVCodecParameters* par = videoStream_->codecpar;
    if (Status loaded = vhook_->load(o_.vhook, executableFolder()); !loaded) {
        return loaded;
    }
    return vhook_->configure(par->width, par->height, indexRate_.num, indexRate_.den);
}

void Transcoder::seekInput() {
    if (!o_.seekInput || o_.startUs <= 0) {
        return;
    }
    const int64_t target = input_.startTimeUs() + o_.startUs;
    int ret = avformat_seek_file(input_.context(), -1, INT64_MIN, target, target, 0);
    if (ret < 0) {
        console::message("Could not seek to " + std::to_string(o_.startUs / 1000) +
                             " ms; decoding from the start instead: " + avErrorText(ret),
                         AV_LOG_WARNING);
        return;
    }
    seeked_ = true;
}

Status Transcoder::setUpPipelines() {
    const int64_t offsetUs = input_.startTimeUs() + o_.startUs;
    if (videoStream_) {
        video_ = std::make_unique<VideoPipeline>(muxer_, state_);
        VideoPipelineSetup vs;
        vs.stream = videoStream_;
        vs.options = &o_;
        vs.defaultCodec = videoDefault_;
        vs.vhook = vhook_.get();
        vs.indexRate = indexRate_;
        vs.sync = syncModeFor(muxer_.format(), input_.context());
        vs.offsetUs = offsetUs;
        vs.seeked = seeked_;
        if (Status ready = video_->setup(vs, muxer_.needsGlobalHeader()); !ready) {
            return ready;
        }
    }
    if (audioStream_) {
        audio_ = std::make_unique<AudioPipeline>(muxer_, state_);
        AudioPipelineSetup as;
        as.stream = audioStream_;
        as.options = &o_;
        as.defaultCodec = audioDefault_;
        as.offsetUs = offsetUs;
        if (Status ready = audio_->setup(as, muxer_.needsGlobalHeader()); !ready) {
            return ready;
        }
    }
    state_.onFailure([this] {
        if (video_) {
            video_->abort();
        }
        if (audio_) {
            audio_->abort();
        }
    });
    return {};
}

void Transcoder::printSummary() {
    console::message(inputSummary(o_.inputFile, input_), AV_LOG_INFO);
    std::string summary = "Output: '" + o_.outputFile + "' (" + muxer_.format()->name + ")";
    if (video_) {
        summary += ", video " + video_->description();
    }
    if (audio_) {
        summary += ", audio " + audio_->description();
    }
    console::message(summary, AV_LOG_INFO);
    if (vhook_) {
        console::message("Frame filter: " + o_.vhook, AV_LOG_INFO);
    }
}

void Transcoder::demultiplex() {
    PacketPtr packet(av_packet_alloc());
    while (packet && receivedStopSignal() == 0 && !state_.failed()) {
        if ((!video_ || video_->reachedEnd()) && (!audio_ || audio_->reachedEnd())) {
            break;  // -t reached everywhere
        }
        int ret = av_read_frame(input_.context(), packet.get());
        if (ret == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (ret < 0) {
            if (ret != AVERROR_EOF) {
                readError_ = "Error reading '" + o_.inputFile + "': " + avErrorText(ret);
                console::message(readError_);
            }
            break;
        }
        BlockingQueue<PacketPtr>* queue = nullptr;
        if (video_ && packet->stream_index == videoStream_->index) {
            queue = &video_->packets();
        } else if (audio_ && packet->stream_index == audioStream_->index) {
            queue = &audio_->packets();
        }
        if (!queue) {
            av_packet_unref(packet.get());
            continue;
        }
        PacketPtr item(av_packet_alloc());
        if (!item) {
            state_.fail("Out of memory reading the input");
            break;
        }
        av_packet_move_ref(item.get(), packet.get());
        if (!queue->push(item)) {
            break;  // a stage failed
        }
    }
}

void Transcoder::stopPipelines() {
    if (video_) {
        video_->packets().close();
    }
    if (audio_) {
        audio_->packets().close();
    }
    if (video_) {
        video_->join();
    }
    if (audio_) {
        audio_->join();
    }
}

// After a complete trailer: whether the movie holds everything the input had.
int Transcoder::outcome() {
    const std::string& out = o_.outputFile;
    if (receivedStopSignal() != 0) {
        console::message("Stopped by a signal; '" + out + "' holds what was encoded so far");
        return 255;
    }
    int code = 0;
    const int64_t written = (video_ ? video_->encoder().framesEncoded() : 0) +
                            (audio_ ? audio_->encoder().framesEncoded() : 0);
    if (written == 0) {
        console::message("Output file '" + out + "' is empty: nothing was encoded");
        code = 1;
    }
    if (!readError_.empty()) {
        console::message("The input could not be read to its end; '" + out + "' is shorter");
        code = 1;
    }
    for (const std::string& loss : {video_ ? video_->lossReport() : std::string(),
                                    audio_ ? audio_->lossReport() : std::string()}) {
        if (!loss.empty()) {
            console::message("Decoding failed: " + loss);
            code = 1;
        }
    }
    return code;
}

Status Transcoder::prepare() {
    if (Status step = outputMayBeWritten(); !step) {
        return step;
    }
    if (Status step = input_.open(o_.inputFile, o_.inputFormat); !step) {
        return step;
    }
    if (Status step = muxer_.create(o_.outputFile, o_.outputFormat); !step) {
        return step;
    }
    if (Status step = chooseStreams(); !step) {
        return step;
    }
    return startFrameFilter();
}

int Transcoder::run() {
    if (Status prepared = prepare(); !prepared) {
        console::message(prepared.error());
        return 1;
    }
    seekInput();
    if (Status ready = setUpPipelines(); !ready) {
        console::message(ready.error());
        return 1;
    }
    if (Status opened = muxer_.open(); !opened) {
        console::message(opened.error());
        muxer_.discard();
        return 1;
    }
    printSummary();

    StatusReporter status(video_ ? &video_->encoder() : nullptr, muxer_);
    status.start();
    if (video_) {
        video_->start();
    }
    if (audio_) {
        audio_->start();
    }
    demultiplex();
    stopPipelines();

    if (state_.failed()) {
        status.finish();
        console::message(state_.error());
        console::message("The output '" + o_.outputFile + "' is incomplete");
        return 1;
    }
    const Status finished = muxer_.finish();
    status.finish();
    if (!finished) {
        console::message(finished.error());
        return 1;
    }
    return outcome();
}
