// The download list window "ダウンロードリスト" through its real widgets: the end-of-editing
// rules, rows that hold no entry, "削除", and download.sav across a close and a new start.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "app/url_hand_over.h"
#include "queue/download_row.h"
#include "side_window_test_support.h"

using namespace gui_test;

namespace {

constexpr const char* kUrl1 = "http://www.nicovideo.jp/watch/sm1";
constexpr const char* kUrl2 = "http://www.nicovideo.jp/watch/sm2";
constexpr const char* kUrl3 = "http://www.nicovideo.jp/watch/sm3";
constexpr const char* kUrl4 = "http://www.nicovideo.jp/watch/sm4";

class ListWindowTest : public WindowTest {
protected:
    static QTreeView* listView(const CLumivoxDlg& window) {
        return control<QTreeView>(window, "downloadList");
    }
    // "追加", the URL typed, Enter.
    static void addRow(CLumivoxDlg& window, const std::string& url) {
        click(window, "addButton");
        typeAndEnter(*listView(window), url);
    }
    std::filesystem::path downloadSav() const { return folders.work() / "download.sav"; }
};

TEST_F(ListWindowTest, AUrlTypedWhileIdleStartsAtOnceAndOneTypedAtClosingIsSaved) {
    auto window = openWindow();
    QTreeView* list = listView(*window);
    const std::time_t before = std::time(nullptr);
    click(*window, "addButton");
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(rowCount(*list), 1);
    const std::string shown = cellText(*list, 0, 1).toStdString();
    EXPECT_TRUE(shown == formatRegistrationTime(before) || shown == formatRegistrationTime(after))
        << "登録日 of a new row is the time of the click: " << shown;
    EXPECT_EQ(rowTies(*list), (Ties{std::nullopt})) << "no entry before a URL is typed";

    // The prefix counts in any letter case; the URL is queued trimmed and runs at once.
    typeAndEnter(*list, "  HTTP://www.nicovideo.jp/watch/sm1 ");
    ASSERT_EQ(requestedUrls(drive), (Texts{"HTTP://www.nicovideo.jp/watch/sm1"}));
    EXPECT_EQ(urlField(*window), QStringLiteral("HTTP://www.nicovideo.jp/watch/sm1"));
    EXPECT_EQ(stateOf(*window), kDownloading);
    EXPECT_EQ(rowCount(*list), 0) << "the row of the started URL goes";
    EXPECT_TRUE(window->queuedUrls().empty());

    // A URL still being typed when the window closes is saved, not started.
    stopAndWait(*window);
    click(*window, "addButton");
    QTest::keyClicks(openEditor(*list), QString::fromUtf8(kUrl2));
    window->close();
    EXPECT_EQ(drive.requests().size(), 1u);
    const std::string text = readBytes(downloadSav());
    EXPECT_EQ(text.substr(0, text.find("\r\n")), kUrl2);
}

TEST_F(ListWindowTest, TheEndOfAnEditFollowsTheQueuesRules) {
    auto window = openWindow();
    QTreeView* list = listView(*window);
    start(*window, kUrl1);  // busy: nothing typed starts

    // Escape on a new row: the row goes, no entry is made.
    click(*window, "addButton");
    typeAndEscape(*list, "http://www.nicovideo.jp/watch/abandoned");
    EXPECT_EQ(rowCount(*list), 0);
    EXPECT_TRUE(window->queuedUrls().empty());

    // Editing a queued row replaces its entry's URL; a text that is neither a URL nor a video
    // ID stays in the row only, and the row says so.
    addRow(*window, kUrl2);
    const DownloadEntry queued = window->queuedUrls().entries().at(0);
    startEditing(*list, 0);
    typeAndEnter(*list, kUrl3);
    startEditing(*list, 0);
    typeAndEnter(*list, "elsewhere/sm3");
    EXPECT_EQ(columnTexts(*list), (Texts{"elsewhere/sm3"}));
    EXPECT_EQ(list->model()->index(0, 1).data().toString(),
              QStringLiteral("URLでも動画IDでもありません"));
    EXPECT_EQ(queuedUrlsOf(*window), (Texts{kUrl3}));

    // Rows that hold no entry, before a queued URL: deleting or clearing them never removes
    // the entry of another row.
    addRow(*window, "not a url");
    addRow(*window, kUrl4);
    EXPECT_EQ(rowTies(*list), (Ties{queued.id, std::nullopt, queued.id + 1}));
    selectRow(*list, 1);
    click(*window, "deleteButton");
    addRow(*window, "still not a url");
    startEditing(*list, 2);
    typeAndEnter(*list, "");
    EXPECT_EQ(columnTexts(*list), (Texts{"elsewhere/sm3", kUrl4}));
    EXPECT_EQ(queuedUrlsOf(*window), (Texts{kUrl3, kUrl4}));
    EXPECT_NE(list->model()->index(1, 1).data().toString(),
              QStringLiteral("URLでも動画IDでもありません"));

    // Clearing a queued row removes it with its entry; "削除" on a selected one too.
    startEditing(*list, 0);
    typeAndEnter(*list, "   ");
    EXPECT_EQ(queuedUrlsOf(*window), (Texts{kUrl4}));
    selectRow(*list, 0);
    click(*window, "deleteButton");
    EXPECT_EQ(rowCount(*list), 0);
    EXPECT_TRUE(window->queuedUrls().empty());

    // The job ends while the user edits a queued row: that URL, the only one left, starts and
    // its row goes, editor and all; the list can be edited as before.
    addRow(*window, kUrl2);
    startEditing(*list, 0);
    typeText(openEditor(*list), QStringLiteral("/changed"));
    stopAndWait(*window);
    EXPECT_EQ(requestedUrls(drive), (Texts{kUrl1, kUrl2}));
    EXPECT_EQ(rowCount(*list), 0);
    EXPECT_EQ(openEditor(*list), nullptr);
    QCoreApplication::processEvents();
    addRow(*window, kUrl3);
    EXPECT_EQ(columnTexts(*list), (Texts{kUrl3}));
    EXPECT_EQ(queuedUrlsOf(*window), (Texts{kUrl3}));
    window->close();
}

TEST_F(ListWindowTest, TheQueueSurvivesACloseAndANewStartThroughDownloadSav) {
    std::vector<DownloadEntry> saved;
    {
        auto window = openWindow();
        start(*window, kUrl1);
        addRow(*window, kUrl2);
        addRow(*window, kUrl3);
        window->OnCopyData(kCopyDataUrl, handOverData(kUrl4));
        saved = window->queuedUrls().entries();
        window->close();
    }
    // Three URLs, six lines; the running job's URL is not saved.
    ASSERT_EQ(saved.size(), 3u);
    std::string expected;
    for (const DownloadEntry& entry : saved) {
        expected += entry.url + "\r\n" + std::to_string(entry.registered) + "\r\n";
    }
    EXPECT_EQ(readBytes(downloadSav()), expected);

    {
        // A start without a URL runs the first at once and shows the other two.
        auto window = openWindow();
        EXPECT_EQ(requestedUrls(drive), (Texts{kUrl1, kUrl2}));
        EXPECT_EQ(urlField(*window), QString::fromUtf8(kUrl2));
        EXPECT_EQ(columnTexts(*listView(*window)), (Texts{kUrl3, kUrl4}));
        EXPECT_EQ(columnTexts(*listView(*window), 1),
                  (Texts{formatRegistrationTime(saved[1].registered),
                         formatRegistrationTime(saved[2].registered)}));
        window->close();
    }
    EXPECT_EQ(readBytes(downloadSav()), expected.substr(expected.find(kUrl3)));
}

TEST_F(ListWindowTest, AStartWithACommandLineUrlKeepsTheSavedQueueAndRunsItAfterwards) {
    // (That a queue loaded so is saved as it was is the queue's own rule, checked there.)
    writeBytes(downloadSav(), std::string(kUrl2) + "\r\n1600000000\r\n" + kUrl3 + "\n1600000060\n");
    auto window = openWindow(kUrl1);
    EXPECT_EQ(requestedUrls(drive), (Texts{kUrl1}));
    EXPECT_EQ(columnTexts(*listView(*window)), (Texts{kUrl2, kUrl3}));

    drive.releaseDownload.set();
    drive.releaseEncoder.set();
    ASSERT_TRUE(waitUntil([&] { return drive.deletedJobs() == 3 && stateOf(*window) == kIdle; }));
    EXPECT_EQ(requestedUrls(drive), (Texts{kUrl1, kUrl2, kUrl3}));
    EXPECT_EQ(rowCount(*listView(*window)), 0);
    window->close();
    EXPECT_FALSE(std::filesystem::exists(downloadSav()));
}

}  // namespace
