#pragma once
// The posting period of the comment filter: its default and the forms a user may type it in.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

struct CommentPeriod {
    int32_t start = 0;  // seconds since 1970 UTC, inclusive
    int32_t end = 0;    // seconds since 1970 UTC, inclusive
};

// The period a run starts with: from 00:00 local time on the same calendar date three years
// before `now` (a 29 February rolls over to 1 March) to `now` + 86400 s. Both ends are clamped to
// the 32-bit range of the comment filter.
CommentPeriod defaultCommentPeriod(std::time_t now);

// The period that lets every comment through.
CommentPeriod unlimitedCommentPeriod();

// A point in time as typed: "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS" in local
// time (a blank may stand for the T), or whole seconds since 1970 UTC (digits, optionally
// signed). Nothing when the text is none of these, names a date or time that does not exist
// (month 13, 31 April, 24:00), or lies beyond the 32-bit range.
std::optional<int32_t> parsePeriodTime(std::string_view text);

// A bound of the period in local time for a person: "2023-12-07 00:00"; the Unix seconds when
// the time cannot be converted.
std::string describePeriodTime(int32_t unixTime);
