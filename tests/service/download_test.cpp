// The video download against the demo service: the file, the progress, the failed attempts
// that must not destroy an earlier file, and stops.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "service_test_support.h"

using namespace service_test;
namespace fs = std::filesystem;

namespace {

constexpr size_t kVideoBytes = 1024 * 1024 + 123;

// A demo service streaming a video of kVideoBytes made for the test.
class DownloadTest : public ::testing::Test {
protected:
    void startDemo(const std::vector<std::string>& faults = {}) {
        writeBytes(videoFolder / "video.flv", video);
        std::vector<std::string> arguments = {"--video", (videoFolder / "video.flv").string()};
        for (const std::string& fault : faults) {
            arguments.push_back("--fault");
            arguments.push_back(fault);
        }
        demo = std::make_unique<DemoService>(arguments);
        ASSERT_TRUE(demo->started());
        harness = std::make_unique<ClientHarness>(demo->endpoints());
    }

    // Logs in, looks up sm9 and visits its page; the stream's address in `streamUrl`.
    void prepare(bool visitPage = true) {
        harness->logIn();
        ASSERT_FALSE(harness->fields.cookie.empty());
        ASSERT_TRUE(harness->client().lookUpVideo(demo->webBase() + "/watch/sm9",
                                                  harness->fields.cookie, streamUrl));
        if (visitPage) {
            ASSERT_TRUE(harness->client().visitVideoPage(demo->webBase() + "/watch/sm9",
                                                         harness->fields.cookie));
        }
    }

    bool download() { return harness->client().downloadVideo(streamUrl, harness->fields.cookie); }

    fs::path videoFile() const { return harness->fields.videoFile; }
    fs::path partFile() const { return harness->fields.videoFile + ".part"; }

    TempFolder videoFolder;
    const std::string video = patternBytes(kVideoBytes, 7);
    std::unique_ptr<DemoService> demo;
    std::unique_ptr<ClientHarness> harness;
    std::string streamUrl;
};

}  // namespace

