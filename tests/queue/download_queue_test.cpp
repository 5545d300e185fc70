// The download queue and download.sav: pairs of lines, ids, the order jobs are taken in, and
// the start-up that loads a saved queue without starting it.

#include "queue/download_queue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "support/temp_folder.h"

namespace {

std::vector<std::string> urlsOf(const DownloadQueue& queue) {
    std::vector<std::string> urls;
    for (const DownloadEntry& entry : queue.entries()) {
        urls.push_back(entry.url);
    }
    return urls;
}

class DownloadSavTest : public ::testing::Test {
protected:
    TestTempFolder folder;
    const std::filesystem::path file = folder / "download.sav";
};

TEST_F(DownloadSavTest, PairsOfLinesReadAsStrtolDoesAndAnOddLastUrlDropped) {
    writeBytes(file,
               "http://a/sm1\r\n1200000000\r\nhttp://b/sm2\n  -42seconds\n\nno digits\n"
               "http://c/sm3\r\n99999999999\r\nhttp://odd/sm4\n");
    DownloadQueue queue;
    ASSERT_TRUE(queue.load(file));
    EXPECT_EQ(urlsOf(queue),
              (std::vector<std::string>{"http://a/sm1", "http://b/sm2", "", "http://c/sm3"}));
    const int64_t times[] = {1200000000, -42, 0, std::numeric_limits<int32_t>::max()};
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(queue.entries()[i].registered, times[i]) << i;
        EXPECT_EQ(queue.entries()[i].id, i);
    }
    EXPECT_EQ(queue.nextId(), 4);
}

TEST_F(DownloadSavTest, SavesCrLfPairsInStepThatReadBackAndAnEmptyQueueDeletesTheFile) {
    DownloadQueue queue;
    queue.queueUrl("http://a/\nsm1", int64_t{1} << 40);  // a line break must not split a pair
    queue.queueUrl("HTTP://b/sm2", -(int64_t{1} << 40));
    queue.queueUrl("http://c/sm3", 0);
    ASSERT_TRUE(queue.save(file));
    EXPECT_EQ(readBytes(file),
              "http://a/sm1\r\n2147483647\r\nHTTP://b/sm2\r\n-2147483648\r\nhttp://c/sm3\r\n0\r\n");
    DownloadQueue again;
    ASSERT_TRUE(again.load(file));
    EXPECT_EQ(urlsOf(again),
              (std::vector<std::string>{"http://a/sm1", "HTTP://b/sm2", "http://c/sm3"}));

    while (again.takeNext()) {
    }
    EXPECT_TRUE(again.save(file));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(again.save(file));  // nothing to delete is fine too
    // A missing file is an empty queue; one that cannot be read is a failure that says why.
    DownloadQueue next;
    EXPECT_TRUE(next.load(file));
    EXPECT_TRUE(next.empty());
    std::filesystem::create_directory(file);
    const Status unreadable = next.load(file);
    EXPECT_EQ(unreadable.error(), file.string() + ": a folder, not a file");
}

TEST(DownloadQueueEntries, IdsRegistrationTimesAndTheOrderOfTaking) {
    DownloadQueue queue;
    const int32_t id = queue.addOrUpdate("http://a/sm1", std::nullopt, 100);
    EXPECT_EQ(queue.addOrUpdate("http://a/sm9", id, 500), id);  // keeps its registration time
    EXPECT_EQ(queue.entries()[0].registered, 100);
    // An id that no entry has: appended with the time of the call and the counter's id.
    EXPECT_EQ(queue.addOrUpdate("http://b/sm2", 40, 600), 1);
    EXPECT_EQ(queue.entries()[1].registered, 600);
    EXPECT_EQ(queue.find(40), nullptr);
    EXPECT_EQ(queue.queueUrl("  \"quoted\" ", 2), 2);  // handed over: kept as received
    EXPECT_EQ(urlsOf(queue),
              (std::vector<std::string>{"http://a/sm9", "http://b/sm2", "  \"quoted\" "}));

    EXPECT_TRUE(queue.remove(1));
    EXPECT_FALSE(queue.remove(1));
    const std::optional<DownloadEntry> first = queue.takeNext();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->id, 0);
    EXPECT_EQ(first->url, "http://a/sm9");
    EXPECT_EQ(queue.takeNext()->url, "  \"quoted\" ");
    EXPECT_FALSE(queue.takeNext());
    EXPECT_EQ(queue.nextId(), 3);  // ids are not given out again
}

TEST_F(DownloadSavTest, ACommandLineJobAtStartUpKeepsTheSavedQueueWithoutStartingIt) {
    const std::string saved = "http://a/sm1\r\n1\r\nhttp://b/sm2\r\n2\r\n";
    writeBytes(file, saved);
    DownloadQueue plain;
    EXPECT_TRUE(loadQueueAtStartUp(plain, file, false));
    EXPECT_EQ(plain.entries().size(), 2u);
    DownloadQueue none;
    EXPECT_FALSE(loadQueueAtStartUp(none, folder / "missing.sav", false));

    DownloadQueue queue;
    EXPECT_FALSE(loadQueueAtStartUp(queue, file, true));
    EXPECT_EQ(urlsOf(queue), (std::vector<std::string>{"http://a/sm1", "http://b/sm2"}));
    ASSERT_TRUE(queue.save(file));  // closing before the command line's job ended
    EXPECT_EQ(readBytes(file), saved);
}

}  // namespace
