// Reading today's service answers: watch data of both routes and their refusals, the quality
// choice, playlists, the segment cipher, the session cookie and the small JSON answers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/hls_playlist.h"
#include "service/segment_cipher.h"
#include "service/session_cookie.h"
#include "service/today_answers.h"
#include "service/watch_data.h"
#include "service_test_support.h"

namespace {

// A watch data object as the service writes it, with what a test replaces.
std::string watchObject(const std::string& domand = R"({"accessRightKey":"ark",
    "videos":[{"id":"video-h264-360p","isAvailable":true,"bitRate":600000,"width":640,"height":360,"qualityLevel":1,"recommendedHighestAudioQualityLevel":1},
              {"id":"video-h264-720p","isAvailable":true,"bitRate":2000000,"width":1280,"height":720,"qualityLevel":3,"recommendedHighestAudioQualityLevel":2},
              {"id":"video-h264-1080p","isAvailable":false,"bitRate":4000000,"width":1920,"height":1080,"qualityLevel":4}],
    "audios":[{"id":"audio-aac-64kbps","isAvailable":true,"bitRate":64000,"qualityLevel":0},
              {"id":"audio-aac-128kbps","isAvailable":true,"bitRate":128000,"qualityLevel":1},
              {"id":"audio-aac-192kbps","isAvailable":true,"bitRate":192000,"qualityLevel":2}]})",
                        const std::string& extra = R"("okReason":"PURELY")") {
    return R"({"video":{"id":"sm9","title":"新・豪血寺一族","duration":320.5,"registeredAt":"2007-03-06T00:33:00+09:00","isDeleted":false},
      "client":{"watchId":"1173108780","watchTrackId":"AbCdEfGhIj_1700000000000"},
      "comment":{"nvComment":{"server":"https://c.example","threadKey":"jwt",
         "params":{"targets":[{"id":"1","fork":"owner"},{"id":"1","fork":"main"},{"id":"2","fork":"easy"}],"language":"ja-jp"}}},
      "media":{"domand":)" +
           domand + R"(,"delivery":null},
      "viewer":{"id":12345,"nickname":"テスト","isPremium":true,"existence":{"prefecture":null}},)" +
           extra + "}";
}

Result<WatchAnswer> read(const std::string& body, long status = 200) {
    return readWatchAnswer(body, status);
}

TEST(WatchAnswer, BothRoutesGiveTheSameWatchData) {
    for (const std::string& body :
         {R"({"meta":{"status":200,"code":"HTTP_200"},"data":{"metadata":{},"response":)" +
              watchObject() + "}}",
          R"({"meta":{"status":200},"data":)" + watchObject() + "}"}) {
        const Result<WatchAnswer> answer = read(body);
        ASSERT_TRUE(answer) << answer.error();
        ASSERT_TRUE(answer->data) << body;
        const WatchData& w = *answer->data;
        ASSERT_TRUE(w.viewer);
        EXPECT_EQ((std::vector{w.videoId, w.title, w.watchTrackId, w.commentServer,
                               w.accessRightKey, w.viewer->id}),
                  (std::vector<std::string>{"sm9", "新・豪血寺一族", "AbCdEfGhIj_1700000000000",
                                            "https://c.example", "ark", "12345"}));
        EXPECT_EQ(w.durationSeconds, 320);
        EXPECT_EQ(w.commentTargets.size(), 3u);
        EXPECT_NE(w.commentParamsJson.find("\"language\":\"ja-jp\""), std::string::npos);
        EXPECT_TRUE(w.downloadable && w.viewer->premium);
        EXPECT_FALSE(refusalOfUndownloadable(w));
    }
}

