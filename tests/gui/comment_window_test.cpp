// The comment filter window "コメント抽出設定" through its real widgets: the rows of Ignore.sav
// and Extract.sav, the end-of-editing rules of both ID lists, "削除", the two date pickers and
// what the next job is given, and the lists' files across a close and a new start.

#include <gtest/gtest.h>

#include <QDateEdit>
#include <climits>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gui/comment_dlg.h"
#include "platform/local_calendar.h"
#include "side_window_test_support.h"

using namespace gui_test;

namespace {

class CommentWindowTest : public WindowTest {
protected:
    static CCommentDlg* commentWindow(const CLumivoxDlg& window) {
        return control<CCommentDlg>(window, "commentWindow");
    }
    static QTreeView* ngView(const CLumivoxDlg& window) {
        return control<QTreeView>(window, "ngList");
    }
    static QTreeView* extractView(const CLumivoxDlg& window) {
        return control<QTreeView>(window, "extractList");
    }
    // Starts a job and returns its request; the job is stopped again.
    JobRequest nextJobRequest(CLumivoxDlg& window) {
        start(window, "http://a.invalid/watch/sm1");
        EXPECT_FALSE(drive.requests().empty());
        stopAndWait(window);
        return drive.requests().empty() ? JobRequest{} : drive.requests().back();
    }
    std::filesystem::path ignoreSav() const { return folders.work() / "Ignore.sav"; }
    std::filesystem::path extractSav() const { return folders.work() / "Extract.sav"; }
};

TEST_F(CommentWindowTest, TheSavedListsFillTheRowsAndReachEveryJobAndDeleteTakesOneRow) {
    writeBytes(ignoreSav(), "ng1\r\nng2\r\nng3\r\n");
    writeBytes(extractSav(), "ex1\r\n\r\n ex 3\n");
    auto window = openWindow();
    QTreeView* ng = ngView(*window);
    EXPECT_TRUE(commentWindow(*window)->isVisible());

    // Every line is a row, the empty one too, nothing trimmed; the rows carry the entries' ids.
    EXPECT_EQ(columnTexts(*extractView(*window)), (Texts{"ex1", "", " ex 3"}));
    EXPECT_EQ(rowTies(*extractView(*window)), (Ties{0, 1, 2}));
    EXPECT_EQ(columnTexts(*ng), (Texts{"ng1", "ng2", "ng3"}));
    const JobRequest request = nextJobRequest(*window);
    EXPECT_EQ(request.ngList, (Texts{"ng1", "ng2", "ng3"}));
    EXPECT_EQ(request.extractList, (Texts{"ex1", "", " ex 3"}));

    // "削除" removes the selected row of its own list and its entry only.
    ng->clearSelection();
    click(*window, "ngDeleteButton");
    EXPECT_EQ(window->ngIds().texts(), (Texts{"ng1", "ng2", "ng3"})) << "no row selected";
    selectRow(*ng, 1);
    click(*window, "extractDeleteButton");
    EXPECT_EQ(window->ngIds().texts(), (Texts{"ng1", "ng2", "ng3"})) << "the other list's button";
    click(*window, "ngDeleteButton");
    EXPECT_EQ(columnTexts(*ng), (Texts{"ng1", "ng3"}));
    EXPECT_EQ(window->ngIds().texts(), (Texts{"ng1", "ng3"}));
    EXPECT_EQ(rowTies(*ng), (Ties{0, 2}));

    // Written back with CR LF, the untouched list as it was.
    window->close();
    EXPECT_EQ(readBytes(ignoreSav()), "ng1\r\nng3\r\n");
    EXPECT_EQ(readBytes(extractSav()), "ex1\r\n\r\n ex 3\r\n");
}

TEST_F(CommentWindowTest, TheEndOfAnEditFollowsTheListsRulesAndTheFilesKeepTheEntries) {
    auto window = openWindow();
    QTreeView* ng = ngView(*window);

    // "追加" then Escape: the new row goes, no entry is made and the counter stays.
    click(*window, "ngAddButton");
    ASSERT_NE(openEditor(*ng), nullptr) << "追加 starts editing the new row";
    typeAndEscape(*ng, "abandoned");
    EXPECT_EQ(rowCount(*ng), 0);
    EXPECT_EQ(window->ngIds().nextId(), 0);

    // A typed ID: the row shows it as typed, the entry holds it trimmed of ASCII blanks.
    click(*window, "ngAddButton");
    typeAndEnter(*ng, "  user1   ");
    click(*window, "ngAddButton");
    typeAndEnter(*ng, "ｕｓｅｒ２　");  // a full-width space is part of the ID
    EXPECT_EQ(columnTexts(*ng), (Texts{"  user1   ", "ｕｓｅｒ２　"}));
    EXPECT_EQ(window->ngIds().texts(), (Texts{"user1", "ｕｓｅｒ２　"}));
    EXPECT_EQ(rowTies(*ng), (Ties{0, 1}));

    // Editing a row changes its entry; Escape keeps text and entry.
    startEditing(*ng, 0);
    EXPECT_EQ(openEditor(*ng)->text(), QStringLiteral("  user1   "));
    typeAndEnter(*ng, "user9");
    startEditing(*ng, 1);
    typeAndEscape(*ng, "typed but cancelled");
    EXPECT_EQ(columnTexts(*ng), (Texts{"user9", "ｕｓｅｒ２　"}));
    EXPECT_EQ(window->ngIds().texts(), (Texts{"user9", "ｕｓｅｒ２　"}));

    // A row cleared (or left with blanks only) goes together with its entry.
    startEditing(*ng, 0);
    typeAndEnter(*ng, " \t ");
    EXPECT_EQ(window->ngIds().texts(), (Texts{"ｕｓｅｒ２　"}));
    EXPECT_EQ(rowTies(*ng), (Ties{1}));

    // The extract list has a counter of its own; the next job gets the lists as they stand.
    click(*window, "extractAddButton");
    EXPECT_EQ(rowTies(*extractView(*window)), (Ties{0}));
    typeAndEnter(*extractView(*window), "  ex  ");
    const JobRequest request = nextJobRequest(*window);
    EXPECT_EQ(request.ngList, (Texts{"ｕｓｅｒ２　"}));
    EXPECT_EQ(request.extractList, (Texts{"ex"}));

    // The files keep the entries, and an edit still open at closing.
    click(*window, "ngAddButton");
    QTest::keyClicks(openEditor(*ng), QStringLiteral("open"));
    window->close();
    EXPECT_EQ(readBytes(extractSav()), "ex\r\n");
    EXPECT_EQ(readBytes(ignoreSav()), "ｕｓｅｒ２　\r\nopen\r\n");
    {
        // With every entry deleted in the next run, closing deletes the files.
        auto next = openWindow();
        selectRow(*extractView(*next), 0);
        click(*next, "extractDeleteButton");
        for (int row : {1, 0}) {
            startEditing(*ngView(*next), row);
            typeAndEnter(*ngView(*next), "");
        }
        next->close();
    }
    EXPECT_FALSE(std::filesystem::exists(extractSav()));
    EXPECT_FALSE(std::filesystem::exists(ignoreSav()));
}

// The local date of `time`, and its time of day in seconds.
std::pair<QDate, int> local(int32_t time) {
    const std::optional<LocalDateTime> value = localDateTimeOf(time);
    EXPECT_TRUE(value.has_value());
    const LocalDateTime t = value.value_or(LocalDateTime{});
    return {QDate(t.year, t.month, t.day), t.hour * 3600 + t.minute * 60 + t.second};
}

TEST_F(CommentWindowTest, ThePickersChangeOnlyTheDateAndTheNextJobGetsIt) {
    auto window = openWindow();
    auto* startPicker = control<QDateEdit>(*window, "periodStartPicker");
    auto* endPicker = control<QDateEdit>(*window, "periodEndPicker");
    EXPECT_TRUE(startPicker->calendarPopup());
    const JobRequest before = nextJobRequest(*window);
    const auto [endDate, endTime] = local(before.periodEnd);
    EXPECT_EQ(startPicker->date(), local(before.periodStart).first);
    EXPECT_EQ(endPicker->date(), endDate);

    // A key on the end picker steps its date; the time of day stays.
    endPicker->setFocus();
    QTest::keyClick(endPicker, Qt::Key_Up);
    if (endPicker->date() == endDate) {
        QTest::keyClick(endPicker, Qt::Key_Down);  // the section was at its end
    }
    const QDate newEnd = endPicker->date();
    ASSERT_NE(newEnd, endDate) << "the key changed the date";
    // A date typed into the start picker.
    startPicker->setDate(QDate(2020, 2, 29));

    const JobRequest after = nextJobRequest(*window);
    EXPECT_EQ(local(after.periodStart), std::pair(QDate(2020, 2, 29), 0));
    EXPECT_EQ(local(after.periodEnd), std::pair(newEnd, endTime));
    window->close();

    // Dates beyond 32-bit times are clamped; no date changes nothing.
    EXPECT_EQ(CCommentDlg::withDate(1234567890, QDate(2500, 1, 1)), INT32_MAX);
    EXPECT_EQ(CCommentDlg::withDate(1234567890, QDate(1800, 1, 1)), INT32_MIN);
    EXPECT_EQ(CCommentDlg::withDate(1234567890, QDate()), 1234567890);
}

}  // namespace
