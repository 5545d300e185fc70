// The layout order and the filter that runs before it.

#include <random>
#include <set>
#include <string>
#include <vector>

#include "layout_test_support.h"
#include "support/scoped_environment.h"

namespace {

using layout_test::byNo;
using layout_test::chat;
using layout_test::LayoutFixture;
using Ints = std::vector<int32_t>;

constexpr int32_t kHourStartUtc = 1'299'999'600;  // 2011-03-13 07:00:00 UTC

// Runs each test in UTC and restores TZ afterwards.
class LayoutOrder : public ::testing::Test {
protected:
    static ChatRecord dated(int32_t vpos, int32_t date, int32_t premium, int32_t no) {
        ChatRecord r = chat(vpos, u"x", "", no);
        r.date = date;
        r.premium = premium;
        return r;
    }
    static Ints laidOut(ChatList chats) {
        LayoutFixture f;
        f.run(chats);
        Ints numbers;
        for (const ChatRecord& r : chats) {
            numbers.push_back(r.no);
        }
        return numbers;
    }

private:
    ScopedEnvironment utc{"TZ", "UTC0"};  // the hours of the dates are UTC ones
};

TEST_F(LayoutOrder, SecondThenPremiumThenVposThenNumberWithinAnHour) {
    const int32_t date = kHourStartUtc + 100;
    EXPECT_EQ(laidOut({dated(250, date, 5, 1), dated(150, date, 0, 2), dated(190, date, 1, 3),
                       dated(120, date, 0, 4), dated(150, date, 0, 0)}),
              (Ints{3, 4, 0, 2, 1}));
    // 07:16:40 and 07:33:20 UTC share an hour, so premium decides; at UTC+5:30 they are 12:46:40
    // and 13:03:20, different hours, so the older comes first.
    const ChatList twoHours{dated(100, kHourStartUtc + 1000, 0, 1),
                            dated(100, kHourStartUtc + 2000, 1, 2)};
    EXPECT_EQ(laidOut(twoHours), (Ints{2, 1}));
    ScopedEnvironment india("TZ", "IST-5:30");
    EXPECT_EQ(laidOut(twoHours), (Ints{1, 2}));
}

TEST_F(LayoutOrder, ContradictoryHourComparisonsStillGiveEveryRecordOnce) {
    // Same hour on different days compares by premium, different hours by date: the keys can
    // form cycles (a < b < c < a), which must neither lose records nor break the seconds' order.
    std::mt19937 gen(7);
    ChatList chats;
    for (int32_t no = 0; no < 3000; ++no) {
        chats.push_back(
            dated(gen() % 500, kHourStartUtc + gen() % 31 * 86400 + gen() % 86400, gen() % 2, no));
    }
    LayoutFixture f;
    f.random = layout_test::SequenceRandom(std::vector<int>(3000, 100));
    f.run(chats);
    ASSERT_EQ(chats.size(), 3000u);
    std::set<int32_t> seen;
    for (std::size_t i = 0; i < chats.size(); ++i) {
        seen.insert(chats[i].no);
        EXPECT_LE(chats[i > 0 ? i - 1 : 0].vposSec, chats[i].vposSec);
    }
    EXPECT_EQ(seen.size(), 3000u);
}

TEST_F(LayoutOrder, TheFilterRemovesCommentsBeforeAnyIsPlaced) {
    // 1 is posted before the period and 3 by an NG user: 2 and 4 take rows 0 and 24. (What the
    // cap and the filter remove is counted in LayoutCounts.)
    ChatList chats{dated(0, kHourStartUtc - 1, 0, 1), dated(0, kHourStartUtc, 0, 2),
                   dated(0, kHourStartUtc + 1, 0, 3), dated(0, kHourStartUtc + 2, 0, 4)};
    chats[2].userId = "ngUser";
    LayoutFixture f;
    f.filter.periodStart = kHourStartUtc;
    f.filter.ngList = {"ngUser"};
    f.run(chats);
    EXPECT_EQ(byNo(chats, &ChatRecord::no), (Ints{2, 4}));
    EXPECT_EQ(byNo(chats, &ChatRecord::y), (Ints{0, 24}));
}

}  // namespace
