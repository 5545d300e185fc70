#pragma once
// What the commands that run a job share: the request fields that the output options and the
// settings decide, and running the job on its worker thread to its end while the main thread
// shows its progress, passes on the service's errors and stops it on SIGINT or SIGTERM.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/comment_period.h"
#include "app/job_request_builder.h"
#include "app/run_folders.h"
#include "cli/cli_job_sink.h"
#include "cli/cli_options.h"
#include "cli/cli_settings.h"
#include "job/format_presets.h"
#include "job/nico_thread.h"

// The exit statuses of lumivox-cli.
enum CliExitStatus : int {
    kExitMovieWritten = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitStopped = 130,
};

// Prints "lumivox-cli: TEXT" on stderr.
void printCliError(const std::string& text);

// `path` made absolute against the current folder, normalised.
std::string absolutePath(const std::string& path);

// Reads lumivox.ini of the work folder, printing a warning when it exists but cannot be read.
RenderSettings loadCliSettings(const RunFolders& folders);

// FFmpeg.ini of the work folder, else the built-in formats.
FormatPresetList loadPresets(const RunFolders& folders);

// The preset `typed` names: the exact name, else the first whose name is the same without regard
// to letter case ("avi" is "AVI"). Nothing when none is.
std::optional<std::string> presetNameFor(const FormatPresetList& presets, const std::string& typed);
// The presets whose names are close to `typed` (one holds the other, or a few letters differ),
// for the message about an unknown name.
std::vector<std::string> nearPresetNames(const FormatPresetList& presets, const std::string& typed);

// The job's request (see buildJobRequest) for `settings` with the output `options` in their
// place: the format (a name given must be a preset's exactly; a saved one falls back as the
// format box does), the font (a warning when fontconfig finds no file), the save folder (made
// absolute and created when missing), the size, the count cap, the period and the two ID
// lists. Nothing, with the problem printed and `exitStatus` set, when the format is unknown (a
// usage error) or the save folder cannot be made.
std::optional<JobRequest> outputRequest(const OutputOptions& options, Settings settings,
                                        JobChoices choices, const RunFolders& folders,
                                        int& exitStatus);

// How the progress of a job is shown.
struct JobDisplay {
    // Shown from the job's start until encoding begins ("ダウンロード中...." for a job from a
    // URL, whose download posts its percent); empty: nothing until encoding begins.
    std::string firstStage;
    // The job's comment period, named when it removed every comment.
    CommentPeriod period;
};

// Starts `job` (made with `sink` and `serial`) and waits for its end, showing its progress on
// stderr and each service error as it arrives; SIGINT and SIGTERM stop it (call
// installStopSignalHandlers before any thread is started). Nothing, with the problem printed,
// when the job's thread could not be started.
std::optional<JobOutcome> runJobToEnd(std::unique_ptr<CNicoThread> job, CliJobSink& sink,
                                      uint64_t serial, const JobDisplay& display);

// Prints how a job ended: the produced file's path on stdout when it succeeded, else one line
// with the reason on stderr; before that the stage timings when asked for. Returns the exit
// status.
int reportOutcome(const JobOutcome& outcome, bool timings);
