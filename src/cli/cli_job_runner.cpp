#include "cli/cli_job_runner.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/comment_period.h"
#include "cli/cli_log_sink.h"
#include "cli/progress_display.h"
#include "job/job_status_texts.h"
#include "platform/stop_signals.h"
#include "platform/terminal.h"
#include "platform/work_file_names.h"
#include "text/font_locator.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgramName = "lumivox-cli";
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

// Whether a preset is named exactly `name` (the format box compares bytes too).
bool hasPreset(const FormatPresetList& presets, const std::string& name) {
    for (const FormatPreset& preset : presets.presets()) {
        if (preset.name == name) {
            return true;
        }
    }
    return false;
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
    RenderSettings settings =
        loadRenderSettings((fs::path(folders.workFolder) / kSettingsFileName).string(),
                           folders.desktopFolder, warning);
    if (!warning.empty()) {
        printCliError(warning);
    }
    return settings;
}

FormatPresetList loadPresets(const RunFolders& folders) {
    FormatPresetList presets;
    presets.loadOrBuiltIn(fs::path(folders.workFolder) / kPresetsFileName);
    return presets;
}

std::optional<JobRequest> outputRequest(const OutputOptions& options, Settings settings,
                                        JobChoices choices, const RunFolders& folders,
                                        int& exitStatus) {
    const FormatPresetList presets = loadPresets(folders);
    if (options.formatName && !hasPreset(presets, *options.formatName)) {
        printCliError("unknown format \"" + *options.formatName + "\" (" + kProgramName +
                      " --list-formats shows the formats)");
        exitStatus = kExitUsage;
        return std::nullopt;
    }
    settings.formatName = options.formatName.value_or(formatNameFor(presets, settings.formatName));

    settings.fontFace = options.fontFace.value_or(settings.fontFace);
    if (locateFontFace(settings.fontFace).path.empty()) {
        printCliError("no font file found for the face \"" + settings.fontFace +
                      "\"; the comments are laid out as boxes and may not be drawn");
    }

    settings.saveFolder = absolutePath(options.saveFolder.value_or(settings.saveFolder));
    std::error_code created;
    fs::create_directories(settings.saveFolder, created);
    if (created || !fs::is_directory(settings.saveFolder)) {
        printCliError("the save folder " + settings.saveFolder + " cannot be created" +
                      (created ? ": " + created.message() : std::string()));
        exitStatus = kExitFailed;
        return std::nullopt;
    }
    settings.fontSizePt = options.fontSizePt.value_or(settings.fontSizePt);
    settings.hideOldComments = options.hideOldComments.value_or(settings.hideOldComments);
    settings.commandWords = options.commandWords.value_or(settings.commandWords);

    choices.period =
        options.allPeriods ? unlimitedCommentPeriod() : defaultCommentPeriod(std::time(nullptr));
    choices.period.start = options.periodStart.value_or(choices.period.start);
    choices.period.end = options.periodEnd.value_or(choices.period.end);
    choices.ngList = options.ngList;
    choices.extractList = options.extractList;
    JobRequest request = buildJobRequest(settings, presets, choices, folders);
    request.layoutSeed = options.layoutSeed;
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
    // The job's log records are printed between the progress lines.
    cliLog().hold(true);
    const auto printRecords = [&display] {
        if (cliLog().hasHeld()) {
            display.finish();
            cliLog().printHeld();
        }
    };
    std::optional<JobOutcome> outcome;
    while (!outcome) {
        if (receivedStopSignal() != 0) {
            display.finish();
            std::fprintf(stderr, "%s\n", kStoppingStatus);
            outcome = CNicoThread::StopAndDelete(job);
            break;
        }
        const std::optional<CliJobMessage> message = sink.next(kLoopPoll);
        // What the job logged before it posted the message comes first.
        printRecords();
        if (!message || message->jobSerial != serial) {
            continue;
        }
        switch (message->kind) {
            case CliJobMessage::Kind::EncodingBegins:
                display.finish();  // the download's line stays as it ended
                display.stage(kEncodingStatus);
                break;
            case CliJobMessage::Kind::Progress:
                display.progress(message->percent, message->text);
                break;
            case CliJobMessage::Kind::Notice:
                display.finish();
                printCliError(message->text);
                display.redrawOpenStage();
                break;
            case CliJobMessage::Kind::ServiceError:
                break;  // the job logs it as an error of the service, printed with the log

            case CliJobMessage::Kind::Done:
                outcome = CNicoThread::StopAndDelete(job);
                if (outcome && outcome->result == JobResult::Succeeded) {
                    display.complete();  // the last status line may stop short of the total
                }
                break;
        }
    }
    printRecords();
    display.finish();
    cliLog().hold(false);
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
