#pragma once
// What the desktop program's tests share: folders of their own, the main window made against
// them, a job whose stages wait for the test, and a look at the window's controls.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/run_folders.h"
#include "gui/lumivox_dlg.h"
#include "job/nico_thread.h"
#include "platform/manual_reset_event.h"
#include "support/event_wait.h"
#include "support/temp_folder.h"

namespace gui_test {

// A generous bound for waits on something that must happen: a hang guard, not a speed check.
constexpr int kPatienceMs = 30000;

// The folders of a main window under test: the program folder of the build, a work folder and a
// desktop folder of the test's own. The process's current folder, which the main window changes
// to its work folder, is restored afterwards.
class WindowFolders {
public:
    WindowFolders() {
        std::filesystem::create_directories(work());
        std::filesystem::create_directories(desktop());
    }
    ~WindowFolders() {
        std::error_code ignored;
        std::filesystem::current_path(savedCurrent_, ignored);
    }
    std::filesystem::path work() const { return root_ / "work"; }
    std::filesystem::path desktop() const { return root_ / "Desktop"; }
    std::filesystem::path root() const { return root_.path(); }
    RunFolders runFolders() const {
        return RunFolders{LUMIVOX_PROGRAM_DIR, work().string(), desktop().string()};
    }

private:
    std::filesystem::path savedCurrent_ = std::filesystem::current_path();
    TestTempFolder root_;
};

// What a DrivenJob did and what it waits for. The test (GUI thread) and the workers share it;
// the mutex guards the lists, the events order the rest.
struct JobDrive {
    // Download percentages each job posts when its download begins.
    std::vector<int> downloadProgress = {40};
    // When not empty, the login reports this text as a service error.
    std::string loginError;
    // When not empty, the encoder run fails with this reason instead of writing the movie.
    std::string encoderFailure;
    // Let waiting downloads and encoder runs go on. A stop lets them go too.
    ManualResetEvent releaseDownload;
    ManualResetEvent releaseEncoder;
    // When set, a stopped stage winds down only once releaseStop is set (or after kPatienceMs):
    // a job that is slow to end.
    bool holdStop = false;
    ManualResetEvent releaseStop;

    std::vector<JobRequest> requests() const {
        std::lock_guard lock(mutex);
        return requests_;
    }
    bool downloadBegan(uint64_t serial) const {
        std::lock_guard lock(mutex);
        return downloads_.count(serial) != 0;
    }
    int deletedJobs() const { return deleted_.load(); }

    void recordRequest(const JobRequest& request) {
        std::lock_guard lock(mutex);
        requests_.push_back(request);
    }
    void recordDownload(uint64_t serial) {
        std::lock_guard lock(mutex);
        downloads_.insert(serial);
    }
    void recordDeletion() { ++deleted_; }

private:
    mutable std::mutex mutex;
    std::vector<JobRequest> requests_;
    std::set<uint64_t> downloads_;
    std::atomic<int> deleted_{0};
};

// A job with the real pipeline (order, messages, stop protocol) whose stages do no network or
// encoding work: the download posts its percentages and waits, the encoder posts 50 % and
// waits, each until the test releases it or the job is stopped.
class DrivenJob : public CNicoThread {
public:
    DrivenJob(JobRequest request, JobSink& sink, uint64_t serial, JobDrive& drive)
        : CNicoThread(std::move(request), sink, serial), drive(drive) {}
    ~DrivenJob() override { drive.recordDeletion(); }

protected:
    void loginToService() override {
        if (!drive.loginError.empty()) {
            serviceError(drive.loginError);
        }
        cookie = "user_session=user_1";
    }
    bool lookUpVideo(const std::string& /*cookie*/, std::string& streamUrl) override {
        videoId = "sm9";
        videoFile = request.saveFolder + "/sm9.flv";
        streamUrl = "http://media.invalid/smile?v=9";
        return true;
    }
    void readComments() override {}
    bool visitVideoPage(const std::string&, const std::string&) override { return true; }
    bool downloadVideo(const std::string&, const std::string&) override {
        for (int percent : drive.downloadProgress) {
            postProgress(percent);
        }
        drive.recordDownload(jobSerial());
        waitFor(drive.releaseDownload);
        return true;
    }
    void PrepareEncoding() override {}
    bool writeOverlayFiles() override { return true; }
    std::string SpliceFilterArguments() override { return {}; }
    void RunEncoder(const std::string&) override {
        postProgress(50);
        waitFor(drive.releaseEncoder);
        if (!drive.encoderFailure.empty()) {
            fail(drive.encoderFailure);
        } else if (!isCancelled()) {
            producedFile(finishedMovieFile(temporaryFile() + ".avi"));
        }
    }

private:
    void waitFor(const ManualResetEvent& release) const {
        while (!release.isSet() && !isCancelled()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (isCancelled() && drive.holdStop) {
            (void)waitForSet(drive.releaseStop, std::chrono::milliseconds(kPatienceMs));
        }
    }

    JobDrive& drive;
};

// The factory a main window under test makes its jobs with.
inline CLumivoxDlg::JobFactory drivenJobs(JobDrive& drive) {
    return [&drive](JobRequest request, JobSink& sink, uint64_t serial) {
        drive.recordRequest(request);
        return std::make_unique<DrivenJob>(std::move(request), sink, serial, drive);
    };
}

// A control of the window by its object name; fails the test when it is missing.
template <typename Control>
Control* control(const QWidget& window, const char* name) {
    Control* found = window.findChild<Control*>(QString::fromUtf8(name));
    EXPECT_NE(found, nullptr) << "no control " << name;
    return found;
}

inline void click(const QWidget& window, const char* button) {
    control<QPushButton>(window, button)->click();
}

// Types `url` into the URL field and presses Start.
inline void start(const QWidget& window, const std::string& url) {
    control<QLineEdit>(window, "urlEdit")->setText(QString::fromStdString(url));
    click(window, "startButton");
}

inline QString urlField(const QWidget& window) {
    return control<QLineEdit>(window, "urlEdit")->text();
}

// The window's state as the user sees it: which of Start, Stop and the URL field are enabled,
// the status text and the progress bar.
struct WindowState {
    bool startEnabled = false;
    bool stopEnabled = false;
    bool urlEnabled = false;
    std::string status;

