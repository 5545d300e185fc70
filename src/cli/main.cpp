// lumivox-cli: the jobs of Lumivox without a window. See cli_options.h for the command line.

#include <QCoreApplication>
#include <clocale>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/program_version.h"
#include "app/run_folders.h"
#include "cli/cli_log_sink.h"
#include "cli/cli_options.h"
#include "cli/render_command.h"
#include "cli/url_job_command.h"
#include "platform/log.h"

int main(int argc, char** argv) {
    const ParsedCommandLine parsed =
        parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    // The keyring's answers arrive through Qt's event loop (see keyring_secret_store.h); nothing
    // else of the program uses Qt. Qt takes the environment's locale; the program's texts and
    // numbers keep the one they had.
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    int qtArgc = 1;
    QCoreApplication application(qtArgc, argv);
    std::setlocale(LC_ALL, locale.c_str());
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "lumivox-cli: %s\nTry 'lumivox-cli --help'.\n", parsed.error.c_str());
        return kExitUsage;
    }
    // The log: before any thread starts, so that the encoder inherits the threshold too.
    setLogSink(&cliLog());
    setLogThreshold(logLevelOfName(parsed.logLevel).value_or(LogLevel::Warning));
    handLogThresholdToChildren();
    if (parsed.command == CliCommand::Help) {
        std::fputs(usageText(), stdout);
        return kExitMovieWritten;
    }
    if (parsed.command == CliCommand::Version) {
        std::fprintf(stdout, "lumivox-cli %s\n", programVersion());
        return std::fflush(stdout) == 0 ? kExitMovieWritten : kExitFailed;
    }
    std::string error;
    const std::optional<RunFolders> folders = discoverRunFolders(error);
    if (!folders) {
        std::fprintf(stderr, "lumivox-cli: %s\n", error.c_str());
        return kExitFailed;
    }
    if (parsed.command == CliCommand::ListFormats) {
        return runListFormatsCommand(*folders, parsed.verbose);
    }
    if (parsed.command == CliCommand::Job) {
        return runUrlJobCommand(parsed.job, *folders);
    }
    return runRenderCommand(parsed.render, *folders);
}
