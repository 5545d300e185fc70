#include "comments/comment_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ChatRecord chat(int32_t seq, int32_t date, int32_t no, std::string userId = "") {
    ChatRecord record;
    record.seq = seq;
    record.date = date;
    record.no = no;
    record.userId = std::move(userId);
    return record;
}

std::vector<int32_t> seqs(const ChatList& chats) {
    std::vector<int32_t> out;
    for (const ChatRecord& record : chats) {
        out.push_back(record.seq);
    }
    return out;
}

// `count` records in arrival order whose dates run backwards, so that sorting shows.
ChatList postedBackwards(int count) {
    ChatList chats;
    for (int i = 0; i < count; ++i) {
        chats.push_back(chat(i, 1'000'000 - i, i));
    }
    return chats;
}

CommentFilterSettings wholePeriod() {
    CommentFilterSettings filter;
    filter.periodStart = INT32_MIN;
    filter.periodEnd = INT32_MAX;
    return filter;
}

}  // namespace

TEST(LimitOldComments, TheLimitFollowsTheVideoLengthInWholeSeconds) {
    const struct {
        int durationCs;
        size_t limit;
    } cases[] = {
        {0, 100},     {15099, 100},  {15100, 250}, {29999, 250},      {30000, 500},
        {59999, 500}, {60000, 1000}, {-500, 100},  {INT32_MAX, 1000},
    };
    for (const auto& c : cases) {
        ChatList chats = postedBackwards(1001);
        limitOldComments(chats, c.durationCs);
        EXPECT_EQ(chats.size(), c.limit) << c.durationCs;
    }
}

TEST(LimitOldComments, KeepsTheNewestSortedByDateThenNumber) {
    ChatList chats = postedBackwards(1001);
    // Two oldest candidates with the same date: the smaller number goes.
    chats[500] = chat(500, 1, 8);
    chats[700] = chat(700, 1, 7);
    limitOldComments(chats, 60000);
    ASSERT_EQ(chats.size(), 1000u);
    EXPECT_EQ(chats.front().seq, 500);
    for (size_t i = 1; i < chats.size(); ++i) {
        const bool ordered = chats[i - 1].date < chats[i].date ||
                             (chats[i - 1].date == chats[i].date && chats[i - 1].no < chats[i].no);
        ASSERT_TRUE(ordered) << "at " << i;
    }
    for (const ChatRecord& record : chats) {
        EXPECT_NE(record.seq, 700);
    }
}

TEST(LimitOldComments, AListWithinTheLimitKeepsItsOrder) {
    ChatList chats = postedBackwards(1000);
    const std::vector<int32_t> before = seqs(chats);
    limitOldComments(chats, 60000);
    EXPECT_EQ(seqs(chats), before);

    ChatList empty;
    limitOldComments(empty, 0);
    EXPECT_TRUE(empty.empty());
}

TEST(LimitOldComments, CutsALargeListToTheNewest) {
    ChatList chats = postedBackwards(20000);
    limitOldComments(chats, 100);
    ASSERT_EQ(chats.size(), 100u);
    EXPECT_EQ(chats.front().seq, 99);  // the hundred newest are seq 0..99, oldest first
    EXPECT_EQ(chats.back().seq, 0);
}

TEST(FilterComments, ThePeriodIncludesBothBounds) {
    ChatList chats = {chat(0, 99, 0), chat(1, 100, 1), chat(2, 150, 2), chat(3, 200, 3),
                      chat(4, 201, 4)};
    CommentFilterSettings filter;
    filter.periodStart = 100;
    filter.periodEnd = 200;
    filterComments(chats, filter);
    EXPECT_EQ(seqs(chats), (std::vector<int32_t>{1, 2, 3}));
}

TEST(FilterComments, NgUsersGoAndExtractUsersAloneStay) {
    const ChatList all = {chat(0, 5, 0, "alice"), chat(1, 4, 1, "bob"),   chat(2, 3, 2, ""),
                          chat(3, 2, 3, "Alice"), chat(4, 1, 4, "carol"), chat(5, 0, 5, "alice ")};
    {
        ChatList chats = all;
        CommentFilterSettings filter = wholePeriod();
        filter.ngList = {"alice", "nobody"};
        filterComments(chats, filter);
        EXPECT_EQ(seqs(chats), (std::vector<int32_t>{1, 2, 3, 4, 5}));  // exact, case-sensitive
    }
    {
        ChatList chats = all;
        CommentFilterSettings filter = wholePeriod();
        filter.extractList = {"carol", "alice"};
        filterComments(chats, filter);
        EXPECT_EQ(seqs(chats), (std::vector<int32_t>{0, 4}));
    }
    {
        // A user in both lists goes.
        ChatList chats = all;
        CommentFilterSettings filter = wholePeriod();
        filter.ngList = {"alice"};
        filter.extractList = {"alice", "bob"};
        filterComments(chats, filter);
        EXPECT_EQ(seqs(chats), (std::vector<int32_t>{1}));
    }
    {
        // Empty lists filter nothing; an empty entry stands for the comments without an ID.
        ChatList chats = all;
        filterComments(chats, wholePeriod());
        EXPECT_EQ(seqs(chats), (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
        CommentFilterSettings filter = wholePeriod();
        filter.extractList = {""};
        filterComments(chats, filter);
        EXPECT_EQ(seqs(chats), (std::vector<int32_t>{2}));
    }
    {
        ChatList chats = all;
        CommentFilterSettings filter = wholePeriod();
        filter.ngList = {""};
        filter.periodEnd = 4;
        filterComments(chats, filter);
        EXPECT_EQ(seqs(chats), (std::vector<int32_t>{1, 3, 4, 5}));
    }
}

TEST(FilterComments, UserIdListsCompareBytesExactly) {
    const std::vector<std::string> list = {"abc", "ユーザー", ""};
    EXPECT_TRUE(isNgUser(list, "abc"));
    EXPECT_TRUE(isNgUser(list, "ユーザー"));
    EXPECT_TRUE(isNgUser(list, ""));
    EXPECT_FALSE(isNgUser(list, "ABC"));
    EXPECT_FALSE(isNgUser(list, "abc "));
    EXPECT_FALSE(isNgUser(list, "ab"));
    EXPECT_FALSE(isNgUser({}, ""));
    EXPECT_TRUE(isExtractUser(list, "ユーザー"));
    EXPECT_FALSE(isExtractUser(list, "ユーザ"));
    EXPECT_FALSE(isExtractUser({}, "abc"));
}