    bool operator==(const WindowState&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const WindowState& state) {
    return out << "{start " << state.startEnabled << ", stop " << state.stopEnabled << ", url "
               << state.urlEnabled << ", status \"" << state.status << "\"}";
}

inline WindowState stateOf(const QWidget& window) {
    return WindowState{control<QPushButton>(window, "startButton")->isEnabled(),
                       control<QPushButton>(window, "stopButton")->isEnabled(),
                       control<QLineEdit>(window, "urlEdit")->isEnabled(),
                       control<QLabel>(window, "statusText")->text().toStdString()};
}

inline const WindowState kIdle{true, false, true, ""};
inline const WindowState kDownloading{false, true, false, "ダウンロード中...."};
inline const WindowState kEncoding{false, true, false, "エンコード中..."};
inline const WindowState kStopping{false, false, false, "停止中..."};

inline int progressOf(const QWidget& window) {
    return control<QProgressBar>(window, "progressBar")->value();
}

// Presses Stop and lets the GUI thread run until the stopped job's "done" has ended it (and a
// queued URL, if any, has started).
inline void stopAndWait(CLumivoxDlg& window) {
    click(window, "stopButton");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.jobPhase() != CLumivoxDlg::JobPhase::Stopping; }, kPatienceMs));
}

// The data of a hand-over as a later start sends it: the URL and its terminator.
inline QByteArray handOverData(const std::string& url) {
    QByteArray data = QByteArray::fromStdString(url);
    data.append('\0');
    return data;
}

inline std::vector<std::string> requestedUrls(const JobDrive& drive) {
    std::vector<std::string> urls;
    for (const JobRequest& request : drive.requests()) {
        urls.push_back(request.pageUrl);
    }
    return urls;
}

inline std::vector<std::string> queuedUrlsOf(const CLumivoxDlg& window) {
    std::vector<std::string> urls;
    for (const DownloadEntry& entry : window.queuedUrls().entries()) {
        urls.push_back(entry.url);
    }
    return urls;
}

// A main window under test in folders of its own, with jobs the test drives.
class WindowTest : public ::testing::Test {
protected:
    std::unique_ptr<CLumivoxDlg> openWindow(const std::string& startUrl = {}, bool show = true) {
        auto window = std::make_unique<CLumivoxDlg>(folders.runFolders(), drivenJobs(drive));
        window->startUrl = startUrl;
        window->OnInitDialog();
        if (show) {
            window->show();
        }
        return window;
    }
    WindowFolders folders;
    JobDrive drive;
};

// Processes the GUI thread's events until `condition` holds; false after kPatienceMs.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = kPatienceMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

}  // namespace gui_test
