#pragma once
// The command line of lumivox-cli:
//
//   lumivox-cli URL [options]              (also: lumivox-cli job URL [options])
//   lumivox-cli render VIDEO COMMENTS [options]
//   lumivox-cli --list-formats
//   lumivox-cli --help
//
// Options take their value as the next argument or after "=" (--format=MP4). "--" ends the
// options, so that file names beginning with "-" can follow. A first argument that is no
// command is a URL when it holds "://" or "watch/".

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a job's output is to be, for a render and a job from a URL alike. An empty optional
// leaves the setting of lumivox.ini (or its default) in force.
struct OutputOptions {
    std::optional<std::string> saveFolder;
    std::optional<std::string> formatName;
    // -o / --output: the movie's path instead of the save folder's ID plus the format's
    // extension.
    std::optional<std::string> moviePath;
    std::optional<std::string> fontFace;
    std::optional<int> fontSizePt;        // 0: automatic
    std::optional<bool> hideOldComments;  // --old / --no-old
    std::optional<int32_t> periodStart;   // seconds since 1970 UTC
    std::optional<int32_t> periodEnd;
    bool allPeriods = false;
    std::vector<std::string> ngList;
    std::vector<std::string> extractList;
    bool timings = false;
    std::optional<std::string> commandWords;  // --commands classic|today
    std::optional<uint32_t> layoutSeed;       // --seed N
    // render --still SECONDS: one picture of that moment (a PNG) instead of the movie.
    std::optional<double> stillSeconds;
};

// What `render` was asked for: the local video and comment file.
struct RenderOptions : OutputOptions {
    std::string videoPath;
    std::string commentPath;
};

// The account and the service's hosts of a job from a URL; empty ones leave lumivox.ini's.
struct ServiceOptions {
    std::optional<std::string> mail;
    std::optional<std::string> password;
    std::optional<std::string> passwordFile;  // the password is this file's first line ("-": stdin)
    std::optional<bool> noAutoLogin;          // --no-auto-login / --auto-login
    std::optional<std::string> loginHost;     // base address: scheme, host, optional port
    std::optional<std::string> webHost;
    std::optional<std::string> caFile;
    // Today's service.
    std::optional<std::string> protocol;            // --protocol today|classic
    std::optional<std::string> sessionCookie;       // --session-cookie VALUE
    std::optional<std::string> sessionCookieFile;   // --session-cookie-file FILE ("-": stdin)
    std::optional<std::string> cookiesFromBrowser;  // --cookies-from-browser BROWSER[:PROFILE]
    std::optional<std::string> quality;             // --quality 720p
    std::optional<std::string> accountHost;         // --account-host URL
    std::optional<std::string> nvapiHost;           // --nvapi-host URL
};

// What a job from a video page URL was asked for.
struct UrlJobOptions : OutputOptions {
    std::string pageUrl;
    ServiceOptions service;
};

enum class CliCommand { Job, Render, ListFormats, Help, Version };

struct ParsedCommandLine {
    CliCommand command = CliCommand::Help;
    UrlJobOptions job;                 // CliCommand::Job
    RenderOptions render;              // CliCommand::Render
    std::string logLevel = "warning";  // --log-level: the least severe records printed
    bool verbose = false;              // --verbose: --list-formats says what each format makes
    std::string error;                 // not empty: a usage error, one line
};

// Parses the arguments after the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
const char* usageText();
