#pragma once
// The main window: the video page URL and the user's choices (save folder, output format,
// comment font and size, two options), the start and stop of jobs, the job's status and
// progress, and the URLs handed over by later starts of the program.
//
// Threads. Everything here runs on the GUI thread. The running job's worker talks to the
// window only through `jobSink`, which queues its messages onto this thread; every message
// carries its job's serial, and one whose serial is not the running job's is ignored (a late
// "done" of a job deleted at closing only resets the progress bar while the window is idle).
//
// Jobs. A job is idle, running, or stopping. Stop only asks the job to end and disables the
// controls ("停止中..."); the window never waits for the worker then. The job's "done" finishes
// the teardown and takes the next queued URL, so a URL queued or handed over meanwhile starts
// after it. Only closing the window waits for the worker, so that nothing is left behind.
//
// Life. The application creates the window, sets `startUrl`, calls OnInitDialog() and runs it.
// Closing it, by the close box, Escape or the menu, takes the closing steps: the running job is
// stopped and the settings, the presets and the lists are saved. Enter presses Start.
//
// What a job did stays shown until the next one starts: the comment counts, the end ("完了"
// with the movie and buttons to open its folder and play it, "失敗" with the reason, "中止") and
// the service's errors with whether the job went on or ended.
//
// Side windows. The window owns the download queue with its window "ダウンロードリスト"
// (CListDlg) and the comment filter's lists and period with their window "コメント抽出設定"
// (CCommentDlg). Both side windows are made at initialisation, shown with the main window when
// their flags say so, hidden and shown by the toggles "リスト" and "コメント", and destroyed only
// when the window closes. The lists live in the work folder: Ignore.sav and Extract.sav,
// download.sav; they are loaded at initialisation and saved (or deleted when empty) at closing.
// The browser menu buttons ask their question and add or remove the browser's menu entry.
//
// Local files. A video dropped on the window or chosen with "ファイル..." is rendered with the
// comment file beside it (findCommentFileFor), or one the user picks when there is none: the
// still preview (CStillPreviewDlg) shows it first, and its "開始" starts a local render job with
// the window's settings; the movie goes to the save folder under the video's name. While the
// file dialog or the preview is open, the window counts as busy: URLs handed over are queued.

#include <QDialog>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/comment_period.h"
#include "app/run_folders.h"
#include "app/secret_store.h"
#include "app/settings.h"
#include "comments/user_id_list.h"
#include "gui/gui_job_sink.h"
#include "job/format_presets.h"
#include "job/job_request.h"
#include "job/nico_thread.h"
#include "keyring/keyring_secret_store.h"
#include "queue/download_queue.h"
#include "service/cookie_store.h"

class CCommentDlg;
class DownloadListModel;
class UserIdListModel;
class GuiLogSink;
class LogSink;
class CListDlg;
class CStillPreviewDlg;
class QFileDialog;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CLumivoxDlg : public QDialog, private JobEventHandler {
    Q_OBJECT

public:
    // Makes the job object for a request. The default makes a CNicoThread, whose stages talk
    // to the service at `request.endpoints`.
    using JobFactory = std::function<std::unique_ptr<CNicoThread>(JobRequest request, JobSink& sink,
                                                                  uint64_t jobSerial)>;

    enum class JobPhase { Idle, Running, Stopping };

    explicit CLumivoxDlg(RunFolders folders, JobFactory jobFactory = {}, QWidget* parent = nullptr);
    ~CLumivoxDlg() override;

    // The URL of the command line (the whole command tail); set before OnInitDialog(). Later
    // also the last URL taken from the queue or handed over.
    std::string startUrl;

    // Initialisation: folders, font list, settings, presets, the command line's URL, the side
    // windows and the queue. Call once, before the window is shown.
    void OnInitDialog();

    // Starts a job for the URL field's text (any text, an empty one too), while idle.
    void StartJob();
    // Asks the running job to stop and returns at once; the window stays disabled until the
    // job's "done" arrives.
    void StopJob();

