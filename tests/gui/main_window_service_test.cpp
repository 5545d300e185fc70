// The main window with real jobs against lumivox-demo-service on loopback: a download encoded
// into a movie by the program folder's tools, and queued URLs run after a job's end and a Stop.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QSignalSpy>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/url_hand_over.h"
#include "service/service_test_support.h"
#include "side_window_test_support.h"

using namespace gui_test;

namespace {

class MainWindowServiceTest : public ::testing::Test {
protected:
    // Starts the demo service streaming inputs/video.flv, which the test wrote, with `arguments`.
    void startDemo(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.end(), {"--video", (inputs / "video.flv").string()});
        demo = std::make_unique<service_test::DemoService>(arguments);
        ASSERT_TRUE(demo->started());
    }

    // lumivox.ini for the demo's account, with the "無変換" format (download only) and the
    // service's hosts pointing at the demo.
    void writeDemoSettings(const std::string& format = "無変換") {
        const ServiceEndpoints& endpoints = demo->endpoints();
        writeBytes(
            folders.work() / "lumivox.ini",
            "[Lumivox]\r\nSaveDir=" + save.path().string() +
                "\r\nMail=demo@example.com\r\nPassword=p&ss=w+rd%41\r\nFormat=" + format +
                "\r\nLogin=0\r\n[Service]\r\nProtocol=classic\r\nLoginHost=" + endpoints.loginBase +
                "\r\nWebHost=" + endpoints.webBase + "\r\nCaFile=" + endpoints.caFile + "\r\n");
    }
    std::string pageUrl(const std::string& id) const { return demo->webBase() + "/watch/" + id; }

    std::unique_ptr<CLumivoxDlg> openWindow() {
        auto window = std::make_unique<CLumivoxDlg>(folders.runFolders());
        window->OnInitDialog();
        return window;
    }

    WindowFolders folders;
    TestTempFolder save;
    TestTempFolder inputs;
    std::unique_ptr<service_test::DemoService> demo;
};

TEST_F(MainWindowServiceTest, AJobEncodesTheDownloadedVideoIntoAMovie) {
    // A real 3-second FLV as the service streams them (Sorenson video, MP3 audio).
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i color=c=0x203050:s=256x192:r=30000/1001:d=3 "
        "-f lavfi -i sine=f=440:d=3 -c:v flv -q:v 2 -c:a libmp3lame -ar 22050 '" +
        (inputs / "video.flv").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    startDemo();
    writeDemoSettings("AVI");
    auto window = openWindow();
    QSignalSpy barValues(control<QProgressBar>(*window, "progressBar"),
                         &QProgressBar::valueChanged);

    start(*window, pageUrl("sm9"));
    EXPECT_EQ(stateOf(*window), kDownloading);
    ASSERT_TRUE(waitUntil([&] { return stateOf(*window) == kIdle; }, 120000));

    // The job's files where lumivox.ini and the run's folders put them (the stages themselves
    // are checked with the job and lumivox-cli).
    EXPECT_GT(std::filesystem::file_size(save / "sm9.avi"), 10000u);
    EXPECT_TRUE(std::filesystem::exists(folders.work() / "comment.ini"));
    // The bar: the download up to 100 %, back to 0 when the encoding began, the encoding's own
    // percentages, and 0 again at the end.
    std::vector<int> values;
    for (const QList<QVariant>& change : barValues) {
        values.push_back(change.at(0).toInt());
    }
    const auto downloaded = std::find(values.begin(), values.end(), 100);
    ASSERT_NE(downloaded, values.end());
    const auto encodingBegan = std::find(downloaded, values.end(), 0);
    ASSERT_NE(encodingBegan, values.end());
    EXPECT_TRUE(std::any_of(encodingBegan, values.end(), [](int v) { return v > 0; }))
        << "the encoding showed its progress";
    EXPECT_EQ(values.back(), 0);
    EXPECT_EQ(progressOf(*window), 0);
    EXPECT_EQ(window->findChild<QMessageBox*>(), nullptr) << "no error was shown";
}

// A URL typed into the list and one handed over while a job runs wait their turn: the first
// starts when the running job ends, the next when that one is stopped. The slow stream is long
// enough to queue URLs and press Stop while a download runs.
TEST_F(MainWindowServiceTest, QueuedUrlsRunWhenTheJobEndsAndWhenItIsStopped) {
    const std::string video = service_test::patternBytes(12 * 1024 - 7);  // 12 slow pieces
    writeBytes(inputs / "video.flv", video);
    startDemo({"--fault", "stream-slow"});
    writeDemoSettings();
    auto window = openWindow();
    window->show();
    QTreeView* list = control<QTreeView>(*window, "downloadList");
    const auto urls = [&](std::vector<std::string> ids) {
        for (std::string& id : ids) {
            id = pageUrl(id);
        }
        return ids;
    };

    start(*window, pageUrl("sm1"));
    ASSERT_EQ(stateOf(*window), kDownloading);
    click(*window, "addButton");
    typeAndEnter(*list, pageUrl("sm2"));
    window->OnCopyData(kCopyDataUrl, handOverData(pageUrl("sm3")));
    EXPECT_EQ(columnTexts(*list), urls({"sm2", "sm3"}));
    EXPECT_EQ(urlField(*window), QString::fromStdString(pageUrl("sm1")));

    // The first job ends by itself: the next URL starts and its row goes.
    ASSERT_TRUE(
        waitUntil([&] { return urlField(*window) == QString::fromStdString(pageUrl("sm2")); }));
    EXPECT_EQ(stateOf(*window), kDownloading);
    EXPECT_EQ(readBytes(save / "sm1.flv"), video);
    EXPECT_EQ(columnTexts(*list), urls({"sm3"}));

    // Stop during the second download: the third starts once the second has ended.
    stopAndWait(*window);
    EXPECT_EQ(urlField(*window), QString::fromStdString(pageUrl("sm3")));
    EXPECT_EQ(stateOf(*window), kDownloading);
    EXPECT_EQ(rowCount(*list), 0);

    ASSERT_TRUE(waitUntil([&] { return stateOf(*window) == kIdle; }));
    EXPECT_EQ(readBytes(save / "sm3.flv"), video);
    EXPECT_NE(readBytes(save / "sm2.flv"), video) << "stopped part-way";
    EXPECT_TRUE(window->queuedUrls().empty());
    window->close();
    EXPECT_FALSE(std::filesystem::exists(folders.work() / "download.sav"));
}

}  // namespace
