#include <time.h>

#include "platform/local_calendar.h"

std::optional<LocalDateTime> localDateTimeOf(int64_t unixTime) {
    const time_t time = static_cast<time_t>(unixTime);
    struct tm local {};
    if (localtime_r(&time, &local) == nullptr) {
        return std::nullopt;
    }
    return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::optional<int64_t> unixTimeOfLocal(const LocalDateTime& date) {
    struct tm local {};
    local.tm_year = date.year - 1900;
    local.tm_mon = date.month - 1;
    local.tm_mday = date.day;
    local.tm_hour = date.hour;
    local.tm_min = date.minute;
    local.tm_sec = date.second;
    local.tm_isdst = -1;
    // mktime gives -1 both for an error and for 1969-12-31 23:59:59 UTC; an error leaves the
    // day of the week untouched, a success fills it in.
    local.tm_wday = -1;
    const time_t seconds = mktime(&local);
    if (seconds == static_cast<time_t>(-1) && local.tm_wday == -1) {
        return std::nullopt;
    }
    return static_cast<int64_t>(seconds);
}
