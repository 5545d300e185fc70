#include "gui/lumivox_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "app/account_secrets.h"
#include "app/comment_count_texts.h"
#include "app/comment_period.h"
#include "app/font_faces.h"
#include "app/job_request_builder.h"
#include "app/local_video_files.h"
#include "app/program_version.h"
#include "app/settings.h"
#include "app/url_hand_over.h"
#include "gui/about_dlg.h"
#include "gui/comment_dlg.h"
#include "gui/dialog_units.h"
#include "gui/download_list_model.h"
#include "gui/gui_log_sink.h"
#include "gui/job_progress_texts.h"
#include "gui/list_dlg.h"
#include "gui/password_dlg.h"
#include "gui/program_icon.h"
#include "gui/still_preview_dlg.h"
#include "gui/user_id_list_model.h"
#include "job/job_status_texts.h"
#include "job/local_render_job.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/text_conv.h"
#include "platform/work_file_names.h"
#include "shell/browser_menu_entry.h"

namespace fs = std::filesystem;

namespace {

// The caption: the name, an ideographic space and the build's version.
constexpr const char* kCaptionPrefix = "ルミヴォクス　ver";
constexpr const char* kAboutCommand = "lumivox のﾊﾞｰｼﾞｮﾝ情報(&A)...";
constexpr const char* kMessageBoxCaption = "lumivox";

QString qText(const std::string& text) {
    return QString::fromStdString(text);
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

QLabel* centredLabel(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// A push button that shows only an image, in the size of a text box's height.
QPushButton* imageButton(QStyle::StandardPixmap image, const QString& name, int width,
                         QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setIcon(parent->style()->standardIcon(image));
    button->setFixedWidth(width);
    return button;
}

// A label for a line of the job's report: selectable, and never wider than the window gives it
// (a long path is cut at the window's edge; its tooltip holds the whole text).
QLabel* reportLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(1);
    return label;
}

void setReportText(QLabel* label, const QString& text) {
    label->setText(text);
    label->setToolTip(text);
}

CLumivoxDlg::JobFactory defaultJobFactory() {
    return [](JobRequest request, JobSink& sink, uint64_t jobSerial) {
        return std::make_unique<CNicoThread>(std::move(request), sink, jobSerial);
    };
}

}  // namespace

CLumivoxDlg::CLumivoxDlg(RunFolders folders, JobFactory jobFactory, QWidget* parent)
    : QDialog(parent),
      downloadList(std::make_unique<DownloadListModel>(downloadQueue, nullptr)),
      ngIdList(std::make_unique<UserIdListModel>(ngList, nullptr)),
      extractIdList(std::make_unique<UserIdListModel>(extractList, nullptr)),
      folders(std::move(folders)),
      settings(defaultSettings(this->folders.desktopFolder)),
      jobFactory(jobFactory ? std::move(jobFactory) : defaultJobFactory()),
      jobSink(*this, *this) {
    setWindowTitle(QString::fromUtf8(kCaptionPrefix) + QString::fromUtf8(programVersion()));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildControls();
    connectControls();
}

CLumivoxDlg::~CLumivoxDlg() {
    // A window destroyed without its closing steps still never leaves a worker behind.
    CNicoThread::StopAndDelete(job);
    if (logSink) {
        setLogSink(previousLogSink);  // no worker is left to log into it
    }
    // The side windows refer to the lists, which go before the children do.
    destroySideWindows();
}

void CLumivoxDlg::buildControls() {
    const DialogUnits units(*this);
    const int imageButtonWidth =
        qMax(units.x(12), style()->pixelMetric(QStyle::PM_SmallIconSize) + units.x(6));

    urlEdit = new QLineEdit(this);
    urlEdit->setObjectName(QStringLiteral("urlEdit"));
    startButton =
        imageButton(QStyle::SP_MediaPlay, QStringLiteral("startButton"), imageButtonWidth, this);
    startButton->setToolTip(QStringLiteral("開始"));
    stopButton =
        imageButton(QStyle::SP_MediaStop, QStringLiteral("stopButton"), imageButtonWidth, this);
    stopButton->setToolTip(QStringLiteral("停止"));
    stopButton->setEnabled(false);
    // Enter anywhere in the window (the URL field above all) starts the job.
    startButton->setDefault(true);
    fileButton = new QPushButton(QStringLiteral("ファイル..."), this);
    fileButton->setObjectName(QStringLiteral("fileButton"));
    fileButton->setToolTip(QStringLiteral("動画ファイルを変換"));

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);

    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusText"));
    statusLabel->setMinimumHeight(units.y(15));
    statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    progressLabel = reportLabel(QStringLiteral("progressText"), this);
    commentCountLabel = reportLabel(QStringLiteral("commentCountText"), this);
    commentCountLabel->setWordWrap(true);
    // The counts take two lines in a window of its first width; the room is kept for both, so
    // that the second is never cut off by the rows below.
    commentCountLabel->setMinimumHeight(2 * commentCountLabel->fontMetrics().lineSpacing());
    resultLabel = reportLabel(QStringLiteral("resultText"), this);
    openFolderButton = new QPushButton(QStringLiteral("フォルダを開く"), this);
    openFolderButton->setObjectName(QStringLiteral("openFolderButton"));
    playButton = new QPushButton(QStringLiteral("再生"), this);
    playButton->setObjectName(QStringLiteral("playButton"));
    for (QPushButton* button : {openFolderButton, playButton}) {
        button->setAutoDefault(false);
        button->setEnabled(false);
    }
    serviceErrorLabel = reportLabel(QStringLiteral("serviceErrorText"), this);
    serviceErrorLabel->setWordWrap(true);

