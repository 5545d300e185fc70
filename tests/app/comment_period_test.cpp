// The comment period: its default and the times a user may type.

#include "app/comment_period.h"

#include <gtest/gtest.h>

#include <limits>

#include "support/scoped_environment.h"

namespace {

TEST(CommentPeriod, TheDefaultStartsAtLocalMidnightThreeYearsBackAndEndsTomorrow) {
    constexpr std::time_t kLeapDay = 1709220600;  // 2024-02-29 15:30:00 UTC
    {
        ScopedEnvironment tz("TZ", "UTC0");
        const CommentPeriod period = defaultCommentPeriod(kLeapDay);
        // 29 February 2021 does not exist: 1 March 2021 00:00 UTC.
        EXPECT_EQ(period.start, 1614556800);
        EXPECT_EQ(period.end, kLeapDay + 86400);
        // The end is clamped to the filter's range.
        const std::time_t late = std::numeric_limits<int32_t>::max() - 10;
        EXPECT_EQ(defaultCommentPeriod(late).end, std::numeric_limits<int32_t>::max());
    }
    // 2024-02-29 15:30 UTC is 2024-03-01 00:30 in Tokyo: the start is 2021-03-01 00:00 JST.
    ScopedEnvironment tz("TZ", "Asia/Tokyo");
    EXPECT_EQ(defaultCommentPeriod(kLeapDay).start, 1614556800 - 9 * 3600);
}

TEST(CommentPeriod, TypedTimesAreLocalDatesOrUnixSeconds) {
    ScopedEnvironment tz("TZ", "Asia/Tokyo");
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"2007-03-06", 1173106800},
        {"2007-03-06T12:34", 1173106800 + 12 * 3600 + 34 * 60},
        {"2007-03-06 12:34:56", 1173106800 + 12 * 3600 + 34 * 60 + 56},
        {"  2024-02-29  ", 1709132400},
        {"0", 0},
        {"-86400", -86400},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
    };
    for (const auto& [text, time] : cases) {
        EXPECT_EQ(parsePeriodTime(text), time) << text;
    }
    for (const char* text :
         {"", "today", "2023-02-29", "2024-04-31", "2024-13-01", "2024-00-10", "2024-1-5",
          "2024-01-05T24:00", "2024-01-05T12:60", "2024-01-05T12", "2024-01-05X12:00",
          "2024-01-05T12:00:60", "2024-01-05T12:00:5", "12e3", "1.5", "2040-01-01", "1900-01-01"}) {
        EXPECT_EQ(parsePeriodTime(text), std::nullopt) << text;
    }
}

}  // namespace