    // The hand-over of a later start: data under `tag`. Only kCopyDataUrl counts: while idle the
    // URL goes into the URL field and starts a job when it begins with "http://" in any letter
    // case; while a job runs it joins the queue.
    void OnCopyData(uint32_t tag, const QByteArray& data);
    // Renders the local file `path` (see "Local files" above); a comment file alone, any other
    // file, or a busy window gets a message instead. The file dialog or the preview it opens is
    // window-modal and does not block the caller.
    void OpenLocalFile(const std::string& path);
    // The still preview of the local render being prepared; null when none is open.
    CStillPreviewDlg* stillPreview() const { return previewDialog; }

    // A later start asks to see the window: restores it when it is minimised.
    void RestoreIfMinimised();

    // Called by the side windows when the user closed them with their own controls.
    void ListWindowClosed();
    void CommentWindowClosed();

    // The job's messages, as the GUI thread receives them.
    void OnJobProgress(uint64_t jobSerial, int percent) override;
    void OnEncodingBegins(uint64_t jobSerial) override;
    void OnJobDone(uint64_t jobSerial) override;
    void OnServiceError(uint64_t jobSerial, const std::string& text) override;
    void OnDownloadProgress(uint64_t jobSerial, const DownloadProgress& progress) override;
    void OnEncodingProgress(uint64_t jobSerial, const EncodingProgress& progress) override;
    void OnCommentsCounted(uint64_t jobSerial, const CommentCounts& counts) override;

    // The serial of the running job; 0 while idle.
    uint64_t runningJobSerial() const { return job ? job->jobSerial() : 0; }
    JobPhase jobPhase() const;
    bool isClosing() const { return closing; }
    // The queue and the filter lists as they stand (the side windows edit them).
    const DownloadQueue& queuedUrls() const { return downloadQueue; }
    const UserIdList& ngIds() const { return ngList; }
    const UserIdList& extractIds() const { return extractList; }

    // Every path that ends the dialog (close box, Escape, Enter, accept, reject) takes the
    // closing steps first.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The first show brings the side windows whose flags are set.
    void showEvent(QShowEvent* event) override;
    // Local files dropped on the window.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // Takes the head of the queue out, deletes its row and runs its URL (runUrl). Nothing when
    // the queue is empty.
    void TakeNext();
    // Puts `url` into the URL field and starts it when it begins with "http://".
    void runUrl(const std::string& url);

    // The URLs waiting for their job (download.sav) and the comment filter's user ID lists
    // (Ignore.sav, Extract.sav), each changed only through its item model, which the side
    // windows show and edit in place.
    DownloadQueue downloadQueue;
    UserIdList ngList;
    UserIdList extractList;
    std::unique_ptr<DownloadListModel> downloadList;
    std::unique_ptr<UserIdListModel> ngIdList;
    std::unique_ptr<UserIdListModel> extractIdList;
    // The side windows: children of this window, made by OnInitDialog, deleted at closing.
    CListDlg* listWindow = nullptr;
    CCommentDlg* commentWindow = nullptr;

    // The run's folders: the program folder (FFmpeg, the frame filter), the work folder
    // (lumivox.ini, FFmpeg.ini, the lists; the jobs' current folder) and the desktop folder.
    const RunFolders folders;
    // The user's choices: loaded at initialisation, taken from the controls when a job starts
    // and at closing, and saved then. The toggles' flags follow the side windows at once.
    Settings settings;
    CommentPeriod period;  // edited in the comment filter window; never saved
    // The service's cookies, kept in the work folder's jar; every job of the window uses it.
    std::unique_ptr<CookieStore> cookieStore;
    // Where the password and the session cookie are kept besides lumivox.ini: the keyring.
    std::unique_ptr<SecretStore> secretStore = std::make_unique<KeyringSecretStore>();
    FormatPresetList presets;
    bool closing = false;  // the closing steps have begun

private:
    void buildControls();
    void connectControls();
    void fillFontCombo();
    void selectSavedFace();
    void fillFormatCombo();
    void showSettingsInControls();
    void takeSettingsFromControls();
    void makeWorkFolderCurrent() const;
    // Makes lumivox.log of the work folder the process's log, its problems shown by logLabel.
    void openLog();
    void showLoggedProblem(const QString& line);
    JobRequest makeJobRequest() const;
    // Enables the controls for the job's phase and shows `status`.
    void showJobPhase(const char* status);
    // `status` with the local render's comment file after it, while one runs.
    QString statusText(const char* status) const;
    // Starts `newJob` (the URL job or a local render), its status line saying `status`.
    void runJob(std::unique_ptr<CNicoThread> newJob, const char* status);
    // Local files: the file dialog of "ファイル...", the question for a comment file, the
    // preview, and the job.
    void OnChooseFile();
    void askForCommentFile(const std::string& videoPath);
    void openPreview(const std::string& videoPath, const std::string& commentPath);
    void startLocalRender(const std::string& videoPath, const std::string& commentPath);
    void showLocalFileMessage(const QString& text);
    // The file dialog or the preview of a local render is open.
    bool preparingLocalRender() const;
    void returnToIdle();
    // Clears what the previous job left shown.
    void clearJobReport();
    // Shows how the job ended (nothing for a job that ended without an outcome).
    void showOutcome(const std::optional<JobOutcome>& outcome);
    // Whether the running job is `jobSerial` and not being stopped.
    bool isRunningJob(uint64_t jobSerial) const;
    void OnOpenFolder();
    void OnPlay();
    // The teardown after the running job's "done"; then the next queued URL.
    void finishJob();
    // Closing: stops the job and waits for its worker.
    void stopJobAndWait();
    void OnClose();
    void OnPassword();
    void OnBrowse();
    void OnListToggle();
    void OnCommentToggle();
    void OnAbout();

