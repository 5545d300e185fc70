// The rows of the download list window: the end of editing, deleting, the row of a URL, and the
// "登録日" text.

#include "queue/download_row.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

#include "support/scoped_environment.h"

namespace {

// A row as the window holds it.
struct Row {
    std::string text;
    std::optional<int32_t> entryId;
};

// Ends the edit of `row` the way the window does, applying the answer to the row.
DownloadRowEditResult typeInto(DownloadQueue& queue, Row& row, std::string_view typed,
                               int64_t now) {
    const DownloadRowEditResult result = endDownloadRowEdit(
        queue, {.entryId = row.entryId, .presentText = row.text, .newText = typed}, now);
    if (result.action == DownloadRowAction::AcceptNewText) {
        row.text = typed;
    }
    row.entryId = result.entryId;
    return result;
}

TEST(DownloadRowEdit, EscDeletesANewRowAndKeepsAnEditedOne) {
    DownloadQueue queue;
    const DownloadRowEditResult onNew = endDownloadRowEdit(
        queue, {.entryId = std::nullopt, .presentText = "", .newText = "", .cancelled = true}, 5);
    EXPECT_EQ(onNew.action, DownloadRowAction::DeleteRow);
    EXPECT_FALSE(onNew.queued);
    EXPECT_EQ(queue.nextId(), 0);

    const int32_t id = queue.queueUrl("http://a/sm1", 1);
    const DownloadRowEditResult onQueued = endDownloadRowEdit(
        queue, {.entryId = id, .presentText = "http://a/sm1", .newText = "", .cancelled = true}, 5);
    EXPECT_EQ(onQueued.action, DownloadRowAction::KeepPresentText);
    EXPECT_EQ(onQueued.entryId, id);
    EXPECT_EQ(queue.entries().size(), 1u);
}

TEST(DownloadRowEdit, AddressesAndIdsAreQueuedTrimmedAndTheRowShowsWhatWasTyped) {
    DownloadQueue queue;
    for (const char* typed : {"ftp://example.jp/sm9", "watch sm9", "sm9x"}) {
        Row row;  // "追加"
        EXPECT_FALSE(typeInto(queue, row, typed, 1).queued) << typed;
        EXPECT_FALSE(row.entryId) << typed;
    }
    EXPECT_EQ(queue.nextId(), 0);
    for (const char* typed : {"https://example.jp/watch/sm9", " nm2829323 "}) {
        Row row;
        EXPECT_TRUE(typeInto(queue, row, typed, 1).queued) << typed;
        ASSERT_TRUE(row.entryId) << typed;
    }
    EXPECT_EQ(queue.find(1)->url, "nm2829323");

    Row row;

    const DownloadRowEditResult result =
        typeInto(queue, row, "  HTTP://Example.jp/watch/sm9\t", 77);
    EXPECT_EQ(result.action, DownloadRowAction::AcceptNewText);
    EXPECT_TRUE(result.queued);
    ASSERT_TRUE(row.entryId);
    EXPECT_EQ(queue.find(*row.entryId)->url, "HTTP://Example.jp/watch/sm9");
    EXPECT_EQ(queue.find(*row.entryId)->registered, 77);
    EXPECT_EQ(row.text, "  HTTP://Example.jp/watch/sm9\t");
}

TEST(DownloadRowEdit, EditingAQueuedRowChangesItsEntryIgnoresNonHttpAndClearingRemovesIt) {
    DownloadQueue queue;
    queue.queueUrl("http://a/sm1", 1);
    Row row{"http://b/sm2", queue.queueUrl("http://b/sm2", 100)};
    const int32_t id = *row.entryId;
    EXPECT_TRUE(typeInto(queue, row, "http://b/sm3", 900).queued);
    EXPECT_EQ(queue.find(id)->url, "http://b/sm3");

    EXPECT_FALSE(typeInto(queue, row, "ftp://b/sm4", 900).queued);
    EXPECT_EQ(row.text, "ftp://b/sm4");
    EXPECT_EQ(queue.find(id)->url, "http://b/sm3");
    EXPECT_EQ(row.entryId, id);

    EXPECT_EQ(typeInto(queue, row, "   ", 3).action, DownloadRowAction::DeleteRow);
    EXPECT_EQ(queue.find(id), nullptr);
    EXPECT_EQ(queue.entries().size(), 1u);
}

// A row that holds no entry once carried the counter's value, the id the next queued URL
// receives; deleting or clearing it then removed that other URL. Such rows now carry no tie.
TEST(DownloadRowTie, ARowWithoutAnEntryNeverTouchesAnother) {
    DownloadQueue queue;
    Row rowOnly;
    const int32_t counterWhenAdded = queue.nextId();
    typeInto(queue, rowOnly, "www.example.jp/watch/sm1", 1);
    ASSERT_FALSE(rowOnly.entryId);

    // A URL handed over while a job runs receives that very id.
    const int32_t handedOver = queue.queueUrl("http://b/sm2", 2);
    ASSERT_EQ(handedOver, counterWhenAdded);

    // Deleting the row-only row leaves it queued; deleting a queued row removes its entry only.
    EXPECT_FALSE(deleteDownloadRow(queue, rowOnly.entryId));
    ASSERT_NE(queue.find(handedOver), nullptr);
    const int32_t other = queue.queueUrl("http://d/sm4", 2);
    EXPECT_TRUE(deleteDownloadRow(queue, other));
    EXPECT_EQ(queue.find(other), nullptr);
    ASSERT_NE(queue.find(handedOver), nullptr);

    // So does clearing the text of such a row.
    Row another;
    typeInto(queue, another, "not a url", 3);
    EXPECT_EQ(typeInto(queue, another, "", 4).action, DownloadRowAction::DeleteRow);
    ASSERT_NE(queue.find(handedOver), nullptr);

    // Typing an http URL into such a row queues a new entry instead of changing another's.
    Row third;
    typeInto(queue, third, "ftp://x", 5);
    EXPECT_TRUE(typeInto(queue, third, "http://c/sm3", 6).queued);
    EXPECT_EQ(queue.find(handedOver)->url, "http://b/sm2");
    ASSERT_TRUE(third.entryId);
    EXPECT_NE(*third.entryId, handedOver);
    EXPECT_EQ(queue.entries().size(), 2u);
}

TEST(RegistrationTime, LocalTimeToTheMinuteAndRowTextsTrimTheUrl) {
    {
        ScopedEnvironment tz("TZ", "UTC0");
        EXPECT_EQ(formatRegistrationTime(1709220659), "2024/02/29 15:30");
        const DownloadRowTexts texts = rowTextsFor({" http://a/sm1 \r", 86400 * 365, 0});
        EXPECT_EQ(texts.url, "http://a/sm1");
        EXPECT_EQ(texts.registered, "1971/01/01 00:00");
    }
    ScopedEnvironment tz("TZ", "JST-9");
    EXPECT_EQ(formatRegistrationTime(1709220600), "2024/03/01 00:30");
    EXPECT_EQ(formatRegistrationTime(-1), "1970/01/01 08:59");
}

}  // namespace
