#include "gui/lumivox_app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <utility>

#include "app/run_folders.h"
#include "app/url_hand_over.h"
#include "gui/japanese_qt_texts.h"
#include "gui/lumivox_dlg.h"
#include "gui/program_icon.h"
#include "gui/single_instance.h"
#include "platform/stop_signals.h"

namespace {

constexpr const char* kProgramName = "lumivox";
// How often the main window looks for a termination request (SIGTERM at logout, Ctrl-C).
constexpr int kStopSignalPollMs = 200;

}  // namespace

CLumivoxApp::CLumivoxApp(std::vector<std::string> arguments, QString serverPath)
    : commandLine(commandLineUrl(arguments)), serverPath(std::move(serverPath)) {}

int CLumivoxApp::InitInstance(char* programName) {
    SingleInstance instance(serverPath);
    switch (instance.claim()) {
        case SingleInstance::Role::Second:
            return handOver(programName);
        case SingleInstance::Role::First:
            return runMainWindow(programName, instance, true);
        case SingleInstance::Role::Unguarded:
            break;
    }
    return runMainWindow(programName, instance, false);
}

int CLumivoxApp::handOver(char* programName) const {
    // Qt sees only the program's name: the command tail is the URL, not options for Qt.
    int argc = 1;
    char* argv[] = {programName, nullptr};
    ignoreBrokenPipeSignal();  // an instance that goes away mid-hand-over is no crash
    QCoreApplication core(argc, argv);
    if (!SingleInstance::handOver(serverPath, commandLine)) {
        std::fprintf(stderr, "%s: the running instance did not answer%s\n", kProgramName,
                     commandLine.empty() ? "" : "; the URL was not handed over");
    }
    return 0;
}

int CLumivoxApp::runMainWindow(char* programName, SingleInstance& instance, bool guarded) {
    // A termination request closes the window through its closing steps, so that the settings
    // are saved and a running job is stopped; a second one ends the program at once.
    installStopSignalHandlers(SecondStopSignal::EndsProcess);
    ignoreBrokenPipeSignal();
    int argc = 1;
    char* argv[] = {programName, nullptr};
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kProgramName));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(kProgramName));
    QApplication::setWindowIcon(programIcon());
    installJapaneseQtTexts(application);
    // Without a server path (no private runtime folder) main() has said why there is no guard.
    const bool haveServerPath = !serverPath.isEmpty();
    if (haveServerPath && !instance.listen()) {
        std::fprintf(stderr, "%s: cannot listen at %s; later starts cannot hand their URL over\n",
                     kProgramName, serverPath.toLocal8Bit().constData());
    } else if (haveServerPath && !guarded) {
        std::fprintf(stderr, "%s: the instance lock cannot be taken; running without it\n",
                     kProgramName);
    }

    std::string error;
    const std::optional<RunFolders> folders = discoverRunFolders(error);
    if (!folders) {
        QMessageBox::critical(
            nullptr, QString::fromUtf8(kProgramName),
            QStringLiteral("作業フォルダを用意できません。\n") + QString::fromStdString(error));
        return 1;
    }
    CLumivoxDlg dialog(*folders);
    dialog.startUrl = commandLine;
    connectInstance(instance, dialog);
    dialog.OnInitDialog();
    QTimer stopRequests;
    QObject::connect(&stopRequests, &QTimer::timeout, &dialog, [&dialog] {
        if (receivedStopSignal() != 0) {
            dialog.close();
        }
    });
    stopRequests.start(kStopSignalPollMs);
    dialog.exec();
    return 0;
}

void CLumivoxApp::connectInstance(SingleInstance& instance, CLumivoxDlg& dialog) {
    // Direct connections: the sender's answer goes out after the window has handled its data.
    QObject::connect(&instance, &SingleInstance::activationRequested, &dialog,
                     &CLumivoxDlg::RestoreIfMinimised);
    QObject::connect(
        &instance, &SingleInstance::dataReceived, &dialog,
        [&dialog](quint32 tag, const QByteArray& data) { dialog.OnCopyData(tag, data); });
}
