#include "gui/still_preview_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

#include "gui/dialog_units.h"
#include "job/local_render_job.h"
#include "job/video_probe.h"

namespace {

constexpr int kSettleMs = 250;       // a slider move counts this long after the last one
constexpr int kStepsPerSecond = 10;  // the slider's resolution
constexpr int kEndMarginCs = 50;     // the last moment offered lies this far before the end
constexpr int kPictureWidth = 640;   // the picture is shown at most this wide (and 360 high)
constexpr int kPictureHeight = 360;

// "1:02.5": minutes, seconds and tenths.
QString clockText(double seconds) {
    const int tenths = static_cast<int>(std::lround(std::max(0.0, seconds) * 10));
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

}  // namespace

CStillPreviewDlg::CStillPreviewDlg(JobRequest request, std::string videoPath,
                                   std::string commentPath, QWidget* parent)
    : QDialog(parent),
      request(std::move(request)),
      videoPath(std::move(videoPath)),
      commentPath(std::move(commentPath)),
      sink(*this, *this) {
    setObjectName(QStringLiteral("stillPreview"));
    setWindowTitle(QStringLiteral("プレビュー"));
    buildControls();
}

CStillPreviewDlg::~CStillPreviewDlg() {
    CNicoThread::StopAndDelete(stillJob);
    if (probeThread != nullptr) {
        probeStop = true;  // the probe's encoder is ended within a poll
        probeThread->wait();
        delete probeThread;
    }
}

void CStillPreviewDlg::buildControls() {
    const DialogUnits units(*this);
    picture = new QLabel(QStringLiteral("動画を調べています..."), this);
    picture->setObjectName(QStringLiteral("stillPicture"));
    picture->setAlignment(Qt::AlignCenter);
    picture->setMinimumSize(kPictureWidth / 2, kPictureHeight / 2);

    timeSlider = new QSlider(Qt::Horizontal, this);
    timeSlider->setObjectName(QStringLiteral("timeSlider"));
    timeSlider->setEnabled(false);
    timeLabel = new QLabel(this);
    timeLabel->setObjectName(QStringLiteral("timeText"));
    timeLabel->setMinimumWidth(units.x(50));

    // Which comment file the movie takes its comments from, or why there is no still.
    noteLabel = new QLabel(
        QStringLiteral("コメント: ") +
            QString::fromStdString(std::filesystem::path(commentPath).filename().string()),
        this);
    noteLabel->setObjectName(QStringLiteral("noteText"));
    noteLabel->setWordWrap(true);
    noteLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    startButton = new QPushButton(QStringLiteral("開始"), this);
    startButton->setObjectName(QStringLiteral("previewStartButton"));
    startButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("previewCancelButton"));
    connect(startButton, &QPushButton::clicked, this, [this] { closeWith(QDialog::Accepted); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { closeWith(QDialog::Rejected); });

    sliderSettled = new QTimer(this);
    sliderSettled->setSingleShot(true);
    sliderSettled->setInterval(kSettleMs);
    connect(sliderSettled, &QTimer::timeout, this, &CStillPreviewDlg::OnSliderMoved);
    connect(timeSlider, &QSlider::valueChanged, this, [this] {
        timeLabel->setText(clockText(sliderSeconds()) + QStringLiteral(" / ") +
                           clockText(videoInfo ? videoInfo->durationCs / 100.0 : 0));
        sliderSettled->start();
    });

    auto* sliderRow = new QHBoxLayout;
    sliderRow->addWidget(timeSlider, 1);
    sliderRow->addWidget(timeLabel);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(noteLabel, 1);
    buttonRow->addWidget(startButton);
    buttonRow->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture, 1);
    layout->addLayout(sliderRow);
    layout->addLayout(buttonRow);
}

void CStillPreviewDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!probed && probeThread == nullptr) {
        startProbe();
    }
}

void CStillPreviewDlg::startProbe() {
    auto answer = std::make_shared<std::optional<VideoInfo>>();
    probeThread = QThread::create([this, answer] {
        *answer = probeVideo(request.programFolder, request.workFolder, videoPath,
                             [this] { return probeStop.load(); });
    });
    connect(probeThread, &QThread::finished, this, [this, answer] {
        probeThread->deleteLater();
        probeThread = nullptr;
        probeAnswered(*answer);
    });
    probeThread->start();
}

