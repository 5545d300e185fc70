// The video lookup and the comment thread against the demo service: what the getflv answer
// leads to, which message server is asked, what becomes comment.xml, and the video IDs that are
// refused before any request.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "service/cookie_store.h"
#include "service_test_support.h"

using namespace service_test;

namespace {

std::string sampleComments() {
    return readBytes(std::filesystem::path(LUMIVOX_SOURCE_DIR) / "tools/sample/comment.xml");
}

// A demo service serving the sample thread, with `faults` switched on.
std::vector<std::string> demoArguments(const std::vector<std::string>& faults = {},
                                       const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments = {
        "--comments", std::string(LUMIVOX_SOURCE_DIR) + "/tools/sample/comment.xml"};
    for (const std::string& fault : faults) {
        arguments.push_back("--fault");
        arguments.push_back(fault);
    }
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

struct LookupResult {
    bool found = false;
    std::string streamUrl;
};

// Logs in and looks up `pageUrl` (the demo's watch page of sm9 unless given).
LookupResult logInAndLookUp(DemoService& demo, ClientHarness& harness,
                            const std::string& pageUrl = {}) {
    harness.logIn();
    EXPECT_FALSE(harness.fields.cookie.empty());
    LookupResult result;
    result.found =
        harness.client().lookUpVideo(pageUrl.empty() ? demo.webBase() + "/watch/sm9" : pageUrl,
                                     harness.fields.cookie, result.streamUrl);
    return result;
}

}  // namespace

TEST(Lookup, FindsTheStreamAndStoresTheCommentThread) {
    DemoService demo(demoArguments());
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    const LookupResult result = logInAndLookUp(demo, harness);

    EXPECT_TRUE(result.found);
    EXPECT_EQ(result.streamUrl, demo.webBase() + "/smile?v=sm9");
    EXPECT_EQ(harness.fields.videoId, "sm9");
    EXPECT_EQ(harness.fields.videoFile, (harness.save / "sm9.flv").string());
    EXPECT_EQ(demo.last("getflv-target"), "/api/getflv?v=sm9");
    EXPECT_EQ(demo.last("getflv-user-agent"), "lumivox");
    EXPECT_EQ(demo.last("thread-body"),
              "<thread res_from=\"-1000\" version=\"20061206\" thread=\"1173108780\" />");
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), sampleComments());
    EXPECT_TRUE(harness.errors.empty());
}

TEST(Lookup, TheVideoIdEndsAtAQueryOrFragment) {
    for (const char* tail : {"?from=top&ref=x", "#comments"}) {
        SCOPED_TRACE(tail);
        DemoService demo(demoArguments());
        ASSERT_TRUE(demo.started());
        ClientHarness harness(demo.endpoints());
        const LookupResult result =
            logInAndLookUp(demo, harness, demo.webBase() + "/watch/sm9" + tail);
        EXPECT_TRUE(result.found);
        EXPECT_EQ(harness.fields.videoId, "sm9");
        EXPECT_EQ(harness.fields.videoFile, (harness.save / "sm9.flv").string());
        EXPECT_EQ(demo.last("getflv-target"), "/api/getflv?v=sm9");
    }
}

TEST(Lookup, AnIdThatCouldLeaveTheSaveFolderIsRefusedBeforeAnyRequest) {
    DemoService demo(demoArguments());
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    writeBytes(harness.work / "comment.xml", "earlier job");
    for (const char* tail : {"../x", "..", "a/b", "a\\b", "a:b", "", "?v=1"}) {
        std::string streamUrl;
        EXPECT_FALSE(harness.client().lookUpVideo(demo.webBase() + "/watch/" + tail,
                                                  "user_session=x", streamUrl))
            << tail;
        EXPECT_EQ(streamUrl, "");
    }
    std::string streamUrl;
    EXPECT_FALSE(
        harness.client().lookUpVideo(demo.webBase() + "/sm9", "user_session=x", streamUrl));
    EXPECT_EQ(harness.fields.videoId, "");
    EXPECT_EQ(harness.fields.videoFile, "");
    EXPECT_EQ(demo.totalRequests(), 0);
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), "earlier job");
    EXPECT_TRUE(harness.errors.empty());
}

TEST(Lookup, WithoutTheLoginCookieTheAnswerNamesNoStreamAndNoThreadIsFetched) {
    DemoService demo(demoArguments());
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    writeBytes(harness.work / "comment.xml", "earlier job");
    std::string streamUrl;
    EXPECT_FALSE(harness.client().lookUpVideo(demo.webBase() + "/watch/sm9", "", streamUrl));
    EXPECT_EQ(demo.count("/api/getflv"), 1);
    EXPECT_EQ(demo.count("/api/"), 0);
    // The earlier job's file stays; the job does not read it after a failed lookup.
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), "earlier job");
}

TEST(Lookup, AnAnswerWithoutUrlEndsTheLookupWithoutTheThread) {
    DemoService demo(demoArguments({"getflv-no-url"}));
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    writeBytes(harness.work / "comment.xml", "earlier job");
    const LookupResult result = logInAndLookUp(demo, harness);
    EXPECT_FALSE(result.found);
    EXPECT_EQ(demo.count("/api/"), 0);
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), "earlier job");
    EXPECT_TRUE(harness.errors.empty());
}

TEST(Lookup, AZeroByteEndsOnlyTheTextOfItsOwn1024ByteChunk) {
    DemoService demo(demoArguments({"getflv-nul"}));
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    const LookupResult result = logInAndLookUp(demo, harness);
    // The "&url=" behind the zero byte in the first chunk is dropped; the answer's own one in
    // the following chunks counts.
    EXPECT_TRUE(result.found);
    EXPECT_EQ(result.streamUrl, demo.webBase() + "/smile?v=sm9");
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), sampleComments());
}