    // The latest warning or error of the running job, from the log.
    logLabel = new QLabel(this);
    logLabel->setObjectName(QStringLiteral("logText"));
    logLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    logLabel->setWordWrap(true);
    logLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    saveFolderEdit = new QLineEdit(this);
    saveFolderEdit->setObjectName(QStringLiteral("saveFolderEdit"));
    browseButton =
        imageButton(QStyle::SP_DirOpenIcon, QStringLiteral("browseButton"), imageButtonWidth, this);
    browseButton->setToolTip(QStringLiteral("フォルダの選択"));

    formatCombo = new QComboBox(this);
    formatCombo->setObjectName(QStringLiteral("formatCombo"));
    formatCombo->setFixedWidth(units.x(83));
    formatCombo->setMaxVisibleItems(12);

    fontCombo = new QComboBox(this);
    fontCombo->setObjectName(QStringLiteral("fontCombo"));
    fontCombo->setFixedWidth(units.x(89));
    fontCombo->setMaxVisibleItems(16);
    fontSizeEdit = new QLineEdit(this);
    fontSizeEdit->setObjectName(QStringLiteral("fontSizeEdit"));
    fontSizeEdit->setFixedWidth(
        qMax(units.x(20),
             fontSizeEdit->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + units.x(6)));
    fontSizeEdit->setMaxLength(11);

    hideOldBox = new QCheckBox(QStringLiteral("古いコメントを表示しない"), this);
    hideOldBox->setObjectName(QStringLiteral("hideOldCheck"));
    noAutoLoginBox = new QCheckBox(QStringLiteral("ニコニコ動画に自動ログインしない"), this);
    noAutoLoginBox->setObjectName(QStringLiteral("noAutoLoginCheck"));

