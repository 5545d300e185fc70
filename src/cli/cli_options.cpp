#include "cli/cli_options.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "app/comment_period.h"

namespace {

// The largest font size accepted, in points; far beyond any frame.
constexpr long kMaxFontSizePt = 1000;

const char* const kUsage =
    "usage: lumivox-cli render VIDEO COMMENTS.xml [options]\n"
    "       lumivox-cli --list-formats\n"
    "       lumivox-cli --help\n"
    "\n"
    "Draws the comments of COMMENTS.xml (a comment thread as the video service sends it) onto\n"
    "VIDEO and encodes the movie into the save folder as VIDEO's name with the format's\n"
    "extension. Nothing goes over the network. On success the movie's path is printed.\n"
    "\n"
    "options (defaults from lumivox.ini in the work folder):\n"
    "  --save-dir DIR        folder for the movie (default: the desktop folder)\n"
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
    "  --list-formats        print the output formats and exit\n"
    "  --help                print this text and exit\n"
    "\n"
    "environment: LUMIVOX_HOME names the work folder (lumivox.ini, FFmpeg.ini, comment.ini,\n"
    "data.ini). Exit status: 0 movie written, 1 failure, 2 usage error, 130 stopped.\n";

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
        if (listAsked) {
            result.command = CliCommand::ListFormats;
            return result;
        }
        if (!commandSeen) {
            return usageError("no command given");
        }
        if (positionals.size() != 2) {
            return usageError("render takes a video and a comment file");
        }
        if (result.render.allPeriods && (result.render.periodStart || result.render.periodEnd)) {
            return usageError("--all-periods cannot be combined with --period-start/--period-end");
        }
        result.command = CliCommand::Render;
        result.render.videoPath = positionals[0];
        result.render.commentPath = positionals[1];
        return result;
    }

private:
    ParsedCommandLine usageError(const std::string& text) {
        result.error = text;
        return result;
    }

    void positional(const std::string& arg) {
        if (!commandSeen) {
            if (arg != "render") {
                usageError("unknown command \"" + arg + "\"");
                return;
            }
            commandSeen = true;
            return;
        }
        positionals.push_back(arg);
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
        RenderOptions& r = result.render;
        const bool takesNoValue = name == "--help" || name == "-h" || name == "--list-formats" ||
                                  name == "--old" || name == "--no-old" ||
                                  name == "--all-periods" || name == "--timings";
        if (takesNoValue) {
            if (inl) {
                usageError(name + " takes no value");
            } else if (name == "--help" || name == "-h") {
                helpAsked = true;
            } else if (name == "--list-formats") {
                listAsked = true;
            } else if (name == "--old" || name == "--no-old") {
                r.hideOldComments = name == "--old";
            } else if (name == "--all-periods") {
                r.allPeriods = true;
            } else {
                r.timings = true;
            }
            return;
        }
        if (name != "--save-dir" && name != "--format" && name != "--font" &&
            name != "--font-size" && name != "--period-start" && name != "--period-end" &&
            name != "--ng" && name != "--extract") {
            usageError("unknown option " + name);
            return;
        }
        const std::optional<std::string> text = value(name, inl);
        if (!text) {
            return;
        }
        if (name == "--save-dir") {
            if (text->empty()) {
                usageError("--save-dir needs a folder");
            }
            r.saveFolder = *text;
        } else if (name == "--format") {
            r.formatName = *text;
        } else if (name == "--font") {
            r.fontFace = *text;
        } else if (name == "--font-size") {
            int size = 0;
            if (!parseFontSize(*text, size)) {
                usageError("--font-size takes a whole number of points from 0 to " +
                           std::to_string(kMaxFontSizePt) + ", not \"" + *text + "\"");
            }
            r.fontSizePt = size;
        } else if (name == "--period-start" || name == "--period-end") {
            const std::optional<int32_t> time = parsePeriodTime(*text);
            if (!time) {
                usageError(name + " takes YYYY-MM-DD[THH:MM[:SS]] or seconds since 1970, not \"" +
                           *text + "\"");
            }
            (name == "--period-start" ? r.periodStart : r.periodEnd) = time;
        } else if (name == "--ng") {
            r.ngList.push_back(*text);
        } else {
            r.extractList.push_back(*text);
        }
    }

    const std::vector<std::string>& args;
    size_t index = 0;
    bool optionsEnded = false;
    bool commandSeen = false;
    bool helpAsked = false;
    bool listAsked = false;
    std::vector<std::string> positionals;
    ParsedCommandLine result;
};

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    return Parser(arguments).run();
}

const char* usageText() {
    return kUsage;
}
