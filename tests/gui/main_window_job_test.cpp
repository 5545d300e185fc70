// The main window's jobs: its controls through start, progress, encoding, done and stop; what a
// job is given; late messages of a stopped job; URLs handed over; the service error box.

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/url_hand_over.h"
#include "gui_test_support.h"

using namespace gui_test;

namespace {

constexpr const char* kUrl1 = "http://www.nicovideo.jp/watch/sm1";
constexpr const char* kUrl2 = "http://www.nicovideo.jp/watch/sm2";

using MainWindowJobTest = WindowTest;

TEST_F(MainWindowJobTest, TheStateTableThroughStartProgressEncodingAndDone) {
    drive.downloadProgress = {0, 40, 101, -5};  // only 1 to 100 moves the bar
    auto window = openWindow();
    QProgressBar* bar = control<QProgressBar>(*window, "progressBar");
    QSignalSpy barValues(bar, &QProgressBar::valueChanged);
    EXPECT_EQ(stateOf(*window), kIdle);

    start(*window, kUrl1);
    EXPECT_EQ(stateOf(*window), kDownloading);
    EXPECT_EQ(window->runningJobSerial(), 1u);
    ASSERT_TRUE(waitUntil([&] { return progressOf(*window) == 40; }));

    // Download finished: encoding begins, the bar starts again from 0.
    drive.releaseDownload.set();
    ASSERT_TRUE(waitUntil([&] { return stateOf(*window) == kEncoding; }));
    ASSERT_TRUE(waitUntil([&] { return progressOf(*window) == 50; }));
    std::vector<int> values;
    for (const QList<QVariant>& change : barValues) {
        values.push_back(change.at(0).toInt());
    }
    EXPECT_EQ(values, (std::vector<int>{40, 0, 50}));
    // Progress of the running job moves the bar; messages of other jobs do nothing.
    window->OnJobProgress(1, 100);
    EXPECT_EQ(progressOf(*window), 100);
    window->OnJobProgress(1, 1);
    window->OnJobProgress(2, 77);
    window->OnEncodingBegins(7);
    window->OnJobDone(3);
    EXPECT_EQ(progressOf(*window), 1);
    EXPECT_EQ(stateOf(*window), kEncoding);

    drive.releaseEncoder.set();
    ASSERT_TRUE(waitUntil([&] { return stateOf(*window) == kIdle; }));
    EXPECT_EQ(progressOf(*window), 0);
    EXPECT_EQ(window->runningJobSerial(), 0u);
    EXPECT_EQ(drive.deletedJobs(), 1);
}

TEST_F(MainWindowJobTest, AVideoIdBecomesTheWatchPageOnTheWebHostInEveryEntryPoint) {
    writeBytes(folders.work() / "lumivox.ini",
               "[Service]\nProtocol=classic\nWebHost=http://127.0.0.1:9/\n");
    auto window = openWindow("nm2829323");  // the command line
    drive.releaseDownload.set();
    drive.releaseEncoder.set();
    ASSERT_TRUE(waitUntil([&] { return drive.deletedJobs() == 1; }));
    start(*window, " sm9 ");  // the URL field
    ASSERT_TRUE(waitUntil([&] { return drive.deletedJobs() == 2; }));
    window->OnCopyData(kCopyDataUrl, handOverData("so38016254"));  // a later start's hand-over
    ASSERT_TRUE(waitUntil([&] { return drive.deletedJobs() == 3; }));
    EXPECT_EQ(requestedUrls(drive),
              (std::vector<std::string>{"http://127.0.0.1:9/watch/nm2829323",
                                        "http://127.0.0.1:9/watch/sm9",
                                        "http://127.0.0.1:9/watch/so38016254"}));
    window->close();
}

TEST_F(MainWindowJobTest, StopReturnsAtOnceAndTheQueuedUrlsStartAfterTheJobsDone) {
    drive.holdStop = true;  // the stopped job winds down only when the test lets it
    auto window = openWindow();
    start(*window, kUrl1);
    ASSERT_TRUE(waitUntil([&] { return drive.downloadBegan(1); }));
    window->OnCopyData(kCopyDataUrl, handOverData(kUrl2));
    EXPECT_EQ(urlField(*window), QString::fromUtf8(kUrl1)) << "a busy window queues the URL";

    click(*window, "stopButton");
    // The click came back while the job is still winding down: nothing waited for it.
    EXPECT_EQ(drive.deletedJobs(), 0);
    EXPECT_EQ(window->jobPhase(), CLumivoxDlg::JobPhase::Stopping);
    EXPECT_EQ(stateOf(*window), kStopping);
    // Meanwhile Start does nothing, and a URL handed over waits in the queue.
    window->StartJob();
    window->OnCopyData(kCopyDataUrl, handOverData(kUrl1));
    QTest::qWait(50);
    EXPECT_EQ(stateOf(*window), kStopping);
    EXPECT_EQ(drive.requests().size(), 1u);
    EXPECT_EQ(window->queuedUrls().entries().size(), 2u);

    // The job's "done" finishes the teardown and starts the queue's head in a new job.
    drive.releaseStop.set();
    ASSERT_TRUE(waitUntil([&] { return window->runningJobSerial() == 2; }));
    EXPECT_EQ(drive.deletedJobs(), 1);
    EXPECT_EQ(urlField(*window), QString::fromUtf8(kUrl2));
    EXPECT_EQ(stateOf(*window), kDownloading);
    ASSERT_EQ(drive.requests().size(), 2u);
    EXPECT_EQ(drive.requests()[1].pageUrl, kUrl2);

    // A late "done" of the first job does not end the second.
    ASSERT_TRUE(waitUntil([&] { return progressOf(*window) == 40; }));
    window->OnJobDone(1);
    EXPECT_EQ(window->runningJobSerial(), 2u);
    EXPECT_EQ(progressOf(*window), 40) << "the late done leaves the new job's bar alone";

    // Stopping the second job starts the third queued URL after its "done".
    click(*window, "stopButton");
    ASSERT_TRUE(waitUntil([&] { return window->runningJobSerial() == 3; }));
    EXPECT_EQ(drive.requests()[2].pageUrl, kUrl1);
    click(*window, "stopButton");
    ASSERT_TRUE(waitUntil([&] { return stateOf(*window) == kIdle; }));
    EXPECT_EQ(drive.deletedJobs(), 3);

    // Closing waits for a job that is still stopping: the job is gone when it returns.
    drive.releaseStop.reset();
    start(*window, kUrl2);
    ASSERT_TRUE(waitUntil([&] { return drive.downloadBegan(4); }));
    click(*window, "stopButton");
    EXPECT_EQ(drive.deletedJobs(), 3);
    drive.releaseStop.set();
    window->close();
    EXPECT_EQ(drive.deletedJobs(), 4);
    EXPECT_EQ(window->jobPhase(), CLumivoxDlg::JobPhase::Idle);
}

TEST_F(MainWindowJobTest, AHandOverStartsAJobOnlyForAnAddressOrAnIdAndWaitsWhileBusy) {
    auto window = openWindow();
    control<QLineEdit>(*window, "urlEdit")->setText(QStringLiteral("typed"));
    for (uint32_t tag : {0u, 1u, 1026u, 1028u}) {
        window->OnCopyData(tag, handOverData(kUrl1));  // data under another tag changes nothing
    }
    EXPECT_EQ(urlField(*window), QStringLiteral("typed"));
    window->OnCopyData(kCopyDataUrl, handOverData("\"http://www.nicovideo.jp/watch/sm9\""));
    EXPECT_EQ(urlField(*window), QStringLiteral("\"http://www.nicovideo.jp/watch/sm9\""));
    EXPECT_EQ(stateOf(*window), kIdle);
    EXPECT_TRUE(drive.requests().empty());

    // The prefix in capitals starts a job; the text after the terminator is not part of it.
    window->OnCopyData(kCopyDataUrl,
                       handOverData("HTTP://WWW.NICOVIDEO.JP/watch/sm9") + "left over bytes");
    EXPECT_EQ(urlField(*window), QStringLiteral("HTTP://WWW.NICOVIDEO.JP/watch/sm9"));
    EXPECT_EQ(stateOf(*window), kDownloading);
    ASSERT_EQ(drive.requests().size(), 1u);
    EXPECT_EQ(drive.requests()[0].pageUrl, "HTTP://WWW.NICOVIDEO.JP/watch/sm9");

    // While busy a URL is queued, and text that starts no job too, but not data of another tag.
    window->OnCopyData(kCopyDataUrl, handOverData(kUrl2));
    window->OnCopyData(1026, handOverData(kUrl1));
    window->OnCopyData(kCopyDataUrl, handOverData("not a url"));
    EXPECT_EQ(drive.requests().size(), 1u);
    drive.releaseDownload.set();
    drive.releaseEncoder.set();
    ASSERT_TRUE(waitUntil([&] { return drive.requests().size() == 2; }));
    EXPECT_EQ(drive.requests()[1].pageUrl, kUrl2);
    EXPECT_EQ(urlField(*window), QString::fromUtf8(kUrl2));
    // After that job the queue's head starts no job: it fills the URL field and the window waits.
    ASSERT_TRUE(waitUntil([&] { return drive.deletedJobs() == 2 && stateOf(*window) == kIdle; }));
    EXPECT_EQ(urlField(*window), QStringLiteral("not a url"));
    EXPECT_EQ(drive.requests().size(), 2u);
}

TEST_F(MainWindowJobTest, ACommandLineUrlStartsAJobOnlyForHttpAnEmptyFieldDoesAClosedWindowNot) {
    const std::string quoted = "\"http://www.nicovideo.jp/watch/sm9\"";
    auto idle = openWindow(quoted);
    EXPECT_EQ(stateOf(*idle), kIdle) << "a quoted URL starts no job";
    EXPECT_EQ(urlField(*idle), QString::fromStdString(quoted));
    idle->close();
    auto window = openWindow("hTTp://www.nicovideo.jp/watch/sm9");
    EXPECT_EQ(stateOf(*window), kDownloading);
    EXPECT_EQ(urlField(*window), QStringLiteral("hTTp://www.nicovideo.jp/watch/sm9"));
    stopAndWait(*window);
    start(*window, "");
    EXPECT_EQ(stateOf(*window), kDownloading);
    EXPECT_EQ(requestedUrls(drive),
              (std::vector<std::string>{"hTTp://www.nicovideo.jp/watch/sm9", ""}));
    window->close();
    window->OnCopyData(kCopyDataUrl, handOverData(kUrl1));
    window->StartJob();
    EXPECT_EQ(drive.requests().size(), 2u);
    EXPECT_EQ(window->runningJobSerial(), 0u);
}

TEST_F(MainWindowJobTest, AJobThatCannotBeMadeLeavesTheWindowIdle) {
    int attempts = 0;
    CLumivoxDlg window(folders.runFolders(), [&](JobRequest, JobSink&, uint64_t) {
        ++attempts;
        return std::unique_ptr<CNicoThread>();
    });
    window.OnInitDialog();
    start(window, kUrl1);
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(stateOf(window), kIdle);
    EXPECT_EQ(progressOf(window), 0);
}

TEST_F(MainWindowJobTest, AServiceErrorShowsABoxThatDoesNotHoldTheJob) {
    drive.loginError = "Could not connect to server";
    auto window = openWindow();
    start(*window, kUrl1);
    // The worker went on to the download while the box is up.
    ASSERT_TRUE(waitUntil([&] { return drive.downloadBegan(1); }));
    QMessageBox* box = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        box = window->findChild<QMessageBox*>(QStringLiteral("serviceErrorBox"));
        return box != nullptr && box->isVisible();
    }));
    EXPECT_EQ(box->text(), QStringLiteral("ニコニコ動画との通信でエラーが起きました。"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("Could not connect to server"));
    EXPECT_FALSE(box->isModal());
    QLabel* errorText = control<QLabel>(*window, "serviceErrorText");
    EXPECT_EQ(errorText->text(),
              QStringLiteral("通信エラー: Could not connect to server — ジョブは続いています"));
    // The log shows the error under the status line and keeps it in lumivox.log.
    QLabel* logText = control<QLabel>(*window, "logText");
    ASSERT_TRUE(waitUntil(
        [&] { return logText->text() == QStringLiteral("エラー: Could not connect to server"); }));
    // Stop still works while the box is shown.
    click(*window, "stopButton");
    ASSERT_TRUE(waitUntil([&] { return stateOf(*window) == kIdle; }));
    EXPECT_EQ(errorText->text(),
              QStringLiteral("通信エラー: Could not connect to server — ジョブは中止されました"));
    box->close();
    const std::string log = readBytes(folders.work() / "lumivox.log");
    EXPECT_NE(log.find(" error service: Could not connect to server\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" info job: job 1 stopped\n"), std::string::npos) << log;
    // A new job starts with an empty log line.
    drive.loginError.clear();
    start(*window, kUrl2);
    EXPECT_EQ(logText->text(), QString());
    EXPECT_EQ(errorText->text(), QString());
    window->close();
}

// Receives the URLs the window asks the desktop to open.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList paths;
public slots:
    void open(const QUrl& url) { paths << url.toLocalFile(); }
};

QString textOf(const QWidget& window, const char* label) {
    return control<QLabel>(window, label)->text();
}

TEST_F(MainWindowJobTest, TheEndOfEachJobStaysShownUntilTheNextStarts) {
    auto window = openWindow();
    control<QLineEdit>(*window, "saveFolderEdit")->setText(QStringLiteral("/srv/movies"));
    QPushButton* openFolder = control<QPushButton>(*window, "openFolderButton");
    QPushButton* play = control<QPushButton>(*window, "playButton");
    EXPECT_FALSE(openFolder->isEnabled() || play->isEnabled());

    // Finished: the movie's path, and the desktop opens its folder and the movie.
    drive.releaseDownload.set();
    drive.releaseEncoder.set();
    start(*window, std::string("  ") + kUrl1 + " ");
    ASSERT_TRUE(waitUntil([&] { return stateOf(*window) == kIdle; }));
    EXPECT_EQ(requestedUrls(drive)[0], std::string("  ") + kUrl1 + " ") << "as it stands";
    EXPECT_EQ(textOf(*window, "resultText"), QStringLiteral("完了: /srv/movies/sm9.avi"));
    OpenedUrls opened;
    openFolder->click();
    play->click();
    EXPECT_EQ(opened.paths,
              (QStringList{QStringLiteral("/srv/movies"), QStringLiteral("/srv/movies/sm9.avi")}));

    // Failed: the reason, no buttons; a new start first clears the last end.
    drive.encoderFailure = "the encoder failed with exit status 1: Unknown encoder 'x'";
    start(*window, kUrl2);
    EXPECT_EQ(textOf(*window, "resultText"), QString());
    ASSERT_TRUE(waitUntil([&] { return stateOf(*window) == kIdle; }));
    EXPECT_EQ(textOf(*window, "resultText"),
              QStringLiteral("失敗: the encoder failed with exit status 1: Unknown encoder 'x'"));
    EXPECT_FALSE(openFolder->isEnabled() || play->isEnabled());

    // Stopped.
    drive.releaseDownload.reset();
    start(*window, kUrl1);
    ASSERT_TRUE(waitUntil([&] { return drive.downloadBegan(3); }));
    stopAndWait(*window);
    EXPECT_EQ(textOf(*window, "resultText"), QStringLiteral("中止"));
    window->close();
}

TEST_F(MainWindowJobTest, ProgressCountsAndTheReasonNoCommentIsDrawn) {
    auto window = openWindow();
    start(*window, kUrl1);
    ASSERT_TRUE(waitUntil([&] { return drive.downloadBegan(1); }));
    DownloadProgress download{12, 30, 45'200'000, 12'300'000, 7.4};
    window->OnDownloadProgress(1, download);
    EXPECT_EQ(textOf(*window, "progressText"),
              QStringLiteral("40%  12.3 MB/s  残り 0:07  (12/30 セグメント, 45.2 MB)"));
    window->OnDownloadProgress(1, DownloadProgress{0, 0, 25'000'000, 0, -1, 100'000'000});
    EXPECT_EQ(textOf(*window, "progressText"), QStringLiteral("25%  (25.0/100.0 MB)"));
    EXPECT_EQ(progressOf(*window), 25);
    window->OnEncodingProgress(1, EncodingProgress{60, 120.0, 65});
    EXPECT_EQ(textOf(*window, "progressText"), QStringLiteral("60%  120.0 fps  残り 1:05"));

    CommentCounts counts;
    counts.read = counts.removedByPeriod = 175;
    window->OnCommentsCounted(1, counts);
    const QString shown = textOf(*window, "commentCountText");
    EXPECT_TRUE(shown.startsWith(QStringLiteral(
        "コメント: 読込 175 / 除外 期間 175・NGID 0・抽出ID 0・件数制限 0 / 非表示 0 / 表示 0\n"
        "コメントは描かれません: 抽出期間 (")))
        << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(
        ") の外のコメント 175 件が除かれました。「コメント」のコメント抽出設定で期間を広げると"
        "表示されます")))
        << shown.toStdString();
    window->OnCommentsCounted(2, CommentCounts{});  // another job's
    EXPECT_EQ(textOf(*window, "commentCountText"), shown);

    counts.removedByPeriod = 0;
    counts.drawn = 175;
    window->OnCommentsCounted(1, counts);
    EXPECT_FALSE(textOf(*window, "commentCountText").contains(QLatin1Char('\n')));
    drive.releaseDownload.set();
    drive.releaseEncoder.set();
    ASSERT_TRUE(waitUntil([&] { return stateOf(*window) == kIdle; }));
    EXPECT_EQ(textOf(*window, "progressText"), QString());
    EXPECT_TRUE(textOf(*window, "commentCountText").endsWith(QStringLiteral("表示 175")))
        << "the counts stay after the job";
    window->close();
}

}  // namespace

#include "main_window_job_test.moc"
