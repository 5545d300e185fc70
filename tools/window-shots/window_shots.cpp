// lumivox-window-shots OUT_FOLDER URL UNUSABLE_SAVE_FOLDER: opens the main window on the work
// folder of LUMIVOX_HOME and saves PNG pictures of it into OUT_FOLDER: idle.png before any job,
// running.png while the job for URL encodes, finished.png when it has ended, and failed.png
// after a second job for URL with UNUSABLE_SAVE_FOLDER, a folder that cannot be made, as its
// save folder. The jobs are real: the service, the encoder and the frame filter
// of the program folder do their work. Exit status 0 when every picture was saved.

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "app/run_folders.h"
#include "gui/japanese_qt_texts.h"
#include "gui/lumivox_dlg.h"

namespace {

constexpr int kPatienceMs = 180000;

bool save(QWidget& window, const QString& folder, const char* name) {
    const QString path = folder + QLatin1Char('/') + QString::fromUtf8(name);
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "lumivox-window-shots: cannot save %s\n", path.toUtf8().constData());
        return false;
    }
    std::printf("%s\n", path.toUtf8().constData());
    return true;
}

void startJob(CLumivoxDlg& window, const char* url) {
    window.findChild<QLineEdit*>(QStringLiteral("urlEdit"))->setText(QString::fromUtf8(url));
    window.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
}

// Runs the window's events until `condition` holds; false after kPatienceMs.
bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > kPatienceMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: lumivox-window-shots OUT_FOLDER URL UNUSABLE_SAVE_FOLDER\n");
        return 2;
    }
    QApplication application(argc, argv);
    installJapaneseQtTexts(application);
    std::string error;
    const std::optional<RunFolders> folders = discoverRunFolders(error);
    if (!folders) {
        std::fprintf(stderr, "lumivox-window-shots: %s\n", error.c_str());
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    CLumivoxDlg window(*folders);
    window.OnInitDialog();
    window.show();
    waitFor([] {
        static QElapsedTimer shown;
        if (!shown.isValid()) {
            shown.start();
        }
        return shown.elapsed() > 300;  // the window manager has drawn it
    });
    bool saved = save(window, out, "idle.png");

    startJob(window, argv[2]);
    const auto* status = window.findChild<QLabel*>(QStringLiteral("statusText"));
    const auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    // Encoding past its first tenth, so that the picture shows the speed and the time left.
    const bool encoding = waitFor([&] {
        return status->text().startsWith(QStringLiteral("エンコード中")) && bar->value() >= 10;
    });
    saved = encoding && save(window, out, "running.png") && saved;
    saved = waitFor([&] { return window.jobPhase() == CLumivoxDlg::JobPhase::Idle; }) &&
            save(window, out, "finished.png") && saved;

    window.findChild<QLineEdit*>(QStringLiteral("saveFolderEdit"))
        ->setText(QString::fromLocal8Bit(argv[3]));
    startJob(window, argv[2]);
    saved = waitFor([&] { return window.jobPhase() == CLumivoxDlg::JobPhase::Idle; }) &&
            save(window, out, "failed.png") && saved;
    window.close();
    return saved ? 0 : 1;
}
