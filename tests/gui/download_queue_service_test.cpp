// The download list running real jobs one after another against lumivox-demo-service on
// loopback: a URL typed into the list and one handed over while a job runs wait their turn; the
// first starts when the running job ends, the next when that one is stopped.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/url_hand_over.h"
#include "service/service_test_support.h"
#include "side_window_test_support.h"

using namespace gui_test;

namespace {

// 12 pieces of the slow stream, 100 ms each: long enough to queue URLs and press Stop while
// a download runs, short enough for a quick test.
constexpr size_t kVideoBytes = 12 * 1024 - 7;

std::string videoBytes() {
    std::string bytes(kVideoBytes, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    }
    return bytes;
}

QByteArray handOverData(const std::string& url) {
    QByteArray data = QByteArray::fromStdString(url);
    data.append('\0');
    return data;
}

class DownloadQueueServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeBytes(inputs / "video.flv", video);
        demo = std::make_unique<service_test::DemoService>(std::vector<std::string>{
            "--video", (inputs / "video.flv").string(), "--fault", "stream-slow"});
        ASSERT_TRUE(demo->started());
        const ServiceEndpoints& endpoints = demo->endpoints();
        // Download only ("無変換"), with the demo's account.
        writeBytes(folders.work() / "lumivox.ini",
                   "[Lumivox]\r\nSaveDir=" + save.path().string() +
                       "\r\nMail=demo@example.com\r\nPassword=p&ss=w+rd%41\r\nFormat=無変換\r\n"
                       "Login=0\r\n[Service]\r\nProtocol=classic\r\nLoginHost=" +
                       endpoints.loginBase + "\r\nWebHost=" + endpoints.webBase +
                       "\r\nCaFile=" + endpoints.caFile + "\r\n");
    }
    std::string pageUrl(const std::string& id) const { return demo->webBase() + "/watch/" + id; }
    QString urlField(const CLumivoxDlg& window) const {
        return control<QLineEdit>(window, "urlEdit")->text();
    }

    CurrentFolderGuard currentFolder;
    WindowFolders folders;
    TempFolder save;
    TempFolder inputs;
    const std::string video = videoBytes();
    std::unique_ptr<service_test::DemoService> demo;
};

TEST_F(DownloadQueueServiceTest, QueuedUrlsRunWhenTheJobEndsAndWhenItIsStopped) {
    CLumivoxDlg window(folders.runFolders());
    window.OnInitDialog();
    window.show();
    QTreeView* list = control<QTreeView>(window, "downloadList");

    control<QLineEdit>(window, "urlEdit")->setText(QString::fromStdString(pageUrl("sm1")));
    control<QPushButton>(window, "startButton")->click();
    ASSERT_EQ(stateOf(window), kDownloading);
    control<QPushButton>(window, "addButton")->click();
    typeAndEnter(*list, pageUrl("sm2"));
    window.OnCopyData(kCopyDataUrl, handOverData(pageUrl("sm3")));
    EXPECT_EQ(columnTexts(*list), (std::vector<std::string>{pageUrl("sm2"), pageUrl("sm3")}));
    EXPECT_EQ(urlField(window), QString::fromStdString(pageUrl("sm1")));

    // The first job ends by itself: the next URL starts and its row goes.
    ASSERT_TRUE(
        waitUntil([&] { return urlField(window) == QString::fromStdString(pageUrl("sm2")); }));
    EXPECT_EQ(stateOf(window), kDownloading);
    EXPECT_EQ(readBytes(save / "sm1.flv"), video);
    EXPECT_EQ(columnTexts(*list), (std::vector<std::string>{pageUrl("sm3")}));

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
