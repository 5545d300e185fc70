// The text rules of the service client: form decoding and encoding, the getflv answer's values
// and chunks, URL splitting, and which video IDs may name a file.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/ini_file.h"
#include "service/form_coding.h"
#include "service/service_answer.h"
#include "service/service_endpoints.h"
#include "service/url_parts.h"
#include "service/video_id.h"

using namespace std::string_literals;

TEST(UrlDecode, DecodesEscapesPlusAndCopiesTheRest) {
    EXPECT_EQ(urlDecode("http%3A%2F%2Fsmile-com.nicovideo.jp%2Fsmile%3Fv%3D123.456"),
              "http://smile-com.nicovideo.jp/smile?v=123.456");
    EXPECT_EQ(urlDecode("a+b+%2b"), "a b +");
    EXPECT_EQ(urlDecode("%e3%81%82"), "\xE3\x81\x82");  // lower-case digits too
    EXPECT_EQ(urlDecode("%00x"), "\0x"s);
    EXPECT_EQ(urlDecode("plain"), "plain");
    EXPECT_EQ(urlDecode(""), "");
}

TEST(UrlDecode, APercentWithoutTwoHexDigitsIsDroppedWithTheCharacterAfterIt) {
    // "%" and one non-hex character lose both; the scan goes on behind them.
    EXPECT_EQ(urlDecode("a%G1b"), "a1b");
    EXPECT_EQ(urlDecode("a%4Gb"), "aGb");
    // "%4" at the very end loses both; a "%" at the very end is dropped.
    EXPECT_EQ(urlDecode("ab%4"), "ab");
    EXPECT_EQ(urlDecode("ab%"), "ab");
    // "%%41": the first "%" takes the second with it, "41" stays text.
    EXPECT_EQ(urlDecode("%%41"), "41");
}

TEST(HexPairValue, SpellsTheByteOfTwoDigits) {
    EXPECT_EQ(hexPairValue('4', '1'), 'A');
    EXPECT_EQ(static_cast<unsigned char>(hexPairValue('f', 'F')), 0xFF);
    EXPECT_EQ(hexPairValue('0', '0'), '\0');
}

TEST(FormEncode, EscapesEverythingFormDecodingWouldChange) {
    EXPECT_EQ(formEncode("p&ss=w+rd%41 x"), "p%26ss%3Dw%2Brd%2541+x");
    EXPECT_EQ(formEncode("demo@example.com"), "demo%40example.com");
    for (const std::string& text : {"a&b=c+d%e f"s, "\xE3\x81\x82;/?#"s, ""s, "%%%"s}) {
        EXPECT_EQ(urlDecode(formEncode(text)), text) << text;
    }
}

TEST(XmlEscape, EscapesTheFiveSpecialCharacters) {
    EXPECT_EQ(xmlEscape("1&2<3>4\"5'6"), "1&amp;2&lt;3&gt;4&quot;5&apos;6");
    EXPECT_EQ(xmlEscape("1173108780"), "1173108780");
}

TEST(AnswerValue, TakesTheFirstValueUpToTheNextAmpersand) {
    const std::string answer = "thread_id=123&l=60&url=http%3A%2F%2Fa%2Fb&ms=first&ms=second&x=1";
    EXPECT_EQ(answerValue(answer, "thread_id="), "123");  // found as the first key
    EXPECT_EQ(answerValue(answer, "&url="), "http%3A%2F%2Fa%2Fb");
    EXPECT_EQ(answerValue(answer, "&ms="), "first");
    EXPECT_EQ(answerValue(answer, "&nothing="), std::nullopt);
    // A value with no "&" after it does not count.
    EXPECT_EQ(answerValue("a=1&thread_id=123", "thread_id="), std::nullopt);
    EXPECT_EQ(answerValue("a=1&url=&b=2", "&url="), "");
}

TEST(TextOfChunks, AZeroByteCutsOnlyTheRestOfItsOwnChunk) {
    std::string raw(1024, 'a');
    raw[10] = '\0';    // the first chunk keeps 10 bytes
    raw += "&url=x&";  // the second chunk is whole
    EXPECT_EQ(textOfChunks(raw, kLookupChunkBytes), std::string(10, 'a') + "&url=x&");

    // Chunks: 1024 "b"; "kept\0dropped" and 1012 "c" (cut to "kept"); the last 988 "c".
    const std::string second = std::string(1024, 'b') + "kept\0dropped"s + std::string(2000, 'c');
    EXPECT_EQ(textOfChunks(second, 1024), std::string(1024, 'b') + "kept" + std::string(988, 'c'));
    EXPECT_EQ(textOfChunks("", 1024), "");
}

TEST(SplitUrl, GivesSchemeServerObjectAndPort) {
    const auto plain = splitUrl("http://www.nicovideo.jp/watch/sm9?from=top#comments");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->scheme, "http");
    EXPECT_EQ(plain->server, "www.nicovideo.jp");
    EXPECT_EQ(plain->object, "/watch/sm9?from=top");
    EXPECT_EQ(plain->port, 80);

    const auto secure = splitUrl("HTTPS://secure.nicovideo.jp/secure/login?site=niconico");
    ASSERT_TRUE(secure);
    EXPECT_EQ(secure->scheme, "https");
    EXPECT_EQ(secure->port, 443);

    const auto ownPort = splitUrl("https://user:pw@127.0.0.1:8443");
    ASSERT_TRUE(ownPort);
    EXPECT_EQ(ownPort->server, "127.0.0.1");
    EXPECT_EQ(ownPort->port, 8443);
    EXPECT_EQ(ownPort->object, "/");

    const auto query = splitUrl("http://h?x=1");
    ASSERT_TRUE(query);
    EXPECT_EQ(query->object, "/?x=1");

    const auto v6 = splitUrl("http://[::1]:8080/a");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->server, "::1");
    EXPECT_EQ(requestUrl(*v6), "http://[::1]:8080/a");

    for (const char* bad : {"www.nicovideo.jp/watch/sm9", "http:///path", "http://h:0/",
                            "http://h:65536/", "http://h:8x/", "://h/", "ht tp://h/"}) {
        EXPECT_FALSE(splitUrl(bad)) << bad;
    }
}

