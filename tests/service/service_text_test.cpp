// The text rules of the service client: form decoding and encoding, the getflv answer's values
// and chunks, URL splitting, which video IDs may name a file, and where the hosts are.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "platform/ini_file.h"
#include "service/form_coding.h"
#include "service/service_answer.h"
#include "service/service_endpoints.h"
#include "service/url_parts.h"
#include "service/video_id.h"
#include "service_test_support.h"

using namespace std::string_literals;

TEST(FormCoding, DecodesEncodesAndEscapes) {
    const std::pair<std::string, std::string> decoded[] = {
        {"http%3A%2F%2Fsmile-com.nicovideo.jp%2Fsmile%3Fv%3D123.456",
         "http://smile-com.nicovideo.jp/smile?v=123.456"},
        {"a+b+%2b", "a b +"},
        {"%e3%81%82%fF", "\xE3\x81\x82\xFF"},  // lower-case digits too
        {"%00x", "\0x"s},
        {"", ""},
        // A "%" without two hex digits is dropped with the character after it; the scan goes
        // on behind them, so "41" of "%%41" stays text.
        {"a%G1b", "a1b"},
        {"a%4Gb", "aGb"},
        {"ab%4", "ab"},
        {"ab%", "ab"},
        {"%%41", "41"},
    };
    for (const auto& [text, expected] : decoded) {
        EXPECT_EQ(urlDecode(text), expected) << text;
    }
    EXPECT_EQ(formEncode("p&ss=w+rd%41 x"), "p%26ss%3Dw%2Brd%2541+x");
    EXPECT_EQ(formEncode("demo@example.com"), "demo%40example.com");
    for (const std::string& text : {"a&b=c+d%e f"s, "\xE3\x81\x82;/?#"s, "%%%"s}) {
        EXPECT_EQ(urlDecode(formEncode(text)), text) << text;
    }
    EXPECT_EQ(xmlEscape("1&2<3>4\"5'6"), "1&amp;2&lt;3&gt;4&quot;5&apos;6");
}

TEST(GetflvAnswer, TheFirstValueCountsAndAZeroByteCutsOnlyItsOwnChunk) {
    const std::string answer = "thread_id=123&l=60&url=http%3A%2F%2Fa%2Fb&ms=first&ms=second&x=1";
    EXPECT_EQ(answerValue(answer, "thread_id="), "123");
    EXPECT_EQ(answerValue(answer, "&url="), "http%3A%2F%2Fa%2Fb");
    EXPECT_EQ(answerValue(answer, "&ms="), "first");
    EXPECT_EQ(answerValue(answer, "&nothing="), std::nullopt);
    // A value with no "&" after it does not count.
    EXPECT_EQ(answerValue("a=1&thread_id=123", "thread_id="), std::nullopt);
    EXPECT_EQ(answerValue("a=1&url=&b=2", "&url="), "");

    std::string raw(1024, 'a');
    raw[10] = '\0';    // the first chunk keeps 10 bytes
    raw += "&url=x&";  // the second chunk is whole
    EXPECT_EQ(textOfChunks(raw, kLookupChunkBytes), std::string(10, 'a') + "&url=x&");
    // Chunks: 1024 "b"; "kept\0dropped" and 1012 "c" (cut to "kept"); the last 988 "c".
    const std::string second = std::string(1024, 'b') + "kept\0dropped"s + std::string(2000, 'c');
    EXPECT_EQ(textOfChunks(second, 1024), std::string(1024, 'b') + "kept" + std::string(988, 'c'));
}

TEST(SplitUrl, GivesTheAddressCurlIsAskedForOrNothing) {
    // The address shows the scheme, server, port and object the URL was split into. Only what
    // a request line cannot carry is escaped; any scheme but https is asked over plain http.
    const std::pair<const char*, const char*> rows[] = {
        {"http://www.nicovideo.jp/watch/sm9?from=top#comments",
         "http://www.nicovideo.jp:80/watch/sm9?from=top"},
        {"HTTPS://secure.nicovideo.jp/secure/login?site=niconico",
         "https://secure.nicovideo.jp:443/secure/login?site=niconico"},
        {"https://user:pw@127.0.0.1:8443", "https://127.0.0.1:8443/"},
        {"http://h?x=1", "http://h:80/?x=1"},
        {"http://[::1]:8080/a", "http://[::1]:8080/a"},
        {"http://127.0.0.1:81/smile+data/sm9.flv?key=a b&c=%41\xE3",
         "http://127.0.0.1:81/smile+data/sm9.flv?key=a%20b&c=%41%E3"},
        {"ftp://h/x", "http://h:80/x"},
    };
    for (const auto& [url, address] : rows) {
        const auto parts = splitUrl(url);
        EXPECT_EQ(parts ? requestUrl(*parts) : "", address) << url;
    }
    for (const char* url : {"www.nicovideo.jp/watch/sm9", "http:///path", "http://h:0/",
                            "http://h:65536/", "http://h:8x/", "://h/", "ht tp://h/"}) {
        EXPECT_FALSE(splitUrl(url)) << url;
    }
    EXPECT_EQ(splitUrl("http://[::1]:8080/a")->server, "::1");
}

