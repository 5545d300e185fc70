#pragma once
// Local-time questions about Unix times (seconds since 1970-01-01 UTC), answered in the
// process's time zone (TZ).

#include <cstdint>

// Hour of day 0..23 in local time; -1 when the time cannot be converted.
int localHourOf(int64_t unixTime);
