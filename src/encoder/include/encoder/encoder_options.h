#pragma once
// The command line of the FFmpeg program: the options the format presets use (-y -i -vn -vcodec
// -acodec -b -r -sameq -vhook), their modern spellings, what today's formats need (-crf -preset
// -pix_fmt -movflags -tag:v, stream copy with "copy", several inputs chosen with -map, subtitle
// streams), and the probe mode (-in). Parsing only checks and stores; nothing is opened here, so
// a bad command line never leaves a file behind.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/result.h"

extern "C" {
#include <libavutil/rational.h>
}

enum class RunMode { Usage, Probe, Encode };

// The codec name that asks for the input's packets to be written as they are.
inline constexpr const char* kStreamCopy = "copy";

// One -map: streams of input `input`, all of them or those of one type, or one by its index.
struct StreamMap {
    int input = 0;
    char type = 0;          // 0 any, 'v' video, 'a' audio, 's' subtitle
    int index = -1;         // the n-th stream (of `type` when given); -1 = every one
    bool optional = false;  // a trailing '?': matching nothing is no error
    std::string text;       // as written, for messages
};

// name=value pairs handed to a libav component (encoder or muxer), which must use them all.
using AvOptionList = std::vector<std::pair<std::string, std::string>>;

struct EncoderOptions {
    RunMode mode = RunMode::Usage;
    std::string probeFile;  // -in

    std::string inputFile;                 // the first -i: the video the job downloaded
    std::vector<std::string> extraInputs;  // the further -i, in order (input 1, 2, ...)
    std::vector<StreamMap> maps;           // -map in order; empty = the first input's picks
    std::string outputFile;                // the last argument that is not an option
    std::string inputFormat;               // -f before -i
    std::string outputFormat;              // -f after -i; else guessed from the output's extension
    bool overwrite = false;                // -y
    bool neverOverwrite = false;           // -n

    bool disableVideo = false;  // -vn
    bool disableAudio = false;  // -an
    std::string videoCodec;     // encoder name as given; empty = the container's default
    std::string audioCodec;
    std::string subtitleCodec;      // -c:s / -scodec; empty or "copy" = the input's
    bool disableSubtitles = false;  // -sn
    // -b:v; unset = the encoder's default. 0 is meaningful: no bitrate target (constant quality).
    std::optional<int64_t> videoBitrate;
    int64_t audioBitrate = 0;
    // Constant quantiser (-q:v, or the quality -sameq stands for); unset = bitrate control.
    std::optional<double> videoQuality;
    AVRational frameRate{0, 1};  // -r; 0/1 = keep the input's rate
    int width = 0;               // -s
    int height = 0;
    std::string pixelFormat;           // -pix_fmt
    int sampleRate = 0;                // -ar
    int channels = 0;                  // -ac
    std::string videoFilter;           // -vf: a libavfilter graph description
    std::string vhook;                 // -vhook: the module word followed by its own arguments
    AvOptionList videoEncoderOptions;  // -crf -preset -tune -cpu-used -row-mt -deadline
    AvOptionList muxerOptions;         // -movflags
    std::string videoTag;              // -tag:v: the four-character code of the video stream

    int64_t startUs = 0;          // -ss, microseconds from the input's start
    bool seekInput = false;       // -ss given before -i: seek instead of decoding up to it
    int64_t durationUs = -1;      // -t, microseconds of output; -1 = all
    int64_t maxVideoFrames = -1;  // -frames:v; -1 = all
    int threads = 0;              // -threads; 0 = as many as libavcodec thinks useful
    int logLevel = -1;            // -loglevel; -1 = the program's default
    bool hideBanner = false;      // -hide_banner
};

struct ParsedArguments {
    std::vector<std::string> warnings;
    EncoderOptions options;
};

// Reads argv without the program name. Fails with one line naming the offending option. Never
// throws.
Result<ParsedArguments> parseEncoderArguments(const std::vector<std::string>& args);

// The quantiser -sameq stands for (see encoder_options.cpp for the reasoning).
constexpr double kSameQualityQuantiser = 2.0;

// Encoder names of the old command lines mapped to the encoders libavcodec has today
// ("libfaac" -> "aac"); other names come back unchanged.
std::string modernEncoderName(const std::string& name);
