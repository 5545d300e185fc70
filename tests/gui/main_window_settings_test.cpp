// The main window's settings: lumivox.ini and FFmpeg.ini to the controls and back, the account
// dialog, the about box, and the keys that start a job or close the window.

#include <gtest/gtest.h>

#include <QAction>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "app/settings.h"
#include "gui/about_dlg.h"
#include "gui/japanese_qt_texts.h"
#include "gui/password_dlg.h"
#include "gui_test_support.h"
#include "job/format_presets.h"

using namespace gui_test;

namespace {

class MainWindowSettingsTest : public WindowTest {
protected:
    std::filesystem::path ini() const { return folders.work() / "lumivox.ini"; }
    std::filesystem::path presetsFile() const { return folders.work() / "FFmpeg.ini"; }
    Settings savedSettings() const { return loadSettings(ini(), "(no desktop)"); }
};

TEST_F(MainWindowSettingsTest, AFreshStartShowsTheDefaultsAndEscapeWritesBothFiles) {
    auto window = openWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ルミヴォクス　ver" LUMIVOX_VERSION_OF_BUILD));
    EXPECT_EQ(control<QComboBox>(*window, "formatCombo")->count(),
              static_cast<int>(FormatPresetList::builtInPresets().size()));
    // "ＭＳ Ｐゴシック" is not installed here: the face it is drawn with is selected.
    EXPECT_EQ(control<QComboBox>(*window, "fontCombo")->currentText(),
              QStringLiteral("IPA Pゴシック"));
    EXPECT_EQ(stateOf(*window), kIdle);
    // Nothing is written before the window closes; the work folder is the current folder.
    EXPECT_FALSE(std::filesystem::exists(ini()));
    EXPECT_FALSE(std::filesystem::exists(presetsFile()));
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), folders.work()));

    // Escape closes the window through the closing steps.
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->isClosing());
    // What the controls showed (each key's way back to the file: below; the other defaults: the
    // settings tests), and the built-in formats.
    const Settings saved = savedSettings();
    EXPECT_EQ(saved.fontFace + "|" + saved.formatName + "|" + saved.saveFolder,
              "IPA Pゴシック|AVI|" + folders.desktop().string());
    FormatPresetList presets;
    ASSERT_TRUE(presets.load(presetsFile()));
    EXPECT_EQ(presets.presets().size(), FormatPresetList::builtInPresets().size());
}

TEST_F(MainWindowSettingsTest, LoadedValuesReachTheControlsAndReturnOnClosing) {
    writeBytes(ini(),
               "[Lumivox]\r\nSaveDir=/srv/動画\r\nFont=ipaゴシック\r\nFontPt=24\r\n"
               "Mail=user@example.com\r\nPassword=p=ss;w\r\nFormat=MP4\r\nOld=yes\r\n"
               "Login=0\r\nListDialog=0\r\nCommentDialog=1\r\n");
    auto window = openWindow();
    // (The file's values that make a job's request reach it as lumivox-cli's do: the front ends'
    // test. Untouched here, the save folder, the face and the account return on closing.)
    EXPECT_FALSE(control<QPushButton>(*window, "listToggle")->isChecked());
    EXPECT_TRUE(control<QPushButton>(*window, "commentToggle")->isChecked());

    // The user changes some of them; the size is read as the C library reads numbers.
    control<QLineEdit>(*window, "fontSizeEdit")->setText(QStringLiteral("  17pt"));
    control<QComboBox>(*window, "formatCombo")->setCurrentText(QStringLiteral("WMV(高画質)"));
    control<QCheckBox>(*window, "hideOldCheck")->setChecked(true);
    click(*window, "listToggle");
    click(*window, "commentToggle");
    window->close();

    const Settings saved = savedSettings();
    EXPECT_EQ(saved.saveFolder, "/srv/動画");
    EXPECT_EQ(saved.fontFace, "IPAゴシック");
    EXPECT_EQ(saved.fontSizePt, 17);
    EXPECT_EQ(saved.mail, "user@example.com");
    EXPECT_EQ(saved.password, "p=ss;w");
    EXPECT_EQ(saved.formatName, "WMV(高画質)");
    EXPECT_EQ(saved.hideOldComments, 1);
    EXPECT_EQ(saved.noAutoLogin, 0);
    EXPECT_EQ(saved.listWindowShown, 1);
    EXPECT_EQ(saved.commentWindowShown, 0);
}

// Answers the account dialog once it is open: types the mail address, the password and the
// session cookie, then presses OK or "ｷｬﾝｾﾙ". Records what the dialog showed when it opened.
struct AccountAnswer {
    static constexpr const char* kEdits[3] = {"mailEdit", "passwordEdit", "sessionEdit"};
    QString shown[3];
    bool secretsHidden = false;  // the password and the session cookie show as dots
    bool answered = false;

    void arm(QWidget& window, std::array<QString, 3> typed, bool ok) {
        QTimer::singleShot(0, &window, [this, &window, typed, ok] {
            auto* dialog = window.findChild<CPasswordDlg*>();
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("パスワード入力画面"));
            secretsHidden = true;
            for (int i = 0; i < 3; ++i) {
                auto* edit = control<QLineEdit>(*dialog, kEdits[i]);
                shown[i] = edit->text();
                secretsHidden &= i == 0 || edit->echoMode() == QLineEdit::Password;
                edit->setText(typed[i]);
            }
            click(*dialog, ok ? "okButton" : "cancelButton");
            answered = true;
        });
    }
};