TEST(VideoId, EndsAtAQueryOrFragmentAndNeverNamesAFileOutsideTheSaveFolder) {
    for (const char* tail : {"", "?from=top&x=1", "#comments"}) {
        EXPECT_EQ(videoIdFromPageUrl("http://www.nicovideo.jp/watch/sm9"s + tail), "sm9") << tail;
    }
    EXPECT_EQ(videoIdFromPageUrl("http://www.nicovideo.jp/sm9"), std::nullopt);
    for (const char* tail : {"", "?x=1", "../x", "..", "a/b", "a\\b", "sm9\x01", "a:b", "a*b",
                             "a\"b", "a<b", "a>b", "a|b", "sm9\x7F"}) {
        EXPECT_EQ(videoIdFromPageUrl("http://www.nicovideo.jp/watch/"s + tail), std::nullopt)
            << tail;
    }
    EXPECT_FALSE(isSafeVideoId("a\0b"s));
    for (const char* id : {"sm9", "so12345.x y", "\xE5\x8B\x95\xE7\x94\xBB"}) {
        EXPECT_TRUE(isSafeVideoId(id)) << id;
    }
}

TEST(ServiceEndpoints, AreTheRealHostsUnlessLumivoxIniNamesOthers) {
    service_test::TempFolder folder;
    const std::filesystem::path file = folder / "lumivox.ini";
    {
        Result<IniFile> ini = IniFile::load(file);
        ASSERT_TRUE(ini);
        const ServiceEndpoints defaults = serviceEndpointsFromIni(*ini);
        EXPECT_EQ(defaults.loginAddress(),
                  "https://secure.nicovideo.jp/secure/login?site=niconico");
        EXPECT_EQ(defaults.getflvAddress("sm9"), "http://www.nicovideo.jp/api/getflv?v=sm9");
        EXPECT_EQ(defaults.caFile, "");
        ASSERT_TRUE(ini->setString("service", "loginhost", "https://127.0.0.1:8443"));
        ASSERT_TRUE(ini->setString("Service", "WebHost", "http://127.0.0.1:8080/"));
        ASSERT_TRUE(ini->setString("Service", "CaFile", "/tmp/demo-cert.pem"));
        ASSERT_TRUE(ini->save());
    }
    const Result<IniFile> ini = IniFile::load(file);
    ASSERT_TRUE(ini);
    const ServiceEndpoints endpoints = serviceEndpointsFromIni(*ini);
    EXPECT_EQ(endpoints.loginAddress(), "https://127.0.0.1:8443/secure/login?site=niconico");
    EXPECT_EQ(endpoints.webRootAddress(), "http://127.0.0.1:8080/");
    EXPECT_EQ(endpoints.getflvAddress("a b&c"), "http://127.0.0.1:8080/api/getflv?v=a%20b&c");
    EXPECT_EQ(endpoints.caFile, "/tmp/demo-cert.pem");
    EXPECT_EQ(endpoints.commentThreadLimitBytes, int64_t{256} << 20);

    // The comment thread limit is a positive number of mebibytes: {value, the limit read, a
    // warning given}.
    const int64_t mib = int64_t{1} << 20, fallback = 256 * mib;
    const std::tuple<const char*, int64_t, bool> rows[] = {
        {"1", mib, false},      {"1024", 1024 * mib, false}, {"0", fallback, true},
        {"-5", fallback, true}, {"12x", fallback, true},
    };
    for (const auto& [value, limit, warned] : rows) {
        SCOPED_TRACE(value);
        Result<IniFile> ini = IniFile::load(file);
        ASSERT_TRUE(ini);
        ASSERT_TRUE(ini->setString("Service", "CommentThreadLimitMiB", value));
        std::string warning;
        EXPECT_EQ(serviceEndpointsFromIni(*ini, &warning).commentThreadLimitBytes, limit);
        EXPECT_EQ(!warning.empty(), warned) << warning;
    }
}
TEST(VideoId, BareIdsAndWatchAddressesNameAVideoAndAnIdBecomesItsWatchPage) {
    const struct {
        const char* typed;
        bool bareId, address;
        const char* pageUrl;  // on the web host http://web.test/
    } rows[] = {
        {"sm9", true, true, "http://web.test/watch/sm9"},
        {"nm2829323", true, true, "http://web.test/watch/nm2829323"},
        {"so38016254", true, true, "http://web.test/watch/so38016254"},
        {" SM9 ", false, false, "http://web.test/watch/sm9"},  // trimmed, lower-cased
        {"nl123", true, true, "http://web.test/watch/nl123"},
        {"http://www.nicovideo.jp/watch/sm9", false, true, nullptr},
        {"HTTPS://www.nicovideo.jp/watch/sm9", false, true, nullptr},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(isBareVideoId(row.typed), row.bareId) << row.typed;
        EXPECT_EQ(isVideoAddress(row.typed), row.address) << row.typed;
        EXPECT_EQ(watchUrlForTyped(row.typed, "http://web.test/"),
                  row.pageUrl != nullptr ? row.pageUrl : row.typed)
            << row.typed;
    }
    // Neither: "sm1234567890123" has more digits than any ID.
    for (const char* typed :
         {"sm", "sm9a", "s9", "1173108780", "sm1234567890123", "ftp://x/sm9", ""}) {
        EXPECT_FALSE(isBareVideoId(typed) || isVideoAddress(typed)) << typed;
        EXPECT_EQ(watchUrlForTyped(typed, "http://web.test/"), typed);
    }
}