    passwordButton = new QPushButton(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ"), this);
    passwordButton->setObjectName(QStringLiteral("passwordButton"));
    listToggleButton = new QPushButton(QStringLiteral("リスト"), this);
    listToggleButton->setObjectName(QStringLiteral("listToggle"));
    listToggleButton->setCheckable(true);
    commentToggleButton = new QPushButton(QStringLiteral("コメント"), this);
    commentToggleButton->setObjectName(QStringLiteral("commentToggle"));
    commentToggleButton->setCheckable(true);
    addMenuEntryButton = new QPushButton(QStringLiteral("IEの右ｸﾘｯｸに追加"), this);
    addMenuEntryButton->setObjectName(QStringLiteral("addMenuEntryButton"));
    removeMenuEntryButton = new QPushButton(QStringLiteral("IEの右ｸﾘｯｸから削除"), this);
    removeMenuEntryButton->setObjectName(QStringLiteral("removeMenuEntryButton"));
    for (QPushButton* button : {passwordButton, listToggleButton, commentToggleButton}) {
        button->setMinimumWidth(units.x(36));
    }
    for (QPushButton* button : {addMenuEntryButton, removeMenuEntryButton}) {
        button->setMinimumWidth(units.x(66));
    }

    // The arrangement: labels in a narrow first column, the URL, progress, status and save
    // folder across the wide second one, the image buttons and "ファイル..." at the right, and
    // below them the format, the font with its size, the two options and the row of buttons.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(units.x(3));
    grid->setVerticalSpacing(units.y(5));
    grid->setColumnMinimumWidth(0, units.x(22));
    grid->setColumnStretch(1, 1);
    grid->addWidget(centredLabel("URL", this), 0, 0);
    grid->addWidget(urlEdit, 0, 1);
    grid->addWidget(startButton, 0, 2);
    grid->addWidget(stopButton, 0, 3);
    grid->addWidget(fileButton, 0, 4);
    grid->addWidget(progressBar, 1, 1);
    // The stage with its progress, the end of the last job with its buttons, the comment counts,
    // the service's error and the log's latest problem.
    auto* stageRow = new QHBoxLayout;
    stageRow->setSpacing(units.x(4));
    stageRow->addWidget(statusLabel);
    stageRow->addWidget(progressLabel, 1);
    auto* resultRow = new QHBoxLayout;
    resultRow->setSpacing(units.x(3));
    resultRow->addWidget(resultLabel, 1);
    resultRow->addWidget(openFolderButton);
    resultRow->addWidget(playButton);
    auto* statusLines = new QVBoxLayout;
    statusLines->setSpacing(units.y(2));
    statusLines->addLayout(stageRow);
    statusLines->addLayout(resultRow);
    statusLines->addWidget(commentCountLabel);
    statusLines->addWidget(serviceErrorLabel);
    statusLines->addWidget(logLabel);
    grid->addLayout(statusLines, 2, 1, 1, 2);
    grid->addWidget(centredLabel("保存先", this), 3, 0);
    grid->addWidget(saveFolderEdit, 3, 1);
    grid->addWidget(browseButton, 3, 2);
    grid->addWidget(centredLabel("形式", this), 4, 0);
    grid->addWidget(formatCombo, 4, 1, Qt::AlignLeft);

    auto* fontRow = new QHBoxLayout;
    fontRow->setSpacing(units.x(2));
    fontRow->addWidget(fontCombo);
    fontRow->addSpacing(units.x(5));
    fontRow->addWidget(fontSizeEdit);
    fontRow->addWidget(new QLabel(QStringLiteral("pt"), this));
    fontRow->addStretch(1);
    grid->addWidget(centredLabel("ﾌｫﾝﾄ", this), 5, 0);
    grid->addLayout(fontRow, 5, 1, 1, 3);

    auto* optionRow = new QHBoxLayout;
    optionRow->setSpacing(units.x(4));
    optionRow->addWidget(hideOldBox);
    optionRow->addWidget(noAutoLoginBox);
    optionRow->addStretch(1);
    grid->addLayout(optionRow, 6, 1, 1, 3);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(units.x(5));
    buttonRow->addWidget(passwordButton);
    buttonRow->addWidget(listToggleButton);
    buttonRow->addWidget(commentToggleButton);
    buttonRow->addStretch(1);
    buttonRow->addWidget(addMenuEntryButton);
    buttonRow->addWidget(removeMenuEntryButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(units.x(5), units.y(8), units.x(5), units.y(7));
    layout->setSpacing(units.y(5));
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttonRow);

    // The about box, from the window's context menu and F1.
    auto* about = new QAction(QString::fromUtf8(kAboutCommand), this);
    about->setObjectName(QStringLiteral("aboutAction"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, &CLumivoxDlg::OnAbout);
    addAction(about);
    // Closing from the menu, as from the close box and Escape.
    auto* closeWindow = new QAction(QStringLiteral("閉じる(&C)"), this);
    closeWindow->setObjectName(QStringLiteral("closeAction"));
    connect(closeWindow, &QAction::triggered, this, &QWidget::close);
    addAction(closeWindow);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setAcceptDrops(true);

    resize(qMax(units.x(331), sizeHint().width()), qMax(units.y(165), sizeHint().height()));
}

void CLumivoxDlg::connectControls() {
    connect(startButton, &QPushButton::clicked, this, &CLumivoxDlg::StartJob);
    connect(openFolderButton, &QPushButton::clicked, this, &CLumivoxDlg::OnOpenFolder);
    connect(playButton, &QPushButton::clicked, this, &CLumivoxDlg::OnPlay);
    connect(stopButton, &QPushButton::clicked, this, &CLumivoxDlg::StopJob);
    connect(fileButton, &QPushButton::clicked, this, &CLumivoxDlg::OnChooseFile);
    connect(passwordButton, &QPushButton::clicked, this, &CLumivoxDlg::OnPassword);
    connect(browseButton, &QPushButton::clicked, this, &CLumivoxDlg::OnBrowse);
    connect(listToggleButton, &QPushButton::clicked, this, &CLumivoxDlg::OnListToggle);
    connect(commentToggleButton, &QPushButton::clicked, this, &CLumivoxDlg::OnCommentToggle);
    connect(addMenuEntryButton, &QPushButton::clicked, this, &CLumivoxDlg::OnAddMenuEntry);
    connect(removeMenuEntryButton, &QPushButton::clicked, this, &CLumivoxDlg::OnRemoveMenuEntry);
}

void CLumivoxDlg::OnInitDialog() {
    if (initialised) {
        return;
    }
    initialised = true;
    setWindowIcon(programIcon());

    if (!startUrl.empty()) {
        urlEdit->setText(qText(startUrl));
    }
    progressBar->setRange(0, 100);
    progressBar->setValue(0);

    makeWorkFolderCurrent();
    openLog();
    cookieStore = openCookieStore(folders);
    fillFontCombo();
    // A file that cannot be read gives the defaults; the window shows nothing of it.
    std::string warning;
    settings = ::loadSettings(workFile(kSettingsFileName), folders.desktopFolder, &warning);
    if (!warning.empty()) {
        logWarning(LogComponent::App, warning);
    }
    std::string keyringProblem;
    readAccountSecrets(settings, workFile(kSettingsFileName), secretStore.get(), &keyringProblem);
    if (!keyringProblem.empty()) {
        logDebug(LogComponent::App, keyringProblem);  // no keyring is an ordinary set-up
    }
    showSettingsInControls();
    period = defaultCommentPeriod(std::time(nullptr));
    presets.loadOrBuiltIn(workFile(kPresetsFileName));
    fillFormatCombo();

    bool startedFromCommandLine = false;
    if (!startUrl.empty() && startsAJob(startUrl)) {
        StartJob();
        startedFromCommandLine = true;
    }

    createSideWindows();
    loadFilterLists();
    loadDownloadQueue(startedFromCommandLine);
    urlEdit->setFocus();
}

void CLumivoxDlg::openLog() {
    logSink = std::make_unique<GuiLogSink>(workFile(kLogFileName));
    connect(logSink.get(), &GuiLogSink::problemLogged, this, &CLumivoxDlg::showLoggedProblem,
            Qt::QueuedConnection);
    previousLogSink = setLogSink(logSink.get());
}

void CLumivoxDlg::showLoggedProblem(const QString& line) {
    logLabel->setText(line);
    logLabel->setToolTip(line);
}

void CLumivoxDlg::makeWorkFolderCurrent() const {
    std::error_code ignored;
    fs::current_path(folders.workFolder, ignored);
}

void CLumivoxDlg::fillFontCombo() {
    fontCombo->clear();
    for (const std::string& face : japaneseFaceList()) {
        fontCombo->addItem(qText(face));
    }
}

void CLumivoxDlg::selectSavedFace() {
    if (fontCombo->count() == 0) {
        return;
    }
    std::vector<std::string> faces;
    faces.reserve(static_cast<size_t>(fontCombo->count()));
    for (int i = 0; i < fontCombo->count(); ++i) {
        faces.push_back(utf8(fontCombo->itemText(i)));
    }
    // A saved face that is installed but cannot show Japanese joins the list.
    const std::string& saved = settings.fontFace;
    if (!findFace(faces, saved)) {
        const std::vector<std::string> withSaved =
            faceListWithSavedFace(faces, installedFaceList(), saved);
        if (withSaved.size() != faces.size()) {
            faces = withSaved;
            fontCombo->clear();
            for (const std::string& face : faces) {
                fontCombo->addItem(qText(face));
            }
        }
    }
    // The stand-in is asked for only when the saved face is not installed.
    const std::string substitute = findFace(faces, saved) ? std::string() : substituteFace(saved);
    fontCombo->setCurrentIndex(static_cast<int>(faceItemForSavedFace(faces, saved, substitute)));
}

void CLumivoxDlg::fillFormatCombo() {
    formatCombo->clear();
    for (const std::string& name : presets.names()) {
        formatCombo->addItem(qText(name));
    }
    if (formatCombo->count() > 0) {
        formatCombo->setCurrentIndex(static_cast<int>(presets.indexOfName(settings.formatName)));
    }
}

void CLumivoxDlg::showSettingsInControls() {
    saveFolderEdit->setText(qText(settings.saveFolder));
    fontSizeEdit->setText(QString::number(settings.fontSizePt));
    hideOldBox->setChecked(settings.hideOldComments);
    noAutoLoginBox->setChecked(settings.noAutoLogin);
    selectSavedFace();
    listToggleButton->setChecked(settings.listWindowShown);
    commentToggleButton->setChecked(settings.commentWindowShown);
}

void CLumivoxDlg::takeSettingsFromControls() {
    // An empty combo box (no font, no format) keeps the loaded name.
    if (fontCombo->currentIndex() >= 0) {
        settings.fontFace = utf8(fontCombo->currentText());
    }
    settings.saveFolder = utf8(saveFolderEdit->text());
    settings.fontSizePt = stringToInt32(utf8(fontSizeEdit->text()));
    if (formatCombo->currentIndex() >= 0) {
        settings.formatName = utf8(formatCombo->currentText());
    }
    settings.hideOldComments = hideOldBox->isChecked();
    settings.noAutoLogin = noAutoLoginBox->isChecked();
}

JobRequest CLumivoxDlg::makeJobRequest() const {
    JobChoices choices;
    choices.pageUrl = utf8(urlEdit->text());
    choices.period = period;
    choices.ngList = ngList.texts();
    choices.extractList = extractList.texts();
    choices.cookieStore = cookieStore.get();
    return buildJobRequest(settings, presets, choices, folders);
}

CLumivoxDlg::JobPhase CLumivoxDlg::jobPhase() const {
    if (!job) {
        return JobPhase::Idle;
    }
    return stopping ? JobPhase::Stopping : JobPhase::Running;
}

void CLumivoxDlg::showJobPhase(const char* status) {
    const JobPhase phase = jobPhase();
    startButton->setEnabled(phase == JobPhase::Idle);
    stopButton->setEnabled(phase == JobPhase::Running);
    urlEdit->setEnabled(phase == JobPhase::Idle);
    fileButton->setEnabled(phase == JobPhase::Idle);
    statusLabel->setText(statusText(status));
}

QString CLumivoxDlg::statusText(const char* status) const {
    QString text = QString::fromUtf8(status);
    if (!text.isEmpty() && job && !commentNote.empty()) {
        text += QStringLiteral("  ") + qText(commentNote);
    }
    return text;
}

void CLumivoxDlg::StartJob() {
    if (job || closing || preparingLocalRender()) {
        return;  // one job at a time (a second start waits in the queue), none while closing
    }
    takeSettingsFromControls();
    commentNote.clear();
    runJob(jobFactory(makeJobRequest(), jobSink, nextJobSerial++), kDownloadingStatus);
}

void CLumivoxDlg::runJob(std::unique_ptr<CNicoThread> newJob, const char* status) {
    clearJobReport();
    job = std::move(newJob);
    if (!job) {
        returnToIdle();
        return;
    }
    makeWorkFolderCurrent();
    if (!job->start()) {
        // No thread, so no message of the job will come: back to idle at once.
        CNicoThread::StopAndDelete(job);
        returnToIdle();
        return;
    }
    showJobPhase(status);
}

void CLumivoxDlg::StopJob() {
    if (jobPhase() != JobPhase::Running) {
        return;
    }
    stopping = true;
    job->requestStop();
    showJobPhase(kStoppingStatus);
}

void CLumivoxDlg::returnToIdle() {
    showJobPhase("");
    progressBar->setValue(0);
    progressLabel->clear();
}

void CLumivoxDlg::clearJobReport() {
    logLabel->clear();
    logLabel->setToolTip(QString());
    for (QLabel* label : {progressLabel, commentCountLabel, resultLabel, serviceErrorLabel}) {
        setReportText(label, QString());
    }
    openFolderButton->setEnabled(false);
    playButton->setEnabled(false);
    serviceErrorText.clear();
    lastMoviePath.clear();
}

void CLumivoxDlg::showOutcome(const std::optional<JobOutcome>& outcome) {
    if (!outcome) {
        return;
    }
    setReportText(resultLabel, jobOutcomeText(*outcome));
    const bool succeeded = outcome->result == JobResult::Succeeded;
    lastMoviePath = succeeded ? outcome->moviePath : std::string();
    openFolderButton->setEnabled(succeeded);
    playButton->setEnabled(succeeded);
    if (!serviceErrorText.empty()) {
        const char* next = outcome->result == JobResult::Succeeded ? "ジョブは続行し、完了しました"
                           : outcome->result == JobResult::Stopped ? "ジョブは中止されました"
                                                                   : "ジョブはここで終わりました";
        setReportText(serviceErrorLabel, QStringLiteral("通信エラー: ") + qText(serviceErrorText) +
                                             QStringLiteral(" — ") + QString::fromUtf8(next));
    }
}

void CLumivoxDlg::OnOpenFolder() {
    if (!lastMoviePath.empty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(
            QString::fromStdString(fs::path(lastMoviePath).parent_path().string())));
    }
}

void CLumivoxDlg::OnPlay() {
    if (!lastMoviePath.empty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(qText(lastMoviePath)));
    }
}

