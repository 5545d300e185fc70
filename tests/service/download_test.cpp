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

// A demo service streaming a video of a little over a megabyte made for the test; a client
// logged in, with sm9 looked up (and its page visited unless told not to). `served` replaces
// the video when given.
class DownloadTest : public ::testing::Test {
protected:
    void startDemo(const std::vector<std::string>& faults = {}, bool visitPage = true,
                   const std::string& served = {}) {
        writeBytes(videoFolder / "video.flv", served.empty() ? video : served);
        std::vector<std::string> arguments = {"--video", (videoFolder / "video.flv").string()};
        for (const std::string& fault : faults) {
            arguments.insert(arguments.end(), {"--fault", fault});
        }
        demo = std::make_unique<DemoService>(arguments);
        ASSERT_TRUE(demo->started());
        harness = std::make_unique<ClientHarness>(demo->endpoints());
        harness->logIn();
        const std::string page = demo->webBase() + "/watch/sm9";
        const Result<VideoLookup> lookup = harness->client().lookUpVideo(page);
        ASSERT_TRUE(lookup) << lookup.error();
        streamUrl = lookup->streamUrl;
        if (visitPage) {
            ASSERT_TRUE(harness->client().visitVideoPage(page));
        }
    }

    bool download() { return harness->client().downloadVideo(streamUrl).ok(); }
    fs::path videoFile() const { return harness->fields.videoFile; }
    fs::path partFile() const { return harness->fields.videoFile + ".part"; }

    TempFolder videoFolder;
    const std::string video = patternBytes(1024 * 1024 + 123);  // a little over a megabyte
    std::unique_ptr<DemoService> demo;
    std::unique_ptr<ClientHarness> harness;
    std::string streamUrl;
};

}  // namespace

TEST_F(DownloadTest, StoresTheWholeStreamAndPostsEachPercentOnce) {
    struct Row {
        const char* fault;
        const char* path;    // the path the demo counts
        const char* target;  // the request target it saw: escapes written as sent
    };
    const Row rows[] = {{"", "/smile", "/smile?v=sm9"},
                        {"stream-url-escapes", "/smile+data", "/smile+data/sm9.flv?key=a%20b"},
                        {"stream-no-length", "/smile", "/smile?v=sm9"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        startDemo(*row.fault ? std::vector<std::string>{row.fault} : std::vector<std::string>{});
        EXPECT_TRUE(download());
        EXPECT_EQ(readBytes(videoFile()), video);
        EXPECT_FALSE(fs::exists(partFile()));
        EXPECT_EQ(demo->count(row.path), 1);
        EXPECT_EQ(demo->last("stream-target"), row.target);
        EXPECT_EQ(demo->last("stream-user-agent"),
                  "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 1.1.4322)");
        EXPECT_TRUE(harness->errors.empty());
        const std::vector<int>& progress = harness->progress;
        ASSERT_GE(progress.size(), 2u);
        EXPECT_TRUE(
            std::is_sorted(progress.begin(), progress.end()));  // once each: DownloadProgress
        if (std::string(row.fault) == "stream-no-length") {
            // The total is what arrived at once: the first post is 100, and the percent
            // passes 100.
            EXPECT_EQ(progress.front(), 100);
            EXPECT_GT(progress.back(), 100);
        } else {
            EXPECT_GE(progress.front(), 0);
            EXPECT_EQ(progress.back(), 100);
        }
    }
}

TEST_F(DownloadTest, TwoFailedAttemptsKeepAnEarlierFileAndReportOnce) {
    struct Row {
        const char* fault;
        bool visitPage;
        const char* error;  // a text the report holds
        bool progress;      // whether the first attempt got far enough to post progress
    };
    const Row rows[] = {{"stream-404", true, "404", false},
                        {"", false, "403", false},  // no watch-page cookie
                        {"stream-cut", true, "", true},
                        // Without a length only the transfer itself can tell the cut.
                        {"stream-no-length-cut", true, "", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.fault) + (row.visitPage ? "" : " without the page visit"));
        startDemo(*row.fault ? std::vector<std::string>{row.fault} : std::vector<std::string>{},
                  row.visitPage);
        writeBytes(videoFile(), "the earlier download");
        EXPECT_FALSE(download());
        EXPECT_EQ(readBytes(videoFile()), "the earlier download");
        EXPECT_EQ(demo->count("/smile"), 2);
        ASSERT_EQ(harness->errors.size(), 1u);
        EXPECT_FALSE(harness->errors[0].empty());
        EXPECT_NE(harness->errors[0].find(row.error), std::string::npos) << harness->errors[0];
        EXPECT_EQ(harness->progress.empty(), !row.progress);
        // What arrived stays in the part file, for a later job to continue.
        EXPECT_EQ(fs::exists(partFile()), row.progress);
        if (row.progress) {
            const std::string kept = readBytes(partFile());
            EXPECT_EQ(kept, video.substr(0, kept.size()));
            EXPECT_LT(kept.size(), video.size());
        }
    }
}

