// The video lookup and the comment thread against the demo service: what the getflv answer
// leads to, which message server is asked, what becomes comment.xml, the video IDs that are
// refused before any request, and stops or stalls of a slow login or lookup.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "service_test_support.h"

using namespace service_test;

namespace {

const std::string kSampleComments = std::string(LUMIVOX_SOURCE_DIR) + "/tools/sample/comment.xml";
const char* const kThreadBody =
    "<thread res_from=\"-1000\" version=\"20061206\" thread=\"1173108780\" />";
const char* const kEscapedThreadBody =
    "<thread res_from=\"-1000\" version=\"20061206\" thread=\"11&quot;&lt;&apos;&gt;73\" />";
const char* const kBusyPage = "Service Unavailable: the message server is busy\n";

// A demo service serving the sample thread, with `more` arguments.
std::vector<std::string> demoArguments(std::vector<std::string> more) {
    more.insert(more.begin(), {"--comments", kSampleComments});
    return more;
}

}  // namespace

TEST(Lookup, EachKindOfAnswerLeadsToItsStreamAndCommentXml) {
    const std::string sample = readBytes(kSampleComments);
    struct Row {
        std::vector<std::string> arguments;
        const char* tail;  // behind the page URL ".../watch/sm9"
        bool logIn, found;
        const char* stream;  // behind the web base; not checked when null
        std::string comments;
        int threadRequests;
        const char* threadBody = nullptr;  // not checked when null
    };
    const char* const escapedStream = "/smile+data/sm9.flv?key=a b";
    const Row rows[] = {
        {{}, "", true, true, "/smile?v=sm9", sample, 1, kThreadBody},
        {{}, "?from=top#comments", true, true, "/smile?v=sm9", sample, 1},  // the ID ends at "?"
        // The "&url=" behind the zero byte in the first 1024-byte chunk is dropped; the answer's
        // own one in the following chunks counts.
        {{"--fault", "getflv-nul"}, "", true, true, "/smile?v=sm9", sample, 1, kThreadBody},
        // "%3A" and "%2F" give ":" and "/", "%2B" a "+", and "+" a blank.
        {{"--fault", "stream-url-escapes"}, "", true, true, escapedStream, sample, 1},
        // The first "&ms=" is asked; the demo counts a request to the second as "/api-wrong/".
        {{"--fault", "several-ms"}, "", true, true, "/smile?v=sm9", sample, 1},
        // An error page is stored as it came.
        {{"--fault", "comments-not-xml"}, "", true, true, nullptr, kBusyPage, 1},
        // Without a message server or a thread, comment.xml is left empty.
        {{"--fault", "getflv-no-ms"}, "", true, true, nullptr, "", 0},
        {{"--fault", "getflv-no-thread"}, "", true, true, nullptr, "", 0},
        {{"--fault", "thread-id-last"}, "", true, true, nullptr, "", 0},
        // Without a stream the earlier job's file stays; the job does not read it.
        {{"--fault", "getflv-no-url"}, "", true, false, "", "earlier job", 0},
        {{}, "", false, false, "", "earlier job", 0},  // no login cookie
        // XML special characters in the thread ID are escaped; the server found its thread.
        {{"--thread-id", "11\"<'>73"}, "", true, true, nullptr, sample, 1, kEscapedThreadBody},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.arguments) + row.tail +
                     (row.logIn ? "" : " without login"));
        DemoService demo(demoArguments(row.arguments));
        ASSERT_TRUE(demo.started());
        ClientHarness harness(demo.endpoints());
        writeBytes(harness.work / "comment.xml", "earlier job");
        if (row.logIn) {
            harness.logIn();
            EXPECT_FALSE(harness.fields.cookie.empty());
        }
        const Result<VideoLookup> lookup =
            harness.client().lookUpVideo(demo.webBase() + "/watch/sm9" + row.tail);
        EXPECT_EQ(lookup.ok(), row.found);
        if (row.stream != nullptr && lookup) {
            EXPECT_EQ(lookup->streamUrl, demo.webBase() + row.stream);
        }
        if (lookup) {
            EXPECT_TRUE(lookup->commentThread) << lookup->commentThread.error();
        } else {
            EXPECT_EQ(lookup.error(),
                      "the service gave no video address for sm9 (the login was "
                      "not accepted, or the video cannot be watched)");
        }
        EXPECT_EQ(harness.fields.videoId, "sm9");
        EXPECT_EQ(harness.fields.videoFile, (harness.save / "sm9.flv").string());
        EXPECT_EQ(demo.last("getflv-target"), "/api/getflv?v=sm9");
        EXPECT_EQ(demo.last("getflv-user-agent"), "lumivox");
        EXPECT_EQ(readBytes(harness.work / "comment.xml"), row.comments);
        EXPECT_EQ(demo.count("/api/getflv"), 1);
        EXPECT_EQ(demo.count("/api/"), row.threadRequests);
        EXPECT_EQ(demo.count("/api-wrong/"), 0);
        if (row.threadBody != nullptr) {
            EXPECT_EQ(demo.last("thread-body"), row.threadBody);
            EXPECT_EQ(demo.last("thread-valid"), "yes");
        }
        EXPECT_TRUE(harness.errors.empty());
    }
}