void CLumivoxDlg::finishJob() {
    // The job has posted its "done": only its thread's last instructions are left to wait for.
    const uint64_t serial = job->jobSerial();
    const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);
    if (outcome) {
        logJobOutcome(serial, *outcome);
    }
    stopping = false;
    returnToIdle();
    showOutcome(outcome);
    if (!closing) {
        TakeNext();
    }
}

void CLumivoxDlg::stopJobAndWait() {
    const uint64_t serial = runningJobSerial();
    if (const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job)) {
        logJobOutcome(serial, *outcome);
    }
    stopping = false;
    returnToIdle();
}

void CLumivoxDlg::TakeNext() {
    if (const std::optional<DownloadEntry> entry = downloadList->takeNext()) {
        runUrl(entry->url);
    }
}

void CLumivoxDlg::runUrl(const std::string& url) {
    urlEdit->setText(qText(url));
    if (!url.empty()) {
        startUrl = url;
        if (startsAJob(url)) {
            StartJob();
        }
    }
}

bool CLumivoxDlg::isRunningJob(uint64_t jobSerial) const {
    return jobSerial != 0 && jobSerial == runningJobSerial() && !stopping;
}

void CLumivoxDlg::OnJobProgress(uint64_t jobSerial, int percent) {
    if (jobSerial != runningJobSerial() || jobSerial == 0) {
        return;
    }
    if (percent >= 1 && percent <= 100) {
        progressBar->setValue(percent);
        if (!stopping) {
            progressLabel->setText(QStringLiteral("%1%").arg(percent));
        }
    }
}

