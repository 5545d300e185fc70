#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "joiner/rendition_join_api.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

namespace fs = std::filesystem;

namespace {

// How a step went: why it failed, in one line, or nothing when it did not.
struct Outcome {
    std::string reason;
    explicit operator bool() const { return reason.empty(); }
};

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

struct OutputCloser {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// One input file and the one stream of it that goes into the output.
struct Source {
    InputPtr input;
    int stream = -1;   // index in the input
    int outIndex = 0;  // index in the output
    PacketPtr next;    // the next packet of `stream`, or null at its end
};

Outcome openSource(const std::string& path, AVMediaType type, Source& source) {
    AVFormatContext* context = nullptr;
    if (int e = avformat_open_input(&context, path.c_str(), nullptr, nullptr); e < 0) {
        return Outcome{path + " cannot be opened: " + avError(e)};
    }
    source.input.reset(context);
    if (int e = avformat_find_stream_info(context, nullptr); e < 0) {
        return Outcome{path + " cannot be read: " + avError(e)};
    }
    source.stream = av_find_best_stream(context, type, -1, -1, nullptr, 0);
    if (source.stream < 0) {
        return Outcome{path + " holds no " + (type == AVMEDIA_TYPE_VIDEO ? "video" : "audio") +
                       " stream"};
    }
    return {};
}

// Reads the next packet of the source's stream into `next`; null at the end of the file.
Outcome advance(Source& source) {
    if (!source.next) {
        source.next.reset(av_packet_alloc());
        if (!source.next) {
            return Outcome{"out of memory"};
        }
    }
    for (;;) {
        av_packet_unref(source.next.get());
        const int e = av_read_frame(source.input.get(), source.next.get());
        if (e == AVERROR_EOF) {
            source.next.reset();
            return {};
        }
        if (e < 0) {
            return Outcome{std::string(source.input->url) + " cannot be read: " + avError(e)};
        }
        if (source.next->stream_index == source.stream) {
            return {};
        }
    }
}

// The time of a packet in seconds, for interleaving; its decoding time when it has one.
double secondsOf(const Source& source) {
    const AVStream* stream = source.input->streams[source.stream];
    const int64_t ts = source.next->dts != AV_NOPTS_VALUE ? source.next->dts : source.next->pts;
    return ts == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(ts) * av_q2d(stream->time_base);
}

Outcome writeJoined(Source (&sources)[2], const std::string& path,
                    const std::function<bool()>& isCancelled) {
    AVFormatContext* context = nullptr;
    if (int e = avformat_alloc_output_context2(&context, nullptr, "mp4", path.c_str()); e < 0) {
        return Outcome{"the MP4 writer cannot be made: " + avError(e)};
    }
    OutputPtr output(context);
    for (Source& source : sources) {
        AVStream* out = avformat_new_stream(context, nullptr);
        if (out == nullptr) {
            return Outcome{"out of memory"};
        }
        const AVStream* in = source.input->streams[source.stream];
        if (int e = avcodec_parameters_copy(out->codecpar, in->codecpar); e < 0) {
            return Outcome{"the stream parameters cannot be copied: " + avError(e)};
        }
        out->codecpar->codec_tag = 0;  // let the MP4 writer choose the tag it knows
        out->time_base = in->time_base;
        source.outIndex = out->index;
    }
    if (int e = avio_open(&context->pb, path.c_str(), AVIO_FLAG_WRITE); e < 0) {
        return Outcome{path + " cannot be created: " + avError(e)};
    }
    if (int e = avformat_write_header(context, nullptr); e < 0) {
        return Outcome{"the MP4 header cannot be written: " + avError(e)};
    }
    for (Source& source : sources) {
        if (Outcome read = advance(source); !read) {
            return read;
        }
    }
    while (sources[0].next || sources[1].next) {
        if (isCancelled && isCancelled()) {
            return Outcome{"stopped"};
        }
        Source& source =
            !sources[1].next || (sources[0].next && secondsOf(sources[0]) <= secondsOf(sources[1]))
                ? sources[0]
                : sources[1];
        AVPacket* packet = source.next.get();
        av_packet_rescale_ts(packet, source.input->streams[source.stream]->time_base,
                             context->streams[source.outIndex]->time_base);
        packet->stream_index = source.outIndex;
        packet->pos = -1;
        if (int e = av_interleaved_write_frame(context, packet); e < 0) {
            return Outcome{"a packet cannot be written: " + avError(e)};
        }
        if (Outcome read = advance(source); !read) {
            return read;
        }
    }
    if (int e = av_write_trailer(context); e < 0) {
        return Outcome{"the MP4 cannot be finished: " + avError(e)};
    }
    if (int e = avio_closep(&context->pb); e < 0) {
        return Outcome{path + " cannot be written: " + avError(e)};
    }
    return {};
}

Outcome joinRenditions(const std::string& videoFile, const std::string& audioFile,
                       const std::string& output, const std::function<bool()>& isCancelled) {
    Source sources[2];
    if (Outcome opened = openSource(videoFile, AVMEDIA_TYPE_VIDEO, sources[0]); !opened) {
        return opened;
    }
    if (Outcome opened = openSource(audioFile, AVMEDIA_TYPE_AUDIO, sources[1]); !opened) {
        return opened;
    }
    const std::string part = output + ".part";
    Outcome written = writeJoined(sources, part, isCancelled);
    std::error_code error;
    if (written) {
        fs::rename(part, output, error);
        if (!error) {
            return {};
        }
        written = Outcome{output + " cannot be written: " + error.message()};
    }
    fs::remove(part, error);
    return written;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int lumivox_join_renditions(
    const char* videoFile, const char* audioFile, const char* output,
    rendition_join_cancelled_fn cancelled, void* user, char* error, int errorSize) {
    Outcome joined;
    try {
        joined = joinRenditions(videoFile, audioFile, output,
                                [&] { return cancelled != nullptr && cancelled(user) != 0; });
    } catch (const std::exception& e) {
        joined = Outcome{std::string("the join failed: ") + e.what()};
    }
    if (joined) {
        return 0;
    }
    if (error != nullptr && errorSize > 0) {
        const std::size_t length =
            std::min(joined.reason.size(), static_cast<std::size_t>(errorSize - 1));
        std::memcpy(error, joined.reason.data(), length);
        error[length] = '\0';
    }
    return 1;
}
