#include "encoder/encoder_options.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/eval.h>
#include <libavutil/log.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

// -sameq once meant "encode every frame with the quantiser the source frame had". Decoders no
// longer export that, so it becomes a constant quantiser of the best quality that still makes
// sense: for the MPEG-4 family (msmpeg4, mpeg4, wmv2) quantiser 1 roughly doubles the size
// compared with 2 for no visible gain, and 2 is the lower end of the range those encoders use
// on their own (qmin = 2). The presets that say -sameq are the "high quality" ones, so 2.

namespace {

struct Parser {
    std::vector<std::string> warnings;
    EncoderOptions o;
    bool inputSeen = false;
};

using Handler = std::function<std::string(Parser&, const std::string& value)>;

struct OptionDef {
    bool takesValue;
    Handler handle;
};

std::string badValue(const std::string& option, const std::string& value, const char* what) {
    return "Invalid value '" + value + "' for option '" + option + "': " + what;
}

bool parseBitrate(const std::string& text, int64_t& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    // av_strtod understands the SI suffixes ("1000k", "1.5M") the way AVOptions do.
    double v = av_strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !(v > 0) || v > 1e12) {
        return false;
    }
    out = static_cast<int64_t>(std::llround(v));
    return true;
}

bool parsePositiveInt(const std::string& text, int& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v <= 0 || v > 1000000000) {
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

bool parseDurationUs(const std::string& text, int64_t& out) {
    int64_t us = 0;
    if (text.empty() || av_parse_time(&us, text.c_str(), 1) < 0 || us < 0) {
        return false;
    }
    out = us;
    return true;
}

bool parseLogLevel(const std::string& text, int& out) {
    static const std::map<std::string, int> kLevels = {
        {"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC},     {"fatal", AV_LOG_FATAL},
        {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
        {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG},     {"trace", AV_LOG_TRACE}};
    auto it = kLevels.find(text);
    if (it != kLevels.end()) {
        out = it->second;
        return true;
    }
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') {
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

Handler setString(std::string EncoderOptions::*field) {
    return [field](Parser& p, const std::string& v) {
        p.o.*field = v;
        return std::string();
    };
}

Handler setFlag(bool EncoderOptions::*field) {
    return [field](Parser& p, const std::string&) {
        p.o.*field = true;
        return std::string();
    };
}

Handler setBitrate(const char* name, int64_t EncoderOptions::*field) {
    return [name, field](Parser& p, const std::string& v) {
        if (!parseBitrate(v, p.o.*field)) {
            return badValue(name, v, "expected a bitrate such as 1000k");
        }
        return std::string();
    };
}

// A video bitrate of 0 is kept: it asks the encoders that have a constant-quality mode
// (libvpx-vp9 with -crf) to drop their bitrate target.
Handler setVideoBitrate(const char* name) {
    return [name](Parser& p, const std::string& v) {
        int64_t bits = 0;
        if (v != "0" && !parseBitrate(v, bits)) {
            return badValue(name, v, "expected a bitrate such as 1000k");
        }
        p.o.videoBitrate = bits;
        return std::string();
    };
}

// An option handed on to the video encoder under `key`; the encoder judges its value.
Handler addEncoderOption(const char* key) {
    return [key](Parser& p, const std::string& v) {
        p.o.videoEncoderOptions.emplace_back(key, v);
        return std::string();
    };
}

// -map N, N:v, N:a, N:s, N:idx, N:t:idx, each with an optional trailing '?'.
std::string addMap(Parser& p, const std::string& v) {
    StreamMap map;
    map.text = v;
    std::string selector = v;
    if (!selector.empty() && selector.back() == '?') {
        map.optional = true;
        selector.pop_back();
    }
    const auto bad = [&] { return badValue("-map", v, "expected N, N:v, N:a, N:s or N:index"); };
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t colon; (colon = selector.find(':', start)) != std::string::npos;
         start = colon + 1) {
        parts.push_back(selector.substr(start, colon - start));
    }
    parts.push_back(selector.substr(start));
    if (parts.size() > 3) {
        return bad();
    }
    const auto number = [](const std::string& text, int& out) {
        if (text.empty() || text.size() > 6 ||
            text.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        out = std::stoi(text);
        return true;
    };
    if (!number(parts[0], map.input)) {
        return bad();
    }
    size_t next = 1;
    if (next < parts.size() && parts[next].size() == 1 &&
        std::string("vas").find(parts[next][0]) != std::string::npos) {
        map.type = parts[next][0];
        ++next;
    }
    if (next < parts.size() && !number(parts[next++], map.index)) {
        return bad();
    }
    if (next != parts.size()) {
        return bad();
    }
    p.o.maps.push_back(std::move(map));
    return std::string();
}

Handler setQuality(const char* name) {
    return [name](Parser& p, const std::string& v) {
        char* end = nullptr;
        double q = std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0' || !(q >= 1.0 && q <= 31.0)) {
            return badValue(name, v, "expected a quantiser from 1 to 31");
        }
        p.o.videoQuality = q;
        return std::string();
    };
}

Handler setPositive(const char* name, int EncoderOptions::*field, const char* what) {
    return [name, field, what](Parser& p, const std::string& v) {
        if (!parsePositiveInt(v, p.o.*field)) {
            return badValue(name, v, what);
        }
        return std::string();
    };
}

const std::map<std::string, OptionDef>& optionTable() {
    static const std::map<std::string, OptionDef> table = [] {
        std::map<std::string, OptionDef> t;
        t["-y"] = {false, setFlag(&EncoderOptions::overwrite)};
        t["-n"] = {false, setFlag(&EncoderOptions::neverOverwrite)};
        t["-i"] = {true, [](Parser& p, const std::string& v) {
                       if (p.inputSeen) {
                           p.o.extraInputs.push_back(v);
                       } else {
                           p.inputSeen = true;
                           p.o.inputFile = v;
                       }
                       return std::string();
                   }};
        t["-f"] = {true, [](Parser& p, const std::string& v) {
                       (p.inputSeen ? p.o.outputFormat : p.o.inputFormat) = v;
                       return std::string();
                   }};
        t["-vn"] = {false, setFlag(&EncoderOptions::disableVideo)};
        t["-an"] = {false, setFlag(&EncoderOptions::disableAudio)};
        for (const char* name : {"-vcodec", "-c:v", "-codec:v"}) {
            t[name] = {true, setString(&EncoderOptions::videoCodec)};
        }
        for (const char* name : {"-acodec", "-c:a", "-codec:a"}) {
            t[name] = {true, setString(&EncoderOptions::audioCodec)};
        }
        for (const char* name : {"-scodec", "-c:s", "-codec:s"}) {
            t[name] = {true, setString(&EncoderOptions::subtitleCodec)};
        }
        for (const char* name : {"-c", "-codec"}) {
            t[name] = {true, [](Parser& p, const std::string& v) {
                           p.o.videoCodec = p.o.audioCodec = p.o.subtitleCodec = v;
                           return std::string();
                       }};
        }
        t["-sn"] = {false, setFlag(&EncoderOptions::disableSubtitles)};
        t["-map"] = {true, addMap};
        // -b alone is the video bitrate, as it was when the presets were written.
        for (const char* name : {"-b", "-b:v"}) {
            t[name] = {true, setVideoBitrate(name)};
        }
        // Rate control and speed of today's encoders (libx264, libx265, libvpx-vp9, libsvtav1).
        for (const char* name : {"-crf", "-preset", "-tune", "-cpu-used", "-row-mt", "-deadline"}) {
            t[name] = {true, addEncoderOption(name + 1)};
        }
        t["-movflags"] = {true, [](Parser& p, const std::string& v) {
                              p.o.muxerOptions.emplace_back("movflags", v);
                              return std::string();
                          }};
        for (const char* name : {"-tag:v", "-vtag"}) {
            t[name] = {true, [name](Parser& p, const std::string& v) {
                           if (v.empty() || v.size() > 4) {
                               return badValue(name, v, "expected a four-character code");
                           }
                           p.o.videoTag = v;
                           return std::string();
                       }};
        }
        for (const char* name : {"-ab", "-b:a"}) {
            t[name] = {true, setBitrate(name, &EncoderOptions::audioBitrate)};
        }
        for (const char* name : {"-q:v", "-qscale", "-qscale:v", "-q"}) {
            t[name] = {true, setQuality(name)};
        }
        t["-sameq"] = {false, [](Parser& p, const std::string&) {
                           if (!p.o.videoQuality) {
                               p.o.videoQuality = kSameQualityQuantiser;
                           }
                           return std::string();
                       }};
        t["-r"] = {true, [](Parser& p, const std::string& v) {
                       AVRational r{0, 1};
                       if (av_parse_video_rate(&r, v.c_str()) < 0 || r.num <= 0 || r.den <= 0) {
                           return badValue("-r", v, "expected a frame rate such as 24 or 29.97");
                       }
                       p.o.frameRate = r;
                       return std::string();
                   }};
        t["-s"] = {true, [](Parser& p, const std::string& v) {
                       int w = 0, h = 0;
                       if (av_parse_video_size(&w, &h, v.c_str()) < 0) {
                           return badValue("-s", v, "expected a frame size such as 640x480");
                       }
                       p.o.width = w;
                       p.o.height = h;
                       return std::string();
                   }};
        t["-pix_fmt"] = {true, [](Parser& p, const std::string& v) {
                             if (av_get_pix_fmt(v.c_str()) == AV_PIX_FMT_NONE) {
                                 return badValue("-pix_fmt", v, "unknown pixel format");
                             }
                             p.o.pixelFormat = v;
                             return std::string();
                         }};
        t["-ar"] = {
            true, setPositive("-ar", &EncoderOptions::sampleRate, "expected a sample rate in Hz")};
        t["-ac"] = {true,
                    setPositive("-ac", &EncoderOptions::channels, "expected a number of channels")};
        for (const char* name : {"-vf", "-filter:v"}) {
            t[name] = {true, setString(&EncoderOptions::videoFilter)};
        }
        t["-vhook"] = {true, setString(&EncoderOptions::vhook)};
        t["-ss"] = {true, [](Parser& p, const std::string& v) {
                        if (!parseDurationUs(v, p.o.startUs)) {
                            return badValue("-ss", v, "expected a time such as 90 or 00:01:30.5");
                        }
                        p.o.seekInput = !p.inputSeen;
                        return std::string();
                    }};
        t["-t"] = {true, [](Parser& p, const std::string& v) {
                       if (!parseDurationUs(v, p.o.durationUs)) {
                           return badValue("-t", v, "expected a duration such as 90 or 00:01:30.5");
                       }
                       return std::string();
                   }};
        for (const char* name : {"-frames:v", "-vframes"}) {
            t[name] = {true, [name](Parser& p, const std::string& v) {
                           int frames = 0;
                           if (!parsePositiveInt(v, frames)) {
                               return badValue(name, v, "expected a number of frames");
                           }
                           p.o.maxVideoFrames = frames;
                           return std::string();
                       }};
        }
        t["-threads"] = {true, [](Parser& p, const std::string& v) {
                             char* end = nullptr;
                             long n = std::strtol(v.c_str(), &end, 10);
                             if (v == "auto") {
                                 n = 0;
                             } else if (v.empty() || *end != '\0' || n < 0 || n > 64) {
                                 return badValue("-threads", v, "expected 0 to 64 or auto");
                             }
                             p.o.threads = static_cast<int>(n);
                             return std::string();
                         }};
        for (const char* name : {"-loglevel", "-v"}) {
            t[name] = {true, [name](Parser& p, const std::string& v) {
                           if (!parseLogLevel(v, p.o.logLevel)) {
                               return badValue(name, v, "expected quiet, error, warning, info...");
                           }
                           return std::string();
                       }};
        }
        t["-hide_banner"] = {false, setFlag(&EncoderOptions::hideBanner)};
        // Standard input is never read; accepted so that copied ffmpeg command lines work.
        t["-nostdin"] = {false, [](Parser&, const std::string&) { return std::string(); }};
        return t;
    }();
    return table;
}

bool isOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

Failure fail(std::string error) {
    return Failure{std::move(error)};
}

Result<ParsedArguments> parseProbe(const std::vector<std::string>& args) {
    // -in "file": any further argument is a mistake rather than something to ignore.
    std::string file;
    bool hide = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-in") {
            if (i + 1 >= args.size()) {
                return fail("Missing argument for option '-in'");
            }
            if (!file.empty()) {
                return fail("Option '-in' given twice");
            }
            file = args[++i];
        } else if (args[i] == "-hide_banner") {
            hide = true;
        } else {
            return fail("Option '-in' (probe) cannot be combined with '" + args[i] + "'");
        }
    }
    ParsedArguments r;
    r.options.mode = RunMode::Probe;
    r.options.probeFile = file;
    r.options.hideBanner = hide;
    return r;
}

}  // namespace