void CLumivoxDlg::OnDownloadProgress(uint64_t jobSerial, const DownloadProgress& progress) {
    OnJobProgress(jobSerial, progress.percent());
    if (isRunningJob(jobSerial)) {
        progressLabel->setText(downloadProgressText(progress));
    }
}

void CLumivoxDlg::OnEncodingProgress(uint64_t jobSerial, const EncodingProgress& progress) {
    OnJobProgress(jobSerial, progress.percent);
    if (isRunningJob(jobSerial) && progress.percent >= 1 && progress.percent <= 100) {
        progressLabel->setText(encodingProgressText(progress));
    }
}

void CLumivoxDlg::OnCommentsCounted(uint64_t jobSerial, const CommentCounts& counts) {
    if (jobSerial == 0 || jobSerial != runningJobSerial()) {
        return;
    }
    QString text = qText(commentCountLine(counts, FrontEnd::Window));
    if (const std::optional<std::string> why =
            noCommentDrawnLine(counts, period, FrontEnd::Window)) {
        text += QLatin1Char('\n') + qText(*why);
    }
    setReportText(commentCountLabel, text);
}

void CLumivoxDlg::OnEncodingBegins(uint64_t jobSerial) {
    if (jobSerial != runningJobSerial() || jobSerial == 0 || stopping) {
        return;
    }
    progressBar->setValue(0);
    progressLabel->clear();
    statusLabel->setText(statusText(kEncodingStatus));
}

void CLumivoxDlg::OnJobDone(uint64_t jobSerial) {
    if (jobSerial != 0 && jobSerial == runningJobSerial()) {
        finishJob();
    } else if (!job) {
        // The "done" of a job deleted earlier (at closing), while no other job runs.
        progressBar->setValue(0);
    }
}