TEST(WatchAnswer, RefusalsNameTheReasonInBothLanguages) {
    struct Case {
        std::string body;
        long status;
        std::string english;
    };
    const Case cases[] = {
        {R"({"meta":{"status":400,"code":"FORBIDDEN"},"data":{"response":{"statusCode":400,"errorCode":"FORBIDDEN","reasonCode":"ADMINISTRATOR_DELETE_VIDEO","data":null}}})",
         400, "removed by the service"},
        {R"({"meta":{"status":400,"code":"FORBIDDEN"},"data":{"response":{"errorCode":"FORBIDDEN","reasonCode":"HIDDEN_VIDEO","publishScheduledAt":null}}})",
         400, "private"},
        {R"({"meta":{"status":400,"code":"FORBIDDEN"},"data":{"response":{"errorCode":"FORBIDDEN","reasonCode":"HIDDEN_VIDEO","publishScheduledAt":"2027-01-01T00:00:00+09:00"}}})",
         400, "not published yet"},
        {R"({"meta":{"status":400,"errorCode":"FORBIDDEN"},"data":{"reasonCode":"PPV_VIDEO"}})",
         400, "purchased"},
        {R"({"meta":{"status":400,"errorCode":"FORBIDDEN"},"data":{"reasonCode":"DOMESTIC_VIDEO"}})",
         400, "country or region"},
        {R"({"meta":{"status":404,"errorCode":"NOT_FOUND"}})", 404, "does not exist"},
        {R"({"meta":{"status":503,"errorCode":"MAINTENANCE"}})", 503, "maintenance"},
        // Failing in meta under an HTTP 200, and a body without any data.
        {R"({"meta":{"status":401,"errorCode":"UNAUTHORIZED"}})", 200, "session is not valid"},
        {R"({"meta":{"status":400}})", 400, "did not give the video's data"},
        {"<html>Error from cloudfront</html>", 403, "did not give the video's data"},
    };
    for (const Case& c : cases) {
        const Result<WatchAnswer> answer = read(c.body, c.status);
        ASSERT_TRUE(answer) << c.body << ": " << answer.error();
        ASSERT_TRUE(answer->refusal) << c.body;
        EXPECT_NE(answer->refusal->english.find(c.english), std::string::npos)
            << answer->refusal->line();
        EXPECT_FALSE(answer->refusal->japanese.empty());
        EXPECT_EQ(answer->refusal->line().find('\n'), std::string::npos);
    }
    EXPECT_TRUE(read(R"({"meta":{"errorCode":"UNAUTHORIZED"}})")->refusal->sessionInvalid);
    EXPECT_FALSE(read("not json"));
    EXPECT_FALSE(read(R"({"meta":{"status":200},"data":{"other":1}})"));
}

TEST(WatchAnswer, PaymentRequiredWatchDataKeepsTitleAndCommentsButNoVideo) {
    const std::string body =
        R"({"meta":{"status":200},"data":{"response":)" +
        watchObject(
            "null",
            R"("okReason":"PAYMENT_PREVIEW_SUPPORTED","payment":{"video":{"isPpv":true,"watchableUserType":"purchaser"}})") +
        "}}";
    const Result<WatchAnswer> answer = read(body);
    ASSERT_TRUE(answer && answer->data);
    EXPECT_FALSE(answer->data->downloadable);
    EXPECT_EQ(answer->data->title, "新・豪血寺一族");
    EXPECT_FALSE(answer->data->threadKey.empty());
    const std::optional<WatchRefusal> refusal = refusalOfUndownloadable(*answer->data);
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->english.find("purchased"), std::string::npos);
}

TEST(WatchAnswer, QualitiesAreChosenAmongTheAvailableOnes) {
    const WatchData w = *read(R"({"data":)" + watchObject() + "}")->data;
    struct Case {
        std::string wanted, video, audio;
    };
    for (const Case& c : {Case{"", "video-h264-720p", "audio-aac-192kbps"},
                          Case{"360p", "video-h264-360p", "audio-aac-128kbps"},
                          Case{"360", "video-h264-360p", "audio-aac-128kbps"},
                          Case{"video-h264-720p", "video-h264-720p", "audio-aac-192kbps"}}) {
        const Result<QualityPair> pair = chooseQualities(w, c.wanted);
        ASSERT_TRUE(pair) << c.wanted << ": " << pair.error();
        EXPECT_EQ(pair->videoId, c.video) << c.wanted;
        EXPECT_EQ(pair->audioId, c.audio) << c.wanted;
    }
    const Result<QualityPair> locked = chooseQualities(w, "1080p");
    ASSERT_FALSE(locked);
    EXPECT_NE(locked.error().find("video-h264-360p, video-h264-720p"), std::string::npos);
}

