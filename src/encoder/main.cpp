// The FFmpeg program: encodes the movie of a job (optionally through the comment frame
// filter) and probes videos for the job (-in). See encoder_options.h for the command line.

#include <cstdio>
#include <string>
#include <vector>

#include "encoder/console.h"
#include "encoder/encoder_options.h"
#include "encoder/media_probe.h"
#include "encoder/transcoder.h"
#include "platform/log.h"
#include "platform/stop_signals.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {

std::string bannerLine() {
    auto version = [](unsigned v) {
        return std::to_string(AV_VERSION_MAJOR(v)) + "." + std::to_string(AV_VERSION_MINOR(v)) +
               "." + std::to_string(AV_VERSION_MICRO(v));
    };
    return std::string("Lumivox FFmpeg ") + LUMIVOX_VERSION + " (libavformat " +
           version(avformat_version()) + ", libavcodec " + version(avcodec_version()) + ")";
}

const char* const kUsage =
    "usage: FFmpeg [-y] -i input [options] output\n"
    "       FFmpeg -in input            (print the probe block for the job)\n"
    "options: -vcodec/-c:v -acodec/-c:a -b/-b:v -ab/-b:a -q:v -sameq -r -s -pix_fmt -ar -ac\n"
    "         -vn -an -t -ss -f -vf -vhook \"module args\" -threads -loglevel -hide_banner -n\n"
    "         -crf -preset -tune -cpu-used -row-mt -deadline -movflags -tag:v -frames:v\n"
    "         -c/-codec copy, -c:s/-scodec, -sn, -map N[:v|:a|:s][:index][?] (several -i)";

// The encoder's log (its own records and the frame filter's) leaves as log lines on standard
// error, where the job that started it takes them into its own log.
class LogLineSink final : public LogSink {
public:
    void write(const LogRecord& record) override { console::line(formatLogLine(record)); }
};

std::string commandText(const std::vector<std::string>& args) {
    std::string text = "FFmpeg";
    for (const std::string& arg : args) {
        text += (arg.find(' ') == std::string::npos ? " " + arg : " \"" + arg + "\"");
    }
    return text;
}

int runProbe(const EncoderOptions& o) {
    const Result<ProbeFacts> facts = probeMedia(o.probeFile);
    if (!facts) {
        console::message(facts.error());
        return 1;
    }
    std::string text = o.hideBanner ? "" : bannerLine() + "\n";
    text += probeBlockText(*facts);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const Result<ParsedArguments> parsed = parseEncoderArguments(args);
    const EncoderOptions o = parsed ? parsed->options : EncoderOptions{};
    // Our own messages show down to the info level; the libraries' chatter from warnings up.
    console::setLevel(o.logLevel >= 0 ? o.logLevel : AV_LOG_INFO);
    av_log_set_level(o.logLevel >= 0 ? o.logLevel : AV_LOG_WARNING);
    if (!parsed) {
        console::message(bannerLine());
        console::message(parsed.error());
        return 1;
    }
    if (o.mode == RunMode::Probe) {
        return runProbe(o);
    }
    if (!o.hideBanner) {
        console::message(bannerLine(), AV_LOG_INFO);
    }
    if (o.mode == RunMode::Usage) {
        console::message(kUsage, AV_LOG_ERROR);
        return 1;
    }
    for (const std::string& w : parsed->warnings) {
        console::message(w, AV_LOG_WARNING);
    }
    // Not for -in: the probe block is read by the job, and nothing else belongs in it.
    static LogLineSink logLines;
    setLogSink(&logLines);
    setLogThreshold(logThresholdFromParent(LogLevel::Warning));
    logDebug(LogComponent::Encoder, commandText(args));  // the job logs the command it gave
    installStopSignalHandlers(SecondStopSignal::EndsProcess);
    ignoreBrokenPipeSignal();
    return Transcoder(o).run();
}
