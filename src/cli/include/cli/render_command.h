#pragma once
// The local commands of lumivox-cli: rendering a local video with a comment file, and listing
// the output formats. Both run on the program's main thread and print to stdout and stderr.

#include "app/run_folders.h"
#include "cli/cli_job_runner.h"
#include "cli/cli_options.h"

// Runs the job's comment and encoding stages on the files of `options` and waits for its end,
// showing progress on stderr; SIGINT and SIGTERM stop the job (the encoder is terminated and
// reaped). Prints the movie's path on stdout when it was written, else one line with the
// reason on stderr.
int runRenderCommand(const RenderOptions& options, const RunFolders& folders);

// Prints the names of the output formats (FFmpeg.ini in the work folder, or the built-in ones),
// one per line; `verbose` adds what each one makes (codecs, frame rate, extension, comments).
int runListFormatsCommand(const RunFolders& folders, bool verbose = false);