TEST_F(DownloadTest, StoresTheWholeStreamAndPostsEachPercentOnce) {
    startDemo();
    prepare();
    EXPECT_TRUE(download());
    EXPECT_EQ(readBytes(videoFile()), video);
    EXPECT_FALSE(fs::exists(partFile()));

    const std::vector<int>& progress = harness->progress;
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(std::adjacent_find(progress.begin(), progress.end()), progress.end())
        << "a percent was posted twice in a row";
    EXPECT_GE(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(harness->fields.lastDownloadPercent, 100);
    EXPECT_EQ(demo->count("/smile"), 1);
    EXPECT_EQ(demo->last("stream-user-agent"),
              "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 1.1.4322)");
    EXPECT_TRUE(harness->errors.empty());
}

TEST_F(DownloadTest, AnAddressWithEscapesAndPlusIsAskedForExactly) {
    startDemo({"stream-url-escapes"});
    prepare();
    // The demo serves only the target "/smile+data/sm9.flv?key=a%20b".
    EXPECT_TRUE(download());
    EXPECT_EQ(readBytes(videoFile()), video);
    EXPECT_EQ(demo->last("stream-target"), "/smile+data/sm9.flv?key=a%20b");
}

TEST_F(DownloadTest, AnErrorStatusIsAFailedAttemptThatKeepsAnEarlierFile) {
    for (const bool visit : {true, false}) {
        SCOPED_TRACE(visit ? "404 stream" : "no watch-page cookie: 403");
        startDemo(visit ? std::vector<std::string>{"stream-404"} : std::vector<std::string>{});
        prepare(visit);
        writeBytes(videoFile(), "the earlier download");
        EXPECT_FALSE(download());
        EXPECT_EQ(readBytes(videoFile()), "the earlier download");
        EXPECT_FALSE(fs::exists(partFile()));
        EXPECT_EQ(demo->count("/smile"), 2) << "two attempts";
        EXPECT_TRUE(harness->progress.empty());
        // Only the second attempt reports.
        ASSERT_EQ(harness->errors.size(), 1u);
        EXPECT_NE(harness->errors[0].find(visit ? "404" : "403"), std::string::npos)
            << harness->errors[0];
    }
}

TEST_F(DownloadTest, AStreamCutHalfwayFailsBothAttemptsAndKeepsAnEarlierFile) {
    startDemo({"stream-cut"});
    prepare();
    writeBytes(videoFile(), "the earlier download");
    EXPECT_FALSE(download());
    EXPECT_EQ(readBytes(videoFile()), "the earlier download");
    EXPECT_FALSE(fs::exists(partFile()));
    EXPECT_EQ(demo->count("/smile"), 2);
    ASSERT_EQ(harness->errors.size(), 1u);
    EXPECT_FALSE(harness->errors[0].empty());
    // Progress went up to about half in the first attempt and was not posted again for the
    // same values in the second (the last percent is kept across attempts).
    ASSERT_FALSE(harness->progress.empty());
    EXPECT_LT(harness->progress.back(), 100);
}

TEST_F(DownloadTest, WithoutContentLengthTheFirstPieceIsTheTotal) {
    startDemo({"stream-no-length"});
    prepare();
    EXPECT_TRUE(download());
    EXPECT_EQ(readBytes(videoFile()), video);
    // The total is what arrived at once: the first post is 100 and the percent passes 100.
    ASSERT_GE(harness->progress.size(), 2u);
    EXPECT_EQ(harness->progress.front(), 100);
    EXPECT_GT(harness->progress.back(), 100);
}

TEST_F(DownloadTest, AStopPartWayKeepsWhatArrivedAsTheVideoFile) {
    startDemo({"stream-slow"});
    prepare();
    writeBytes(videoFile(), "the earlier download");
    harness->stopAtFirstProgress = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(download());
    EXPECT_LT(secondsSince(start), 10.0);  // the whole stream would take minutes
    const std::string kept = readBytes(videoFile());
    EXPECT_GT(kept.size(), 0u);
    EXPECT_LT(kept.size(), video.size());
    EXPECT_EQ(kept, video.substr(0, kept.size()));
    EXPECT_FALSE(fs::exists(partFile()));
    EXPECT_EQ(demo->count("/smile"), 1) << "no second attempt after a stop";
    EXPECT_TRUE(harness->errors.empty());
}

TEST_F(DownloadTest, AStopBeforeTheFirstByteLeavesTheEarlierFileAndAsksNothing) {
    startDemo();
    prepare();
    writeBytes(videoFile(), "the earlier download");
    harness->stop = true;
    EXPECT_FALSE(download());
    EXPECT_EQ(readBytes(videoFile()), "the earlier download");
    EXPECT_FALSE(fs::exists(partFile()));
    EXPECT_EQ(demo->count("/smile"), 0);
    EXPECT_TRUE(harness->errors.empty());
}

TEST_F(DownloadTest, AMissingSaveFolderIsReportedOnce) {
    startDemo();
    prepare();
    harness->fields.videoFile = (harness->save / "missing" / "sm9.flv").string();
    EXPECT_FALSE(download());
    ASSERT_EQ(harness->errors.size(), 1u);
    EXPECT_NE(harness->errors[0].find("sm9.flv.part"), std::string::npos) << harness->errors[0];
    EXPECT_EQ(demo->count("/smile"), 0);
}

TEST(DownloadRequest, CarriesTheDataHeaderLines) {
    RawRequestCapture capture("FLV");
    ServiceEndpoints endpoints;
    endpoints.webBase = "http://127.0.0.1:9";
    ClientHarness harness(endpoints);
    harness.fields.videoFile = (harness.save / "sm9.flv").string();
    EXPECT_TRUE(harness.client().downloadVideoOnce(capture.base() + "/smile?v=sm9", "",
                                                   DownloadAttempt::First));
    EXPECT_EQ(capture.request().rfind("GET /smile?v=sm9 HTTP/1.1\r\n", 0), 0u);
    const std::vector<std::string> lines = capture.headerLines();
    const std::vector<std::string> expected = {
        "Content-type: text/xml",
        "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 1.1.4322)",
        "Accept: */*",
        "Accept-Language: ja-JP",
        "Cache-Control: no-cache",
        "Connection: Keep-Alive"};
    auto from = lines.begin();
    for (const std::string& line : expected) {
        from = std::find(from, lines.end(), line);
        ASSERT_NE(from, lines.end()) << line;
        ++from;
    }
    EXPECT_EQ(readBytes(harness.fields.videoFile), "FLV");
    // 3 bytes of 3: one post of 100.
    EXPECT_EQ(harness.progress, std::vector<int>{100});
}

TEST(DownloadProgress, PostsEachNewPercentOnceStartingWithTheFirstThatDiffersFromMinusOne) {
    ClientHarness harness(ServiceEndpoints{});
    ServiceClient client = harness.client();
    client.reportDownloadProgress(200, 0);    // 0: differs from -1, posted
    client.reportDownloadProgress(200, 1);    // still 0
    client.reportDownloadProgress(200, 2);    // 1
    client.reportDownloadProgress(200, 3);    // 1 again
    client.reportDownloadProgress(0, 50);     // no total: nothing
    client.reportDownloadProgress(-1, 50);    // no total (an answer of 300 or more)
    client.reportDownloadProgress(200, 400);  // 200: above 100 is posted too
    client.reportDownloadProgress(int64_t{3} << 32, int64_t{3} << 31);  // 64-bit sizes: 50
    EXPECT_EQ(harness.progress, (std::vector<int>{0, 1, 200, 50}));
    EXPECT_EQ(harness.fields.lastDownloadPercent, 50);
}
