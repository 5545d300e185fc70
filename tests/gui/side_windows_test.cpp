// The side windows: they appear with the main window, beside it rather than over it, on the
// screen; each hides with its own controls and releases its toggle.

#include <gtest/gtest.h>

#include <QScreen>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "gui/comment_dlg.h"
#include "gui/list_dlg.h"
#include "side_window_test_support.h"

using namespace gui_test;

namespace {

using SideWindowsTest = WindowTest;

TEST_F(SideWindowsTest, TheSideWindowsShowBesideTheMainWindowOnTheScreen) {
    writeBytes(folders.work() / "Ignore.sav", "ng_user_1\r\nng_user_2\r\n");
    writeBytes(folders.work() / "Extract.sav", "owner_id\r\n");
    writeBytes(folders.work() / "download.sav",
               "http://www.nicovideo.jp/watch/sm2\r\n1600000000\r\n"
               "http://www.nicovideo.jp/watch/sm3\r\n1600000060\r\n");
    auto window = openWindow("http://www.nicovideo.jp/watch/sm1", /*show=*/false);
    auto* list = control<CListDlg>(*window, "listWindow");
    auto* comments = control<CCommentDlg>(*window, "commentWindow");
    EXPECT_FALSE(list->isVisible()) << "the side windows come with the main window";
    EXPECT_FALSE(comments->isVisible());

    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(list->isVisible());
    ASSERT_TRUE(comments->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(comments));

    const QRect available = window->screen()->availableGeometry();
    for (const QWidget* side : std::vector<const QWidget*>{list, comments}) {
        EXPECT_FALSE(side->frameGeometry().intersects(window->frameGeometry()))
            << side->objectName().toStdString() << " covers the main window";
        EXPECT_TRUE(available.contains(side->frameGeometry()))
            << side->objectName().toStdString() << " is off the screen";
    }
    EXPECT_FALSE(list->frameGeometry().intersects(comments->frameGeometry()));

    window->close();
}

TEST_F(SideWindowsTest, HidingASideWindowWithItsOwnControlsReleasesItsToggle) {
    auto window = openWindow();
    const struct {
        const char* window;
        const char* toggle;
        const char* list;
        const char* addButton;
    } sides[] = {{"listWindow", "listToggle", "downloadList", "addButton"},
                 {"commentWindow", "commentToggle", "ngList", "ngAddButton"}};
    for (const auto& side : sides) {
        auto* sideWindow = control<QWidget>(*window, side.window);
        auto* toggle = control<QPushButton>(*window, side.toggle);
        QTreeView* list = control<QTreeView>(*window, side.list);
        ASSERT_TRUE(sideWindow->isVisible() && toggle->isChecked()) << side.window;
        // The close box, Escape and Enter (with the focus in a list) all only hide the window.
        const std::vector<std::pair<const char*, std::function<void()>>> ways = {
            {"close box", [&] { sideWindow->close(); }},
            {"Escape", [&] { QTest::keyClick(sideWindow, Qt::Key_Escape); }},
            {"Enter", [&] { QTest::keyClick(list, Qt::Key_Return); }},
            {"keypad Enter", [&] { QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier); }},
        };
        for (const auto& [name, hide] : ways) {
            SCOPED_TRACE(std::string(side.window) + ", " + name);
            hide();
            EXPECT_FALSE(sideWindow->isVisible());
            EXPECT_FALSE(toggle->isChecked());
            toggle->click();
            EXPECT_TRUE(sideWindow->isVisible()) << "the toggle shows it again";
        }
        // Enter on a focused button presses it instead.
        auto* add = control<QPushButton>(*window, side.addButton);
        add->setFocus();
        QTest::keyClick(add, Qt::Key_Return);
        EXPECT_TRUE(sideWindow->isVisible());
        ASSERT_NE(openEditor(*list), nullptr) << side.addButton << " was pressed";
        QTest::keyClick(openEditor(*list), Qt::Key_Escape);
    }

    // The next start leaves a window hidden that its own controls hid (how each toggle's state
    // is saved: the settings tests).
    control<QWidget>(*window, "commentWindow")->close();
    window->close();
    auto next = openWindow();
    EXPECT_FALSE(control<CCommentDlg>(*next, "commentWindow")->isVisible());
    EXPECT_FALSE(control<QPushButton>(*next, "commentToggle")->isChecked());
    EXPECT_TRUE(control<CListDlg>(*next, "listWindow")->isVisible());
}

}  // namespace
