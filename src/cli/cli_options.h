#pragma once
// The command line of lumivox-cli:
//
//   lumivox-cli render VIDEO COMMENTS.xml [options]
//   lumivox-cli --list-formats
//   lumivox-cli --help
//
// Options take their value as the next argument or after "=" (--format=MP4). "--" ends the
// options, so that file names beginning with "-" can follow.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What `render` was asked for. An empty optional leaves the setting of lumivox.ini (or its
// default) in force.
struct RenderOptions {
    std::string videoPath;
    std::string commentPath;
    std::optional<std::string> saveFolder;
    std::optional<std::string> formatName;
    std::optional<std::string> fontFace;
    std::optional<int> fontSizePt;        // 0: automatic
    std::optional<bool> hideOldComments;  // --old / --no-old
    std::optional<int32_t> periodStart;   // seconds since 1970 UTC
    std::optional<int32_t> periodEnd;
    bool allPeriods = false;
    std::vector<std::string> ngList;
    std::vector<std::string> extractList;
    bool timings = false;
};

enum class CliCommand { Render, ListFormats, Help };

struct ParsedCommandLine {
    CliCommand command = CliCommand::Help;
    RenderOptions render;
    std::string error;  // not empty: a usage error, one line
};

// Parses the arguments after the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
const char* usageText();
