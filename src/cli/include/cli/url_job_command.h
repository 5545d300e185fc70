#pragma once
// lumivox-cli URL: the whole job of the desktop program's Start button, without a window.

#include <optional>
#include <string>

#include "app/run_folders.h"
#include "cli/cli_options.h"
#include "job/job_request.h"
#include "platform/result.h"
#include "service/cookie_store.h"

// Runs one job for the video page `options.pageUrl` with the account, the service's hosts and
// the output settings of lumivox.ini as the options override them: login, lookup with the
// comment thread, comment reading, page visit, download, and unless the format is "無変換" the
// encoding. Shows the download's and the encoding's progress and every service error on
// stderr; SIGINT and SIGTERM stop the job within about a second. Prints the produced file's
// path on stdout when the job succeeded, else one line with the reason on stderr. Returns the
// exit status (CliExitStatus).
int runUrlJobCommand(const UrlJobOptions& options, const RunFolders& folders);

// The request of such a job: lumivox.ini of the work folder with the options in their place,
// built as every front end builds it, with `cookies` as its cookie store. Nothing, with the
// problem printed and `exitStatus` set, when the options cannot be satisfied.
std::optional<JobRequest> urlJobRequest(const UrlJobOptions& options, const RunFolders& folders,
                                        CookieStore& cookies, int& exitStatus);

// The first line of `path` ("-": standard input) without its line end, for a secret named
// `what` in the failure ("password" of --password-file, "session cookie").
Result<std::string> readSecretFile(const std::string& path, const std::string& what);