    // Side windows and lists.
    void createSideWindows();
    void placeSideWindows();
    void showSideWindows();
    void loadFilterLists();
    void loadDownloadQueue(bool jobStartedFromCommandLine);
    void OnUrlQueued();
    void saveDownloadQueue() const;
    void saveFilterLists() const;
    void destroySideWindows();
    std::filesystem::path workFile(const char* name) const;

    // The browser menu entry ("IEの右ｸﾘｯｸに追加" / "IEの右ｸﾘｯｸから削除").
    void OnAddMenuEntry();
    void OnRemoveMenuEntry();
    bool askYesNo(std::string_view question);

    // Controls.
    QLineEdit* urlEdit = nullptr;
    QPushButton* fileButton = nullptr;  // "ファイル...": a local video to render
    QPushButton* startButton = nullptr;
    QPushButton* stopButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* statusLabel = nullptr;
    QLabel* logLabel = nullptr;
    QLabel* progressLabel = nullptr;      // percent, speed and time left of the stage
    QLabel* commentCountLabel = nullptr;  // the comment counts, and why none is drawn
    QLabel* resultLabel = nullptr;        // "完了: PATH", "失敗: REASON", "中止"
    QPushButton* openFolderButton = nullptr;
    QPushButton* playButton = nullptr;
    QLabel* serviceErrorLabel = nullptr;  // the service's last error and what the job did next
    QLineEdit* saveFolderEdit = nullptr;
    QPushButton* browseButton = nullptr;
    QComboBox* formatCombo = nullptr;
    QComboBox* fontCombo = nullptr;
    QLineEdit* fontSizeEdit = nullptr;
    QCheckBox* hideOldBox = nullptr;
    QCheckBox* noAutoLoginBox = nullptr;
    QPushButton* passwordButton = nullptr;
    QPushButton* listToggleButton = nullptr;
    QPushButton* commentToggleButton = nullptr;
    QPushButton* addMenuEntryButton = nullptr;
    QPushButton* removeMenuEntryButton = nullptr;

    // The log, installed as the process's while the window lives.
    std::unique_ptr<GuiLogSink> logSink;
    LogSink* previousLogSink = nullptr;

    // The job.
    JobFactory jobFactory;
    GuiJobSink jobSink;
    std::unique_ptr<CNicoThread> job;  // the running or stopping job; empty while idle
    bool stopping = false;             // the job was asked to stop; its "done" is awaited
    std::string serviceErrorText;      // the running job's last service error; empty: none
    std::string lastMoviePath;         // the movie of the last job that succeeded
    uint64_t nextJobSerial = 1;
    // The local render being prepared: children of the window, deleted when they close.
    QFileDialog* commentFileDialog = nullptr;
    CStillPreviewDlg* previewDialog = nullptr;
    std::string commentNote;  // "コメント: NAME" while a local render runs; empty otherwise
    bool initialised = false;
    bool sideWindowsShown = false;  // shown with the main window once
};
