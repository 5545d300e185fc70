// The filter's user ID lists: Ignore.sav / Extract.sav, ids and counters, and the end of
// editing a row in the filter window.

#include "comments/user_id_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "comments/user_id_row_edit.h"
#include "platform/test_temp_folder.h"

namespace {

std::vector<int32_t> idsOf(const UserIdList& list) {
    std::vector<int32_t> ids;
    for (const UserIdEntry& entry : list.entries()) {
        ids.push_back(entry.id);
    }
    return ids;
}

TEST(UserIdListFile, EveryLineIsAnEntryUntrimmedWithIdsFromTheCounter) {
    TestTempFolder folder;
    // CR LF and LF mixed, an empty line, blanks kept, a last line without a line end.
    writeBytes(folder / "Ignore.sav", "abc\r\n\r\n  spaced\t\nlast");
    UserIdList list;
    ASSERT_TRUE(list.load(folder / "Ignore.sav"));
    EXPECT_EQ(list.texts(), (std::vector<std::string>{"abc", "", "  spaced\t", "last"}));
    EXPECT_EQ(idsOf(list), (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(list.nextId(), 4);
}

TEST(UserIdListFile, AnEditorsByteOrderMarkIsNoPartOfTheFirstId) {
    TestTempFolder folder;
    writeBytes(folder / "Extract.sav", "\xEF\xBB\xBFuser1\r\n");
    UserIdList list;
    ASSERT_TRUE(list.load(folder / "Extract.sav"));
    EXPECT_EQ(list.texts(), std::vector<std::string>{"user1"});
}

TEST(UserIdListFile, SavesEveryTextWithCrLfAndReadsItBack) {
    TestTempFolder folder;
    UserIdList list;
    list.addOrUpdate("abc", list.nextId());
    list.addOrUpdate("", list.nextId());
    list.addOrUpdate("ユーザー", list.nextId());
    ASSERT_TRUE(list.save(folder / "Ignore.sav"));
    EXPECT_EQ(readBytes(folder / "Ignore.sav"), "abc\r\n\r\nユーザー\r\n");

    UserIdList again;
    ASSERT_TRUE(again.load(folder / "Ignore.sav"));
    EXPECT_EQ(again.texts(), list.texts());
}

TEST(UserIdListFile, AnEmptyListDeletesItsFileAndAMissingFileIsFine) {
    TestTempFolder folder;
    const auto file = folder / "Extract.sav";
    writeBytes(file, "old\r\n");
    UserIdList list;
    ASSERT_TRUE(list.load(file));
    ASSERT_TRUE(list.remove(0));
    EXPECT_TRUE(list.save(file));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(list.save(file));  // nothing to delete

    UserIdList next;
    EXPECT_FALSE(next.load(file));
    EXPECT_TRUE(next.empty());
    EXPECT_EQ(next.nextId(), 0);
}

TEST(UserIdListFile, AFileThatCannotBeWrittenIsReportedAndLeftAlone) {
    TestTempFolder folder;
    std::filesystem::create_directory(folder / "Ignore.sav");
    UserIdList list;
    list.addOrUpdate("abc", 0);
    EXPECT_FALSE(list.save(folder / "Ignore.sav"));
    list.remove(0);
    EXPECT_FALSE(list.save(folder / "Ignore.sav"));  // a folder is not deleted as a list file
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Ignore.sav"));
}

TEST(UserIdListEntries, AddOrUpdateRemoveAndTheCounter) {
    UserIdList list;
    EXPECT_EQ(list.addOrUpdate("a", 0), 0);
    EXPECT_EQ(list.addOrUpdate("b", 1), 1);
    EXPECT_EQ(list.nextId(), 2);

    // An existing id: the text changes, nothing is appended, the counter stays.
    EXPECT_EQ(list.addOrUpdate("a2", 0), 0);
    EXPECT_EQ(list.texts(), (std::vector<std::string>{"a2", "b"}));
    EXPECT_EQ(list.nextId(), 2);

    // An unknown id: appended under the counter's value, not under the id given.
    EXPECT_EQ(list.addOrUpdate("c", 7), 2);
    EXPECT_EQ(idsOf(list), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(list.find(7), nullptr);

    EXPECT_FALSE(list.remove(7));
    EXPECT_TRUE(list.remove(0));
    EXPECT_FALSE(list.remove(0));
    EXPECT_EQ(list.texts(), (std::vector<std::string>{"b", "c"}));
    // Ids are never given out again.
    EXPECT_EQ(list.addOrUpdate("d", list.nextId()), 3);
}

TEST(UserIdListEntries, ALaterLoadGoesOnCountingAndTheJobsCopyIsIndependent) {
    TestTempFolder folder;
    writeBytes(folder / "Ignore.sav", "x\ny\n");
    UserIdList list;
    list.load(folder / "Ignore.sav");
    list.load(folder / "Ignore.sav");
    EXPECT_EQ(idsOf(list), (std::vector<int32_t>{2, 3}));

    std::vector<std::string> copy = list.texts();
    list.addOrUpdate("changed", 2);
    EXPECT_EQ(copy, (std::vector<std::string>{"x", "y"}));
}

// --- the end of editing a row ---

TEST(UserIdRowEdit, EscOnANewRowDeletesItWithoutAnEntry) {
    UserIdList list;
    list.addOrUpdate("keep", 0);
    const int32_t rowId = list.nextId();  // "追加"
    const UserIdRowEditResult result = endUserIdRowEdit(
        list, {.rowId = rowId, .presentText = "", .newText = "", .cancelled = true});
    EXPECT_EQ(result.action, UserIdRowAction::DeleteRow);
    EXPECT_EQ(list.texts(), std::vector<std::string>{"keep"});
    EXPECT_EQ(list.nextId(), rowId);
}

TEST(UserIdRowEdit, EscOnARowWithTextKeepsIt) {
    UserIdList list;
    list.addOrUpdate("abc", 0);
    const UserIdRowEditResult result = endUserIdRowEdit(
        list, {.rowId = 0, .presentText = "abc", .newText = "", .cancelled = true});
    EXPECT_EQ(result.action, UserIdRowAction::KeepPresentText);
    EXPECT_EQ(list.texts(), std::vector<std::string>{"abc"});
}

TEST(UserIdRowEdit, ATypedIdIsStoredTrimmedUnderTheRowsId) {
    UserIdList list;
    const int32_t rowId = list.nextId();
    const UserIdRowEditResult result =
        endUserIdRowEdit(list, {.rowId = rowId, .presentText = "", .newText = " \tuser9 \r"});
    EXPECT_EQ(result.action, UserIdRowAction::AcceptNewText);
    EXPECT_EQ(result.rowId, rowId);
    ASSERT_NE(list.find(rowId), nullptr);
    EXPECT_EQ(list.find(rowId)->text, "user9");
    EXPECT_EQ(list.nextId(), rowId + 1);
}

TEST(UserIdRowEdit, AFullWidthSpaceIsText) {
    UserIdList list;
    endUserIdRowEdit(list, {.rowId = 0, .presentText = "", .newText = "\xE3\x80\x80"});
    EXPECT_EQ(list.texts(), std::vector<std::string>{"\xE3\x80\x80"});
}

TEST(UserIdRowEdit, EditingARowChangesItsEntryAndKeepsTheCount) {
    UserIdList list;
    list.addOrUpdate("a", 0);
    list.addOrUpdate("b", 1);
    const UserIdRowEditResult result =
        endUserIdRowEdit(list, {.rowId = 1, .presentText = "b", .newText = "b2"});
    EXPECT_EQ(result.action, UserIdRowAction::AcceptNewText);
    EXPECT_EQ(list.texts(), (std::vector<std::string>{"a", "b2"}));
    EXPECT_EQ(list.nextId(), 2);
}

TEST(UserIdRowEdit, ClearingARowDeletesItsEntry) {
    UserIdList list;
    list.addOrUpdate("a", 0);
    list.addOrUpdate("b", 1);
    const UserIdRowEditResult result =
        endUserIdRowEdit(list, {.rowId = 0, .presentText = "a", .newText = " \t "});
    EXPECT_EQ(result.action, UserIdRowAction::DeleteRow);
    EXPECT_EQ(list.texts(), std::vector<std::string>{"b"});
}

}  // namespace
