#pragma once
// Picking encoders and the formats they are fed, the way ffmpeg's command line picks them.

#include <string>
#include <vector>

#include "platform/result.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

// The encoder for `name` (an encoder name such as "msmpeg4", or a codec name such as
// "msmpeg4v3"; "libfaac" means the native "aac"), or the encoder of `defaultId` (the
// container's default codec) when `name` is empty. Fails with a reason when there is none of
// `type`.
Result<const AVCodec*> findEncoder(const std::string& name, AVMediaType type, AVCodecID defaultId);

// Pixel formats to offer the encoder, best first: `requested` (-pix_fmt) alone when given,
// else the encoder's list with the source's format moved to the front when it is in it.
std::vector<AVPixelFormat> encoderPixelFormats(const AVCodec* codec, AVPixelFormat source,
                                               AVPixelFormat requested);

// The frame rate to encode at: `requested` (-r) or else the input's; snapped to the encoder's
// list of rates when it has one, and kept within 65535 in numerator and denominator (the
// MPEG-4 family's limit on its time base).
AVRational encoderFrameRate(const AVCodec* codec, AVRational requested, AVRational input);

// Audio parameters: the requested value when set, else the source's, moved to the nearest
// the encoder supports.
int encoderSampleRate(const AVCodec* codec, int requested, int source);
AVSampleFormat encoderSampleFormat(const AVCodec* codec, AVSampleFormat source);
bool encoderChannelLayout(const AVCodec* codec, int requestedChannels,
                          const AVChannelLayout& source, AVChannelLayout& out);
