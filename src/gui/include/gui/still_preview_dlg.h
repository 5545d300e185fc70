#pragma once
// The still preview of a local render ("プレビュー"): one picture of the video with the comments
// drawn, at the moment a time slider over the video's length chooses, before the user starts the
// long encode ("開始") or gives it up ("キャンセル"). The dialog accepts or rejects accordingly;
// the owner starts the encode.
//
// Threads. Everything here runs on the GUI thread except two pieces of work it never waits for
// while it is shown: the video's probe (its length and size), on a thread of its own, and each
// still, a local render job whose format writes one PNG (stillTemplate) into a folder of the
// dialog's own. One still job runs at a time; a slider that moved while it ran makes the next
// still of the latest moment once it is done. The slider's moves are taken 250 ms after the last
// one. Start and Cancel stop a running still job and close the dialog on its "done"; only the
// destructor waits for the worker and the probe.

#include <QDialog>
#include <QImage>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "comments/video_info.h"
#include "gui/gui_job_sink.h"
#include "job/job_request.h"
#include "job/nico_thread.h"

class QLabel;
class QPushButton;
class QSlider;
class QThread;
class QTimer;

class CStillPreviewDlg : public QDialog, private JobEventHandler {
    Q_OBJECT

public:
    // `request` is the encode's request (settings, folders, format); the stills use it with
    // their own format and save folder. The paths should be absolute.
    CStillPreviewDlg(JobRequest request, std::string videoPath, std::string commentPath,
                     QWidget* parent = nullptr);
    ~CStillPreviewDlg() override;

    // The latest still, in the video's own size; null before the first one is made.
    const QImage& still() const { return currentStill; }
    // The moment of the latest still, in seconds.
    double stillMoment() const { return currentMoment; }
    // How many stills have been made so far (a test waits for the next one).
    int stillCount() const { return madeStills; }
    // The video as probed; nothing before the probe has answered or when it failed.
    const std::optional<VideoInfo>& video() const { return videoInfo; }

    void OnJobProgress(uint64_t jobSerial, int percent) override;
    void OnEncodingBegins(uint64_t jobSerial) override;
    void OnJobDone(uint64_t jobSerial) override;
    void OnServiceError(uint64_t jobSerial, const std::string& text) override;
    void OnDownloadProgress(uint64_t jobSerial, const DownloadProgress& progress) override;
    void OnEncodingProgress(uint64_t jobSerial, const EncodingProgress& progress) override;
    void OnCommentsCounted(uint64_t jobSerial, const CommentCounts& counts) override;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void buildControls();
    void startProbe();
    void probeAnswered(const std::optional<VideoInfo>& info);
    void OnSliderMoved();
    void makeStillOf(double seconds);
    void showStill(const std::optional<JobOutcome>& outcome);
    // Start or Cancel: ends the running still job first, then closes with `result`.
    void closeWith(int result);
    double sliderSeconds() const;

    const JobRequest request;
    const std::string videoPath;
    const std::string commentPath;

    QLabel* picture = nullptr;
    QLabel* timeLabel = nullptr;
    QLabel* noteLabel = nullptr;
    QSlider* timeSlider = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QTimer* sliderSettled = nullptr;

    QTemporaryDir stillFolder;
    GuiJobSink sink;
    std::unique_ptr<CNicoThread> stillJob;  // the still being made; empty otherwise
    uint64_t nextSerial = 1;
    double runningMoment = 0;             // the moment of the still being made
    std::optional<double> pendingMoment;  // asked for while another still was being made
    std::optional<int> closingResult;     // Start or Cancel waits for the still job's end
    QImage currentStill;
    double currentMoment = 0;
    int madeStills = 0;

    QThread* probeThread = nullptr;
    std::atomic<bool> probeStop{false};
    std::optional<VideoInfo> videoInfo;
    bool probed = false;
};
