#include "encoder/transcoder.h"

#include <algorithm>
#include <climits>
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
    std::vector<std::string> inputs = o_.extraInputs;
    inputs.push_back(o_.inputFile);
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (isLocalFile(out) && isLocalFile(input) &&
            std::filesystem::equivalent(localPath(input), localPath(out), ec)) {
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
    if (!o_.maps.empty()) {
        return chooseMappedStreams();
    }
    if (!o_.extraInputs.empty()) {
        console::message("Only the first input is used: name the streams of the others with -map",
                         AV_LOG_WARNING);
    }
    if (!o_.disableVideo && carriesVideo(videoDefault_, o_) && input_.videoStream()) {
        if (Status selected = selectStream(0, input_.videoStream()); !selected) {
            return selected;
        }
    }
    if (!o_.disableAudio && (!o_.audioCodec.empty() || audioDefault_ != AV_CODEC_ID_NONE) &&
        input_.audioStream()) {
        if (Status selected = selectStream(0, input_.audioStream()); !selected) {
            return selected;
        }
    }
    if (!videoStream_ && !audioStream_ && copies_.empty()) {
        return Failure{"Output file '" + o_.outputFile + "' would contain no stream: '" +
                       o_.inputFile + "' has no " + (o_.disableVideo ? "audio" : "video or audio") +
                       " that the container '" + format->name + "' can carry"};
    }
    return copiesAreUntouched();
}

Status Transcoder::chooseMappedStreams() {
    for (const StreamMap& map : o_.maps) {
        const AVFormatContext* ctx = inputAt(map.input).context();
        int matched = 0;
        int ofType = 0;  // streams of the map's type seen so far
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            AVStream* st = ctx->streams[i];
            const AVMediaType type = st->codecpar->codec_type;
            const char letter = type == AVMEDIA_TYPE_VIDEO      ? 'v'
                                : type == AVMEDIA_TYPE_AUDIO    ? 'a'
                                : type == AVMEDIA_TYPE_SUBTITLE ? 's'
                                                                : '?';
            if ((map.type != 0 && letter != map.type) ||
                (map.index >= 0 && ofType++ != map.index)) {
                continue;
            }
            const bool disabled = (letter == 'v' && o_.disableVideo) ||
                                  (letter == 'a' && o_.disableAudio) ||
                                  (letter == 's' && o_.disableSubtitles) || letter == '?' ||
                                  (st->disposition & AV_DISPOSITION_ATTACHED_PIC);
            if (disabled) {
                continue;
            }
            if (Status selected = selectStream(map.input, st); !selected) {
                return selected;
            }
            ++matched;
        }
        if (matched == 0 && !map.optional) {
            return Failure{"Option '-map " + map.text + "' matches no stream of '" +
                           inputAt(map.input).context()->url + "'"};
        }
    }
    if (!videoStream_ && !audioStream_ && copies_.empty()) {
        return Failure{"Output file '" + o_.outputFile +
                       "' would contain no stream: -map chose none"};
    }
    return copiesAreUntouched();
}

Status Transcoder::selectStream(int input, AVStream* st) {
    const AVMediaType type = st->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_SUBTITLE) {
        // Subtitles are only ever copied; naming their own codec is the same as "copy".
        const std::string& codec = o_.subtitleCodec;
        if (!codec.empty() && codec != kStreamCopy &&
            codec != avcodec_get_name(st->codecpar->codec_id)) {
            return Failure{"Subtitles are copied as they are: '-c:s " + codec +
                           "' cannot convert the " + avcodec_get_name(st->codecpar->codec_id) +
                           " subtitles of input " + std::to_string(input)};
        }
    }
    const bool video = type == AVMEDIA_TYPE_VIDEO;
    const std::string& codec = video ? o_.videoCodec : o_.audioCodec;
    if (type == AVMEDIA_TYPE_SUBTITLE || codec == kStreamCopy) {
        for (const CopiedStream& c : copies_) {
            if (c.stream == st) {
                return {};  // mapped twice: once is enough
            }
        }
        copies_.push_back({input, st});
        return {};
    }
    AVStream*& chosen = video ? videoStream_ : audioStream_;
    if (chosen == st) {
        return {};
    }
    if (chosen) {
        return Failure{std::string("Only one ") + (video ? "video" : "audio") +
                       " stream can be encoded; copy the others with -c copy"};
    }
    if (input != 0) {
        return Failure{"Only the streams of the first input can be encoded; copy those of input " +
                       std::to_string(input) + " with -c copy"};
    }
    chosen = st;
    return {};
}

// A copied stream reaches the output exactly as it was: nothing may ask to change its pictures
// or its timing.
Status Transcoder::copiesAreUntouched() const {
    bool videoCopied = false;
    for (const CopiedStream& c : copies_) {
        videoCopied = videoCopied || c.stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    }
    if (!copies_.empty() && o_.startUs > 0) {
        return Failure{"Option '-ss' cannot be combined with stream copy"};
    }
    if (videoCopied) {
        const char* changed = !o_.vhook.empty()         ? "-vhook"
                              : !o_.videoFilter.empty() ? "-vf"
                              : o_.frameRate.num > 0    ? "-r"
                              : o_.width > 0            ? "-s"
                                                        : nullptr;
        if (changed) {
            return Failure{std::string("Option '") + changed +
                           "' cannot change a video stream that is copied"};
        }
    }
    return {};
}

