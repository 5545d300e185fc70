// The command line's URL and the texts of a hand-over between instances.

#include "app/url_hand_over.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UrlHandOver, TheWholeCommandTailIsOneUrl) {
    EXPECT_EQ(commandLineUrl({}), "");
    EXPECT_EQ(commandLineUrl({"http://www.nicovideo.jp/watch/sm9"}),
              "http://www.nicovideo.jp/watch/sm9");
    // Nothing is removed: quotes, blanks inside arguments and empty arguments all stay.
    EXPECT_EQ(commandLineUrl({"\"http://a/watch/sm9\"", "x  y", "", "z"}),
              "\"http://a/watch/sm9\" x  y  z");
}

TEST(UrlHandOver, AHandOverCarriesAtMost1023BytesAndNeverSplitsACharacter) {
    const std::string url = "http://example.com/watch/" + std::string(2000, 'a');
    EXPECT_EQ(handOverText(url), url.substr(0, 1023));
    EXPECT_EQ(handOverText(std::string(1023, 'b')), std::string(1023, 'b'));
    EXPECT_EQ(handOverText(""), "");
    // "あ" is three bytes: after 1022 ASCII bytes it cannot be kept whole.
    EXPECT_EQ(handOverText(std::string(1022, 'a') + "あtail"), std::string(1022, 'a'));
    const std::string fits = std::string(1020, 'a') + "あ";
    EXPECT_EQ(handOverText(fits + "x"), fits);

    // The received text ends at its first zero byte.
    EXPECT_EQ(receivedHandOverText(std::string("http://a/watch/sm9\0garbage", 26)),
              "http://a/watch/sm9");
    EXPECT_EQ(receivedHandOverText(std::string(1024, '\0')), "");
    EXPECT_EQ(receivedHandOverText(std::string(1500, 'c')), std::string(1023, 'c'));
}

TEST(UrlHandOver, AnHttpOrHttpsAddressOrAVideoIdStartsAJob) {
    for (const char* url :
         {"http://www.nicovideo.jp/watch/sm9", "HTTP://WWW.NICOVIDEO.JP/watch/sm9", "hTtP://x",
          "https://www.nicovideo.jp/watch/sm9", "sm9", "so38016254"}) {
        EXPECT_TRUE(startsAJob(url)) << url;
    }
    for (const char* url :
         {"\"http://www.nicovideo.jp/watch/sm9\"", " http://x", "http:/", "", "watch sm9"}) {
        EXPECT_FALSE(startsAJob(url)) << url;
    }
}

}  // namespace
