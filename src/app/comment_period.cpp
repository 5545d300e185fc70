#include "app/comment_period.h"

#include <cstdio>
#include <limits>

#include "platform/local_calendar.h"
#include "platform/text_conv.h"

namespace {

constexpr int64_t kOneDaySeconds = 86400;
constexpr int kYearsBack = 3;

int32_t clampToInt32(int64_t seconds) {
    if (seconds < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    if (seconds > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(seconds);
}

bool isDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// The number of exactly `width` digits at `at`, or -1.
int fixedNumber(std::string_view text, size_t at, size_t width) {
    if (at + width > text.size() || !isDigits(text.substr(at, width))) {
        return -1;
    }
    int value = 0;
    for (char c : text.substr(at, width)) {
        value = value * 10 + (c - '0');
    }
    return value;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<int32_t> parseUnixSeconds(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        digits.remove_prefix(1);
    }
    if (!isDigits(digits) || digits.size() > 12) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
    }
    value = negative ? -value : value;
    if (value != clampToInt32(value)) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

}  // namespace

CommentPeriod defaultCommentPeriod(std::time_t now) {
    const int64_t end = int64_t{now} + kOneDaySeconds;
    std::optional<LocalDateTime> today = localDateTimeOf(now);
    if (!today) {
        return CommentPeriod{clampToInt32(int64_t{now} - kYearsBack * 365 * kOneDaySeconds),
                             clampToInt32(end)};
    }
    LocalDateTime start = *today;
    start.year -= kYearsBack;
    start.hour = 0;
    start.minute = 0;
    start.second = 0;
    const std::optional<int64_t> startSeconds = unixTimeOfLocal(start);
    return CommentPeriod{clampToInt32(startSeconds.value_or(std::numeric_limits<int32_t>::min())),
                         clampToInt32(end)};
}

CommentPeriod unlimitedCommentPeriod() {
    return CommentPeriod{std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
}

std::optional<int32_t> parsePeriodTime(std::string_view typed) {
    const std::string trimmed = trimBlanks(typed);
    const std::string_view text = trimmed;
    if (text.find('-', 1) == std::string_view::npos) {
        return parseUnixSeconds(text);
    }
    // YYYY-MM-DD
    const int year = fixedNumber(text, 0, 4);
    const int month = fixedNumber(text, 5, 2);
    const int day = fixedNumber(text, 8, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || text.size() < 10 || text[4] != '-' ||
        text[7] != '-' || day > daysInMonth(year, month)) {
        return std::nullopt;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (text.size() > 10) {
        // THH:MM[:SS]
        if ((text[10] != 'T' && text[10] != ' ') || (text.size() != 16 && text.size() != 19) ||
            text[13] != ':') {
            return std::nullopt;
        }
        hour = fixedNumber(text, 11, 2);
        minute = fixedNumber(text, 14, 2);
        if (text.size() == 19) {
            second = text[16] == ':' ? fixedNumber(text, 17, 2) : -1;
        }
        if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
            return std::nullopt;
        }
    }
    const std::optional<int64_t> seconds =
        unixTimeOfLocal(LocalDateTime{year, month, day, hour, minute, second});
    if (!seconds || *seconds != clampToInt32(*seconds)) {
        return std::nullopt;
    }
    return static_cast<int32_t>(*seconds);
}

std::string describePeriodTime(int32_t unixTime) {
    const std::optional<LocalDateTime> local = localDateTimeOf(unixTime);
    if (!local) {
        return std::to_string(unixTime);
    }
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local->year, local->month,
                  local->day, local->hour, local->minute);
    return text;
}