// An ID that could leave the save folder is refused before any request; a comment thread larger
// than the limit fails and leaves no part of it.
TEST(Lookup, UnsafeIdsAndCommentThreadsLargerThanTheLimitAreRefused) {
    DemoService demo(demoArguments({}));
    ASSERT_TRUE(demo.started());
    ServiceEndpoints endpoints = demo.endpoints();
    endpoints.commentThreadLimitBytes = 1000;  // the sample thread is far longer
    ClientHarness harness(endpoints);
    writeBytes(harness.work / "comment.xml", "earlier job");
    for (const char* page : {"watch/../x", "watch/..", "watch/a/b", "watch/a\\b", "watch/a:b",
                             "watch/", "watch/?v=1", "sm9"}) {
        const Result<VideoLookup> lookup =
            harness.client().lookUpVideo(demo.webBase() + "/" + page);
        ASSERT_FALSE(lookup) << page;
        EXPECT_EQ(lookup.error().rfind("the page URL names no video", 0), 0u) << lookup.error();
    }
    EXPECT_EQ(harness.fields.videoId, "");
    EXPECT_EQ(harness.fields.videoFile, "");
    EXPECT_EQ(demo.totalRequests(), 0);
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), "earlier job");
    EXPECT_TRUE(harness.errors.empty());

    harness.logIn();
    const Result<VideoLookup> lookup = harness.client().lookUpVideo(demo.webBase() + "/watch/sm9");
    ASSERT_TRUE(lookup) << lookup.error();
    ASSERT_FALSE(lookup->commentThread);
    EXPECT_EQ(lookup->commentThread.error(),
              "the comment thread is larger than 1000 bytes, the limit that [Service] "
              "CommentThreadLimitMiB of lumivox.ini sets");
    EXPECT_EQ(readBytes(harness.work / "comment.xml"), "");
    EXPECT_EQ(harness.errors.size(), 1u);
}

TEST(Lookup, AStopOrTheStallTimeEndsALoginOrALookupThatWaitsForASlowServer) {
    // {fault, a stop ends the wait (else the stall time), the login is what waits}
    const std::tuple<const char*, bool, bool> cases[] = {
        {"slow-login", true, true}, {"slow-getflv", true, false}, {"slow-getflv", false, false}};
    for (const auto& [fault, stop, login] : cases) {
        SCOPED_TRACE(std::string(fault) + (stop ? " stop" : " stall"));
        DemoService demo(demoArguments({"--fault", fault}));
        ASSERT_TRUE(demo.started());
        ClientHarness harness(demo.endpoints());
        if (!login)
            harness.logIn();
        if (stop)
            harness.stopAfter(std::chrono::milliseconds(300));
        else
            harness.timeouts.stallSeconds = 1;
        const auto start = std::chrono::steady_clock::now();
        if (login)
            harness.logIn();
        else
            EXPECT_FALSE(harness.client().lookUpVideo(demo.webBase() + "/watch/sm9"));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20))
            << "the server would answer after a minute";
        EXPECT_EQ(harness.fields.cookie.empty(), login);
        // A stop is no error to show; a stall is.
        ASSERT_EQ(harness.errors.size(), stop ? 0u : 1u);
        if (!stop) {
            EXPECT_NE(harness.errors[0].find("too slow"), std::string::npos) << harness.errors[0];
        }
    }
}
