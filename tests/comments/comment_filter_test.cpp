#include "comments/comment_filter.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using Ints = std::vector<int32_t>;

ChatRecord chat(int32_t seq, int32_t date, std::string userId = "") {
    ChatRecord record;
    record.seq = record.no = seq;
    record.date = date;
    record.userId = std::move(userId);
    return record;
}

Ints seqs(const ChatList& chats) {
    Ints out;
    for (const ChatRecord& record : chats) {
        out.push_back(record.seq);
    }
    return out;
}

// `count` records in arrival order whose dates run backwards, so that sorting shows.
ChatList postedBackwards(int count) {
    ChatList chats;
    for (int i = 0; i < count; ++i) {
        chats.push_back(chat(i, 1'000'000 - i));
    }
    return chats;
}

}  // namespace

TEST(LimitOldComments, TheLimitFollowsTheVideoLengthInWholeSeconds) {
    const std::pair<int, size_t> cases[] = {{0, 100},      {15099, 100}, {15100, 250},
                                            {29999, 250},  {30000, 500}, {59999, 500},
                                            {60000, 1000}, {-500, 100},  {INT32_MAX, 1000}};
    for (const auto& [durationCs, limit] : cases) {
        ChatList chats = postedBackwards(1001);
        EXPECT_EQ(limitOldComments(chats, durationCs), static_cast<int64_t>(1001 - limit));
        EXPECT_EQ(chats.size(), limit) << durationCs;
    }
}

TEST(LimitOldComments, KeepsTheNewestSortedByDateThenNumberAndAShortListAsItIs) {
    ChatList chats = postedBackwards(1001);
    // Two oldest candidates with the same date: the smaller number goes.
    chats[500] = chat(500, 1);
    chats[500].no = 8;
    chats[700] = chat(700, 1);
    chats[700].no = 7;
    limitOldComments(chats, 60000);
    ASSERT_EQ(chats.size(), 1000u);
    EXPECT_EQ(chats.front().seq, 500);
    for (size_t i = 1; i < chats.size(); ++i) {
        ASSERT_LT(std::pair(chats[i - 1].date, chats[i - 1].no),
                  std::pair(chats[i].date, chats[i].no));
    }

    ChatList few = postedBackwards(1000);
    EXPECT_EQ(limitOldComments(few, 60000), 0);
    EXPECT_EQ(seqs(few), seqs(postedBackwards(1000)));
}

TEST(FilterComments, PeriodNgAndExtractLists) {
    // Dates 5 .. 0; ids compared byte for byte; "" stands for the comments without an ID.
    const ChatList all = {chat(0, 5, "alice"), chat(1, 4, "bob"),   chat(2, 3, ""),
                          chat(3, 2, "Alice"), chat(4, 1, "carol"), chat(5, 0, "alice ")};
    const struct {
        int32_t periodStart, periodEnd;
        std::vector<std::string> ng, extract;
        Ints kept;
        Ints removed;  // by the period, the NG list, the extract list, in that order
    } cases[] = {
        {INT32_MIN, INT32_MAX, {}, {}, {0, 1, 2, 3, 4, 5}, {0, 0, 0}},
        {1, 4, {}, {}, {1, 2, 3, 4}, {2, 0, 0}},  // both bounds included
        {INT32_MIN, INT32_MAX, {"alice", "nobody"}, {}, {1, 2, 3, 4, 5}, {0, 1, 0}},
        {INT32_MIN, INT32_MAX, {}, {"carol", "alice"}, {0, 4}, {0, 0, 4}},
        {INT32_MIN, INT32_MAX, {"alice"}, {"alice", "bob"}, {1}, {0, 1, 4}},  // in both: goes
        {INT32_MIN, INT32_MAX, {}, {""}, {2}, {0, 0, 5}},
        {INT32_MIN, 4, {""}, {}, {1, 3, 4, 5}, {1, 1, 0}},
    };
    for (const auto& c : cases) {
        ChatList chats = all;
        const FilterRemovals removed =
            filterComments(chats, {c.periodStart, c.periodEnd, c.ng, c.extract});
        EXPECT_EQ(seqs(chats), c.kept) << c.periodStart << ".." << c.periodEnd;
        EXPECT_EQ((Ints{static_cast<int32_t>(removed.period), static_cast<int32_t>(removed.ngList),
                        static_cast<int32_t>(removed.extractList)}),
                  c.removed)
            << c.periodStart << ".." << c.periodEnd;
    }
}
