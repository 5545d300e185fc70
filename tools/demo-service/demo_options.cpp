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

bool knownFault(DemoProtocol protocol, const std::string& name) {
    if (protocol == DemoProtocol::Classic) {
        const auto& names = demoFaultNames();
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    const auto& faults = todayFaults();
    return std::any_of(faults.begin(), faults.end(),
                       [&](const auto& fault) { return fault.first == name; });
}

}  // namespace

std::string demoUsage() {
    std::string usage =
        "usage: lumivox-demo-service [options]\n"
        "  --protocol NAME     classic (default: login form, getflv, XML comments, .flv) or today\n"
        "                      (session cookie, watch data, comment threads API, encrypted HLS)\n"
        "  --login-port N      classic: https login host port (default: chosen by the system)\n"
        "  --web-port N        classic: http web host port (default: chosen by the system)\n"
        "  --mail TEXT         classic: the account's mail address (default demo@example.com)\n"
        "  --password TEXT     classic: the account's password (default p&ss=w+rd%41)\n"
        "  --video FILE        classic: the video stream to serve; today: the clip the HLS\n"
        "                      sample is made from (default: a generated 14-second clip)\n"
        "  --comments FILE     the comment thread document (XML) the comments are taken from\n"
        "  --thread-id TEXT    the video's thread ID (default 1173108780)\n"
        "  --user-id TEXT      the account's user ID (default 1)\n"
        "  --cert-dir DIR      where to write the certificate (default: a temporary folder)\n"
        "  --lifetime SECONDS  end by itself after this long (default: until stopped)\n"
        "  --fault NAME        classic: show a fault (repeatable):";
    for (const std::string& name : demoFaultNames()) {
        usage += " " + name;
    }
    usage +=
        "\n  --verbose           log every request on standard error\n"
        "Today's protocol only:\n"
        "  --video-id ID       the video's ID (default sm9; the thread ID names it too)\n"
        "  --title TEXT        the video's title\n"
        "  --nickname TEXT     the account's nickname\n"
        "  --session-cookie V  the account's user_session value (default: made at start)\n"
        "  --premium           the account is premium (authflag 3, isPremium)\n"
        "  --sample-dir DIR    where HLS samples are made once and kept (default: the build's)\n"
        "  --sample-copy       the clip is H.264 and AAC: segment it without re-encoding\n"
        "  --thread-key-lifetime SECONDS   how long a thread key works (default 600)\n"
        "  --comment-page N    the most comments one comment page holds (default 500)\n"
        "  --fault NAME        today: show a fault (repeatable):\n";
    for (const auto& [name, meaning] : todayFaults()) {
        usage += "      " + name + std::string(20 - std::min<size_t>(19, name.size()), ' ') +
                 meaning + "\n";
    }
    usage +=
        "Prints \"READY login=URL web=URL ca=FILE\" (classic) or \"READY account=URL www=URL\n"
        "nvapi=URL comment=URL delivery=URL asset=URL ca=FILE session=VALUE sample=DIR\" (today)\n"
        "when it serves; GET /__stats on the web host (today: on every host) counts the requests\n"
        "per path.\n";
    return usage;
}

std::optional<DemoOptions> parseDemoOptions(const std::vector<std::string>& arguments,
                                            std::string& error) {
    DemoOptions options;
    std::vector<std::string> faults;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (bool* flag = option == "--verbose"       ? &options.verbose
                         : option == "--premium"     ? &options.premium
                         : option == "--sample-copy" ? &options.sampleCopy
                                                     : nullptr) {
            *flag = true;
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
        } else if (option == "--lifetime" || option == "--thread-key-lifetime" ||
                   option == "--comment-page") {
            const long low = option == "--comment-page" ? 1 : 0;
            if (!parseNumber(value, low, 86400 * 365, number)) {
                error = option + ": not a number: " + value;
                return std::nullopt;
            }
            (option == "--lifetime"              ? options.lifetimeSeconds
             : option == "--thread-key-lifetime" ? options.threadKeySeconds
                                                 : options.commentPageSize) = number;
        } else if (option == "--protocol") {
            if (value != "classic" && value != "today") {
                error = "--protocol: classic or today, not " + value;
                return std::nullopt;
            }
            options.protocol = value == "today" ? DemoProtocol::Today : DemoProtocol::Classic;
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
        } else if (option == "--video-id") {
            options.videoId = value;
        } else if (option == "--title") {
            options.title = value;
        } else if (option == "--nickname") {
            options.nickname = value;
        } else if (option == "--session-cookie") {
            options.sessionCookie = value;
        } else if (option == "--sample-dir") {
            options.sampleFolder = value;
        } else if (option == "--fault") {
            faults.push_back(value);
        } else {
            error = "unknown option " + option;
            return std::nullopt;
        }
    }
    // Faults are checked once the protocol is known, wherever --protocol stands.
    for (const std::string& fault : faults) {
        if (!knownFault(options.protocol, fault)) {
            error = "--fault: unknown fault " + fault;
            return std::nullopt;
        }
        options.faults.insert(fault);
    }
    return options;
}