TEST(HlsPlaylist, MasterAndMediaPlaylistsResolveTheirUris) {
    const std::string master =
        "\xEF\xBB\xBF#EXTM3U\r\n#EXT-X-VERSION:6\n#EXT-X-INDEPENDENT-SEGMENTS\n"
        "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"audio-aac-192kbps\",NAME=\"Main Audio\",DEFAULT=YES,"
        "URI=\"media/audio.m3u8?session=s&Signature=x\"\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=800000,CODECS=\"avc1.4d401e,mp4a.40.2\",RESOLUTION=640x360,"
        "AUDIO=\"audio-aac-192kbps\"\nmedia/360.m3u8?a=1\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=2400000,RESOLUTION=1280x720,AUDIO=\"audio-aac-192kbps\"\n"
        "https://cdn.example/p/media/720.m3u8?Expires=9&Signature=y\n";
    const Result<MasterPlaylist> m =
        readMasterPlaylist(master, "https://d.example/hlsbid/ab/playlists/master.m3u8?s=1");
    ASSERT_TRUE(m) << m.error();
    ASSERT_EQ(m->variants.size(), 2u);
    const HlsVariant* best = bestVariant(*m);
    EXPECT_EQ(best->uri, "https://cdn.example/p/media/720.m3u8?Expires=9&Signature=y");
    EXPECT_EQ(best->height, 720);
    EXPECT_EQ(m->variants[0].uri, "https://d.example/hlsbid/ab/playlists/media/360.m3u8?a=1");
    ASSERT_NE(audioFor(*m, *best), nullptr);
    EXPECT_EQ(audioFor(*m, *best)->uri,
              "https://d.example/hlsbid/ab/playlists/media/audio.m3u8?session=s&Signature=x");

    const std::string media =
        "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:6\n#EXT-X-MEDIA-SEQUENCE:1\n"
        "#EXT-X-PLAYLIST-TYPE:VOD\n#EXT-X-MAP:URI=\"/a/init01.cmfv\"\n"
        "#EXT-X-KEY:METHOD=AES-128,URI=\"https://k.example/keys/"
        "v.key\",IV=0x000102030405060708090a0b0c0d0e0f\n"
        "#EXTINF:6.000000,\n01.cmfv?x=1\n#EXTINF:2.5,\nhttps://s.example/02.cmfv\n#EXT-X-ENDLIST\n";
    const Result<MediaPlaylist> p = readMediaPlaylist(media, "https://d.example/v/media/v.m3u8?q");
    ASSERT_TRUE(p) << p.error();
    EXPECT_EQ(p->initUri, "https://d.example/a/init01.cmfv");
    ASSERT_EQ(p->segments.size(), 2u);
    EXPECT_EQ(p->segments[0].uri, "https://d.example/v/media/01.cmfv?x=1");
    EXPECT_EQ(p->segments[1].sequence, 2);
    EXPECT_DOUBLE_EQ(p->segments[0].durationSeconds + p->segments[1].durationSeconds, 8.5);
    EXPECT_EQ(p->segments[1].key.uri, "https://k.example/keys/v.key");
    EXPECT_EQ(p->segments[1].iv()[15], 0x0f);

    // Without an IV the sequence number is the IV; no end, SAMPLE-AES and no header fail.
    const Result<MediaPlaylist> noIv = readMediaPlaylist(
        "#EXTM3U\n#EXT-X-MEDIA-SEQUENCE:258\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\"\n#EXTINF:1,\ns\n#"
        "EXT-X-ENDLIST\n",
        "http://h/p/m.m3u8");
    ASSERT_TRUE(noIv);
    EXPECT_EQ(noIv->segments[0].iv()[14], 1);
    EXPECT_EQ(noIv->segments[0].iv()[15], 2);
    EXPECT_FALSE(readMediaPlaylist("#EXTM3U\n#EXTINF:1,\ns\n", "http://h/"));
    EXPECT_FALSE(readMediaPlaylist(
        "#EXTM3U\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"k\"\n#EXTINF:1,\ns\n#EXT-X-ENDLIST\n",
        "http://h/"));
    EXPECT_FALSE(readMasterPlaylist("<html>403</html>", "http://h/"));
}

std::string encrypt(const std::string& plain, const AesKey& key, const AesIv& iv) {
    return service_test::aes128CbcEncrypt(plain, key.data(), iv.data());
}

TEST(SegmentCipher, DecryptsWholeSegmentsAndRefusesCutOrWronglyKeyedOnes) {
    const AesKey key = *aesKeyOf("0123456789abcdef");
    const AesIv iv{1, 2, 3};
    std::string plain(100000, '\0');
    for (size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<char>(i * 7);
    }
    const std::string sealed = encrypt(plain, key, iv);
    EXPECT_EQ(*decryptAes128Cbc(sealed, key, iv), plain);
    // In place, with a whole padding block and with a partial one.
    for (const size_t length : {plain.size(), plain.size() - 1, size_t{1}}) {
        std::string data = encrypt(plain.substr(0, length), key, iv);
        ASSERT_TRUE(decryptAes128CbcInPlace(data, key, iv)) << length;
        EXPECT_EQ(data, plain.substr(0, length));
    }
    EXPECT_FALSE(decryptAes128Cbc(sealed.substr(0, sealed.size() - 5), key, iv));
    EXPECT_FALSE(decryptAes128Cbc(sealed.substr(0, sealed.size() - 16), key, iv));
    EXPECT_FALSE(decryptAes128Cbc(sealed, *aesKeyOf("fedcba9876543210"), iv));
    EXPECT_FALSE(decryptAes128Cbc("", key, iv));
    EXPECT_FALSE(aesKeyOf(""));
    EXPECT_FALSE(aesKeyOf("short"));
    EXPECT_FALSE(aesKeyOf(std::string(16, '\0')));
}

