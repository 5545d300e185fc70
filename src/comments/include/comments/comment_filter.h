#pragma once
// The reductions the layout runs on a job's comment list before placing anything:
// the count cap of the "do not show old comments" option and the period / NG / extract filter.

#include <cstdint>
#include <string>
#include <vector>

#include "comments/chat_record.h"

struct CommentFilterSettings {
    int32_t periodStart = 0;               // seconds since 1970 UTC, inclusive
    int32_t periodEnd = 0;                 // seconds since 1970 UTC, inclusive
    std::vector<std::string> ngList;       // user IDs whose comments are dropped
    std::vector<std::string> extractList;  // when not empty: user IDs whose comments alone are kept
};

// How many records each filter step removed.
struct FilterRemovals {
    int64_t period = 0;
    int64_t ngList = 0;
    int64_t extractList = 0;
};

// The owner's comments are never removed by the count cap or the user ID lists, and do not
// count toward the cap.
//
// Keeps the newest comments when the list holds more than the limit for the video's length
// (100 / 250 / 500 / 1000 for up to 150 s / 299 s / 599 s / longer). Leaves the list sorted by
// date (ties by no) when it removed anything, untouched otherwise. Returns how many it removed.
int64_t limitOldComments(ChatList& chats, int durationCs);

// Period, then NG users, then extract users; keeps the order of the remaining records.
FilterRemovals filterComments(ChatList& chats, const CommentFilterSettings& filter);
