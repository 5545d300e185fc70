// lumivox-window-shots OUT_FOLDER URL UNUSABLE_SAVE_FOLDER: opens the main window on the work
// folder of LUMIVOX_HOME and saves PNG pictures of it into OUT_FOLDER: idle.png before any job,
// running.png while the job for URL encodes, finished.png when it has ended, and failed.png
// after a second job for URL with UNUSABLE_SAVE_FOLDER, a folder that cannot be made, as its
// save folder. The jobs are real: the service, the encoder and the frame filter
// of the program folder do their work. Exit status 0 when every picture was saved.
//
// lumivox-window-shots --fit OUT_FOLDER: opens the main window (and the side windows the settings
// show) and checks that each lies wholly within the screen's available area, as at a desktop's
// scaling (QT_SCALE_FACTOR); saves idle.png. Exit status 0 when every window fits.

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
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

// Prints each shown window's frame against its screen's available area; true when all fit.
bool windowsFitOnTheScreen() {
    bool fit = true;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->screen() == nullptr) {
            continue;
        }
        const QRect frame = window->frameGeometry();
        const QRect available = window->screen()->availableGeometry();
        const bool inside = available.contains(frame);
        const QString name = window->objectName().isEmpty()
                                 ? QString::fromUtf8(window->metaObject()->className())
                                 : window->objectName();
        std::printf("%-16s %4dx%-4d at %d,%d on %dx%d (scale %.2f): %s\n",
                    name.toUtf8().constData(), frame.width(), frame.height(), frame.x(), frame.y(),
                    available.width(), available.height(), window->devicePixelRatioF(),
                    inside ? "fits" : "DOES NOT FIT");
        fit = fit && inside;
    }
    return fit;
}

void waitUntilDrawn() {
    waitFor([] {
        static QElapsedTimer shown;
        if (!shown.isValid()) {
            shown.start();
        }
        return shown.elapsed() > 300;  // the window manager has drawn it
    });
}

}  // namespace

int main(int argc, char** argv) {
    const bool fitOnly = argc == 3 && std::string(argv[1]) == "--fit";
    if (argc != 4 && !fitOnly) {
        std::fprintf(stderr,
                     "usage: lumivox-window-shots OUT_FOLDER URL UNUSABLE_SAVE_FOLDER\n"
                     "       lumivox-window-shots --fit OUT_FOLDER\n");
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
    const QString out = QString::fromLocal8Bit(argv[fitOnly ? 2 : 1]);
    CLumivoxDlg window(*folders);
    window.OnInitDialog();
    window.show();
    waitUntilDrawn();
    bool saved = save(window, out, "idle.png");
    if (fitOnly) {
        const bool fit = windowsFitOnTheScreen();
        window.close();
        return saved && fit ? 0 : 1;
    }

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
