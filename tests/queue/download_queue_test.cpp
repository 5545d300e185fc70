// The download queue and download.sav: pairs of lines, ids, the order jobs are taken in, and
// the start-up that loads a saved queue without starting it.

#include "queue/download_queue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "platform/test_temp_folder.h"

namespace {

std::vector<std::string> urlsOf(const DownloadQueue& queue) {
    std::vector<std::string> urls;
    for (const DownloadEntry& entry : queue.entries()) {
        urls.push_back(entry.url);
    }
    return urls;
}

TEST(DownloadSav, PairsOfLinesWithTheTimesReadAsStrtolDoes) {
    TestTempFolder folder;
    writeBytes(folder / "download.sav",
               "http://a/sm1\r\n1200000000\r\n"
               "http://b/sm2\n  -42seconds\n"
               "\n"
               "no digits\n"
               "http://c/sm3\r\n99999999999\r\n");
    DownloadQueue queue;
    ASSERT_TRUE(queue.load(folder / "download.sav"));
    const auto& entries = queue.entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].url, "http://a/sm1");
    EXPECT_EQ(entries[0].registered, 1200000000);
    EXPECT_EQ(entries[1].url, "http://b/sm2");
    EXPECT_EQ(entries[1].registered, -42);
    EXPECT_EQ(entries[2].url, "");
    EXPECT_EQ(entries[2].registered, 0);
    EXPECT_EQ(entries[3].registered, std::numeric_limits<int32_t>::max());  // 32-bit long
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].id, i);
    }
    EXPECT_EQ(queue.nextId(), 4);
}

TEST(DownloadSav, AnOddLineCountDropsTheLastUrl) {
    TestTempFolder folder;
    writeBytes(folder / "download.sav", "http://a/sm1\n100\nhttp://b/sm2\n");
    DownloadQueue queue;
    ASSERT_TRUE(queue.load(folder / "download.sav"));
    EXPECT_EQ(urlsOf(queue), std::vector<std::string>{"http://a/sm1"});
    EXPECT_EQ(queue.nextId(), 1);
}

TEST(DownloadSav, ThreeEntriesMakeSixCrLfLinesThatReadBack) {
    TestTempFolder folder;
    DownloadQueue queue;
    queue.queueUrl("http://a/sm1", 1000);
    queue.queueUrl("HTTP://b/sm2", 2000000000);
    queue.queueUrl("http://c/sm3", 0);
    ASSERT_TRUE(queue.save(folder / "download.sav"));
    EXPECT_EQ(readBytes(folder / "download.sav"),
              "http://a/sm1\r\n1000\r\nHTTP://b/sm2\r\n2000000000\r\nhttp://c/sm3\r\n0\r\n");

    DownloadQueue again;
    ASSERT_TRUE(again.load(folder / "download.sav"));
    ASSERT_EQ(again.entries().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(again.entries()[i].url, queue.entries()[i].url);
        EXPECT_EQ(again.entries()[i].registered, queue.entries()[i].registered);
    }
}

TEST(DownloadSav, TimesBeyond32BitsAndLineBreaksInAUrlKeepThePairsInStep) {
    TestTempFolder folder;
    DownloadQueue queue;
    queue.queueUrl("http://a/\nsm1", int64_t{1} << 40);
    queue.queueUrl("http://b/sm2", -(int64_t{1} << 40));
    ASSERT_TRUE(queue.save(folder / "download.sav"));
    EXPECT_EQ(readBytes(folder / "download.sav"),
              "http://a/sm1\r\n2147483647\r\nhttp://b/sm2\r\n-2147483648\r\n");
}

TEST(DownloadSav, AnEmptyQueueDeletesTheFileAndAMissingFileIsFine) {
    TestTempFolder folder;
    const auto file = folder / "download.sav";
    writeBytes(file, "http://a/sm1\r\n5\r\n");
    DownloadQueue queue;
    ASSERT_TRUE(queue.load(file));
    ASSERT_TRUE(queue.takeNext());
    EXPECT_TRUE(queue.save(file));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(queue.save(file));

    DownloadQueue next;
    EXPECT_FALSE(next.load(file));
    EXPECT_TRUE(next.empty());
}

