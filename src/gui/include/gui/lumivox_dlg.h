#pragma once
// The main window: the video page URL and the user's choices (save folder, output format,
// comment font and size, two options), the start and stop of jobs, the job's status and
// progress, and the URLs handed over by later starts of the program.
//
// Threads. Everything here runs on the GUI thread. The running job's worker talks to the
// window only through `jobSink`, which queues its messages onto this thread; every message
// carries its job's serial, and one whose serial is not the running job's is ignored (a late
// "done" of a stopped job only resets the progress bar while the window is idle).
//
// Life. The application creates the window, sets `startUrl`, calls OnInitDialog() and runs it.
// Closing it, by the close box, Escape or Enter, takes the closing steps: the running job is
// stopped and the settings, the presets and the lists are saved.
//
// Side windows. The window owns the download queue with its window "ダウンロードリスト"
// (CListDlg) and the comment filter's lists and period with their window "コメント抽出設定"
// (CCommentDlg). Both side windows are made at initialisation, shown with the main window when
// their flags say so, hidden and shown by the toggles "リスト" and "コメント", and destroyed only
// when the window closes. The lists live in the work folder: Ignore.sav and Extract.sav,
// download.sav; they are loaded at initialisation and saved (or deleted when empty) at closing.
// The browser menu buttons ask their question and add or remove the browser's menu entry.

#include <QDialog>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_folders.h"
#include "comments/user_id_list.h"
#include "gui/gui_job_sink.h"
#include "job/format_presets.h"
#include "job/job_request.h"
#include "job/nico_thread.h"
#include "queue/download_queue.h"
#include "service/cookie_store.h"
#include "service/service_endpoints.h"

class CCommentDlg;
class CListDlg;
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

    // The status texts of a running job.
    static constexpr const char* kDownloadingText = "ダウンロード中....";
    static constexpr const char* kEncodingText = "エンコード中...";

    explicit CLumivoxDlg(RunFolders folders, JobFactory jobFactory = {}, QWidget* parent = nullptr);
    ~CLumivoxDlg() override;

    // The URL of the command line (the whole command tail); set before OnInitDialog(). Later
    // also the last URL taken from the queue or handed over.
    std::string startUrl;

    // Initialisation: folders, font list, settings, presets, the command line's URL, the side
    // windows and the queue. Call once, before the window is shown.
    void OnInitDialog();

    // Starts a job for the URL field's text (any text, an empty one too).
    void StartJob();
    // Stops and deletes a running job (waiting for its worker), returns the window to idle and,
    // unless the window is closing, takes the next queued URL. Resets the progress bar always.
    void EndJob();

    // The hand-over of a later start: data under `tag`. Only kCopyDataUrl counts: while idle the
    // URL goes into the URL field and starts a job when it begins with "http://" in any letter
    // case; while a job runs it joins the queue.
    void OnCopyData(uint32_t tag, const QByteArray& data);
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

    // The serial of the running job; 0 while idle.
    uint64_t runningJobSerial() const { return job ? job->jobSerial() : 0; }
    bool isClosing() const { return closing != 0; }
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

    // Takes the head of the queue out, deletes its row, puts its URL into the URL field and
    // starts it when it begins with "http://". Nothing when the queue is empty.
    void TakeNext();

    // Exchanges the values of the status text, the check boxes and the toggles between the
    // members and the controls: into the members when `fromControls`, else into the controls.
    void UpdateData(bool fromControls);
    // The working values from the controls: font, save folder, size, format, options.
    void RefreshWorkingValues();

    // The URLs waiting for their job (download.sav) and the comment filter's user ID lists
    // (Ignore.sav, Extract.sav). The side windows edit them in place.
    DownloadQueue downloadQueue;
    UserIdList ngList;
    UserIdList extractList;
    // The side windows: children of this window, made by OnInitDialog, deleted at closing.
    CListDlg* listWindow = nullptr;
    CCommentDlg* commentWindow = nullptr;

    // Values of the run (GUI thread). Texts are UTF-8.
    std::string programFolder;  // holds FFmpeg and the frame filter
    std::string workFolder;     // lumivox.ini, FFmpeg.ini, the lists; the jobs' current folder
    std::string desktopFolder;
    std::string fontsFolder;  // folder of the font file of the last job, ending in '/'
    std::string fontFace;
    int32_t fontSizePt = 0;
    std::string saveFolder;
    std::string formatName;
    std::string savedFormatName;
    std::string mail;
    std::string password;
    int32_t hideOldComments = 1;
    int32_t noAutoLogin = 1;
    int32_t listWindowShown = 1;
    int32_t commentWindowShown = 1;
    int32_t periodStart = 0;
    int32_t periodEnd = 0;
    ServiceEndpoints serviceEndpoints;  // lumivox.ini's [Service]; read, never written
    // The service's cookies, kept in the work folder's jar; every job of the window uses it.
    std::unique_ptr<CookieStore> cookieStore;
    FormatPresetList presets;
    int32_t closing = 0;

    // Values exchanged with the controls by UpdateData.
    std::string statusText;
    int32_t hideOldCheck = 0;
    int32_t noAutoLoginCheck = 0;
    int32_t listToggle = 0;
    int32_t commentToggle = 0;

private:
    void buildControls();
    void connectControls();
    void fillFontCombo();
    void selectSavedFace();
    void fillFormatCombo();
    void loadSettings();
    void saveSettings() const;
    void makeWorkFolderCurrent() const;
    JobRequest makeJobRequest();
    void returnToIdle();
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
    QPushButton* startButton = nullptr;
    QPushButton* stopButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* statusLabel = nullptr;
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

    // The job.
    JobFactory jobFactory;
    GuiJobSink jobSink;
    std::unique_ptr<CNicoThread> job;  // the running job; empty while idle
    uint64_t nextJobSerial = 1;
    bool initialised = false;
    bool sideWindowsShown = false;  // shown with the main window once
    bool closed = false;            // the closing steps have run
};