TEST_F(MainWindowSettingsTest, TheAccountDialogCancelKeepsTheOldValuesOkTakesTheNew) {
    const std::string oldSession = "user_session_7_0123456789abcdef";
    const std::string newSession = "user_session_8_fedcba9876543210";
    writeBytes(ini(), "[Lumivox]\nMail=old@example.com\nPassword=old secret\nSession=" +
                          oldSession + "\n");
    auto window = openWindow();
    AccountAnswer cancel;
    cancel.arm(*window, {"new@example.com", "new", "user_session_9_00"}, false);
    click(*window, "passwordButton");
    ASSERT_TRUE(cancel.answered);
    EXPECT_EQ(cancel.shown[0], QStringLiteral("old@example.com"));
    EXPECT_EQ(cancel.shown[1], QStringLiteral("old secret"));
    EXPECT_EQ(cancel.shown[2], QString::fromStdString(oldSession));
    EXPECT_TRUE(cancel.secretsHidden);
    start(*window, "http://a.invalid/watch/sm1");
    stopAndWait(*window);

    // A pasted session keeps no surrounding blanks.
    AccountAnswer ok;
    ok.arm(*window, {"new@example.com", "pa=ss", QString::fromStdString("  " + newSession + " ")},
           true);
    click(*window, "passwordButton");
    ASSERT_TRUE(ok.answered);
    EXPECT_EQ(ok.shown[0], QStringLiteral("old@example.com")) << "Cancel kept the old values";
    start(*window, "http://a.invalid/watch/sm2");
    const std::vector<JobRequest> requests = drive.requests();
    ASSERT_EQ(requests.size(), 2u);
    const JobRequest& before = requests[0];
    const JobRequest& after = requests[1];
    EXPECT_EQ(before.mail + " " + before.password + " " + before.sessionCookie,
              "old@example.com old secret " + oldSession);
    EXPECT_EQ(after.mail + " " + after.password + " " + after.sessionCookie,
              "new@example.com pa=ss " + newSession);
    window->close();
    EXPECT_EQ(savedSettings().mail, "new@example.com");
    EXPECT_EQ(savedSettings().password, "pa=ss");
    EXPECT_EQ(savedSettings().sessionCookie, newSession);
    // The secrets are kept in the settings only, never in the log.
    EXPECT_EQ(readBytes(folders.work() / "lumivox.log").find(newSession), std::string::npos);
}

TEST_F(MainWindowSettingsTest, EnterStartsTheJobNeverClosingTheWindowEscapeStopsItAndSaves) {
    auto window = openWindow();
    QLineEdit* url = control<QLineEdit>(*window, "urlEdit");
    url->setText(QStringLiteral("http://a.invalid/watch/sm1"));
    window->activateWindow();
    url->setFocus();
    QTest::keyClick(url, Qt::Key_Return);
    EXPECT_EQ(stateOf(*window), kDownloading);
    EXPECT_EQ(requestedUrls(drive), std::vector<std::string>{"http://a.invalid/watch/sm1"});
    ASSERT_TRUE(waitUntil([&] { return drive.downloadBegan(1); }));
    auto* saveFolder = control<QLineEdit>(*window, "saveFolderEdit");
    saveFolder->setText(QStringLiteral("/srv/out"));

    // While the job runs Enter does nothing, on the window or in a field.
    QTest::keyClick(window.get(), Qt::Key_Enter);
    QTest::keyClick(saveFolder, Qt::Key_Return);
    EXPECT_TRUE(window->isVisible()) << "Enter never closes the window";
    EXPECT_EQ(drive.requests().size(), 1u);
    // Escape closes it through the closing steps, as the close box does.
    QTest::keyClick(saveFolder, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->isClosing());
    EXPECT_EQ(drive.deletedJobs(), 1) << "the job was stopped and deleted";
    EXPECT_EQ(window->runningJobSerial(), 0u);
    EXPECT_EQ(savedSettings().saveFolder, "/srv/out");
}

TEST_F(MainWindowSettingsTest, F1OpensTheAboutBox) {
    auto window = openWindow();
    QString version;
    QTimer::singleShot(0, window.get(), [&] {
        auto* about = window->findChild<CAboutDlg*>();
        ASSERT_NE(about, nullptr);
        version = control<QLabel>(*about, "versionText")->text();
        about->accept();
    });
    auto* action = window->findChild<QAction*>(QStringLiteral("aboutAction"));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(window->actions().contains(action)) << "offered by the window's context menu";
    action->trigger();
    EXPECT_EQ(version, QStringLiteral("lumivox Version " LUMIVOX_VERSION_OF_BUILD));
}

}  // namespace

TEST(JapaneseQtTexts, QtsOwnButtonsAndCalendarSpeakJapaneseWhateverTheLocale) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_TRUE(installJapaneseQtTexts(*QCoreApplication::instance()));
    QMessageBox box(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("はい")))
        << box.button(QMessageBox::Yes)->text().toStdString();
    EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("いいえ")))
        << box.button(QMessageBox::No)->text().toStdString();
    EXPECT_EQ(QLocale().monthName(1), QStringLiteral("1月"));
    EXPECT_EQ(QLocale().dayName(1), QStringLiteral("月曜日"));
}
