#pragma once
// Feeds one stream's decoder and keeps count of what it could not decode. A damaged packet is
// reported and skipped, as ffmpeg does; only a long run of them, or a stream of which nothing
// decoded at all, counts as a loss worth failing the run for. Used by one thread at a time.

#include <cstdint>
#include <functional>
#include <string>

#include "encoder/av_handles.h"
#include "encoder/run_state.h"
#include "platform/result.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

// Opens the decoder of `stream`'s codec with `threads` threads (0: as many as useful). Fails
// with a one-line reason naming the `streamWord` ("audio", "video") when it cannot.
Result<CodecContextPtr> openStreamDecoder(const AVStream* stream, int threads,
                                          const char* streamWord);

class PacketDecoder {
public:
    // The words that name the stream in messages.
    struct Names {
        const char* stream;    // "audio": "Error while decoding audio: ..."
        const char* frames;    // "audio" / "video frame": "no video frame could be decoded"
        const char* lostPart;  // "sound": "part of the sound is missing"
    };

    explicit PacketDecoder(Names names) : names_(names) {}

    // Sends `packet` (nullptr: the end of the stream) to `decoder` and hands every frame the
    // decoder gives back to `onFrame`, in `frame`. False when decoding must stop: out of memory
    // (recorded in `state`), or `onFrame` returned false.
    bool decode(AVCodecContext* decoder, const AVPacket* packet, AVFrame* frame, RunState& state,
                const std::function<bool(AVFrame*)>& onFrame);

    // Empty, or one line saying what of the stream was lost.
    std::string lossReport() const;

private:
    void recordError(int averror);

    Names names_;
    int64_t framesDecoded_ = 0;
    int64_t errors_ = 0;
    int64_t errorStreak_ = 0;  // decode errors since the last good frame
    int64_t longestStreak_ = 0;
};
