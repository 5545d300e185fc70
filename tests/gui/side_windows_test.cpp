// Where the side windows appear: with the main window, beside it rather than over it, on the
// screen.

#include <gtest/gtest.h>

#include <QScreen>
#include <memory>
#include <string>
#include <vector>

#include "gui/comment_dlg.h"
#include "gui/list_dlg.h"
#include "side_window_test_support.h"

using namespace gui_test;

namespace {

using SideWindowsPlacementTest = WindowTest;

TEST_F(SideWindowsPlacementTest, TheSideWindowsShowBesideTheMainWindowOnTheScreen) {
    writeBytes(folders.work() / "Ignore.sav", "ng_user_1\r\nng_user_2\r\n");
    writeBytes(folders.work() / "Extract.sav", "owner_id\r\n");
    writeBytes(folders.work() / "download.sav",
               "http://www.nicovideo.jp/watch/sm2\r\n1600000000\r\n"
               "http://www.nicovideo.jp/watch/sm3\r\n1600000060\r\n");
    CLumivoxDlg window(folders.runFolders(), drivenJobs(drive), nullptr);
    window.startUrl = "http://www.nicovideo.jp/watch/sm1";
    window.OnInitDialog();
    auto* list = control<CListDlg>(window, "listWindow");
    auto* comments = control<CCommentDlg>(window, "commentWindow");
    EXPECT_FALSE(list->isVisible()) << "the side windows come with the main window";
    EXPECT_FALSE(comments->isVisible());

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(list->isVisible());
    ASSERT_TRUE(comments->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(comments));

    const QRect available = window.screen()->availableGeometry();
    for (const QWidget* side : std::vector<const QWidget*>{list, comments}) {
        EXPECT_FALSE(side->frameGeometry().intersects(window.frameGeometry()))
            << side->objectName().toStdString() << " covers the main window";
        EXPECT_TRUE(available.contains(side->frameGeometry()))
            << side->objectName().toStdString() << " is off the screen";
    }
    EXPECT_FALSE(list->frameGeometry().intersects(comments->frameGeometry()));

    window.close();
}

}  // namespace
