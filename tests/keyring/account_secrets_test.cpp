// The account's secrets between lumivox.ini and the desktop's keyring, with the real thing on
// both paths: no session bus (the fallback to lumivox.ini, readable by its owner only), and a
// Secret Service of its own (GNOME Keyring on a private D-Bus session) that this test starts.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/account_secrets.h"
#include "keyring/keyring_secret_store.h"
#include "platform/child_process.h"
#include "support/missing_tool.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kInsideSession = "LUMIVOX_TEST_INSIDE_KEYRING_SESSION";
const std::string kSession = "user_session_7_0123456789abcdef0123";

// The keyring needs a Qt application on the test's thread.
class AccountSecretsTest : public ::testing::Test {
protected:
    // What the desktop program does when its window closes, then when it opens again.
    Settings saveAndLoadAgain(const Settings& settings, std::string* warning) {
        KeyringSecretStore closing;
        EXPECT_TRUE(saveSettings(ini, settingsWithSecretsStored(settings, ini, &closing, warning)));
        Settings loaded = loadSettings(ini, "/desk");
        KeyringSecretStore opening;
        readAccountSecrets(loaded, ini, &opening);
        return loaded;
    }
    static Settings account(std::string password, std::string session) {
        Settings settings = defaultSettings("/desk");
        settings.mail = "me@example.com";
        settings.password = std::move(password);
        settings.sessionCookie = std::move(session);
        return settings;
    }

    int argc = 1;
    char name[16] = "test_keyring";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
    TestTempFolder folder;
    const fs::path ini = folder / "lumivox.ini";
};

TEST_F(AccountSecretsTest, WithoutAKeyringTheSecretsStayInTheIni) {
    if (std::getenv(kInsideSession) != nullptr) {
        GTEST_SKIP() << "runs outside the keyring's session";
    }
    // No session bus: the store says so quickly, and nothing is lost.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (folder / "no-bus").string()).c_str(), 1);
    std::string warning;
    const Settings loaded = saveAndLoadAgain(account("pa=ss", kSession), &warning);
    EXPECT_NE(warning.find("lumivox.ini keeps them"), std::string::npos) << warning;
    EXPECT_EQ(warning.find(kSession), std::string::npos);
    EXPECT_EQ(loaded.password, "pa=ss");
    EXPECT_EQ(loaded.sessionCookie, kSession);
    // (That a file with secrets is its owner's alone is the settings' rule, checked there.)
    // An account without secrets is no reason for a warning.
    warning.clear();
    EXPECT_EQ(saveAndLoadAgain(account("", ""), &warning).password, "");
    EXPECT_EQ(warning, "");
}

// Runs the test below inside a D-Bus session with an unlocked GNOME Keyring of its own (in a
// temporary home, so that the user's keyring is never touched).
TEST_F(AccountSecretsTest, InASecretServiceTheIniKeepsNoSecret) {
    if (std::getenv(kInsideSession) != nullptr) {
        GTEST_SKIP() << "the outer half";
    }
    for (const char* tool : {"/usr/bin/dbus-run-session", "/usr/bin/gnome-keyring-daemon"}) {
        if (!fs::exists(tool)) {
            SKIP_FOR_MISSING_TOOL(tool);
        }
    }
    const fs::path home = folder / "home";
    fs::create_directories(home / "run");
    fs::permissions(home / "run", fs::perms::owner_all);
    ChildProcess session;
    ASSERT_TRUE(session.start(
        "/usr/bin/env",
        {"HOME=" + home.string(), "XDG_DATA_HOME=" + (home / "data").string(),
         "XDG_RUNTIME_DIR=" + (home / "run").string(), std::string(kInsideSession) + "=1",
         "/usr/bin/dbus-run-session", "--", "/bin/sh", "-c",
         "printf secret | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 "
         "&& exec \"$0\" --gtest_filter=AccountSecretsTest.InsideTheSecretService",
         fs::read_symlink("/proc/self/exe").string()},
        folder.path().string()));
    std::string output;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    session.readToEnd([&](const std::string& chunk) { output += chunk; },
                      [&] { return std::chrono::steady_clock::now() > giveUp; });
    std::optional<ChildProcess::ExitStatus> status = session.wait(10000);
    if (!status) {
        session.terminate();
    }
    ASSERT_TRUE(status && !status->signalled && status->code == 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
    EXPECT_EQ(output.find("SKIPPED"), std::string::npos) << output;
}

TEST_F(AccountSecretsTest, InsideTheSecretService) {
    if (std::getenv(kInsideSession) == nullptr) {
        GTEST_SKIP() << "runs inside the keyring's session only";
    }
    // A file of the old program: the password written in it is used as it stands.
    writeBytes(ini, "[Lumivox]\r\nMail=me@example.com\r\nPassword=old secret\r\n");
    Settings settings = loadSettings(ini, "/desk");
    KeyringSecretStore store;
    readAccountSecrets(settings, ini, &store);
    EXPECT_EQ(settings.password, "old secret");

    // Saving moves both secrets to the keyring; lumivox.ini keeps neither.
    settings.sessionCookie = kSession;
    std::string warning;
    const Settings loaded = saveAndLoadAgain(settings, &warning);
    EXPECT_EQ(warning, "");
    const std::string text = readBytes(ini);
    EXPECT_EQ(text.find("old secret"), std::string::npos) << text;
    EXPECT_EQ(text.find(kSession), std::string::npos) << text;
    EXPECT_NE(text.find("me@example.com"), std::string::npos) << text;
    EXPECT_EQ(loaded.password, "old secret");
    EXPECT_EQ(loaded.sessionCookie, kSession);

    // Another work folder has an account of its own; a cleared secret leaves the keyring.
    const fs::path other = folder / "other" / "lumivox.ini";
    Settings elsewhere = defaultSettings("/desk");
    readAccountSecrets(elsewhere, other, &store);
    EXPECT_EQ(elsewhere.password, "");
    settings = loaded;
    settings.sessionCookie.clear();
    EXPECT_EQ(saveAndLoadAgain(settings, &warning).sessionCookie, "");
    EXPECT_EQ(store.read(sessionSecretKey(ini)).value_or("unreachable"), std::nullopt);
}

}  // namespace