TEST(SessionCookie, AcceptsTheValueInEveryFormUsersPaste) {
    const std::string v = "user_session_12345_0123abcdef";
    for (const std::string& given : {v, "  " + v + "\r\n", "user_session=" + v,
                                     "Cookie: nicosid=1.2; user_session=" + v + "; a=b",
                                     "cookie:user_session=\"" + v + "\""}) {
        EXPECT_EQ(sessionCookieValue(given).value_or("-"), v) << given;
    }
    for (const std::string given : {"", "  ", "nicosid=1", "user_session=", "a b", "x;y", "é"}) {
        EXPECT_FALSE(sessionCookieValue(given)) << given;
    }
    EXPECT_EQ(userIdOfSessionCookie(v), "12345");
    EXPECT_EQ(userIdOfSessionCookie("opaque"), "");
}

TEST(TodayAnswers, SuccessNeedsBothTheStatusAndTheMeta) {
    EXPECT_TRUE(answerSucceeded(201, readApiMeta(R"({"meta":{"status":201}})")));
    EXPECT_TRUE(answerSucceeded(200, readApiMeta(R"({"meta":{"status":200}})")));
    EXPECT_FALSE(answerSucceeded(
        200, readApiMeta(R"({"meta":{"status":400,"errorCode":"EXPIRED_TOKEN"}})")));
    EXPECT_FALSE(answerSucceeded(400, readApiMeta(R"({"meta":{"status":200}})")));
    EXPECT_EQ(
        describeFailedAnswer(400, readApiMeta(R"({"meta":{"errorCode":"INVALID_PARAMETER"}})")),
        "INVALID_PARAMETER (HTTP 400)");

    const std::string rights =
        R"({"meta":{"status":201},"data":{"contentUrl":"https://d.example/m.m3u8?s=1","createTime":"2026-09-01T12:00:00+09:00","expireTime":"2026-09-01T13:00:00.123+09:00"}})";
    for (const long status : {200L, 201L}) {
        const Result<AccessRights> r = readAccessRightsAnswer(rights, status);
        ASSERT_TRUE(r) << r.error();
        EXPECT_EQ(r->contentUrl, "https://d.example/m.m3u8?s=1");
        EXPECT_EQ(r->expiresAt.value_or(0), 1788235200);  // 2026-09-01T04:00:00Z
    }
    EXPECT_FALSE(
        readAccessRightsAnswer(R"({"meta":{"status":400,"errorCode":"INVALID_PARAMETER"}})", 400));
    EXPECT_FALSE(readAccessRightsAnswer(
        R"({"meta":{"status":201},"data":{"contentUrl":"file:///x"}})", 201));

    EXPECT_EQ(*readThreadKeyAnswer(R"({"meta":{"status":200},"data":{"threadKey":"k2"}})", 200),
              "k2");
    EXPECT_FALSE(readThreadKeyAnswer(R"({"meta":{"status":200},"data":{}})", 200));
    const Result<AccountInfo> account = readAccountAnswer(
        R"({"meta":{"status":200},"data":{"userId":"123","nickname":"名前","hasPremiumOrStrongerRights":false}})",
        200);
    ASSERT_TRUE(account);
    EXPECT_EQ(account->nickname, "名前");
    EXPECT_FALSE(readAccountAnswer(R"({"meta":{"status":401}})", 401));

    const std::string body =
        *threadsRequestBody("key", R"({"targets":[{"id":"1","fork":"main"}],"language":"ja-jp"})");
    EXPECT_EQ(
        body,
        R"({"additionals":{},"params":{"language":"ja-jp","targets":[{"fork":"main","id":"1"}]},"threadKey":"key"})");
    EXPECT_FALSE(threadsRequestBody("key", "[1]"));
    EXPECT_EQ(accessRightsRequestBody("v", "a"), R"({"outputs":[["v","a"]]})");
    const std::string track = newActionTrackId();
    EXPECT_EQ(track.size(), 24u);
    EXPECT_EQ(track[10], '_');
}

TEST(TodayAnswers, TimesAndRetryAfter) {
    EXPECT_EQ(isoTimeToUnix("1970-01-01T09:00:00+09:00").value_or(-1), 0);
    EXPECT_EQ(isoTimeToUnix("2000-03-01T00:00:00Z").value_or(-1), 951868800);
    EXPECT_FALSE(isoTimeToUnix("2000-03-01T00:00:00"));
    EXPECT_FALSE(isoTimeToUnix("yesterday"));
    EXPECT_EQ(retryAfterSeconds(" 3 ", 0).value_or(-1), 3);
    EXPECT_EQ(retryAfterSeconds("Thu, 01 Jan 1970 00:01:40 GMT", 40).value_or(-1), 60);
    EXPECT_EQ(retryAfterSeconds("Thu, 01 Jan 1970 00:01:40 GMT", 400).value_or(-1), 0);
    EXPECT_FALSE(retryAfterSeconds("soon", 0));
}

}  // namespace
