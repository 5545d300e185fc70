// One instance per user, with the built program as the later start: it hands its URL (the whole
// command tail) to the running instance and ends with status 0, having read and written no file;
// a start without URL restores a minimised window; a later start waits for an instance that is
// still starting; and an instance that crashed does not keep the next one from running.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <filesystem>
#include <memory>
#include <string>

#include "app/url_hand_over.h"
#include "gui/lumivox_app.h"
#include "gui/single_instance.h"
#include "gui_test_support.h"
#include "platform/user_session.h"

using namespace gui_test;

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    SingleInstanceTest() {
        for (const char* name : {"runtime", "home", "work"}) {
            std::filesystem::create_directories(session / name);
        }
        ::chmod((session / "runtime").c_str(), 0700);
    }

    QString serverPath() const {
        return SingleInstance::serverPathFor(QString::fromStdString((session / "runtime").string()),
                                             QString::fromStdString(userKey()));
    }

    // The built program, in this test's own session: its runtime folder, home and work folder.
    std::unique_ptr<QProcess> startProgram(const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                           QString::fromStdString((session / "runtime").string()));
        environment.insert(QStringLiteral("HOME"),
                           QString::fromStdString((session / "home").string()));
        environment.insert(QStringLiteral("LUMIVOX_HOME"),
                           QString::fromStdString((session / "work").string()));
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(LUMIVOX_PROGRAM_DIR "/lumivox"), arguments);
        EXPECT_TRUE(process->waitForStarted(kPatienceMs));
        return process;
    }

    // Waits for the program's end while this process keeps handling its own events (it may be
    // the running instance the program talks to).
    static bool waitForEnd(QProcess& process) {
        return waitUntil([&] { return process.state() == QProcess::NotRunning; });
    }

    // True when an instance listens at the session's socket.
    bool someoneListens() const {
        QLocalSocket probe;
        probe.connectToServer(serverPath());
        const bool connected = probe.waitForConnected(200);
        probe.abort();
        return connected;
    }

    // This process as the running instance, with a main window whose jobs the test drives.
    void becomeTheRunningInstance(bool listen = true) {
        instance = std::make_unique<SingleInstance>(serverPath());
        ASSERT_EQ(instance->claim(), SingleInstance::Role::First);
        if (listen) {
            ASSERT_TRUE(instance->listen());
        }
        window = std::make_unique<CLumivoxDlg>(folders.runFolders(), drivenJobs(drive));
        CLumivoxApp::connectInstance(*instance, *window);
        window->OnInitDialog();
    }

    QString urlField() const { return control<QLineEdit>(*window, "urlEdit")->text(); }

    CurrentFolderGuard currentFolder;
    TempFolder session;
    WindowFolders folders;
    JobDrive drive;
    std::unique_ptr<SingleInstance> instance;
    std::unique_ptr<CLumivoxDlg> window;
};

TEST_F(SingleInstanceTest, ASecondStartHandsItsWholeCommandTailOverAndEnds) {
    becomeTheRunningInstance();
    auto second = startProgram({QStringLiteral("\"quoted\""), QStringLiteral("two  blanks")});
    ASSERT_TRUE(waitForEnd(*second));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(urlField(), QStringLiteral("\"quoted\" two  blanks"));
    EXPECT_EQ(stateOf(*window), kIdle) << "the text does not begin with http://";
    // The instance that only handed over read and wrote no file.
    EXPECT_TRUE(std::filesystem::is_empty(session / "home"));
    EXPECT_TRUE(std::filesystem::is_empty(session / "work"));

    // A long tail arrives cut to 1023 bytes.
    const std::string url = "ftp://example.com/" + std::string(1500, 'x');
    auto third = startProgram({QString::fromStdString(url)});
    ASSERT_TRUE(waitForEnd(*third));
    EXPECT_EQ(urlField().toStdString(), url.substr(0, kMaxHandOverUrlBytes));
}

