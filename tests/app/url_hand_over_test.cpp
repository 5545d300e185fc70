// The command line's URL and the texts of a hand-over between instances.

#include <gtest/gtest.h>

#include <string>

#include "app/url_hand_over.h"

namespace {

TEST(UrlHandOver, TheWholeCommandTailIsOneUrl) {
    EXPECT_EQ(commandLineUrl({}), "");
    EXPECT_EQ(commandLineUrl({"http://www.nicovideo.jp/watch/sm9"}),
              "http://www.nicovideo.jp/watch/sm9");
    // Nothing is removed: quotes, blanks inside arguments and empty arguments all stay.
    EXPECT_EQ(commandLineUrl({"\"http://a/watch/sm9\"", "x  y", "", "z"}),
              "\"http://a/watch/sm9\" x  y  z");
}

TEST(UrlHandOver, AHandOverCarriesAtMost1023Bytes) {
    const std::string url = "http://example.com/watch/" + std::string(2000, 'a');
    EXPECT_EQ(handOverText(url).size(), 1023u);
    EXPECT_EQ(handOverText(url), url.substr(0, 1023));
    EXPECT_EQ(handOverText(std::string(1023, 'b')), std::string(1023, 'b'));
    EXPECT_EQ(handOverText(""), "");
}

TEST(UrlHandOver, TheCutNeverSplitsAUtf8Character) {
    // "あ" is three bytes; 1022 ASCII bytes and then "あ" cannot keep the whole character.
    const std::string url = std::string(1022, 'a') + "あ" + "tail";
    EXPECT_EQ(handOverText(url), std::string(1022, 'a'));
    const std::string fits = std::string(1020, 'a') + "あ";
    EXPECT_EQ(handOverText(fits + "x"), fits);
}

TEST(UrlHandOver, TheReceivedTextEndsAtItsFirstZeroByte) {
    EXPECT_EQ(receivedHandOverText(std::string("http://a/watch/sm9\0garbage", 26)),
              "http://a/watch/sm9");
    EXPECT_EQ(receivedHandOverText(std::string(1024, '\0')), "");
    EXPECT_EQ(receivedHandOverText(std::string(1500, 'c')), std::string(1023, 'c'));
}

TEST(UrlHandOver, OnlyHttpInAnyLetterCaseStartsAJob) {
    EXPECT_TRUE(beginsWithHttp("http://www.nicovideo.jp/watch/sm9"));
    EXPECT_TRUE(beginsWithHttp("HTTP://WWW.NICOVIDEO.JP/watch/sm9"));
    EXPECT_TRUE(beginsWithHttp("hTtP://x"));
    EXPECT_FALSE(beginsWithHttp("https://www.nicovideo.jp/watch/sm9"));
    EXPECT_FALSE(beginsWithHttp("\"http://www.nicovideo.jp/watch/sm9\""));
    EXPECT_FALSE(beginsWithHttp(" http://x"));
    EXPECT_FALSE(beginsWithHttp("http:/"));
    EXPECT_FALSE(beginsWithHttp(""));
}

}  // namespace