TEST(SplitUrl, TheRequestAddressEscapesOnlyWhatARequestLineCannotCarry) {
    const auto parts = splitUrl("http://127.0.0.1:81/smile+data/sm9.flv?key=a b&c=%41\xE3");
    ASSERT_TRUE(parts);
    EXPECT_EQ(requestUrl(*parts), "http://127.0.0.1:81/smile+data/sm9.flv?key=a%20b&c=%41%E3");
    // Any scheme but https is asked over plain http, on the URL's port.
    EXPECT_EQ(requestUrl(*splitUrl("ftp://h/x")), "http://h:80/x");
}

TEST(VideoId, IsTheTextAfterWatchUpToAQueryOrFragment) {
    EXPECT_EQ(videoIdFromPageUrl("http://www.nicovideo.jp/watch/sm9"), "sm9");
    EXPECT_EQ(videoIdFromPageUrl("http://www.nicovideo.jp/watch/sm9?from=top&x=1"), "sm9");
    EXPECT_EQ(videoIdFromPageUrl("http://www.nicovideo.jp/watch/sm9#comments"), "sm9");
}

TEST(VideoId, RefusesIdsThatCouldNameAFileOutsideTheSaveFolder) {
    for (const char* url :
         {"http://www.nicovideo.jp/sm9", "http://www.nicovideo.jp/watch/",
          "http://www.nicovideo.jp/watch/?x=1", "http://www.nicovideo.jp/watch/../x",
          "http://www.nicovideo.jp/watch/..", "http://www.nicovideo.jp/watch/a/b",
          "http://www.nicovideo.jp/watch/a\\b", "http://www.nicovideo.jp/watch/sm9\x01",
          "http://www.nicovideo.jp/watch/a:b", "http://www.nicovideo.jp/watch/a*b",
          "http://www.nicovideo.jp/watch/a\"b", "http://www.nicovideo.jp/watch/a<b",
          "http://www.nicovideo.jp/watch/a>b", "http://www.nicovideo.jp/watch/a|b",
          "http://www.nicovideo.jp/watch/sm9\x7F"}) {
        EXPECT_EQ(videoIdFromPageUrl(url), std::nullopt) << url;
    }
    EXPECT_FALSE(isSafeVideoId("a\0b"s));
    EXPECT_TRUE(isSafeVideoId("sm9"));
    EXPECT_TRUE(isSafeVideoId("so12345.x y"));
    EXPECT_TRUE(isSafeVideoId("\xE5\x8B\x95\xE7\x94\xBB"));
}

TEST(ServiceEndpoints, BuildsTheServiceAddressesFromTheBases) {
    ServiceEndpoints endpoints;
    EXPECT_EQ(endpoints.loginAddress(), "https://secure.nicovideo.jp/secure/login?site=niconico");
    EXPECT_EQ(endpoints.webRootAddress(), "http://www.nicovideo.jp/");
    EXPECT_EQ(endpoints.getflvAddress("sm9"), "http://www.nicovideo.jp/api/getflv?v=sm9");
    endpoints.webBase = "http://127.0.0.1:8080/";
    EXPECT_EQ(endpoints.webRootAddress(), "http://127.0.0.1:8080/");
    EXPECT_EQ(endpoints.getflvAddress("a b&c"), "http://127.0.0.1:8080/api/getflv?v=a%20b&c");
}

TEST(ServiceEndpoints, LumivoxIniMayPointTheHostsElsewhere) {
    char pattern[] = "/tmp/lumivox-endpoints-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path folder = pattern;
    const std::filesystem::path file = folder / "lumivox.ini";
    {
        std::optional<IniFile> ini = IniFile::load(file);
        ASSERT_TRUE(ini);
        const ServiceEndpoints defaults = serviceEndpointsFromIni(*ini);
        EXPECT_EQ(defaults.loginBase, "https://secure.nicovideo.jp");
        EXPECT_EQ(defaults.webBase, "http://www.nicovideo.jp");
        EXPECT_EQ(defaults.caFile, "");
        ini->setString("service", "loginhost", "https://127.0.0.1:8443");
        ini->setString("Service", "WebHost", "http://127.0.0.1:8080");
        ini->setString("Service", "CaFile", "/tmp/demo-cert.pem");
        ASSERT_TRUE(ini->save());
    }
    const std::optional<IniFile> ini = IniFile::load(file);
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(ini);
    const ServiceEndpoints endpoints = serviceEndpointsFromIni(*ini);
    EXPECT_EQ(endpoints.loginAddress(), "https://127.0.0.1:8443/secure/login?site=niconico");
    EXPECT_EQ(endpoints.webRootAddress(), "http://127.0.0.1:8080/");
    EXPECT_EQ(endpoints.caFile, "/tmp/demo-cert.pem");
}
