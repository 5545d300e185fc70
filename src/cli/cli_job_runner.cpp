#include "cli/cli_job_runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "app/comment_count_texts.h"
#include "app/comment_period.h"
#include "app/font_faces.h"
#include "cli/cli_log_sink.h"
#include "cli/progress_display.h"
#include "job/job_status_texts.h"
#include "platform/stop_signals.h"
#include "platform/terminal.h"
#include "platform/text_conv.h"
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

// Edits (insertions, deletions, substitutions of bytes) that turn `a` into `b`.
size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::optional<std::string> presetNameFor(const FormatPresetList& presets,
                                         const std::string& typed) {
    std::optional<std::string> sameLetters;
    for (const FormatPreset& preset : presets.presets()) {
        if (preset.name == typed) {
            return preset.name;
        }
        if (!sameLetters && asciiLower(preset.name) == asciiLower(typed)) {
            sameLetters = preset.name;
        }
    }
    return sameLetters;
}

std::vector<std::string> nearPresetNames(const FormatPresetList& presets,
                                         const std::string& typed) {
    const std::string wanted = asciiLower(typed);
    std::vector<std::string> near;
    for (const FormatPreset& preset : presets.presets()) {
        const std::string name = asciiLower(preset.name);
        const bool related = !wanted.empty() && (name.find(wanted) != std::string::npos ||
                                                 wanted.find(name) != std::string::npos);
        if (related || editDistance(name, wanted) <= std::max<size_t>(2, wanted.size() / 3)) {
            near.push_back(preset.name);
        }
    }
    return near;
}

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
    const std::optional<std::string> chosenFormat =
        options.formatName ? presetNameFor(presets, *options.formatName) : std::nullopt;
    if (options.formatName && !chosenFormat) {
        const std::vector<std::string> near = nearPresetNames(presets, *options.formatName);
        std::string names;
        for (const std::string& name : near) {
            names += (names.empty() ? "" : ", ") + name;
        }
        printCliError("unknown format \"" + *options.formatName + "\"" +
                      (near.empty() ? std::string(" (") : "; near names: " + names + " (") +
                      kProgramName + " --list-formats shows the formats)");
        exitStatus = kExitUsage;
        return std::nullopt;
    }
    settings.formatName = chosenFormat.value_or(formatNameFor(presets, settings.formatName));

    settings.fontFace = options.fontFace.value_or(settings.fontFace);
    if (locateFontFace(settings.fontFace).path.empty()) {
        printCliError("no font file found for the face \"" + settings.fontFace +
                      "\"; the comments are laid out as boxes and may not be drawn");
    } else if (options.fontFace) {
        if (const std::optional<std::string> standIn = standInFace(*options.fontFace)) {
            printCliError("no installed font is named \"" + *options.fontFace + "\"; \"" +
                          *standIn + "\" stands in for it");
        }
    }

    // The job makes a missing save folder once it has something to put there, so that a run
    // that fails earlier leaves nothing behind.
    settings.saveFolder = absolutePath(options.saveFolder.value_or(settings.saveFolder));
    std::error_code unused;
    if (fs::exists(settings.saveFolder, unused) && !fs::is_directory(settings.saveFolder, unused)) {
        printCliError("the save folder " + settings.saveFolder + " is a file, not a folder");
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
    if (options.moviePath) {
        if (isNoEncodeTemplate(request.formatTemplate)) {
            printCliError("-o names the encoded movie, and the format \"" + settings.formatName +
                          "\" encodes none");
            exitStatus = kExitUsage;
            return std::nullopt;
        }
        request.moviePath = absolutePath(*options.moviePath);
    }
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
            case CliJobMessage::Kind::CommentsCounted:
                display.finish();
                printCliError(commentCountLine(message->counts, FrontEnd::CommandLine));
                if (const std::optional<std::string> why =
                        noCommentDrawnLine(message->counts, shown.period, FrontEnd::CommandLine)) {
                    printCliError(*why);
                }
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
    return outcome.value_or(JobOutcome{JobResult::Stopped, {}, {}, {}, {}});
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