TEST_F(DownloadTest, AStopKeepsTheEarlierVideoAndALaterDownloadContinuesWhereItStopped) {
    const std::string changed = std::string(video.size(), 'c');
    struct Row {
        std::vector<std::string> faults;  // of the service the later download meets
        bool videoChanged;                // the service's video is another file by then
        bool continued;                   // only the rest travels
    };
    const Row rows[] = {{{}, false, true}, {{"stream-no-ranges"}, false, false}, {{}, true, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.faults) + (row.videoChanged ? " changed" : ""));
        startDemo({"stream-slow"});
        writeBytes(videoFile(), "the earlier download");
        harness->stopAtFirstProgress = true;
        EXPECT_FALSE(download());
        EXPECT_EQ(readBytes(videoFile()), "the earlier download") << "a stop replaces nothing";
        const std::string stoppedAt = readBytes(partFile());
        ASSERT_GT(stoppedAt.size(), 0u);
        ASSERT_LT(stoppedAt.size(), video.size() / 2);
        EXPECT_EQ(stoppedAt, video.substr(0, stoppedAt.size()));
        EXPECT_EQ(demo->count("/smile"), 1) << "no second attempt after a stop";
        // As if the stop had come at half the stream, so that the progress shows what travels.
        const std::string kept = video.substr(0, video.size() / 2);
        EXPECT_TRUE(harness->errors.empty());
        const std::string record = readBytes(partFile().string() + ".resume");

        // A later job, against the service as it is then, with the files the stop left.
        const std::string served = row.videoChanged ? changed : video;
        startDemo(row.faults, true, served);
        writeBytes(partFile(), kept);
        writeBytes(partFile().string() + ".resume", record);
        EXPECT_TRUE(download());
        EXPECT_EQ(readBytes(videoFile()), served);
        EXPECT_EQ(demo->last("stream-range"), "bytes=" + std::to_string(kept.size()) + "-");
        EXPECT_EQ(demo->count("/smile"), 1);
        EXPECT_FALSE(fs::exists(partFile()));
        EXPECT_FALSE(fs::exists(partFile().string() + ".resume"));
        // The progress counts the kept bytes: a continued download starts past half.
        ASSERT_FALSE(harness->progress.empty());
        EXPECT_EQ(harness->progress.front() >= 50, row.continued);
        EXPECT_EQ(harness->progress.back(), 100);
    }
}

TEST_F(DownloadTest, AStopBeforeTheFirstByteOrAMissingFolderAsksNothing) {
    startDemo();
    writeBytes(videoFile(), "the earlier download");
    harness->stop = true;
    EXPECT_FALSE(download());
    EXPECT_EQ(readBytes(videoFile()), "the earlier download");
    EXPECT_FALSE(fs::exists(partFile()));
    EXPECT_TRUE(harness->errors.empty());

    harness->stop = false;
    harness->fields.videoFile = (harness->save / "missing" / "sm9.flv").string();
    EXPECT_FALSE(download());
    ASSERT_EQ(harness->errors.size(), 1u);
    EXPECT_NE(harness->errors[0].find("sm9.flv.part"), std::string::npos) << harness->errors[0];
    EXPECT_EQ(demo->count("/smile"), 0);
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
