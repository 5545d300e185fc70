// Where the side windows appear: with the main window, beside it rather than over it, on the
// screen. With LUMIVOX_SCREENSHOT=FILE.png set, the test also saves a picture of the three
// windows as they are drawn (the screen where it can be grabbed, else the windows' own images
// laid out at their places).

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <memory>
#include <string>
#include <vector>

#include "gui/comment_dlg.h"
#include "gui/list_dlg.h"
#include "side_window_test_support.h"

using namespace gui_test;

namespace {

class SideWindowsPlacementTest : public ::testing::Test {
protected:
    CurrentFolderGuard currentFolder;
    WindowFolders folders;
    JobDrive drive;
};

// The three windows drawn into one picture at their places on the screen.
QImage picture(const std::vector<QWidget*>& windows) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr && QGuiApplication::platformName() == QStringLiteral("xcb")) {
        const QPixmap grabbed = screen->grabWindow(0);
        if (!grabbed.isNull()) {
            return grabbed.toImage();
        }
    }
    QRect area;
    for (const QWidget* window : windows) {
        area |= window->frameGeometry();
    }
    QImage image(area.size(), QImage::Format_RGB32);
    image.fill(Qt::darkGray);
    QPainter painter(&image);
    for (QWidget* window : windows) {
        painter.drawPixmap(window->geometry().topLeft() - area.topLeft(), window->grab());
    }
    return image;
}

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

    const QByteArray file = qgetenv("LUMIVOX_SCREENSHOT");
    if (!file.isEmpty()) {
        QTest::qWait(200);  // the last paint reaches the screen
        EXPECT_TRUE(picture({&window, list, comments}).save(QString::fromLocal8Bit(file)));
    }
    window.close();
}

}  // namespace
