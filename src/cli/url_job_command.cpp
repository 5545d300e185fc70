#include "cli/url_job_command.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string_view>
#include <utility>

#include "cli/cli_job_runner.h"
#include "cli/cli_job_sink.h"
#include "job/nico_thread.h"
#include "platform/stop_signals.h"

namespace fs = std::filesystem;

namespace {

// The job's first stage with progress, shown from its start as the dialog shows it.
constexpr const char* kDownloadStage = "ダウンロード中....";

// The reasons of a login that gave no cookie (see the job's login stage), for the hints below.
constexpr std::string_view kNoCookieWithoutAutoLogin =
    "the login gave no cookie (automatic login is off";
constexpr std::string_view kNoCookieCheckAccount =
    "the login gave no cookie (check the mail address and password)";

struct Account {
    std::string mail;
    std::string password;
    int32_t noAutoLogin = 1;
};

// The account of the options, else of the settings. Giving a mail address or a password on the
// command line asks for a login with it: automatic login is on unless --no-auto-login says no.
std::optional<Account> chooseAccount(const ServiceOptions& options,
                                     const RenderSettings& settings) {
    Account account;
    account.mail = options.mail.value_or(settings.mail);
    account.password = options.password.value_or(settings.password);
    if (options.passwordFile) {
        std::string error;
        const std::optional<std::string> password = readPasswordFile(*options.passwordFile, error);
        if (!password) {
            printCliError(error);
            return std::nullopt;
        }
        account.password = *password;
    }
    const bool credentialsGiven = options.mail || options.password || options.passwordFile;
    if (options.noAutoLogin) {
        account.noAutoLogin = *options.noAutoLogin ? 1 : 0;
    } else {
        account.noAutoLogin = credentialsGiven ? 0 : settings.noAutoLogin;
    }
    return account;
}

// The service's hosts of the settings, with the options' in their place. A relative CaFile of
// lumivox.ini is taken from the work folder (the current folder of the desktop program's jobs);
// one of the command line from the current folder.
ServiceEndpoints chooseEndpoints(const ServiceOptions& options, const RenderSettings& settings,
                                 const RunFolders& folders) {
    ServiceEndpoints endpoints = settings.service;
    if (!endpoints.caFile.empty() && fs::path(endpoints.caFile).is_relative()) {
        endpoints.caFile = (fs::path(folders.workFolder) / endpoints.caFile).string();
    }
    endpoints.loginBase = options.loginHost.value_or(endpoints.loginBase);
    endpoints.webBase = options.webHost.value_or(endpoints.webBase);
    if (options.caFile) {
        endpoints.caFile = absolutePath(*options.caFile);
    }
    return endpoints;
}

// A line that says what to change after a login that gave no cookie.
void printLoginHint(const JobOutcome& outcome, const Account& account) {
    if (outcome.result != JobResult::Failed) {
        return;
    }
    if (outcome.reason.rfind(kNoCookieWithoutAutoLogin, 0) == 0) {
        printCliError(
            "automatic login is off (\"Login=1\" in lumivox.ini); --auto-login, or giving "
            "--mail and --password, turns it on");
    } else if (outcome.reason == kNoCookieCheckAccount &&
               (account.mail.empty() || account.password.empty())) {
        printCliError(
            "no mail address or no password is set (--mail, --password or --password-file, or "
            "\"Mail\" and \"Password\" in lumivox.ini)");
    }
}

}  // namespace

std::optional<std::string> readPasswordFile(const std::string& path, std::string& error) {
    std::string line;
    if (path == "-") {
        std::getline(std::cin, line);
        if (std::cin.bad()) {
            error = "the password cannot be read from standard input";
            return std::nullopt;
        }
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "the password file " + path + " cannot be read: " + std::strerror(errno);
            return std::nullopt;
        }
        std::getline(in, line);
        if (in.bad()) {
            error = "the password file " + path + " cannot be read";
            return std::nullopt;
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

int runUrlJobCommand(const UrlJobOptions& options, const RunFolders& folders) {
    const RenderSettings settings = loadCliSettings(folders);
    const std::optional<Account> account = chooseAccount(options.service, settings);
    if (!account) {
        return kExitFailed;
    }
    int exitStatus = kExitFailed;
    std::optional<JobRequest> request = outputRequest(options, settings, folders, exitStatus);
    if (!request) {
        return exitStatus;
    }
    request->pageUrl = options.pageUrl;
    request->mail = account->mail;
    request->password = account->password;
    request->noAutoLogin = account->noAutoLogin;
    request->endpoints = chooseEndpoints(options.service, settings, folders);

    installStopSignalHandlers();
    constexpr uint64_t kSerial = 1;
    CliJobSink sink;
    auto job = std::make_unique<CNicoThread>(std::move(*request), sink, kSerial);
    const std::optional<JobOutcome> outcome =
        runJobToEnd(std::move(job), sink, kSerial, JobDisplay{kDownloadStage});
    if (!outcome) {
        return kExitFailed;
    }
    const int status = reportOutcome(*outcome, options.timings);
    printLoginHint(*outcome, *account);
    return status;
}
