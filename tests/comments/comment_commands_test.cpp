#include "comments/comment_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

TEST(ReadCommands, AnEmptyMailChangesNothing) {
    const CommandResult result = readCommands("", 18);
    EXPECT_FALSE(result.position.has_value());
    EXPECT_EQ(result.size, 18);
    EXPECT_FALSE(result.shrunk);
}

TEST(ReadCommands, UeWinsOverShitaInEitherOrder) {
    EXPECT_EQ(readCommands("shita", 18).position, 2);
    EXPECT_EQ(readCommands("ue", 18).position, 1);
    EXPECT_EQ(readCommands("shita ue", 18).position, 1);
    EXPECT_EQ(readCommands("ue shita", 18).position, 1);
    // Commands count wherever their letters stand, also inside other words.
    EXPECT_EQ(readCommands("queen", 18).position, 1);
    EXPECT_EQ(readCommands("184 shita big 3", 18).position, 2);
}

TEST(ReadCommands, BlueIsAColourNotACommand) {
    EXPECT_FALSE(readCommands("blue", 18).position.has_value());
    EXPECT_FALSE(readCommands("blue2", 18).position.has_value());
    EXPECT_FALSE(readCommands("marineblue shita", 18).position == 1);
    EXPECT_EQ(readCommands("marineblue shita", 18).position, 2);
    // The blank put in place of "blue" joins no letters: "bl" + " " + "ue" still holds "ue".
    EXPECT_EQ(readCommands("blblueue", 18).position, 1);
}

TEST(ReadCommands, CommandsAreCaseSensitive) {
    const CommandResult result = readCommands("UE BIG SMALL Shita", 18);
    EXPECT_FALSE(result.position.has_value());
    EXPECT_EQ(result.size, 18);
    EXPECT_FALSE(result.shrunk);
}

TEST(ReadCommands, BigAndSmallRoundUpTheirChange) {
    EXPECT_EQ(readCommands("big", 18).size, 27);
    EXPECT_EQ(readCommands("small", 18).size, 12);
    const CommandResult both = readCommands("small big", 18);
    EXPECT_EQ(both.size, 18);
    EXPECT_TRUE(both.shrunk);
    EXPECT_TRUE(readCommands("small", 18).shrunk);
    EXPECT_FALSE(readCommands("big", 18).shrunk);

    EXPECT_EQ(readCommands("big", 15).size, 23);    // 15 + ceil(7.5)
    EXPECT_EQ(readCommands("small", 15).size, 10);  // 15 - ceil(4.5)
    EXPECT_EQ(readCommands("small", 10).size, 7);   // 10 - ceil(3.0), no rounding noise
    EXPECT_EQ(readCommands("small", 20).size, 14);
    EXPECT_EQ(readCommands("small", 1).size, 1);  // 1 - ceil(0.3) = 0, raised to 1
    EXPECT_EQ(readCommands("small", 0).size, 1);
    EXPECT_EQ(readCommands("big", 0).size, 0);
    EXPECT_EQ(readCommands("ue big 184", 24).position, 1);
    EXPECT_EQ(readCommands("ue big 184", 24).size, 36);
    EXPECT_EQ(readCommands("big", INT_MAX).size, INT_MAX);
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

TEST(ColourForMail, TheLastMatchingRowOfTheTableWins) {
    EXPECT_EQ(colourForMail(""), "FF FF FF");
    EXPECT_EQ(colourForMail("184"), "FF FF FF");
    EXPECT_EQ(colourForMail("white"), "FF FF FF");
    EXPECT_EQ(colourForMail("niconicowhite"), "CC CC 99");
    EXPECT_EQ(colourForMail("white2"), "CC CC 99");
    EXPECT_EQ(colourForMail("red"), "FF 00 00");
    EXPECT_EQ(colourForMail("red2"), "CC 00 33");
    EXPECT_EQ(colourForMail("truered"), "CC 00 33");
    EXPECT_EQ(colourForMail("pink"), "FF 80 80");
    EXPECT_EQ(colourForMail("orange"), "FF CC 00");
    EXPECT_EQ(colourForMail("passionorange"), "FF 66 00");
    EXPECT_EQ(colourForMail("orange2"), "FF 66 00");
    EXPECT_EQ(colourForMail("yellow"), "FF FF 00");
    EXPECT_EQ(colourForMail("madyellow"), "99 99 00");
    EXPECT_EQ(colourForMail("yellow2"), "99 99 00");
    EXPECT_EQ(colourForMail("green"), "00 FF 00");
    EXPECT_EQ(colourForMail("elementalgreen"), "00 CC 66");
    EXPECT_EQ(colourForMail("green2"), "00 CC 66");
    EXPECT_EQ(colourForMail("cyan"), "00 FF FF");
    EXPECT_EQ(colourForMail("blue"), "00 00 FF");
    EXPECT_EQ(colourForMail("blue2"), "33 FF FC");
    EXPECT_EQ(colourForMail("marineblue"), "33 FF FC");
    EXPECT_EQ(colourForMail("purple"), "C0 00 FF");
    EXPECT_EQ(colourForMail("purple2"), "66 33 CC");
    EXPECT_EQ(colourForMail("nobleviolet"), "66 33 CC");
    EXPECT_EQ(colourForMail("black"), "00 00 00");
    // The table's order decides, not the order of the words in the mail.
    EXPECT_EQ(colourForMail("black red"), "00 00 00");
    EXPECT_EQ(colourForMail("red black"), "00 00 00");
    EXPECT_EQ(colourForMail("green2 red"), "00 CC 66");
}

TEST(ColourForMail, ColourNamesAreFoundRegardlessOfCase) {
    EXPECT_EQ(colourForMail("BLACK"), "00 00 00");
    EXPECT_EQ(colourForMail("ue Red 184"), "FF 00 00");
    EXPECT_EQ(colourForMail("MarineBlue"), "33 FF FC");
    // Only single-byte letters change case: full-width letters name no colour.
    EXPECT_EQ(colourForMail("ＲＥＤ ｒｅｄ"), "FF FF FF");
    EXPECT_EQ(colourForMail("赤 red"), "FF 00 00");
}

TEST(ColourForMail, TheMailItselfIsNotChanged) {
    const std::string mail = "RED big";
    EXPECT_EQ(colourForMail(mail), "FF 00 00");
    EXPECT_EQ(mail, "RED big");
}
