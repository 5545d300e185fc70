#include "cli/cli_options.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string_view>

#include "app/comment_period.h"
#include "platform/log.h"
#include "service/service_endpoints.h"
#include "service/video_id.h"

namespace {

// The largest font size accepted, in points; far beyond any frame.
constexpr long kMaxFontSizePt = 1000;

const char* const kUsage =
    "usage: lumivox-cli URL [options]\n"
    "       lumivox-cli job URL [options]\n"
    "       lumivox-cli render VIDEO COMMENTS [options]\n"
    "       lumivox-cli --list-formats\n"
    "       lumivox-cli --help\n"
    "       lumivox-cli --version\n"
    "\n"
    "URL: the whole job of the desktop program's Start button, without a window. Logs in to the\n"
    "video service, looks the video up, downloads its comment thread, visits its page, downloads\n"
    "the video into the save folder as ID.flv and encodes the movie with the comments as ID and\n"
    "the format's extension (the \"無変換\" format stops after the download). Errors of the\n"
    "service are printed as they come. On success the movie's (or video's) path is printed.\n"
    "A video ID (sm9, nm2829323, so38016254) stands for its watch page on the web host.\n"
    "\n"
    "render: draws the comments of COMMENTS (a comment thread as XML, or the comment JSON of\n"
    "today's service or of the tools that save it, found from the content) onto VIDEO and\n"
    "encodes the movie into the save folder as VIDEO's name with the format's\n"
    "extension. Nothing goes over the network. With --still SECONDS it writes only the picture of\n"
    "that moment with the comments drawn, as VIDEO's name with .png, and encodes nothing else.\n"
    "\n"
    "options of both (defaults from lumivox.ini in the work folder):\n"
    "  --save-dir DIR        folder for the movie (default: the desktop folder)\n"
    "  -o, --output FILE     the movie's file (default: the save folder's ID or VIDEO name\n"
    "                        with the format's extension)\n"
    "  --format NAME         output format, see --list-formats (default: AVI)\n"
    "  --font FACE           comment font face (default: ＭＳ Ｐゴシック, or what stands in for "
    "it)\n"
    "  --font-size PT        base comment size in points; 0 picks one for the video's height\n"
    "  --old / --no-old      show only the newest comments for the video's length (default: on)\n"
    "  --period-start TIME   drop comments posted before TIME\n"
    "  --period-end TIME     drop comments posted after TIME\n"
    "                        TIME: YYYY-MM-DD[THH:MM[:SS]] local time, or seconds since 1970\n"
    "                        (default period: three years back from today to tomorrow)\n"
    "  --all-periods         no period limit\n"
    "  --ng ID               drop the comments of user ID (repeatable)\n"
    "  --extract ID          keep only the comments of the users named (repeatable)\n"
    "  --timings             print how long probe, layout, overlay files and encoder took\n"
    "  --commands WORDS      read the comments' commands with the old table (classic) or\n"
    "                        today's words (today); default: \"Commands\", else the file's\n"
    "                        era (XML: classic, JSON: today)\n"
    "  --seed N              place comments that find no free row reproducibly: the same\n"
    "                        inputs and N give the same comment.ini and data.ini\n"
    "  --log-level LEVEL     which records of the log to print on stderr: error, warning\n"
    "                        (the default), info (the stages, the files, the encoder's command)\n"
    "                        or debug\n"
    "\n"
    "option of render:\n"
    "  --still SECONDS       write only the picture of that moment, comments drawn (.png)\n"
    "\n"
    "options of a job from a URL:\n"
    "  --mail ADDRESS        the account's mail address (default: \"Mail\")\n"
    "  --password TEXT       the account's password (default: \"Password\")\n"
    "  --password-file FILE  the password is the first line of FILE (\"-\": standard input)\n"
    "  --no-auto-login       log in without mail address and password, using the cookie of an\n"
    "                        earlier login (default: \"Login\", which is on in a new lumivox.ini)\n"
    "  --auto-login          log in with the mail address and password; giving --mail,\n"
    "                        --password or --password-file implies it\n"
    "  --login-host URL      the login host, e.g. https://secure.nicovideo.jp ([Service] "
    "LoginHost)\n"
    "  --web-host URL        the web host, e.g. http://www.nicovideo.jp ([Service] WebHost)\n"
    "  --ca-file FILE        PEM certificates to trust for https ([Service] CaFile)\n"
    "\n"
    "  --protocol NAME       today (the service as it is now) or classic (the old login form,\n"
    "                        getflv and .flv stream that the demo service plays) ([Service]\n"
    "                        Protocol; default: today)\n"
    "  --session-cookie VALUE  today's login: the value of the browser's user_session cookie\n"
    "                        (visible to other users in the process list: prefer the next)\n"
    "  --session-cookie-file FILE  the session cookie is the first line of FILE (\"-\": stdin);\n"
    "                        the bare value, user_session=VALUE or a Cookie: line\n"
    "  --cookies-from-browser BROWSER[:PROFILE]  take the session cookie from a browser's\n"
    "                        profile: firefox, chromium, chrome, brave, vivaldi, edge; PROFILE\n"
    "                        is a profile folder (default: the browser's profile used last)\n"
    "  --quality Q           video quality of today's service, e.g. 720p or 360p (default: the\n"
    "                        best the account may use; \"Quality\")\n"
    "  --account-host URL, --nvapi-host URL  today's account and API hosts ([Service]\n"
    "                        AccountHost, NvapiHost)\n"
    "\n"
    "  --list-formats        print the output formats and exit (with --verbose: what each makes)\n"
    "  --help                print this text and exit\n"
    "\n"
    "environment: LUMIVOX_HOME names the work folder (lumivox.ini, FFmpeg.ini, comment.xml,\n"
    "comment.ini, data.ini, cookies.txt). Exit status: 0 movie written (or, for \"無変換\", the\n"
    "video downloaded), 1 failure, 2 usage error, 130 stopped (Ctrl-C).\n";

bool parseFontSize(const std::string& text, int& size) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || value > kMaxFontSizePt) {
        return false;
    }
    size = static_cast<int>(value);
    return true;
}