void CLumivoxDlg::OnServiceError(uint64_t jobSerial, const std::string& text) {
    if (jobSerial == 0 || jobSerial != runningJobSerial()) {
        return;
    }
    serviceErrorText = text;
    setReportText(serviceErrorLabel, QStringLiteral("通信エラー: ") + qText(text) +
                                         QStringLiteral(" — ジョブは続いています"));
    // Not modal to the application: the worker does not wait for it, and the window stays
    // usable (Stop) while it shows. The library's own text is the detail.
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromUtf8(kMessageBoxCaption),
                                QStringLiteral("ニコニコ動画との通信でエラーが起きました。"),
                                QMessageBox::Ok, this);
    box->setInformativeText(qText(text));
    box->setObjectName(QStringLiteral("serviceErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void CLumivoxDlg::OnCopyData(uint32_t tag, const QByteArray& data) {
    if (tag != kCopyDataUrl || closing) {
        return;  // a URL that arrives while the window closes has no window left to go to
    }
    const std::string url =
        receivedHandOverText(std::string_view(data.constData(), static_cast<size_t>(data.size())));
    if (job || preparingLocalRender()) {
        // Also while a stop winds down: the URL starts after the teardown.
        downloadList->queueUrl(url, std::time(nullptr));
        return;
    }
    runUrl(url);
}

void CLumivoxDlg::RestoreIfMinimised() {
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        showNormal();
        activateWindow();
    }
}

void CLumivoxDlg::ListWindowClosed() {
    settings.listWindowShown = false;
    listToggleButton->setChecked(false);
}

void CLumivoxDlg::CommentWindowClosed() {
    settings.commentWindowShown = false;
    commentToggleButton->setChecked(false);
}

void CLumivoxDlg::OnListToggle() {
    settings.listWindowShown = listToggleButton->isChecked();
    if (listWindow != nullptr) {
        listWindow->setShown(settings.listWindowShown);
    }
}

void CLumivoxDlg::OnCommentToggle() {
    settings.commentWindowShown = commentToggleButton->isChecked();
    if (commentWindow != nullptr) {
        commentWindow->setShown(settings.commentWindowShown);
    }
}

void CLumivoxDlg::OnPassword() {
    CPasswordDlg dialog(this);
    dialog.mail = settings.mail;
    dialog.password = settings.password;
    dialog.sessionCookie = settings.sessionCookie;
    if (dialog.exec() == QDialog::Accepted) {
        settings.mail = dialog.mail;
        settings.password = dialog.password;
        settings.sessionCookie = dialog.sessionCookie;
    }
}

void CLumivoxDlg::OnBrowse() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("フォルダの選択"), saveFolderEdit->text(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) {
        saveFolderEdit->setText(folder);
    }
}

void CLumivoxDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CLumivoxDlg::keyPressEvent(QKeyEvent* event) {
    // Enter (unless a focused button takes it) presses Start, and does nothing while a job
    // runs; it never closes the window. Escape closes it through the closing steps, so that
    // nothing typed is lost and a running job is stopped.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter && plain) {
        if (startButton->isEnabled()) {
            startButton->click();
        }
        return;
    }
    if (event->key() == Qt::Key_Escape && plain) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CLumivoxDlg::closeEvent(QCloseEvent* event) {
    if (!closing) {
        OnClose();
    }
    QDialog::closeEvent(event);
}

void CLumivoxDlg::done(int result) {
    if (!closing) {
        OnClose();
    }
    QDialog::done(result);
}

void CLumivoxDlg::OnClose() {
    closing = true;
    // The one place that waits for the worker: the program is going, and nothing may be lost.
    stopJobAndWait();
    delete commentFileDialog;
    commentFileDialog = nullptr;
    delete previewDialog;  // waits for its still, if one is being made
    previewDialog = nullptr;
    // What is still being typed into a side window's list counts (it starts no job now).
    if (listWindow != nullptr) {
        listWindow->commitOpenEdits();
    }
    if (commentWindow != nullptr) {
        commentWindow->commitOpenEdits();
    }
    takeSettingsFromControls();
    std::string keyringWarning;
    const Settings forIni = settingsWithSecretsStored(settings, workFile(kSettingsFileName),
                                                      secretStore.get(), &keyringWarning);
    if (!keyringWarning.empty()) {
        logWarning(LogComponent::App, keyringWarning);
    }
    logIfFailed(LogComponent::App, "the settings cannot be saved",
                ::saveSettings(workFile(kSettingsFileName), forIni));
    logIfFailed(LogComponent::App, "the format presets cannot be saved",
                presets.save(workFile(kPresetsFileName)));
    saveDownloadQueue();
    saveFilterLists();
    destroySideWindows();
    downloadList->clear();
    ngIdList->clear();
    extractIdList->clear();
}

fs::path CLumivoxDlg::workFile(const char* name) const {
    return fs::path(folders.workFolder) / name;
}