TEST(Lookup, AStalledAnswerEndsWithAnErrorAfterTheStallTime) {
    DemoService demo(demoArguments({"slow-getflv"}));
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.timeouts.stallSeconds = 1;
    harness.logIn();
    const auto start = std::chrono::steady_clock::now();
    std::string streamUrl;
    EXPECT_FALSE(harness.client().lookUpVideo(demo.webBase() + "/watch/sm9", harness.fields.cookie,
                                              streamUrl));
    EXPECT_LT(secondsSince(start), 20.0);  // the server would answer after a minute
    ASSERT_EQ(harness.errors.size(), 1u);
    EXPECT_NE(harness.errors[0].find("too slow"), std::string::npos) << harness.errors[0];
}

TEST(Lookup, StreamAddressEscapesAndPlusAreDecoded) {
    DemoService demo(demoArguments({"stream-url-escapes"}));
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    const LookupResult result = logInAndLookUp(demo, harness);
    ASSERT_TRUE(result.found);
    // "%3A" and "%2F" gave ":" and "/", "%2B" a "+", and "+" a blank.
    EXPECT_EQ(result.streamUrl, demo.webBase() + "/smile+data/sm9.flv?key=a b");
}

TEST(CommentThread, WithoutServerOrThreadCommentXmlIsLeftEmptyAndNothingIsAsked) {
    for (const char* fault : {"getflv-no-ms", "getflv-no-thread", "thread-id-last"}) {
        SCOPED_TRACE(fault);
        DemoService demo(demoArguments({fault}));
        ASSERT_TRUE(demo.started());
        ClientHarness harness(demo.endpoints());
        writeBytes(harness.work / "comment.xml", "earlier job");
        const LookupResult result = logInAndLookUp(demo, harness);
        EXPECT_TRUE(result.found);
        EXPECT_TRUE(std::filesystem::exists(harness.work / "comment.xml"));
        EXPECT_EQ(readBytes(harness.work / "comment.xml"), "");
        EXPECT_EQ(demo.count("/api/"), 0);
        EXPECT_TRUE(harness.errors.empty());
    }
}

TEST(CommentThread, TheFirstMessageServerOfTheAnswerIsAsked) {
    DemoService demo(demoArguments({"several-ms"}));
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    EXPECT_TRUE(logInAndLookUp(demo, harness).found);
    EXPECT_EQ(demo.count("/api/"), 1);
    EXPECT_EQ(demo.count("/api-wrong/"), 0);
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), sampleComments());
}

TEST(CommentThread, AnErrorPageIsStoredAsItCame) {
    DemoService demo(demoArguments({"comments-not-xml"}));
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    EXPECT_TRUE(logInAndLookUp(demo, harness).found);
    EXPECT_EQ(readBytes(harness.work / "comment.xml"),
              "Service Unavailable: the message server is busy\n");
    EXPECT_TRUE(harness.errors.empty());
}

TEST(CommentThread, AThreadIdWithXmlSpecialCharactersIsEscapedInTheRequest) {
    const std::string threadId = "11\"<'>73";
    DemoService demo(demoArguments({}, {"--thread-id", threadId}));
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    EXPECT_TRUE(logInAndLookUp(demo, harness).found);
    EXPECT_EQ(demo.last("thread-body"),
              "<thread res_from=\"-1000\" version=\"20061206\" thread=\"11&quot;&lt;&apos;&gt;73\" "
              "/>");
    // The server read the request as XML and found its thread.
    EXPECT_EQ(demo.last("thread-valid"), "yes");
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), sampleComments());
}

TEST(CommentThread, TheRequestCarriesTheDataHeaderLinesAndTheCookie) {
    RawRequestCapture capture("<packet/>");
    ServiceEndpoints endpoints;
    endpoints.webBase = "http://127.0.0.1:9";
    ClientHarness harness(endpoints);
    const std::string port = capture.base().substr(capture.base().rfind(':') + 1);
    harness.client().downloadCommentThread(
        "thread_id=1&ms=http%3A%2F%2F127.0.0.1%3A" + port + "%2Fapi%2F&user_id=1",
        "user_session=abc");
    EXPECT_EQ(capture.request().rfind("POST /api/ HTTP/1.1\r\n", 0), 0u);
    const std::vector<std::string> lines = capture.headerLines();
    const std::vector<std::string> expected = {
        "Content-type: text/xml",
        "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 1.1.4322)",
        "Accept: */*",
        "Accept-Language: ja-JP",
        "Cache-Control: no-cache",
        "Connection: Keep-Alive"};
    size_t from = 0;
    for (const std::string& line : expected) {
        const auto found = std::find(lines.begin() + static_cast<long>(from), lines.end(), line);
        ASSERT_NE(found, lines.end()) << line;
        from = static_cast<size_t>(found - lines.begin()) + 1;
    }
    // The job's cookie was set for the web host 127.0.0.1, which is also this server's host.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Cookie: user_session=abc"), lines.end());
    EXPECT_EQ(capture.body(), "<thread res_from=\"-1000\" version=\"20061206\" thread=\"1\" />");
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), "<packet/>");
}

TEST(Lookup, AStopEndsALookupThatWaitsForASlowServer) {
    DemoService demo(demoArguments({"slow-getflv"}));
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.logIn();
    harness.stopAfter(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    std::string streamUrl;
    EXPECT_FALSE(harness.client().lookUpVideo(demo.webBase() + "/watch/sm9", harness.fields.cookie,
                                              streamUrl));
    EXPECT_LT(secondsSince(start), 10.0);  // the server would answer after a minute
    EXPECT_TRUE(harness.errors.empty());
}
