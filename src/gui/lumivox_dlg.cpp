#include "gui/lumivox_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "app/comment_period.h"
#include "app/font_faces.h"
#include "app/settings.h"
#include "app/url_hand_over.h"
#include "gui/about_dlg.h"
#include "gui/comment_dlg.h"
#include "gui/dialog_units.h"
#include "gui/list_dlg.h"
#include "gui/password_dlg.h"
#include "gui/program_icon.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/text_conv.h"
#include "shell/browser_menu_entry.h"
#include "text/font_locator.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kCaption = "ルミヴォクス　ver0.6";
constexpr const char* kAboutCommand = "lumivox のﾊﾞｰｼﾞｮﾝ情報(&A)...";
constexpr const char* kPresetsFileName = "FFmpeg.ini";
constexpr const char* kMessageBoxCaption = "lumivox";
constexpr const char* kQueueFileName = "download.sav";
constexpr const char* kNgListFileName = "Ignore.sav";
constexpr const char* kExtractListFileName = "Extract.sav";

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

CLumivoxDlg::JobFactory defaultJobFactory() {
    return [](JobRequest request, JobSink& sink, uint64_t jobSerial) {
        return std::make_unique<CNicoThread>(std::move(request), sink, jobSerial);
    };
}

}  // namespace

CLumivoxDlg::CLumivoxDlg(RunFolders folders, JobFactory jobFactory, QWidget* parent)
    : QDialog(parent),
      programFolder(std::move(folders.programFolder)),
      workFolder(std::move(folders.workFolder)),
      desktopFolder(std::move(folders.desktopFolder)),
      fontFace(kDefaultFontFace),
      jobFactory(jobFactory ? std::move(jobFactory) : defaultJobFactory()),
      jobSink(*this, *this) {
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildControls();
    connectControls();
}

CLumivoxDlg::~CLumivoxDlg() {
    // A window destroyed without its closing steps still never leaves a worker behind.
    CNicoThread::StopAndDelete(job);
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

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);

    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusText"));
    statusLabel->setMinimumHeight(units.y(15));
    statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

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
    // folder across the wide second one, the image buttons at the right, and below them the
    // format, the font with its size, the two options and the row of buttons.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(units.x(3));
    grid->setVerticalSpacing(units.y(5));
    grid->setColumnMinimumWidth(0, units.x(22));
    grid->setColumnStretch(1, 1);
    grid->addWidget(centredLabel("URL", this), 0, 0);
    grid->addWidget(urlEdit, 0, 1);
    grid->addWidget(startButton, 0, 2);
    grid->addWidget(stopButton, 0, 3);
    grid->addWidget(progressBar, 1, 1);
    grid->addWidget(statusLabel, 2, 1, 1, 2);
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
    setContextMenuPolicy(Qt::ActionsContextMenu);

    resize(qMax(units.x(331), sizeHint().width()), qMax(units.y(165), sizeHint().height()));
}

void CLumivoxDlg::connectControls() {
    connect(startButton, &QPushButton::clicked, this, &CLumivoxDlg::StartJob);
    connect(stopButton, &QPushButton::clicked, this, &CLumivoxDlg::EndJob);
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

    job.reset();
    if (!startUrl.empty()) {
        urlEdit->setText(qText(startUrl));
    }
    progressBar->setRange(0, 100);
    progressBar->setValue(0);

    makeWorkFolderCurrent();
    cookieStore = std::make_unique<CookieStore>(fs::path(workFolder) / CookieStore::kJarFileName);
    saveFolder = desktopFolder;

    fillFontCombo();
    loadSettings();

    // The loaded values into the controls.
    saveFolderEdit->setText(qText(saveFolder));
    fontSizeEdit->setText(QString::number(fontSizePt));
    hideOldCheck = hideOldComments;
    noAutoLoginCheck = noAutoLogin;
    selectSavedFace();
    listToggle = listWindowShown == 1 ? 1 : 0;
    commentToggle = commentWindowShown == 1 ? 1 : 0;

    const CommentPeriod period = defaultCommentPeriod(std::time(nullptr));
    periodStart = period.start;
    periodEnd = period.end;

    presets.loadOrBuiltIn(fs::path(workFolder) / kPresetsFileName);
    fillFormatCombo();

    UpdateData(false);

    bool startedFromCommandLine = false;
    if (!startUrl.empty() && beginsWithHttp(startUrl)) {
        StartJob();
        startedFromCommandLine = true;
    }

    createSideWindows();
    loadFilterLists();
    loadDownloadQueue(startedFromCommandLine);

    closing = 0;
    urlEdit->setFocus();
}

void CLumivoxDlg::makeWorkFolderCurrent() const {
    std::error_code ignored;
    fs::current_path(workFolder, ignored);
}

