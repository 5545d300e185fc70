// The filter's user ID lists: Ignore.sav / Extract.sav, ids and counters, and the end of
// editing a row in the filter window.

#include "comments/user_id_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "comments/user_id_row_edit.h"
#include "support/temp_folder.h"

namespace {

using Strings = std::vector<std::string>;

std::vector<int32_t> idsOf(const UserIdList& list) {
    std::vector<int32_t> ids;
    for (const UserIdEntry& entry : list.entries()) {
        ids.push_back(entry.id);
    }
    return ids;
}

TEST(UserIdListFile, EveryLineIsAnEntryUntrimmedWithIdsFromTheCounter) {
    TestTempFolder folder;
    // An empty line, blanks, no last line end (marks and line ends: LineFile's tests).
    writeBytes(folder / "Ignore.sav", "abc\r\n\r\n  spaced\t\r\nlast");
    UserIdList list;
    ASSERT_TRUE(list.load(folder / "Ignore.sav"));
    EXPECT_EQ(list.texts(), (Strings{"abc", "", "  spaced\t", "last"}));
    EXPECT_EQ(idsOf(list), (std::vector<int32_t>{0, 1, 2, 3}));
    ASSERT_TRUE(list.load(folder / "Ignore.sav"));  // a later load goes on counting
    EXPECT_EQ(idsOf(list), (std::vector<int32_t>{4, 5, 6, 7}));
    EXPECT_EQ(list.nextId(), 8);
}

TEST(UserIdListFile, SavesWithCrLfReadsBackAnEmptyListDeletesItsFileAndAFolderIsLeftAlone) {
    TestTempFolder folder;
    const auto file = folder / "Ignore.sav";
    UserIdList list;
    for (const char* text : {"abc", "", "ユーザー"}) {
        list.addOrUpdate(text, list.nextId());
    }
    ASSERT_TRUE(list.save(file));
    EXPECT_EQ(readBytes(file), "abc\r\n\r\nユーザー\r\n");
    UserIdList again;
    ASSERT_TRUE(again.load(file));
    EXPECT_EQ(again.texts(), list.texts());

    for (int32_t id : {0, 1, 2}) {
        ASSERT_TRUE(again.remove(id));
    }
    EXPECT_TRUE(again.save(file));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(again.save(file));  // nothing to delete
    UserIdList missing;             // the first run has no list file
    EXPECT_TRUE(missing.load(file));
    EXPECT_TRUE(missing.empty());

    // A folder in the list file's place is reported, and not deleted as a list file.
    std::filesystem::create_directory(file);
    missing.addOrUpdate("abc", 0);
    EXPECT_FALSE(missing.save(file));
    missing.remove(0);
    EXPECT_FALSE(missing.save(file));
    EXPECT_TRUE(std::filesystem::is_directory(file));
    EXPECT_FALSE(missing.load(file));
}

TEST(UserIdListEntries, AddOrUpdateRemoveAndTheCounter) {
    UserIdList list;
    EXPECT_EQ(list.addOrUpdate("a", 0), 0);
    EXPECT_EQ(list.addOrUpdate("b", 1), 1);
    // An existing id: the text changes, nothing is appended, the counter stays.
    EXPECT_EQ(list.addOrUpdate("a2", 0), 0);
    EXPECT_EQ(list.texts(), (Strings{"a2", "b"}));
    EXPECT_EQ(list.nextId(), 2);
    // An unknown id: appended under the counter's value, not under the id given.
    EXPECT_EQ(list.addOrUpdate("c", 7), 2);
    EXPECT_EQ(idsOf(list), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_FALSE(list.remove(7));
    EXPECT_TRUE(list.remove(0));
    EXPECT_FALSE(list.remove(0));
    EXPECT_EQ(idsOf(list), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(list.addOrUpdate("d", list.nextId()), 3);  // ids are never given out again
}

TEST(UserIdRowEdit, TheEndOfAnEditDecidesTheRowAndTheEntry) {
    // The list holds "a" (id 0) and "b" (id 1); a new row ("追加") has the id 2.
    const struct {
        UserIdRowEdit edit;
        UserIdRowAction action;
        Strings texts;
        int32_t nextId;
    } cases[] = {
        {{2, "", "", true}, UserIdRowAction::DeleteRow, {"a", "b"}, 2},  // Esc on a new row
        {{0, "a", "", true}, UserIdRowAction::KeepPresentText, {"a", "b"}, 2},
        {{2, "", " \tuser9 \r"}, UserIdRowAction::AcceptNewText, {"a", "b", "user9"}, 3},
        {{2, "", "\xE3\x80\x80"}, UserIdRowAction::AcceptNewText, {"a", "b", "\xE3\x80\x80"}, 3},
        {{1, "b", "b2"}, UserIdRowAction::AcceptNewText, {"a", "b2"}, 2},
        {{0, "a", " \t "}, UserIdRowAction::DeleteRow, {"b"}, 2},  // cleared
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.edit.rowId << " '" << c.edit.newText << "'");
        UserIdList list;
        list.addOrUpdate("a", 0);
        list.addOrUpdate("b", 1);
        const UserIdRowEditResult result = endUserIdRowEdit(list, c.edit);
        EXPECT_EQ(result.action, c.action);
        EXPECT_EQ(list.texts(), c.texts);
        EXPECT_EQ(list.nextId(), c.nextId);
        if (c.action == UserIdRowAction::AcceptNewText) {
            EXPECT_EQ(result.rowId, c.edit.rowId);
            EXPECT_THAT(idsOf(list), testing::Contains(c.edit.rowId));
        }
    }
}

}  // namespace
