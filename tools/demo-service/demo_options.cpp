#include "demo_options.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool parseNumber(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9) {
        return false;
    }
    value = std::strtol(text.c_str(), nullptr, 10);
    return value >= low && value <= high;
}

}  // namespace

std::string demoUsage() {
    std::string usage =
        "usage: lumivox-demo-service [options]\n"
        "  --login-port N      https login host port (default: chosen by the system)\n"
        "  --web-port N        http web host port (default: chosen by the system)\n"
        "  --mail TEXT         the account's mail address (default demo@example.com)\n"
        "  --password TEXT     the account's password (default p&ss=w+rd%41)\n"
        "  --video FILE        the video stream to serve\n"
        "  --comments FILE     the comment thread document to serve\n"
        "  --thread-id TEXT    the video's thread ID (default 1173108780)\n"
        "  --user-id TEXT      the account's user ID (default 1)\n"
        "  --cert-dir DIR      where to write the certificate (default: a temporary folder)\n"
        "  --lifetime SECONDS  end by itself after this long (default: until stopped)\n"
        "  --fault NAME        show a fault (repeatable):";
    for (const std::string& name : demoFaultNames()) {
        usage += " " + name;
    }
    usage +=
        "\n  --verbose           log every request on standard error\n"
        "Prints \"READY login=URL web=URL ca=FILE\" when it serves; GET /__stats on the web host\n"
        "counts the requests per path.\n";
    return usage;
}

std::optional<DemoOptions> parseDemoOptions(const std::vector<std::string>& arguments,
                                            std::string& error) {
    DemoOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--verbose") {
            options.verbose = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = option.rfind("--", 0) == 0 ? option + " needs a value"
                                               : "unknown argument " + option;
            return std::nullopt;
        }
        const std::string& value = arguments[++i];
        long number = 0;
        if (option == "--login-port" || option == "--web-port") {
            if (!parseNumber(value, 0, 65535, number)) {
                error = option + ": not a port: " + value;
                return std::nullopt;
            }
            (option == "--login-port" ? options.loginPort : options.webPort) =
                static_cast<int>(number);
        } else if (option == "--lifetime") {
            if (!parseNumber(value, 0, 86400 * 365, number)) {
                error = "--lifetime: not a number of seconds: " + value;
                return std::nullopt;
            }
            options.lifetimeSeconds = number;
        } else if (option == "--mail") {
            options.mail = value;
        } else if (option == "--password") {
            options.password = value;
        } else if (option == "--video") {
            options.videoFile = value;
        } else if (option == "--comments") {
            options.commentFile = value;
        } else if (option == "--thread-id") {
            options.threadId = value;
        } else if (option == "--user-id") {
            options.userId = value;
        } else if (option == "--cert-dir") {
            options.certFolder = value;
        } else if (option == "--fault") {
            const auto& names = demoFaultNames();
            if (std::find(names.begin(), names.end(), value) == names.end()) {
                error = "--fault: unknown fault " + value;
                return std::nullopt;
            }
            options.faults.insert(value);
        } else {
            error = "unknown option " + option;
            return std::nullopt;
        }
    }
    return options;
}