Status Transcoder::addCopiedStreams() {
    for (CopiedStream& c : copies_) {
        const Result<int> index = muxer_.addCopiedStream(c.stream);
        if (!index) {
            return index.failure();
        }
        c.outputIndex = *index;
        c.offset =
            av_rescale_q(inputAt(c.input).startTimeUs(), AV_TIME_BASE_Q, c.stream->time_base);
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
    if (Status added = addCopiedStreams(); !added) {
        return added;
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
    for (const CopiedStream& c : copies_) {
        summary += std::string(", ") + av_get_media_type_string(c.stream->codecpar->codec_type) +
                   " " + avcodec_get_name(c.stream->codecpar->codec_id) + " copied from input " +
                   std::to_string(c.input);
    }
    console::message(summary, AV_LOG_INFO);
    if (vhook_) {
        console::message("Frame filter: " + o_.vhook, AV_LOG_INFO);
    }
}

bool Transcoder::everythingEnded() const {
    for (const CopiedStream& c : copies_) {
        if (!c.ended) {
            return false;
        }
    }
    return (!video_ || video_->reachedEnd()) && (!audio_ || audio_->reachedEnd());
}

// Reads the inputs in step: always from the one that is furthest behind in time, so that
// the streams of different files reach the muxer interleaved.
void Transcoder::demultiplex() {
    struct Reader {
        int number = 0;
        bool done = true;
        int64_t lastUs = INT64_MIN;
    };
    std::vector<Reader> readers(extraInputs_.size() + 1);
    for (size_t n = 0; n < readers.size(); ++n) {
        readers[n].number = static_cast<int>(n);
        readers[n].done = !(n == 0 && (video_ || audio_));
        for (const CopiedStream& c : copies_) {
            readers[n].done = readers[n].done && c.input != static_cast<int>(n);
        }
    }
    PacketPtr packet(av_packet_alloc());
    while (packet && receivedStopSignal() == 0 && !state_.failed() && !everythingEnded()) {
        Reader* reader = nullptr;
        for (Reader& r : readers) {
            if (!r.done && (!reader || r.lastUs < reader->lastUs)) {
                reader = &r;
            }
        }
        if (!reader) {
            break;
        }
        InputFile& input = inputAt(reader->number);
        int ret = av_read_frame(input.context(), packet.get());
        if (ret == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (ret < 0) {
            if (ret != AVERROR_EOF) {
                readError_ = std::string("Error reading '") + input.context()->url +
                             "': " + avErrorText(ret);
                console::message(readError_);
            }
            reader->done = true;
            continue;
        }
        const AVStream* from = input.context()->streams[packet->stream_index];
        const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (ts != AV_NOPTS_VALUE) {
            reader->lastUs = av_rescale_q(ts, from->time_base, AV_TIME_BASE_Q);
        }
        BlockingQueue<PacketPtr>* queue = nullptr;
        if (reader->number == 0 && video_ && packet->stream_index == videoStream_->index) {
            queue = &video_->packets();
        } else if (reader->number == 0 && audio_ && packet->stream_index == audioStream_->index) {
            queue = &audio_->packets();
        }
        if (!queue) {
            writeCopied(packet.get(), reader->number);
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

// Writes a packet of a copied stream (and drops one of a stream that is not used) with the
// input's start moved to time 0; past -t the stream ends.
void Transcoder::writeCopied(AVPacket* packet, int input) {
    auto it = std::find_if(copies_.begin(), copies_.end(), [&](const CopiedStream& c) {
        return c.input == input && c.stream->index == packet->stream_index;
    });
    if (it == copies_.end() || it->ended) {
        return;
    }
    CopiedStream& c = *it;
    if (packet->pts != AV_NOPTS_VALUE) {
        packet->pts -= c.offset;
    }
    if (packet->dts != AV_NOPTS_VALUE) {
        packet->dts -= c.offset;
    }
    const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (o_.durationUs >= 0 && ts != AV_NOPTS_VALUE &&
        av_rescale_q(ts, c.stream->time_base, AV_TIME_BASE_Q) >= o_.durationUs) {
        c.ended = true;
        return;
    }
    packet->stream_index = c.outputIndex;
    packet->pos = -1;
    if (Status written = muxer_.write(packet, c.stream->time_base); !written) {
        state_.fail(written.error());
        return;
    }
    ++c.packets;
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
    int64_t written = (video_ ? video_->encoder().framesEncoded() : 0) +
                      (audio_ ? audio_->encoder().framesEncoded() : 0);
    for (const CopiedStream& c : copies_) {
        written += c.packets;
    }
    // A subtitle track copied from a script without events is empty and still whole: a job
    // whose comments were all filtered out writes such a script.
    const bool onlyCopiedSubtitles =
        !video_ && !audio_ && !copies_.empty() &&
        std::all_of(copies_.begin(), copies_.end(), [](const CopiedStream& c) {
            return c.stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE;
        });
    if (written == 0 && !onlyCopiedSubtitles) {
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
    for (const std::string& path : o_.extraInputs) {
        extraInputs_.push_back(std::make_unique<InputFile>());
        if (Status step = extraInputs_.back()->open(path, {}); !step) {
            return step;
        }
    }
    if (Status step = muxer_.create(o_.outputFile, o_.outputFormat); !step) {
        return step;
    }
    muxer_.setVideoTag(o_.videoTag);
    muxer_.setOptions(o_.muxerOptions);
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
