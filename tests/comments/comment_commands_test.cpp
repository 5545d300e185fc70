#include "comments/comment_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

TEST(ReadCommands, PositionsAndSizes) {
    // "ue" wins over "shita" in either order and counts wherever its letters stand (also with
    // the blank put in for the colour "blue"); commands are case-sensitive; "small" 1 and 0 are
    // raised to 1.
    // clang-format off
    const struct {
        const char* mail;
        int base, position, size;
        bool shrunk;
    } cases[] = {
        {"", 18, 0, 18, false},              {"shita", 18, 2, 18, false},
        {"shita ue", 18, 1, 18, false},      {"ue shita", 18, 1, 18, false},
        {"queen", 18, 1, 18, false},         {"184 shita big 3", 18, 2, 27, false},
        {"blue2", 18, 0, 18, false},         {"marineblue shita", 18, 2, 18, false},
        {"blblueue", 18, 1, 18, false},      {"UE BIG SMALL Shita", 18, 0, 18, false},
        {"small", 18, 0, 12, true},          {"small big", 18, 0, 18, true},
        {"small", 1, 0, 1, true},            {"small", 0, 0, 1, true},
        {"big", 0, 0, 0, false},             {"ue big 184", 24, 1, 36, false},
        {"big", INT_MAX, 0, INT_MAX, false}};
    // clang-format on
    for (const auto& c : cases) {
        const CommandResult result = readCommands(c.mail, c.base);
        EXPECT_EQ(result.position.value_or(0), c.position) << c.mail;
        EXPECT_EQ(result.size, c.size) << c.mail << " " << c.base;
        EXPECT_EQ(result.shrunk, c.shrunk) << c.mail;
    }
}

TEST(ReadCommands, IntegerRoundingMatchesTheFloatingPointFormula) {
    for (int size = 0; size <= 2000; ++size) {
        const int big = size + static_cast<int>(std::ceil(size * 0.5));
        const int small = std::max(1, size - static_cast<int>(std::ceil(size * 0.3)));
        const int both = std::max(1, big - static_cast<int>(std::ceil(big * 0.3)));
        ASSERT_EQ(readCommands("big", size).size, big) << size;
        ASSERT_EQ(readCommands("small", size).size, small) << size;
        ASSERT_EQ(readCommands("bigsmall", size).size, both) << size;
    }
}

TEST(ColourForMail, TheLastMatchingRowOfTheTableWinsWhateverTheCase) {
    // The table's order decides, not the order of the words; only single-byte letters change
    // case, full-width ones name no colour.
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"", "FF FF FF"},              {"184", "FF FF FF"},            {"white", "FF FF FF"},
        {"niconicowhite", "CC CC 99"}, {"white2", "CC CC 99"},         {"red", "FF 00 00"},
        {"red2", "CC 00 33"},          {"truered", "CC 00 33"},        {"pink", "FF 80 80"},
        {"orange", "FF CC 00"},        {"passionorange", "FF 66 00"},  {"orange2", "FF 66 00"},
        {"yellow", "FF FF 00"},        {"madyellow", "99 99 00"},      {"yellow2", "99 99 00"},
        {"green", "00 FF 00"},         {"elementalgreen", "00 CC 66"}, {"green2", "00 CC 66"},
        {"cyan", "00 FF FF"},          {"blue", "00 00 FF"},           {"blue2", "33 FF FC"},
        {"marineblue", "33 FF FC"},    {"purple", "C0 00 FF"},         {"purple2", "66 33 CC"},
        {"nobleviolet", "66 33 CC"},   {"black", "00 00 00"},          {"black red", "00 00 00"},
        {"red black", "00 00 00"},     {"green2 red", "00 CC 66"},     {"BLACK", "00 00 00"},
        {"ue Red 184", "FF 00 00"},    {"MarineBlue", "33 FF FC"},     {"ＲＥＤ ｒｅｄ", "FF FF FF"},
        {"赤 red", "FF 00 00"}};
    // clang-format on
    for (const auto& [mail, colour] : cases) {
        EXPECT_EQ(colourForMail(mail), colour) << mail;
    }
}