void CStillPreviewDlg::probeAnswered(const std::optional<VideoInfo>& info) {
    probed = true;
    videoInfo = info;
    if (!info) {
        picture->setText(QStringLiteral("動画を読み取れません"));
        return;
    }
    const int lastCs = std::max(0, info->durationCs - kEndMarginCs);
    timeSlider->setRange(0, lastCs * kStepsPerSecond / 100);
    timeSlider->setPageStep(kStepsPerSecond);
    timeSlider->setEnabled(true);
    timeLabel->setText(clockText(0) + QStringLiteral(" / ") + clockText(info->durationCs / 100.0));
    makeStillOf(sliderSeconds());
}

double CStillPreviewDlg::sliderSeconds() const {
    return static_cast<double>(timeSlider->value()) / kStepsPerSecond;
}

void CStillPreviewDlg::OnSliderMoved() {
    if (videoInfo && !closingResult) {
        makeStillOf(sliderSeconds());
    }
}

void CStillPreviewDlg::makeStillOf(double seconds) {
    if (stillJob) {
        pendingMoment = seconds;  // made when the running still is done
        return;
    }
    pendingMoment.reset();
    JobRequest still = request;
    still.formatTemplate = stillTemplate(seconds);
    still.saveFolder = stillFolder.path().toStdString();
    runningMoment = seconds;
    stillJob = std::make_unique<LocalRenderJob>(std::move(still), sink, nextSerial++, videoPath,
                                                commentPath);
    if (!stillJob->start()) {
        CNicoThread::StopAndDelete(stillJob);
        noteLabel->setText(QStringLiteral("静止画を作れません"));
    }
}

void CStillPreviewDlg::OnJobDone(uint64_t jobSerial) {
    if (!stillJob || jobSerial != stillJob->jobSerial()) {
        return;
    }
    showStill(CNicoThread::StopAndDelete(stillJob));
    if (closingResult) {
        QDialog::done(*closingResult);
    } else if (pendingMoment) {
        makeStillOf(*pendingMoment);
    }
}

void CStillPreviewDlg::showStill(const std::optional<JobOutcome>& outcome) {
    if (!outcome || outcome->result == JobResult::Stopped) {
        return;
    }
    QImage image;
    if (outcome->result != JobResult::Succeeded ||
        !image.load(QString::fromStdString(outcome->moviePath))) {
        noteLabel->setText(QStringLiteral("静止画を作れません: ") +
                           QString::fromStdString(outcome->reason));
        return;
    }
    currentStill = image;
    currentMoment = runningMoment;
    ++madeStills;
    const bool large = image.width() > kPictureWidth || image.height() > kPictureHeight;
    picture->setPixmap(
        QPixmap::fromImage(large ? image.scaled(kPictureWidth, kPictureHeight, Qt::KeepAspectRatio,
                                                Qt::SmoothTransformation)
                                 : image));
}

void CStillPreviewDlg::closeWith(int result) {
    if (closingResult) {
        return;
    }
    sliderSettled->stop();
    if (!stillJob) {
        QDialog::done(result);
        return;
    }
    closingResult = result;
    startButton->setEnabled(false);
    cancelButton->setEnabled(false);
    timeSlider->setEnabled(false);
    stillJob->requestStop();
}

void CStillPreviewDlg::reject() {
    closeWith(QDialog::Rejected);  // Escape and the close box, like Cancel
}

void CStillPreviewDlg::OnJobProgress(uint64_t /*jobSerial*/, int /*percent*/) {}
void CStillPreviewDlg::OnEncodingBegins(uint64_t /*jobSerial*/) {}
void CStillPreviewDlg::OnServiceError(uint64_t /*jobSerial*/, const std::string& /*text*/) {}
void CStillPreviewDlg::OnDownloadProgress(uint64_t /*jobSerial*/,
                                          const DownloadProgress& /*progress*/) {}
void CStillPreviewDlg::OnEncodingProgress(uint64_t /*jobSerial*/,
                                          const EncodingProgress& /*progress*/) {}
void CStillPreviewDlg::OnCommentsCounted(uint64_t /*jobSerial*/, const CommentCounts& /*counts*/) {}