TEST(DownloadQueueEntries, AddOrUpdateKeepsTheRegistrationTime) {
    DownloadQueue queue;
    const int32_t id = queue.addOrUpdate("http://a/sm1", std::nullopt, 100);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(queue.addOrUpdate("http://a/sm9", id, 500), id);
    ASSERT_EQ(queue.entries().size(), 1u);
    EXPECT_EQ(queue.entries()[0].url, "http://a/sm9");
    EXPECT_EQ(queue.entries()[0].registered, 100);
    EXPECT_EQ(queue.nextId(), 1);

    // An id that no entry has: appended with the time of the call and the counter's id.
    EXPECT_EQ(queue.addOrUpdate("http://b/sm2", 40, 600), 1);
    EXPECT_EQ(queue.entries()[1].registered, 600);
    EXPECT_EQ(queue.find(40), nullptr);
}

TEST(DownloadQueueEntries, HandedOverUrlsJoinTheTailAsReceived) {
    DownloadQueue queue;
    queue.queueUrl("http://a/sm1", 1);
    EXPECT_EQ(queue.queueUrl("  \"quoted\" ", 2), 1);
    EXPECT_EQ(urlsOf(queue), (std::vector<std::string>{"http://a/sm1", "  \"quoted\" "}));
    EXPECT_EQ(queue.nextId(), 2);
}

TEST(DownloadQueueEntries, TakeNextTakesTheHeadAndRemoveTheFirstOfAnId) {
    DownloadQueue queue;
    queue.queueUrl("http://a/sm1", 1);
    queue.queueUrl("http://b/sm2", 2);
    queue.queueUrl("http://c/sm3", 3);
    EXPECT_TRUE(queue.remove(1));
    EXPECT_FALSE(queue.remove(1));

    const std::optional<DownloadEntry> first = queue.takeNext();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->url, "http://a/sm1");
    EXPECT_EQ(first->id, 0);
    EXPECT_EQ(first->registered, 1);
    EXPECT_EQ(queue.takeNext()->url, "http://c/sm3");
    EXPECT_FALSE(queue.takeNext());
    EXPECT_EQ(queue.nextId(), 3);  // ids are not given out again
}

TEST(DownloadQueueStartUp, WithoutACommandLineJobTheHeadStarts) {
    TestTempFolder folder;
    writeBytes(folder / "download.sav", "http://a/sm1\r\n1\r\nhttp://b/sm2\r\n2\r\n");
    DownloadQueue queue;
    EXPECT_TRUE(loadQueueAtStartUp(queue, folder / "download.sav", false));
    EXPECT_EQ(queue.entries().size(), 2u);

    DownloadQueue none;
    EXPECT_FALSE(loadQueueAtStartUp(none, folder / "missing.sav", false));
}

TEST(DownloadQueueStartUp, ACommandLineJobDoesNotLoseTheSavedQueue) {
    TestTempFolder folder;
    const auto file = folder / "download.sav";
    const std::string saved = "http://a/sm1\r\n1\r\nhttp://b/sm2\r\n2\r\n";
    writeBytes(file, saved);

    // The run starts with a URL: the queue is loaded and shown, but does not start.
    DownloadQueue queue;
    EXPECT_FALSE(loadQueueAtStartUp(queue, file, true));
    EXPECT_EQ(urlsOf(queue), (std::vector<std::string>{"http://a/sm1", "http://b/sm2"}));

    // Closing before the command line's job ended: the queue goes back unchanged.
    ASSERT_TRUE(queue.save(file));
    EXPECT_EQ(readBytes(file), saved);
}

TEST(StartsWithHttp, OnlyHttpInAnyLetterCase) {
    EXPECT_TRUE(startsWithHttp("http://www.example.jp/watch/sm9"));
    EXPECT_TRUE(startsWithHttp("HtTp://x"));
    EXPECT_FALSE(startsWithHttp("https://x"));
    EXPECT_FALSE(startsWithHttp(" http://x"));
    EXPECT_FALSE(startsWithHttp("http:/"));
}

}  // namespace