std::string modernEncoderName(const std::string& name) {
    if (name == "libfaac") {
        return "aac";
    }
    return name;
}

Result<ParsedArguments> parseEncoderArguments(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "-in") {
            return parseProbe(args);
        }
    }
    Parser p;
    if (args.empty()) {
        return ParsedArguments{};  // no arguments: the caller prints the usage
    }
    std::vector<std::string> outputs;
    const auto& table = optionTable();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!isOption(arg)) {
            outputs.push_back(arg);
            continue;
        }
        auto it = table.find(arg);
        if (it == table.end()) {
            return fail("Unrecognized option '" + arg + "'");
        }
        std::string value;
        if (it->second.takesValue) {
            if (i + 1 >= args.size()) {
                return fail("Missing argument for option '" + arg + "'");
            }
            value = args[++i];
        }
        std::string error = it->second.handle(p, value);
        if (!error.empty()) {
            return fail(error);
        }
    }
    if (!p.inputSeen || p.o.inputFile.empty()) {
        return fail("No input file given (use -i file)");
    }
    if (outputs.empty()) {
        return fail("No output file given: the last argument must name the output file");
    }
    for (size_t k = 0; k + 1 < outputs.size(); ++k) {
        p.warnings.push_back("Ignoring extra argument '" + outputs[k] +
                             "': only one output file is written");
    }
    if (p.o.overwrite && p.o.neverOverwrite) {
        return fail("Options '-y' and '-n' contradict each other");
    }
    if (p.o.disableVideo && p.o.disableAudio && p.o.maps.empty()) {
        return fail("Options '-vn' and '-an' together leave nothing to write");
    }
    for (const StreamMap& map : p.o.maps) {
        if (map.input > static_cast<int>(p.o.extraInputs.size())) {
            return fail("Option '-map " + map.text + "' names input " + std::to_string(map.input) +
                        ", but there are only " + std::to_string(p.o.extraInputs.size() + 1));
        }
    }
    p.o.outputFile = outputs.back();
    p.o.mode = RunMode::Encode;
    ParsedArguments r;
    r.warnings = std::move(p.warnings);
    r.options = std::move(p.o);
    return r;
}