void CLumivoxDlg::fillFontCombo() {
    fontCombo->clear();
    for (const std::string& face : installedFaceList()) {
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
    // The stand-in is asked for only when the saved face is not installed.
    const std::string substitute =
        findFace(faces, fontFace) ? std::string() : substituteFace(fontFace);
    fontCombo->setCurrentIndex(static_cast<int>(faceItemForSavedFace(faces, fontFace, substitute)));
}

void CLumivoxDlg::fillFormatCombo() {
    formatCombo->clear();
    for (const std::string& name : presets.names()) {
        formatCombo->addItem(qText(name));
    }
    if (formatCombo->count() > 0) {
        formatCombo->setCurrentIndex(static_cast<int>(presets.indexOfName(savedFormatName)));
    }
}

void CLumivoxDlg::loadSettings() {
    // A file that cannot be read gives the defaults; the window shows nothing of it.
    std::string warning;
    const Settings settings =
        ::loadSettings(fs::path(workFolder) / kSettingsFileName, desktopFolder, &warning);
    if (!warning.empty()) {
        logWarning(LogComponent::App, warning);
    }
    saveFolder = settings.saveFolder;
    fontFace = settings.fontFace;
    fontSizePt = settings.fontSizePt;
    mail = settings.mail;
    password = settings.password;
    savedFormatName = settings.formatName;
    formatName = settings.formatName;
    hideOldComments = settings.hideOldComments;
    noAutoLogin = settings.noAutoLogin;
    listWindowShown = settings.listWindowShown;
    commentWindowShown = settings.commentWindowShown;
    serviceEndpoints = settings.service;
}

void CLumivoxDlg::saveSettings() const {
    Settings settings = defaultSettings(desktopFolder);
    settings.saveFolder = saveFolder;
    settings.fontFace = fontFace;
    settings.fontSizePt = fontSizePt;
    settings.mail = mail;
    settings.password = password;
    settings.formatName = savedFormatName;
    settings.hideOldComments = hideOldComments;
    settings.noAutoLogin = noAutoLogin;
    settings.listWindowShown = listWindowShown;
    settings.commentWindowShown = commentWindowShown;
    logIfFailed(LogComponent::App, "the settings cannot be saved",
                ::saveSettings(fs::path(workFolder) / kSettingsFileName, settings));
}

void CLumivoxDlg::UpdateData(bool fromControls) {
    if (fromControls) {
        statusText = utf8(statusLabel->text());
        hideOldCheck = hideOldBox->isChecked() ? 1 : 0;
        noAutoLoginCheck = noAutoLoginBox->isChecked() ? 1 : 0;
        listToggle = listToggleButton->isChecked() ? 1 : 0;
        commentToggle = commentToggleButton->isChecked() ? 1 : 0;
    } else {
        statusLabel->setText(qText(statusText));
        hideOldBox->setChecked(hideOldCheck == 1);
        noAutoLoginBox->setChecked(noAutoLoginCheck == 1);
        listToggleButton->setChecked(listToggle == 1);
        commentToggleButton->setChecked(commentToggle == 1);
    }
}

void CLumivoxDlg::RefreshWorkingValues() {
    if (fontCombo->currentIndex() >= 0) {
        fontFace = utf8(fontCombo->currentText());
    }
    saveFolder = utf8(saveFolderEdit->text());
    fontSizePt = stringToInt32(utf8(fontSizeEdit->text()));
    if (formatCombo->currentIndex() >= 0) {
        formatName = utf8(formatCombo->currentText());
        savedFormatName = formatName;
    }
    hideOldComments = hideOldCheck;
    noAutoLogin = noAutoLoginCheck;
}

JobRequest CLumivoxDlg::makeJobRequest() {
    JobRequest request;
    request.pageUrl = utf8(urlEdit->text());
    request.mail = mail;
    request.password = password;
    request.saveFolder = saveFolder;
    request.workFolder = withTrailingSeparator(workFolder);
    request.programFolder = programFolder;
    request.fontSizePt = fontSizePt;
    request.fontFace = fontFace;
    request.hideOldComments = hideOldComments;
    request.noAutoLogin = noAutoLogin;
    const FontLocation font = locateFontFace(fontFace);
    fontsFolder = font.folder;
    request.fontsFolder = font.folder;
    request.fontFile = font.fileName;
    request.fontFaceIndex = font.faceIndex;
    request.formatTemplate = presets.templateForName(formatName);
    request.ngList = ngList.texts();
    request.extractList = extractList.texts();
    request.periodStart = periodStart;
    request.periodEnd = periodEnd;
    request.endpoints = serviceEndpoints;
    request.cookieStore = cookieStore.get();
    return request;
}

void CLumivoxDlg::StartJob() {
    if (job || closing != 0) {
        return;  // one job at a time (a second start waits in the queue), none while closing
    }
    startButton->setEnabled(false);
    stopButton->setEnabled(true);
    UpdateData(true);
    RefreshWorkingValues();

    JobRequest request = makeJobRequest();
    job = jobFactory(std::move(request), jobSink, nextJobSerial++);
    if (!job) {
        returnToIdle();
        return;
    }
    statusText = kDownloadingText;
    UpdateData(false);
    makeWorkFolderCurrent();
    if (!job->start()) {
        // No thread, so no message of the job will come: back to idle at once.
        CNicoThread::StopAndDelete(job);
        returnToIdle();
        return;
    }
    urlEdit->setEnabled(false);
}

void CLumivoxDlg::returnToIdle() {
    startButton->setEnabled(true);
    stopButton->setEnabled(false);
    urlEdit->setEnabled(true);
    statusText.clear();
    UpdateData(false);
    progressBar->setValue(0);
}

void CLumivoxDlg::EndJob() {
    if (job) {
        CNicoThread::StopAndDelete(job);
        job.reset();
        startButton->setEnabled(true);
        stopButton->setEnabled(false);
        urlEdit->setEnabled(true);
        statusText.clear();
        UpdateData(false);
        if (!downloadQueue.empty() && closing == 0) {
            TakeNext();
        }
    }
    progressBar->setValue(0);
}

void CLumivoxDlg::TakeNext() {
    std::optional<DownloadEntry> entry = downloadQueue.takeNext();
    if (!entry) {
        return;
    }
    if (listWindow != nullptr) {
        listWindow->RemoveRowOf(entry->id);
    }
    const std::string url = std::move(entry->url);
    urlEdit->setText(qText(url));
    if (!url.empty()) {
        startUrl = url;
        if (beginsWithHttp(url)) {
            StartJob();
        }
    }
}

void CLumivoxDlg::OnJobProgress(uint64_t jobSerial, int percent) {
    if (jobSerial != runningJobSerial() || jobSerial == 0) {
        return;
    }
    if (percent >= 1 && percent <= 100) {
        progressBar->setValue(percent);
    }
}

void CLumivoxDlg::OnEncodingBegins(uint64_t jobSerial) {
    if (jobSerial != runningJobSerial() || jobSerial == 0) {
        return;
    }
    progressBar->setValue(0);
    statusText = kEncodingText;
    UpdateData(false);
}

void CLumivoxDlg::OnJobDone(uint64_t jobSerial) {
    if (jobSerial != 0 && jobSerial == runningJobSerial()) {
        EndJob();
    } else if (!job) {
        // The "done" of a job stopped earlier, while no other job runs.
        progressBar->setValue(0);
    }
}

void CLumivoxDlg::OnServiceError(uint64_t jobSerial, const std::string& text) {
    if (jobSerial == 0 || jobSerial != runningJobSerial()) {
        return;
    }
    // Not modal to the application: the worker does not wait for it, and the window stays
    // usable (Stop) while it shows.
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromUtf8(kMessageBoxCaption),
                                qText(text), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("serviceErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void CLumivoxDlg::OnCopyData(uint32_t tag, const QByteArray& data) {
    if (tag != kCopyDataUrl || closing != 0) {
        return;  // a URL that arrives while the window closes has no window left to go to
    }
    const std::string url =
        receivedHandOverText(std::string_view(data.constData(), static_cast<size_t>(data.size())));
    if (job) {
        const int32_t id = downloadQueue.queueUrl(url, std::time(nullptr));
        if (listWindow != nullptr) {
            listWindow->AppendRow(*downloadQueue.find(id));
        }
        return;
    }
    urlEdit->setText(qText(url));
    if (!url.empty()) {
        startUrl = url;
        if (beginsWithHttp(url)) {
            StartJob();
        }
    }
}

void CLumivoxDlg::RestoreIfMinimised() {
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        showNormal();
        activateWindow();
    }
}

void CLumivoxDlg::ListWindowClosed() {
    listToggle = 0;
    listWindowShown = 0;
    UpdateData(false);
}

void CLumivoxDlg::CommentWindowClosed() {
    commentToggle = 0;
    commentWindowShown = 0;
    UpdateData(false);
}

void CLumivoxDlg::OnListToggle() {
    UpdateData(true);
    listWindowShown = listToggle;
    if (listWindow != nullptr) {
        listWindow->setShown(listToggle == 1);
    }
}

void CLumivoxDlg::OnCommentToggle() {
    UpdateData(true);
    commentWindowShown = commentToggle;
    if (commentWindow != nullptr) {
        commentWindow->setShown(commentToggle == 1);
    }
}

void CLumivoxDlg::OnPassword() {
    CPasswordDlg dialog(this);
    dialog.mail = mail;
    dialog.password = password;
    if (dialog.exec() == QDialog::Accepted) {
        mail = dialog.mail;
        password = dialog.password;
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
    // Enter (unless a focused button takes it) and Escape close the window through the
    // closing steps, so that nothing typed is lost and a running job is stopped.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if ((enter || event->key() == Qt::Key_Escape) && plain) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CLumivoxDlg::closeEvent(QCloseEvent* event) {
    if (!closed) {
        closed = true;
        OnClose();
    }
    QDialog::closeEvent(event);
}

void CLumivoxDlg::done(int result) {
    if (!closed) {
        closed = true;
        OnClose();
    }
    QDialog::done(result);
}

void CLumivoxDlg::OnClose() {
    closing = 1;
    EndJob();
    // What is still being typed into a side window's list counts (it starts no job now).
    if (listWindow != nullptr) {
        listWindow->commitOpenEdits();
    }
    if (commentWindow != nullptr) {
        commentWindow->commitOpenEdits();
    }
    UpdateData(true);
    RefreshWorkingValues();
    saveSettings();
    logIfFailed(LogComponent::App, "the format presets cannot be saved",
                presets.save(fs::path(workFolder) / kPresetsFileName));
    saveDownloadQueue();
    saveFilterLists();
    destroySideWindows();
    downloadQueue = DownloadQueue();
    ngList = UserIdList();
    extractList = UserIdList();
}

fs::path CLumivoxDlg::workFile(const char* name) const {
    return fs::path(workFolder) / name;
}

void CLumivoxDlg::createSideWindows() {
    listWindow = new CListDlg(downloadQueue, this);
    connect(listWindow, &CListDlg::closedByUser, this, &CLumivoxDlg::ListWindowClosed);
    connect(listWindow, &CListDlg::urlQueued, this, &CLumivoxDlg::OnUrlQueued);

    commentWindow = new CCommentDlg(ngList, extractList, this);
    commentWindow->setPeriod(periodStart, periodEnd);
    connect(commentWindow, &CCommentDlg::closedByUser, this, &CLumivoxDlg::CommentWindowClosed);
    connect(commentWindow, &CCommentDlg::periodStartChanged, this,
            [this](int32_t start) { periodStart = start; });
    connect(commentWindow, &CCommentDlg::periodEndChanged, this,
            [this](int32_t end) { periodEnd = end; });

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
    listWindow->setShown(listWindowShown == 1);
    commentWindow->setShown(commentWindowShown == 1);
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
        if (commentWindowShown == 1) {
            group |= QRect(arrangement.comment, commentSize);
        }
        if (listWindowShown == 1) {
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
                ngList.load(workFile(kNgListFileName)));
    logIfFailed(LogComponent::App, "the extract list cannot be read",
                extractList.load(workFile(kExtractListFileName)));
    for (const UserIdEntry& entry : extractList.entries()) {
        commentWindow->AppendExtractRow(entry);
    }
    for (const UserIdEntry& entry : ngList.entries()) {
        commentWindow->AppendNgRow(entry);
    }
}

void CLumivoxDlg::loadDownloadQueue(bool jobStartedFromCommandLine) {
    // Loaded also after a job from the command line started: the saved queue then follows
    // that job instead of being lost at closing.
    const bool takeNow =
        loadQueueAtStartUp(downloadQueue, workFile(kQueueFileName), jobStartedFromCommandLine);
    for (const DownloadEntry& entry : downloadQueue.entries()) {
        listWindow->AppendRow(entry);
    }
    if (takeNow) {
        TakeNext();
    }
}

void CLumivoxDlg::OnUrlQueued() {
    if (!job && closing == 0) {
        TakeNext();
    }
}

void CLumivoxDlg::saveDownloadQueue() const {
    logIfFailed(LogComponent::App, "the download list cannot be saved",
                downloadQueue.save(workFile(kQueueFileName)));
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
    const std::unique_ptr<Registry> registry = openUserRegistry(workFolder);
    logIfFailed(LogComponent::App, "the browser menu entry cannot be added",
                ::addBrowserMenuEntry(MenuEntryFolders{programFolder, workFolder}, *registry));
}

void CLumivoxDlg::OnRemoveMenuEntry() {
    if (!askYesNo(kRemoveMenuEntryQuestion)) {
        return;
    }
    const std::unique_ptr<Registry> registry = openUserRegistry(workFolder);
    logIfFailed(LogComponent::App, "the browser menu entry cannot be removed",
                ::removeBrowserMenuEntry(*registry));
}
