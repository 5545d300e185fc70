#include "cli/cli_job_runner.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/comment_period.h"
#include "cli/progress_display.h"
#include "platform/stop_signals.h"
#include "platform/terminal.h"
#include "text/font_locator.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgramName = "lumivox-cli";
constexpr const char* kEncodingStage = "エンコード中...";
// How often the loop looks for a stop signal while no message arrives.
constexpr std::chrono::milliseconds kLoopPoll{100};

std::string seconds(const std::optional<double>& value) {
    if (!value) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", *value);
    return text;
}

void printTimings(const StageTimings& t) {
    std::fprintf(stderr, "timings: probe %s, layout %s, overlay files %s, encoder %s\n",
                 seconds(t.probe).c_str(), seconds(t.layout).c_str(),
                 seconds(t.overlayFiles).c_str(), seconds(t.encoder).c_str());
}

// The template of the format named on the command line (exactly, as the format box compares),
// else of the saved "Format" setting, which falls back to the first format as the format box
// does. Nothing for a name given on the command line that no format has.
std::optional<std::string> chooseTemplate(const FormatPresetList& presets,
                                          const std::optional<std::string>& requested,
                                          const std::string& saved) {
    if (requested) {
        for (const FormatPreset& preset : presets.presets()) {
            if (preset.name == *requested) {
                return preset.argTemplate;
            }
        }
        return std::nullopt;
    }
    return presets.presets().at(presets.indexOfName(saved)).argTemplate;
}

}  // namespace

void printCliError(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, text.c_str());
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return (error ? fs::path(path) : absolute).lexically_normal().string();
}

RenderSettings loadCliSettings(const RunFolders& folders) {
    std::string warning;
    RenderSettings settings = loadRenderSettings(
        (fs::path(folders.workFolder) / "lumivox.ini").string(), folders.desktopFolder, warning);
    if (!warning.empty()) {
        printCliError(warning);
    }
    return settings;
}

FormatPresetList loadPresets(const RunFolders& folders) {
    FormatPresetList presets;
    presets.loadOrBuiltIn(fs::path(folders.workFolder) / "FFmpeg.ini");
    return presets;
}

std::optional<JobRequest> outputRequest(const OutputOptions& options,
                                        const RenderSettings& settings, const RunFolders& folders,
                                        int& exitStatus) {
    const FormatPresetList presets = loadPresets(folders);
    const std::optional<std::string> formatTemplate =
        chooseTemplate(presets, options.formatName, settings.formatName);
    if (!formatTemplate) {
        printCliError("unknown format \"" + *options.formatName + "\" (" + kProgramName +
                      " --list-formats shows the formats)");
        exitStatus = kExitUsage;
        return std::nullopt;
    }

    const std::string face = options.fontFace.value_or(settings.fontFace);
    const FontLocation font = locateFontFace(face);
    if (font.path.empty()) {
        printCliError("no font file found for the face \"" + face +
                      "\"; the comments are laid out as boxes and may not be drawn");
    }

    const std::string saveFolder = absolutePath(options.saveFolder.value_or(settings.saveFolder));
    std::error_code created;
    fs::create_directories(saveFolder, created);
    if (created || !fs::is_directory(saveFolder)) {
        printCliError("the save folder " + saveFolder + " cannot be created" +
                      (created ? ": " + created.message() : std::string()));
        exitStatus = kExitFailed;
        return std::nullopt;
    }

    CommentPeriod period =
        options.allPeriods ? unlimitedCommentPeriod() : defaultCommentPeriod(std::time(nullptr));
    period.start = options.periodStart.value_or(period.start);
    period.end = options.periodEnd.value_or(period.end);

    JobRequest request;
    request.saveFolder = saveFolder;
    request.fontsFolder = font.folder;
    request.fontFile = font.fileName;
    request.fontFaceIndex = font.faceIndex;
    request.fontFace = face;
    request.fontSizePt = options.fontSizePt.value_or(settings.fontSizePt);
    request.workFolder = withTrailingSeparator(folders.workFolder);
    request.programFolder = folders.programFolder;
    request.formatTemplate = *formatTemplate;
    request.hideOldComments =
        options.hideOldComments.value_or(settings.hideOldComments != 0) ? 1 : 0;
    request.periodStart = period.start;
    request.periodEnd = period.end;
    request.ngList = options.ngList;
    request.extractList = options.extractList;
    return request;
}

std::optional<JobOutcome> runJobToEnd(std::unique_ptr<CNicoThread> job, CliJobSink& sink,
                                      uint64_t serial, const JobDisplay& shown) {
    ProgressDisplay display(stderr, isTerminal(stderr));
    if (!shown.firstStage.empty()) {
        display.stage(shown.firstStage);
    }
    if (!job->start()) {
        display.finish();
        printCliError("the job's thread could not be started");
        return std::nullopt;
    }
    std::optional<JobOutcome> outcome;
    while (!outcome) {
        if (receivedStopSignal() != 0) {
            display.finish();
            std::fprintf(stderr, "停止中...\n");
            outcome = CNicoThread::StopAndDelete(job);
            break;
        }
        const std::optional<CliJobMessage> message = sink.next(kLoopPoll);
        if (!message || message->jobSerial != serial) {
            continue;
        }
        switch (message->kind) {
            case CliJobMessage::Kind::EncodingBegins:
                display.finish();  // the download's line stays as it ended
                display.stage(kEncodingStage);
                break;
            case CliJobMessage::Kind::Progress:
                display.progress(message->percent);
                break;
            case CliJobMessage::Kind::ServiceError:
                display.finish();
                printCliError(message->text);
                break;
            case CliJobMessage::Kind::Done:
                outcome = CNicoThread::StopAndDelete(job);
                if (outcome && outcome->result == JobResult::Succeeded) {
                    display.complete();  // the last status line may stop short of the total
                }
                break;
        }
    }
    display.finish();
    return outcome.value_or(JobOutcome{JobResult::Stopped, {}, {}, {}});
}

int reportOutcome(const JobOutcome& outcome, bool timings) {
    if (timings) {
        printTimings(outcome.timings);
    }
    switch (outcome.result) {
        case JobResult::Succeeded:
            std::fprintf(stdout, "%s\n", outcome.moviePath.c_str());
            return std::fflush(stdout) == 0 ? kExitMovieWritten : kExitFailed;
        case JobResult::Stopped:
            printCliError("stopped");
            return kExitStopped;
        case JobResult::Failed:
            printCliError(outcome.reason +
                          (outcome.moviePath.empty()
                               ? std::string()
                               : " (incomplete movie: " + outcome.moviePath + ")"));
            return kExitFailed;
    }
    return kExitFailed;
}
