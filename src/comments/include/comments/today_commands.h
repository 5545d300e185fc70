#pragma once
// The command words of the service today. A comment's mail holds blank-separated words,
// compared without letter case; unknown words (184, device:..., full, ca, patissier, nico:...,
// junk) change nothing.
//
//   position  ue, shita, naka                    the first of them wins
//   size      big, medium, small                 the first of them wins
//   colour    white red pink orange yellow green cyan blue purple black, the premium names
//             (white2/niconicowhite, red2/truered, pink2, orange2/passionorange,
//             yellow2/madyellow, green2/elementalgreen, cyan2, blue2/marineblue/marinblue,
//             purple2/nobleviolet, black2), and #RGB / #RRGGBB when colour codes are allowed;
//             the first colour wins
//   @N, ＠N   shown for N seconds (decimals allowed, at most 120); the last one wins
//   invisible not drawn;  _live  half opacity;  ender  no shrinking for many lines
//   mincho, gothic, defont   the comment's face (a Japanese serif face, a Japanese sans face,
//             the job's face); the last one wins

#include <optional>
#include <string>
#include <string_view>

#include "comments/comment_commands.h"

enum class CommentFace { Job, Mincho, Gothic };

struct TodayCommands {
    CommandResult base;                  // position, size after big/small, shrunk
    std::string colour = "FF FF FF";     // "RR GG BB"
    std::optional<double> shownSeconds;  // @N
    bool invisible = false;
    bool halfOpacity = false;  // _live
    bool ender = false;
    CommentFace face = CommentFace::Job;
};

// Longest time a comment may ask to be shown, in seconds.
inline constexpr double kMaxShownSeconds = 120.0;

// Reads the commands of `mail`; `baseSize` is the job's base size in points. Colour codes
// (#RGB, #RRGGBB) count only when `colourCodes` (premium and owner comments).
TodayCommands readTodayCommands(std::string_view mail, int baseSize, bool colourCodes);