void CLumivoxDlg::createSideWindows() {
    listWindow = new CListDlg(*downloadList, this);
    connect(listWindow, &CListDlg::closedByUser, this, &CLumivoxDlg::ListWindowClosed);
    connect(listWindow, &CListDlg::urlQueued, this, &CLumivoxDlg::OnUrlQueued);

    commentWindow = new CCommentDlg(*ngIdList, *extractIdList, this);
    commentWindow->setPeriod(period.start, period.end);
    connect(commentWindow, &CCommentDlg::closedByUser, this, &CLumivoxDlg::CommentWindowClosed);
    connect(commentWindow, &CCommentDlg::periodStartChanged, this,
            [this](int32_t start) { period.start = start; });
    connect(commentWindow, &CCommentDlg::periodEndChanged, this,
            [this](int32_t end) { period.end = end; });

    if (isVisible()) {
        showSideWindows();
    }
}

void CLumivoxDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!sideWindowsShown && listWindow != nullptr) {
        showSideWindows();
    }
}

void CLumivoxDlg::showSideWindows() {
    sideWindowsShown = true;
    placeSideWindows();
    listWindow->setShown(settings.listWindowShown);
    commentWindow->setShown(settings.commentWindowShown);
}

void CLumivoxDlg::placeSideWindows() {
    // Beside the main window rather than over it: the filter window at its right and the list
    // below it, or, on a narrow screen, both below it side by side. The first arrangement
    // whose windows fit on the screen is centred there, the main window moving with it; when
    // none fits, the main window stays and the side windows are only kept on the screen.
    const int gap = DialogUnits(*this).x(4);
    QRect frame = frameGeometry();
    // The side windows get the main window's decoration. Before the window manager has framed
    // the main window its frame is not known yet: a title bar is assumed then.
    QSize decoration = frame.size() - geometry().size();
    if (decoration.isNull()) {
        decoration = QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
        frame.setSize(frame.size() + decoration);
    }
    const QSize commentSize = commentWindow->size() + decoration;
    const QSize listSize = listWindow->size() + decoration;
    const QRect available = screen() != nullptr ? screen()->availableGeometry() : QRect();

    struct Arrangement {
        QPoint comment;  // offsets from the main window's top left
        QPoint list;
    };
    const Arrangement arrangements[] = {
        {QPoint(frame.width() + gap, 0), QPoint(0, frame.height() + gap)},
        {QPoint(listSize.width() + gap, frame.height() + gap), QPoint(0, frame.height() + gap)},
    };
    QPoint origin = frame.topLeft();
    Arrangement chosen = arrangements[0];
    for (const Arrangement& arrangement : arrangements) {
        QRect group(QPoint(0, 0), frame.size());
        if (settings.commentWindowShown) {
            group |= QRect(arrangement.comment, commentSize);
        }
        if (settings.listWindowShown) {
            group |= QRect(arrangement.list, listSize);
        }
        if (available.isValid() && group.size() != frame.size() &&
            group.width() <= available.width() && group.height() <= available.height()) {
            chosen = arrangement;
            origin = available.topLeft() + QPoint((available.width() - group.width()) / 2,
                                                  (available.height() - group.height()) / 2);
            move(origin);
            break;
        }
    }
    const auto keepOnScreen = [&available](QPoint topLeft, const QSize& size) {
        if (available.isValid()) {
            topLeft.setX(qBound(available.left(), topLeft.x(),
                                qMax(available.left(), available.right() + 1 - size.width())));
            topLeft.setY(qBound(available.top(), topLeft.y(),
                                qMax(available.top(), available.bottom() + 1 - size.height())));
        }
        return topLeft;
    };
    commentWindow->move(keepOnScreen(origin + chosen.comment, commentSize));
    listWindow->move(keepOnScreen(origin + chosen.list, listSize));
}

void CLumivoxDlg::loadFilterLists() {
    // A list that cannot be read starts empty, as the window shows no message for it.
    logIfFailed(LogComponent::App, "the NG list cannot be read",
                ngIdList->load(workFile(kNgListFileName)));
    logIfFailed(LogComponent::App, "the extract list cannot be read",
                extractIdList->load(workFile(kExtractListFileName)));
}

void CLumivoxDlg::loadDownloadQueue(bool jobStartedFromCommandLine) {
    // Loaded also after a job from the command line started: the saved queue then follows
    // that job instead of being lost at closing.
    if (downloadList->loadAtStartUp(workFile(kDownloadQueueFileName), jobStartedFromCommandLine)) {
        TakeNext();
    }
}

void CLumivoxDlg::OnUrlQueued() {
    if (!job && !closing && !preparingLocalRender()) {
        TakeNext();
    }
}

void CLumivoxDlg::saveDownloadQueue() const {
    logIfFailed(LogComponent::App, "the download list cannot be saved",
                downloadQueue.save(workFile(kDownloadQueueFileName)));
}

void CLumivoxDlg::saveFilterLists() const {
    logIfFailed(LogComponent::App, "the extract list cannot be saved",
                extractList.save(workFile(kExtractListFileName)));
    logIfFailed(LogComponent::App, "the NG list cannot be saved",
                ngList.save(workFile(kNgListFileName)));
}

void CLumivoxDlg::destroySideWindows() {
    delete listWindow;
    listWindow = nullptr;
    delete commentWindow;
    commentWindow = nullptr;
}

