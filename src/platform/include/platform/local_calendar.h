#pragma once
// Calendar dates and times of day in the process's time zone (TZ), and their Unix times
// (seconds since 1970-01-01 UTC).

#include <cstdint>
#include <optional>

struct LocalDateTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The local date and time of `unixTime`; nothing when it cannot be converted.
std::optional<LocalDateTime> localDateTimeOf(int64_t unixTime);

// The Unix time of a local date and time. Fields beyond their range roll over the way the C
// library's mktime rolls them (29 February of a common year is 1 March); a time that a change
// to summer time skips is read in the time zone's rules. Nothing when it cannot be converted.
std::optional<int64_t> unixTimeOfLocal(const LocalDateTime& local);
