#include "cli/render_command.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "cli/cli_job_sink.h"
#include "job/local_render_job.h"
#include "job/nico_thread.h"
#include "platform/stop_signals.h"

int runRenderCommand(const RenderOptions& options, const RunFolders& folders) {
    const RenderSettings settings = loadCliSettings(folders);
    int exitStatus = kExitFailed;
    std::optional<JobRequest> request = outputRequest(options, settings, {}, folders, exitStatus);
    if (!request) {
        return exitStatus;
    }

    if (options.stillSeconds) {
        request->formatTemplate = stillTemplate(*options.stillSeconds);
    }
    const JobDisplay display{{}, CommentPeriod{request->periodStart, request->periodEnd}};
    installStopSignalHandlers();
    constexpr uint64_t kSerial = 1;
    CliJobSink sink;
    auto job = std::make_unique<LocalRenderJob>(std::move(*request), sink, kSerial,
                                                absolutePath(options.videoPath),
                                                absolutePath(options.commentPath));
    // No download here: the only stage with progress is the encoding.
    const std::optional<JobOutcome> outcome = runJobToEnd(std::move(job), sink, kSerial, display);
    if (!outcome) {
        return kExitFailed;
    }
    return reportOutcome(*outcome, options.timings);
}

int runListFormatsCommand(const RunFolders& folders, bool verbose) {
    const FormatPresetList presets = loadPresets(folders);
    for (const FormatPreset& preset : presets.presets()) {
        if (verbose) {
            std::fprintf(stdout, "%s\t%s\n", preset.name.c_str(),
                         describePresetTemplate(preset.argTemplate).c_str());
        } else {
            std::fprintf(stdout, "%s\n", preset.name.c_str());
        }
    }
    return std::fflush(stdout) == 0 ? kExitMovieWritten : kExitFailed;
}