bool CLumivoxDlg::askYesNo(std::string_view question) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kMessageBoxCaption),
                    QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("menuEntryQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void CLumivoxDlg::OnAddMenuEntry() {
    if (!askYesNo(kAddMenuEntryQuestion)) {
        return;
    }
    // Nothing is shown, whatever the outcome; a failure goes to the log.
    const std::unique_ptr<Registry> registry = openUserRegistry(folders.workFolder);
    logIfFailed(LogComponent::App, "the browser menu entry cannot be added",
                ::addBrowserMenuEntry(MenuEntryFolders{folders.programFolder, folders.workFolder},
                                      *registry));
}

void CLumivoxDlg::OnRemoveMenuEntry() {
    if (!askYesNo(kRemoveMenuEntryQuestion)) {
        return;
    }
    const std::unique_ptr<Registry> registry = openUserRegistry(folders.workFolder);
    logIfFailed(LogComponent::App, "the browser menu entry cannot be removed",
                ::removeBrowserMenuEntry(*registry));
}

bool CLumivoxDlg::preparingLocalRender() const {
    return commentFileDialog != nullptr || previewDialog != nullptr;
}

void CLumivoxDlg::showLocalFileMessage(const QString& text) {
    // Not modal, as the service's errors: the window stays usable while it shows.
    auto* box = new QMessageBox(QMessageBox::Information, QString::fromUtf8(kMessageBoxCaption),
                                text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("localFileMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void CLumivoxDlg::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void CLumivoxDlg::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) {
        return;
    }
    event->acceptProposedAction();
    // One video at a time: the first file dropped counts.
    OpenLocalFile(utf8(urls.first().toLocalFile()));
}

void CLumivoxDlg::OnChooseFile() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("動画ファイルの選択"), QString(),
        QStringLiteral("動画ファイル (*.mp4 *.flv *.mkv *.webm *.avi *.wmv *.mov *.m4v *.ts);;"
                       "すべてのファイル (*)"));
    if (!path.isEmpty()) {
        OpenLocalFile(utf8(path));
    }
}

void CLumivoxDlg::OpenLocalFile(const std::string& path) {
    if (closing) {
        return;
    }
    const QString name = qText(fs::path(path).filename().string());
    if (job || preparingLocalRender()) {
        showLocalFileMessage(QStringLiteral("処理中のため開けません: ") + name);
        return;
    }
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        showLocalFileMessage(QStringLiteral("ファイルがありません: ") + qText(path));
        return;
    }
    switch (localFileKindOf(path)) {
        case LocalFileKind::CommentFile:
            showLocalFileMessage(QStringLiteral("コメントファイルだけでは変換できません。"
                                                "動画ファイルをドロップしてください: ") +
                                 name);
            return;
        case LocalFileKind::Other:
            showLocalFileMessage(QStringLiteral("動画ファイルではありません: ") + name);
            return;
        case LocalFileKind::Video:
            break;
    }
    const std::string video = fs::absolute(path, error).string();
    if (const std::optional<fs::path> comments = findCommentFileFor(video)) {
        openPreview(video, comments->string());
    } else {
        askForCommentFile(video);
    }
}

void CLumivoxDlg::askForCommentFile(const std::string& videoPath) {
    commentFileDialog = new QFileDialog(
        this,
        QStringLiteral("コメントファイルの選択: ") + qText(fs::path(videoPath).filename().string()),
        qText(fs::path(videoPath).parent_path().string()),
        QStringLiteral("コメントファイル (*.json *.xml);;すべてのファイル (*)"));
    commentFileDialog->setObjectName(QStringLiteral("commentFileDialog"));
    commentFileDialog->setFileMode(QFileDialog::ExistingFile);
    commentFileDialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(commentFileDialog, &QFileDialog::fileSelected, this,
            [this, videoPath](const QString& file) {
                commentFileDialog = nullptr;  // it closes and deletes itself
                openPreview(videoPath, utf8(file));
            });
    connect(commentFileDialog, &QFileDialog::rejected, this, [this] {
        commentFileDialog = nullptr;
        TakeNext();  // what was queued meanwhile
    });
    commentFileDialog->open();
}

void CLumivoxDlg::openPreview(const std::string& videoPath, const std::string& commentPath) {
    if (closing) {
        return;
    }
    takeSettingsFromControls();
    JobRequest request = makeJobRequest();
    previewDialog = new CStillPreviewDlg(std::move(request), videoPath, commentPath, this);
    previewDialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(previewDialog, &QDialog::finished, this, [this, videoPath, commentPath](int result) {
        previewDialog = nullptr;  // it closes and deletes itself
        if (closing) {
            return;
        }
        if (result == QDialog::Accepted) {
            startLocalRender(videoPath, commentPath);
        } else {
            TakeNext();  // what was queued meanwhile
        }
    });
    makeWorkFolderCurrent();
    previewDialog->open();
}

void CLumivoxDlg::startLocalRender(const std::string& videoPath, const std::string& commentPath) {
    JobRequest request = makeJobRequest();
    request.pageUrl = videoPath;
    request.cookieStore = nullptr;  // no network stage runs
    commentNote = "コメント: " + fs::path(commentPath).filename().string();
    runJob(std::make_unique<LocalRenderJob>(std::move(request), jobSink, nextJobSerial++, videoPath,
                                            commentPath),
           kEncodingStatus);
}
