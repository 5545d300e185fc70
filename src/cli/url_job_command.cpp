#include "cli/url_job_command.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string_view>
#include <utility>

#include "app/account_secrets.h"
#include "cli/cli_job_runner.h"
#include "cli/cli_job_sink.h"
#include "job/job_status_texts.h"
#include "job/nico_thread.h"
#include "keyring/keyring_secret_store.h"
#include "platform/log.h"
#include "platform/stop_signals.h"
#include "service/browser_cookies.h"

namespace fs = std::filesystem;

namespace {

// The reasons of a login that gave no cookie (see the job's login stage), for the hints below.
constexpr std::string_view kNoCookieWithoutAutoLogin =
    "the login gave no cookie (automatic login is off";
constexpr std::string_view kNoCookieCheckAccount =
    "the login gave no cookie (check the mail address and password)";

// The session cookie of today's service: from the options (the value, a file, a browser's
// profile), else the stored one. Nothing, with the problem printed, when a given source fails.
std::optional<std::string> chooseSessionCookie(const ServiceOptions& options,
                                               const Settings& settings) {
    if (options.sessionCookie) {
        return *options.sessionCookie;
    }
    if (options.sessionCookieFile) {
        Result<std::string> line = readSecretFile(*options.sessionCookieFile, "session cookie");
        if (!line) {
            printCliError(line.error());
            return std::nullopt;
        }
        return std::move(*line);
    }
    if (options.cookiesFromBrowser) {
        const Result<BrowserCookieSource> source = browserCookieSource(*options.cookiesFromBrowser);
        if (!source) {
            printCliError(source.error());
            return std::nullopt;
        }
        const char* home = std::getenv("HOME");
        Result<std::string> value = sessionCookieFromBrowser(
            *source, home != nullptr ? home : "", static_cast<int64_t>(std::time(nullptr)));
        if (!value) {
            printCliError("the session cookie cannot be taken from " + source->browser + ": " +
                          value.error());
            return std::nullopt;
        }
        return std::move(*value);
    }
    return settings.sessionCookie;
}

// The settings with the account and the service's hosts of the options in their place. Giving a
// mail address or a password on the command line asks for a login with it: automatic login is on
// unless --no-auto-login says no. A CaFile of the command line is taken from the current folder
// (one of lumivox.ini from the work folder, see buildJobRequest). Nothing, with the problem
// printed, when the password file cannot be read.
std::optional<Settings> withServiceOptions(Settings settings, const ServiceOptions& options) {
    settings.mail = options.mail.value_or(settings.mail);
    settings.password = options.password.value_or(settings.password);
    if (options.passwordFile) {
        const Result<std::string> password = readSecretFile(*options.passwordFile, "password");
        if (!password) {
            printCliError(password.error());
            return std::nullopt;
        }
        settings.password = *password;
    }
    const bool credentialsGiven = options.mail || options.password || options.passwordFile;
    settings.noAutoLogin =
        options.noAutoLogin.value_or(credentialsGiven ? false : settings.noAutoLogin);
    settings.service.loginBase = options.loginHost.value_or(settings.service.loginBase);
    settings.service.webBase = options.webHost.value_or(settings.service.webBase);
    settings.service.todayWebBase = options.webHost.value_or(settings.service.todayWebBase);
    settings.service.accountBase = options.accountHost.value_or(settings.service.accountBase);
    settings.service.nvapiBase = options.nvapiHost.value_or(settings.service.nvapiBase);
    if (options.protocol) {
        settings.service.protocol =
            serviceProtocolNamed(*options.protocol).value_or(settings.service.protocol);
    }
    settings.videoQuality = options.quality.value_or(settings.videoQuality);
    if (settings.service.protocol == ServiceProtocol::Today) {
        const std::optional<std::string> session = chooseSessionCookie(options, settings);
        if (!session) {
            return std::nullopt;
        }
        settings.sessionCookie = *session;
    }
    if (options.caFile) {
        settings.service.caFile = absolutePath(*options.caFile);
    }
    return settings;
}

// A line that says what to change after a login that gave no cookie.
void printLoginHint(const JobOutcome& outcome, const JobRequest& request) {
    if (outcome.result != JobResult::Failed) {
        return;
    }
    if (outcome.reason.rfind(kNoCookieWithoutAutoLogin, 0) == 0) {
        printCliError(
            "automatic login is off (\"Login=1\" in lumivox.ini); --auto-login, or giving "
            "--mail and --password, turns it on");
    } else if (outcome.reason == kNoCookieCheckAccount &&
               (request.mail.empty() || request.password.empty())) {
        printCliError(
            "no mail address or no password is set (--mail, --password or --password-file, or "
            "\"Mail\" and \"Password\" in lumivox.ini)");
    }
}

}  // namespace

Result<std::string> readSecretFile(const std::string& path, const std::string& what) {
    std::string line;
    if (path == "-") {
        std::getline(std::cin, line);
        if (std::cin.bad()) {
            return Failure{"the " + what + " cannot be read from standard input"};
        }
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            return systemFailure("the " + what + " file " + path + " cannot be read", errno);
        }
        std::getline(in, line);
        if (in.bad()) {
            return Failure{"the " + what + " file " + path + " cannot be read"};
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::optional<JobRequest> urlJobRequest(const UrlJobOptions& options, const RunFolders& folders,
                                        CookieStore& cookies, int& exitStatus) {
    exitStatus = kExitFailed;
    Settings stored = loadCliSettings(folders);
    // Secrets the desktop program moved to the keyring; the options below still take the lead.
    KeyringSecretStore keyring;
    std::string keyringProblem;
    readAccountSecrets(stored, fs::path(folders.workFolder) / kSettingsFileName, &keyring,
                       &keyringProblem);
    if (!keyringProblem.empty()) {
        logDebug(LogComponent::App, keyringProblem);  // no keyring is an ordinary set-up
    }
    const std::optional<Settings> settings = withServiceOptions(stored, options.service);
    if (!settings) {
        return std::nullopt;
    }
    JobChoices choices;
    choices.pageUrl = options.pageUrl;
    choices.cookieStore = &cookies;
    return outputRequest(options, *settings, std::move(choices), folders, exitStatus);
}

int runUrlJobCommand(const UrlJobOptions& options, const RunFolders& folders) {
    const std::unique_ptr<CookieStore> cookies = openCookieStore(folders);
    int exitStatus = kExitFailed;
    std::optional<JobRequest> request = urlJobRequest(options, folders, *cookies, exitStatus);
    if (!request) {
        return exitStatus;
    }
    const JobRequest shown = *request;

    installStopSignalHandlers();
    constexpr uint64_t kSerial = 1;
    CliJobSink sink;
    auto job = std::make_unique<CNicoThread>(std::move(*request), sink, kSerial);
    const std::optional<JobOutcome> outcome = runJobToEnd(
        std::move(job), sink, kSerial,
        JobDisplay{kDownloadingStatus, CommentPeriod{shown.periodStart, shown.periodEnd}});
    if (!outcome) {
        return kExitFailed;
    }
    const int status = reportOutcome(*outcome, options.timings);
    printLoginHint(*outcome, shown);
    return status;
}
