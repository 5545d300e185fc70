#pragma once
// The command line of the FFmpeg program: the options the format presets use (-y -i -vn -vcodec
// -acodec -b -r -sameq -vhook), their modern spellings, and the probe mode (-in). Parsing only
// checks and stores; nothing is opened here, so a bad command line never leaves a file behind.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"

extern "C" {
#include <libavutil/rational.h>
}

enum class RunMode { Usage, Probe, Encode };

struct EncoderOptions {
    RunMode mode = RunMode::Usage;
    std::string probeFile;  // -in

    std::string inputFile;        // -i
    std::string outputFile;       // the last argument that is not an option
    std::string inputFormat;      // -f before -i
    std::string outputFormat;     // -f after -i; else guessed from the output's extension
    bool overwrite = false;       // -y
    bool neverOverwrite = false;  // -n

    bool disableVideo = false;  // -vn
    bool disableAudio = false;  // -an
    std::string videoCodec;     // encoder name as given; empty = the container's default
    std::string audioCodec;
    int64_t videoBitrate = 0;  // bits per second; 0 = the encoder's default
    int64_t audioBitrate = 0;
    // Constant quantiser (-q:v, or the quality -sameq stands for); unset = bitrate control.
    std::optional<double> videoQuality;
    AVRational frameRate{0, 1};  // -r; 0/1 = keep the input's rate
    int width = 0;               // -s
    int height = 0;
    std::string pixelFormat;  // -pix_fmt
    int sampleRate = 0;       // -ar
    int channels = 0;         // -ac
    std::string videoFilter;  // -vf: a libavfilter graph description
    std::string vhook;        // -vhook: the module word followed by its own arguments

    int64_t startUs = 0;      // -ss, microseconds from the input's start
    bool seekInput = false;   // -ss given before -i: seek instead of decoding up to it
    int64_t durationUs = -1;  // -t, microseconds of output; -1 = all
    int threads = 0;          // -threads; 0 = as many as libavcodec thinks useful
    int logLevel = -1;        // -loglevel; -1 = the program's default
    bool hideBanner = false;  // -hide_banner
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
