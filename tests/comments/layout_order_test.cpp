// The layout order and the filter stage that runs before it.

#include <time.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "layout_test_support.h"

namespace {

using layout_test::byNo;
using layout_test::chat;
using layout_test::LayoutFixture;

// 2011-03-13 07:00:00 UTC, the start of an hour in UTC.
constexpr int32_t kHourStartUtc = 1'299'999'600;

// Sets TZ for one test and restores the previous value afterwards.
class LayoutOrder : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) {
            savedTz_ = tz;
        }
        setTimeZone("UTC0");
    }
    void TearDown() override {
        if (savedTz_) {
            setenv("TZ", savedTz_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static void setTimeZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }

    static ChatRecord dated(int32_t vpos, int32_t date, int32_t premium, int32_t no) {
        ChatRecord r = chat(vpos, u"x", "", no);
        r.date = date;
        r.premium = premium;
        return r;
    }

    static std::vector<int32_t> numbers(const ChatList& chats) {
        std::vector<int32_t> result;
        for (const ChatRecord& r : chats) {
            result.push_back(r.no);
        }
        return result;
    }

private:
    std::optional<std::string> savedTz_;
};

TEST_F(LayoutOrder, SecondThenPremiumThenVposThenNumber) {
    // All dates lie in one hour. Second 1 before second 2 whatever the premium; within second
    // 1 premium first, then vpos, then number.
    const int32_t date = kHourStartUtc + 100;
    ChatList chats{dated(250, date, 5, 1), dated(150, date, 0, 2), dated(190, date, 1, 3),
                   dated(120, date, 0, 4), dated(150, date, 0, 0)};
    LayoutFixture f;
    f.run(chats);
    EXPECT_EQ(numbers(chats), (std::vector<int32_t>{3, 4, 0, 2, 1}));
}

TEST_F(LayoutOrder, CommentsFromDifferentLocalHoursComeOldestFirst) {
    // 1 is posted at 07:16:40 UTC, 2 at 07:33:20 UTC with premium. In UTC both are in hour 7,
    // so premium decides: 2, 1. At UTC+5:30 they are 12:46:40 and 13:03:20: different hours,
    // so the older comes first: 1, 2.
    const auto make = [] {
        return ChatList{dated(100, kHourStartUtc + 1000, 0, 1),
                        dated(100, kHourStartUtc + 2000, 1, 2)};
    };
    {
        ChatList chats = make();
        LayoutFixture f;
        f.run(chats);
        EXPECT_EQ(numbers(chats), (std::vector<int32_t>{2, 1}));
    }
    setTimeZone("IST-5:30");
    {
        ChatList chats = make();
        LayoutFixture f;
        f.run(chats);
        EXPECT_EQ(numbers(chats), (std::vector<int32_t>{1, 2}));
    }
}

TEST_F(LayoutOrder, ContradictoryHourComparisonsStillGiveEveryRecordOnce) {
    // Same hour on different days compares by premium, different hours by date: such keys
    // can form cycles (a < b < c < a). The order must still hold every record once and keep
    // the seconds ascending.
    std::mt19937 generator(7);
    std::uniform_int_distribution<int32_t> day(0, 30);
    std::uniform_int_distribution<int32_t> secondOfDay(0, 86399);
    std::uniform_int_distribution<int32_t> premium(0, 1);
    std::uniform_int_distribution<int32_t> vpos(0, 499);
    ChatList chats;
    for (int32_t no = 0; no < 3000; ++no) {
        chats.push_back(dated(vpos(generator),
                              kHourStartUtc + day(generator) * 86400 + secondOfDay(generator),
                              premium(generator), no));
    }
    LayoutFixture f;
    f.random = layout_test::SequenceRandom(std::vector<int>(3000, 100));
    f.run(chats);
    ASSERT_EQ(chats.size(), 3000u);
    std::set<int32_t> seen;
    for (std::size_t i = 0; i < chats.size(); ++i) {
        seen.insert(chats[i].no);
        if (i > 0) {
            EXPECT_LE(chats[i - 1].vposSec, chats[i].vposSec);
        }
    }
    EXPECT_EQ(seen.size(), 3000u);
}

TEST_F(LayoutOrder, OldOptionCapsTheCountBeforeTheLayout) {
    // 60 s video: the cap is 100 comments. With 101 the oldest (smallest date, here no 0) goes.
    // The option counts only when it is 1.
    const auto make = [] {
        ChatList chats;
        for (int32_t no = 0; no <= 100; ++no) {
            chats.push_back(dated(no * 50, kHourStartUtc + no, 0, no));
        }
        return chats;
    };
    for (int option : {1, 0, 2}) {
        ChatList chats = make();
        LayoutFixture f;
        f.hideOldComments = option;
        f.run(chats);
        if (option == 1) {
            ASSERT_EQ(chats.size(), 100u);
            for (const ChatRecord& r : chats) {
                EXPECT_NE(r.no, 0);
            }
        } else {
            EXPECT_EQ(chats.size(), 101u) << "option " << option;
        }
    }
}

TEST_F(LayoutOrder, FilteredCommentsNeverTakeAPlace) {
    // 1 is posted before the period and 3 by an NG user: both go before anything is placed,
    // so 2 and 4 (same start) take rows 0 and 24.
    ChatList chats{dated(0, kHourStartUtc - 1, 0, 1), dated(0, kHourStartUtc, 0, 2),
                   dated(0, kHourStartUtc + 1, 0, 3), dated(0, kHourStartUtc + 2, 0, 4)};
    chats[2].userId = "ngUser";
    LayoutFixture f;
    f.filter.periodStart = kHourStartUtc;
    f.filter.ngList = {"ngUser"};
    f.run(chats);
    ASSERT_EQ(chats.size(), 2u);
    EXPECT_EQ(byNo(chats, 2).y, 0);
    EXPECT_EQ(byNo(chats, 4).y, 24);
}

}  // namespace
