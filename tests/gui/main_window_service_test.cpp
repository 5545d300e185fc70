// The main window with its real jobs against lumivox-demo-service on loopback: queued URLs run
// after a job's end and after a Stop. (A whole job to the movie: lumivox-cli's tests, which make
// the same request; the window's progress and end: the tests with driven jobs.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/url_hand_over.h"
#include "service/service_test_support.h"
#include "side_window_test_support.h"

using namespace gui_test;

namespace {

// A URL typed into the list and one handed over while a job runs wait their turn: the first
// starts when the running job ends, the next when that one is stopped. The slow stream (12
// pieces) is long enough to queue URLs and press Stop while a download runs.
TEST(MainWindowServiceTest, QueuedUrlsRunWhenTheJobEndsAndWhenItIsStopped) {
    WindowFolders folders;
    TestTempFolder save, inputs;
    const std::string video = service_test::patternBytes(12 * 1024 - 7);
    writeBytes(inputs / "video.flv", video);
    service_test::DemoService demo(
        {"--fault", "stream-slow", "--video", (inputs / "video.flv").string()});
    ASSERT_TRUE(demo.started());
    // The demo's account and hosts, and the "無変換" format (download only).
    const ServiceEndpoints& endpoints = demo.endpoints();
    writeBytes(folders.work() / "lumivox.ini",
               "[Lumivox]\r\nSaveDir=" + save.path().string() +
                   "\r\nMail=demo@example.com\r\nPassword=p&ss=w+rd%41\r\nFormat=無変換\r\n"
                   "Login=0\r\n[Service]\r\nProtocol=classic\r\nLoginHost=" +
                   endpoints.loginBase + "\r\nWebHost=" + endpoints.webBase +
                   "\r\nCaFile=" + endpoints.caFile + "\r\n");
    CLumivoxDlg window(folders.runFolders());  // with the real jobs
    window.OnInitDialog();
    window.show();
    QTreeView* list = control<QTreeView>(window, "downloadList");
    const auto pageUrl = [&](const std::string& id) { return demo.webBase() + "/watch/" + id; };
    const auto urls = [&](std::vector<std::string> ids) {
        for (std::string& id : ids) {
            id = pageUrl(id);
        }
        return ids;
    };

    start(window, pageUrl("sm1"));
    ASSERT_EQ(stateOf(window), kDownloading);
    click(window, "addButton");
    typeAndEnter(*list, pageUrl("sm2"));
    window.OnCopyData(kCopyDataUrl, handOverData(pageUrl("sm3")));
    EXPECT_EQ(columnTexts(*list), urls({"sm2", "sm3"}));
    EXPECT_EQ(urlField(window), QString::fromStdString(pageUrl("sm1")));

    // The first job ends by itself: the next URL starts and its row goes.
    ASSERT_TRUE(
        waitUntil([&] { return urlField(window) == QString::fromStdString(pageUrl("sm2")); }));
    EXPECT_EQ(stateOf(window), kDownloading);
    EXPECT_EQ(readBytes(save / "sm1.flv"), video);
    EXPECT_EQ(columnTexts(*list), urls({"sm3"}));

    // Stop during the second download: the third starts once the second has ended.
    stopAndWait(window);
    EXPECT_EQ(urlField(window), QString::fromStdString(pageUrl("sm3")));
    EXPECT_EQ(stateOf(window), kDownloading);
    EXPECT_EQ(rowCount(*list), 0);

    ASSERT_TRUE(waitUntil([&] { return stateOf(window) == kIdle; }));
    EXPECT_EQ(readBytes(save / "sm3.flv"), video);
    EXPECT_NE(readBytes(save / "sm2.flv"), video) << "stopped part-way";
    EXPECT_TRUE(window.queuedUrls().empty());
    window.close();
    EXPECT_FALSE(std::filesystem::exists(folders.work() / "download.sav"));
}

}  // namespace