// True for a first argument that names a video page rather than a command.
bool looksLikeUrl(const std::string& arg) {
    return arg.find("://") != std::string::npos || arg.find("watch/") != std::string::npos ||
           isBareVideoId(arg);
}

// True for the base address of a service host: "http://" or "https://" and a host.
bool isHostAddress(const std::string& text) {
    for (const char* scheme : {"http://", "https://"}) {
        const std::string_view prefix(scheme);
        if (text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments) : args(arguments) {}

    ParsedCommandLine run() {
        if (args.empty()) {
            return usageError("no command given");
        }
        for (index = 0; index < args.size() && result.error.empty(); ++index) {
            const std::string& arg = args[index];
            if (!optionsEnded && arg == "--") {
                optionsEnded = true;
            } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
                option(arg);
            } else {
                positional(arg);
            }
        }
        if (!result.error.empty() || helpAsked) {
            if (helpAsked && result.error.empty()) {
                result.command = CliCommand::Help;
            }
            return result;
        }
        if (versionAsked) {
            result.command = CliCommand::Version;
            return result;
        }
        if (listAsked) {
            result.command = CliCommand::ListFormats;
            return result;
        }
        if (!command) {
            return usageError("no command given");
        }
        if (output.allPeriods && (output.periodStart || output.periodEnd)) {
            return usageError("--all-periods cannot be combined with --period-start/--period-end");
        }
        if (*command == CliCommand::Render) {
            return finishRender();
        }
        return finishJob();
    }

private:
    ParsedCommandLine finishRender() {
        if (positionals.size() != 2) {
            return usageError("render takes a video and a comment file");
        }
        if (!serviceOptionSeen.empty()) {
            return usageError(serviceOptionSeen +
                              " is an option of a job from a URL, not of render");
        }
        result.command = CliCommand::Render;
        static_cast<OutputOptions&>(result.render) = output;
        result.render.videoPath = positionals[0];
        result.render.commentPath = positionals[1];
        return result;
    }

    ParsedCommandLine finishJob() {
        if (positionals.size() != 1) {
            return usageError("a job takes one video page URL");
        }
        if (output.stillSeconds) {
            return usageError("--still is an option of render, not of a job from a URL");
        }
        if (service.password && service.passwordFile) {
            return usageError("--password cannot be combined with --password-file");
        }
        const int sessionSources = (service.sessionCookie ? 1 : 0) +
                                   (service.sessionCookieFile ? 1 : 0) +
                                   (service.cookiesFromBrowser ? 1 : 0);
        if (sessionSources > 1) {
            return usageError(
                "give the session cookie one way: --session-cookie, --session-cookie-file or "
                "--cookies-from-browser");
        }
        result.command = CliCommand::Job;
        static_cast<OutputOptions&>(result.job) = output;
        result.job.pageUrl = positionals[0];
        result.job.service = service;
        return result;
    }

    ParsedCommandLine usageError(const std::string& text) {
        result.error = text;
        return result;
    }

    void positional(const std::string& arg) {
        if (command) {
            positionals.push_back(arg);
        } else if (arg == "render") {
            command = CliCommand::Render;
        } else if (arg == "job") {
            command = CliCommand::Job;
        } else if (looksLikeUrl(arg)) {
            command = CliCommand::Job;
            positionals.push_back(arg);
        } else {
            usageError("unknown command \"" + arg + "\"");
        }
    }

    // The value of an option: after "=" in the same argument, else the next argument.
    std::optional<std::string> value(const std::string& name,
                                     const std::optional<std::string>& inl) {
        if (inl) {
            return inl;
        }
        if (index + 1 >= args.size()) {
            usageError(name + " needs a value");
            return std::nullopt;
        }
        return args[++index];
    }

    void option(const std::string& arg) {
        std::string name = arg;
        std::optional<std::string> inl;
        if (const size_t equals = arg.find('=');
            equals != std::string::npos && arg.rfind("--", 0) == 0) {
            name = arg.substr(0, equals);
            inl = arg.substr(equals + 1);
        }
        if (flag(name, inl)) {
            return;
        }
        if (name == "--log-level") {
            logLevelOption(name, inl);
            return;
        }
        const bool isOutputOption =
            name == "--save-dir" || name == "--format" || name == "-o" || name == "--output" ||
            name == "--font" || name == "--font-size" || name == "--period-start" ||
            name == "--period-end" || name == "--ng" || name == "--extract" ||
            name == "--commands" || name == "--seed" || name == "--still";
        const bool isServiceOption =
            name == "--mail" || name == "--password" || name == "--password-file" ||
            name == "--login-host" || name == "--web-host" || name == "--ca-file" ||
            name == "--protocol" || name == "--session-cookie" || name == "--session-cookie-file" ||
            name == "--cookies-from-browser" || name == "--quality" || name == "--account-host" ||
            name == "--nvapi-host";
        if (!isOutputOption && !isServiceOption) {
            usageError("unknown option " + name);
            return;
        }
        const std::optional<std::string> text = value(name, inl);
        if (!text) {
            return;
        }
        if (isOutputOption) {
            outputOption(name, *text);
        } else {
            serviceOption(name, *text);
        }
    }

    // Handles an option without a value; false when `name` is none.
    bool flag(const std::string& name, const std::optional<std::string>& inl) {
        const bool takesNoValue = name == "--help" || name == "-h" || name == "--list-formats" ||
                                  name == "--version" || name == "--verbose" || name == "--old" ||
                                  name == "--no-old" || name == "--all-periods" ||
                                  name == "--timings" || name == "--auto-login" ||
                                  name == "--no-auto-login";
        if (!takesNoValue) {
            return false;
        }
        if (inl) {
            usageError(name + " takes no value");
        } else if (name == "--help" || name == "-h") {
            helpAsked = true;
        } else if (name == "--list-formats") {
            listAsked = true;
        } else if (name == "--verbose") {
            result.verbose = true;
        } else if (name == "--version") {
            versionAsked = true;
        } else if (name == "--old" || name == "--no-old") {
            output.hideOldComments = name == "--old";
        } else if (name == "--all-periods") {
            output.allPeriods = true;
        } else if (name == "--timings") {
            output.timings = true;
        } else {
            service.noAutoLogin = name == "--no-auto-login";
            serviceOptionSeen = name;
        }
        return true;
    }

    void outputOption(const std::string& name, const std::string& text) {
        OutputOptions& r = output;
        if (name == "--save-dir") {
            if (text.empty()) {
                usageError("--save-dir needs a folder");
            }
            r.saveFolder = text;
        } else if (name == "--format") {
            r.formatName = text;
        } else if (name == "-o" || name == "--output") {
            if (text.empty()) {
                usageError(name + " needs a file name");
            }
            r.moviePath = text;
        } else if (name == "--font") {
            r.fontFace = text;
        } else if (name == "--font-size") {
            int size = 0;
            if (!parseFontSize(text, size)) {
                usageError("--font-size takes a whole number of points from 0 to " +
                           std::to_string(kMaxFontSizePt) + ", not \"" + text + "\"");
            }
            r.fontSizePt = size;
        } else if (name == "--period-start" || name == "--period-end") {
            const std::optional<int32_t> time = parsePeriodTime(text);
            if (!time) {
                usageError(name + " takes YYYY-MM-DD[THH:MM[:SS]] or seconds since 1970, not \"" +
                           text + "\"");
            }
            (name == "--period-start" ? r.periodStart : r.periodEnd) = time;
        } else if (name == "--commands") {
            if (text != "classic" && text != "today") {
                usageError("--commands takes classic or today, not \"" + text + "\"");
            }
            r.commandWords = text;
        } else if (name == "--seed") {
            uint32_t seed = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
            if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
                usageError("--seed takes a whole number from 0 to 4294967295, not \"" + text +
                           "\"");
            }
            r.layoutSeed = seed;
        } else if (name == "--still") {
            char* end = nullptr;
            const double seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(seconds >= 0) || seconds > 1e7) {
                usageError("--still takes a moment of the video in seconds, not \"" + text + "\"");
            }
            r.stillSeconds = seconds;
        } else if (name == "--ng") {
            r.ngList.push_back(text);
        } else {
            r.extractList.push_back(text);
        }
    }

    void logLevelOption(const std::string& name, const std::optional<std::string>& inl) {
        const std::optional<std::string> text = value(name, inl);
        if (!text) {
            return;
        }
        if (!logLevelOfName(*text)) {
            usageError("--log-level takes error, warning, info or debug, not \"" + *text + "\"");
            return;
        }
        result.logLevel = *text;
    }

    void serviceOption(const std::string& name, const std::string& text) {
        serviceOptionSeen = name;
        if (name == "--mail") {
            service.mail = text;
        } else if (name == "--password") {
            service.password = text;
        } else if (name == "--password-file") {
            if (text.empty()) {
                usageError("--password-file needs a file");
            }
            service.passwordFile = text;
        } else if (name == "--login-host" || name == "--web-host" || name == "--account-host" ||
                   name == "--nvapi-host") {
            if (!isHostAddress(text)) {
                usageError(name + " takes an address beginning with http:// or https://, not \"" +
                           text + "\"");
            }
            (name == "--login-host"     ? service.loginHost
             : name == "--web-host"     ? service.webHost
             : name == "--account-host" ? service.accountHost
                                        : service.nvapiHost) = text;
        } else if (name == "--protocol") {
            if (!serviceProtocolNamed(text)) {
                usageError("--protocol takes today or classic, not \"" + text + "\"");
            }
            service.protocol = text;
        } else if (name == "--session-cookie" || name == "--session-cookie-file" ||
                   name == "--cookies-from-browser" || name == "--quality") {
            if (text.empty()) {
                usageError(name + " needs a value");
            }
            (name == "--session-cookie"        ? service.sessionCookie
             : name == "--session-cookie-file" ? service.sessionCookieFile
             : name == "--quality"             ? service.quality
                                               : service.cookiesFromBrowser) = text;
        } else {
            if (text.empty()) {
                usageError("--ca-file needs a file");
            }
            service.caFile = text;
        }
    }

    const std::vector<std::string>& args;
    size_t index = 0;
    bool optionsEnded = false;
    std::optional<CliCommand> command;
    bool helpAsked = false;
    bool listAsked = false;
    bool versionAsked = false;
    std::vector<std::string> positionals;
    OutputOptions output;
    ServiceOptions service;
    std::string serviceOptionSeen;  // the last option of a job from a URL, for render's error
    ParsedCommandLine result;
};

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    return Parser(arguments).run();
}

const char* usageText() {
    return kUsage;
}