TEST_F(SingleInstanceTest, AnHttpUrlHandedOverStartsAJobInTheRunningInstance) {
    becomeTheRunningInstance();
    auto second = startProgram({QStringLiteral("HTTP://www.nicovideo.jp/watch/sm9")});
    ASSERT_TRUE(waitForEnd(*second));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(stateOf(*window), kDownloading);
    ASSERT_EQ(drive.requests().size(), 1u);
    EXPECT_EQ(drive.requests()[0].pageUrl, "HTTP://www.nicovideo.jp/watch/sm9");

    // A second hand-over while the job runs waits in the queue.
    auto third = startProgram({QStringLiteral("http://www.nicovideo.jp/watch/sm10")});
    ASSERT_TRUE(waitForEnd(*third));
    EXPECT_EQ(third->exitCode(), 0);
    EXPECT_EQ(drive.requests().size(), 1u);
    stopAndWait(*window);
    ASSERT_EQ(drive.requests().size(), 2u);
    EXPECT_EQ(drive.requests()[1].pageUrl, "http://www.nicovideo.jp/watch/sm10");
    window->close();
}

TEST_F(SingleInstanceTest, AStartWithoutUrlRestoresAMinimisedWindowAndSendsNothing) {
    becomeTheRunningInstance();
    control<QLineEdit>(*window, "urlEdit")->setText(QStringLiteral("kept"));
    window->showMinimized();
    ASSERT_TRUE(window->isMinimized());
    auto second = startProgram({});
    ASSERT_TRUE(waitForEnd(*second));
    EXPECT_EQ(second->exitCode(), 0);
    ASSERT_TRUE(waitUntil([&] { return !window->isMinimized(); }));
    EXPECT_EQ(urlField(), QStringLiteral("kept"));
    EXPECT_TRUE(drive.requests().empty());
}

TEST_F(SingleInstanceTest, ASecondStartWaitsForAnInstanceThatIsStillStarting) {
    becomeTheRunningInstance(false);
    auto second = startProgram({QStringLiteral("still-starting")});
    // The running instance holds the lock but does not listen yet; the later start keeps trying.
    QTest::qWait(700);
    EXPECT_EQ(second->state(), QProcess::Running);
    ASSERT_TRUE(instance->listen());
    ASSERT_TRUE(waitForEnd(*second));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(urlField(), QStringLiteral("still-starting"));
}

TEST_F(SingleInstanceTest, ACrashedInstanceDoesNotKeepTheNextOneFromRunning) {
    auto crashed = startProgram({});
    ASSERT_TRUE(waitUntil([&] { return someoneListens(); }));
    crashed->kill();  // SIGKILL: no chance to clean up
    ASSERT_TRUE(crashed->waitForFinished(kPatienceMs));
    EXPECT_TRUE(std::filesystem::exists(serverPath().toStdString()))
        << "the crashed instance left its socket behind";
    EXPECT_FALSE(someoneListens());

    auto next = startProgram({});
    ASSERT_TRUE(waitUntil([&] { return someoneListens(); }));
    EXPECT_EQ(next->state(), QProcess::Running) << "it runs as the instance, not as a later start";

    // And it is the instance later starts hand over to.
    auto later = startProgram({QStringLiteral("http-less text")});
    ASSERT_TRUE(waitForEnd(*later));
    EXPECT_EQ(later->exitCode(), 0);
    EXPECT_EQ(next->state(), QProcess::Running);
    next->kill();
    next->waitForFinished(kPatienceMs);
}

TEST_F(SingleInstanceTest, ATerminationRequestClosesTheWindowThroughItsClosingSteps) {
    auto program = startProgram({QStringLiteral("not started")});
    ASSERT_TRUE(waitUntil([&] { return someoneListens(); }));
    program->terminate();  // SIGTERM, as at logout
    ASSERT_TRUE(waitForEnd(*program));
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    // The settings and the presets were saved, and the socket was removed.
    const std::string settings = readBytes(session / "work" / "lumivox.ini");
    EXPECT_NE(settings.find("[Lumivox]"), std::string::npos) << settings;
    EXPECT_NE(settings.find("Format=AVI"), std::string::npos) << settings;
    EXPECT_TRUE(std::filesystem::exists(session / "work" / "FFmpeg.ini"));
    EXPECT_FALSE(std::filesystem::exists(serverPath().toStdString()));
}

}  // namespace
