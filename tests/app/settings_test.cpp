// The settings file: defaults, the flag rule, round trips and what saving keeps.

#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "support/temp_folder.h"

namespace {

// The ten keys of section "Lumivox", for comparing whole settings.
auto keysOf(const Settings& s) {
    return std::tuple(s.saveFolder, s.fontFace, s.fontSizePt, s.mail, s.password, s.formatName,
                      s.hideOldComments, s.noAutoLogin, s.listWindowShown, s.commentWindowShown);
}

class SettingsTest : public ::testing::Test {
protected:
    TestTempFolder folder;
    std::filesystem::path ini = folder / "lumivox.ini";
};

TEST_F(SettingsTest, NoFileGivesTheDefaultsAndANewFileIsPrivateWithEveryKeyInOrder) {
    std::string warning;
    const Settings s = loadSettings(ini, "/home/u/Desktop", &warning);
    EXPECT_EQ(keysOf(s),
              std::tuple("/home/u/Desktop", "ＭＳ Ｐゴシック", 0, "", "", "AVI", 1, 1, 1, 1));
    EXPECT_EQ(s.service.loginBase, "https://secure.nicovideo.jp");
    EXPECT_TRUE(warning.empty());
    EXPECT_FALSE(std::filesystem::exists(ini));

    ASSERT_TRUE(saveSettings(ini, defaultSettings("/d")));
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(readBytes(ini),
              "[Lumivox]\r\nSaveDir=/d\r\nFont=ＭＳ Ｐゴシック\r\nFontPt=0\r\nMail=\r\n"
              "Password=\r\nFormat=AVI\r\nOld=1\r\nLogin=1\r\nListDialog=1\r\n"
              "CommentDialog=1\r\n");
}

TEST_F(SettingsTest, EveryKeyRoundTrips) {
    Settings s = defaultSettings("/d");
    s.saveFolder = "/srv/動画 保存";
    s.fontFace = "IPAPGothic";
    s.fontSizePt = 27;
    s.mail = "a@example.com";
    s.password = "p=ss;w#rd \"x\" ";
    s.formatName = "MP4(高画質)";
    s.hideOldComments = s.noAutoLogin = s.listWindowShown = 0;
    ASSERT_TRUE(saveSettings(ini, s));
    EXPECT_EQ(keysOf(loadSettings(ini, "/other")), keysOf(s));
}

TEST_F(SettingsTest, AFileWithAPasswordIsTheOwnersAloneAfterASave) {
    // {password, session, mode after the save of a file that was 0644}
    const std::tuple<const char*, const char*, unsigned> rows[] = {
        {"", "", 0644u}, {"secret", "", 0600u}, {"", "user_session_1", 0600u}};
    for (const auto& [password, session, mode] : rows) {
        SCOPED_TRACE(std::string(password) + "|" + session);
        writeBytes(ini, "[Lumivox]\r\nMail=a@example.com\r\n");
        ASSERT_EQ(chmod(ini.c_str(), 0644), 0);
        Settings s = defaultSettings("/d");
        s.password = password;
        s.sessionCookie = session;
        ASSERT_TRUE(saveSettings(ini, s));
        struct stat st {};
        ASSERT_EQ(stat(ini.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, mode);
    }
}

TEST_F(SettingsTest, AFlagIsOnOnlyForOneNumbersAreLeadingDigitsLongValuesAreCut) {
    const std::string longFolder(400, 'x');
    writeBytes(ini,
               "[lumivox]\nOld=yes\nLogin=1x\nListDialog=0\ncommentdialog= 1 \nFontPt=24pt\n"
               "SaveDir=" +
                   longFolder + "\n");
    const Settings s = loadSettings(ini, "/d");
    EXPECT_EQ(s.hideOldComments, 0);
    EXPECT_EQ(s.noAutoLogin, 0);
    EXPECT_EQ(s.listWindowShown, 0);
    EXPECT_EQ(s.commentWindowShown, 1);  // blanks around a value are not part of it
    EXPECT_EQ(s.fontSizePt, 24);
    EXPECT_EQ(s.saveFolder, std::string(259, 'x'));
    ASSERT_TRUE(saveSettings(ini, s));
    const std::string text = readBytes(ini);
    EXPECT_NE(text.find("Old=0\n"), std::string::npos);  // a rewritten line keeps its end
    EXPECT_NE(text.find("Login=0\n"), std::string::npos);
}

TEST_F(SettingsTest, SavingKeepsOtherSectionsAndTheServiceHosts) {
    writeBytes(ini,
               "; hand-written\r\n[Service]\r\nWebHost=http://127.0.0.1:8080\r\n"
               "[Lumivox]\r\nFont=IPAGothic\r\n");
    Settings s = loadSettings(ini, "/d");
    EXPECT_EQ(s.service.webBase, "http://127.0.0.1:8080");
    EXPECT_EQ(s.fontFace, "IPAGothic");
    s.fontFace = "IPAPGothic";
    ASSERT_TRUE(saveSettings(ini, s));
    EXPECT_EQ(
        readBytes(ini).rfind("; hand-written\r\n[Service]\r\nWebHost=http://127.0.0.1:8080\r\n", 0),
        0u);
    EXPECT_EQ(loadSettings(ini, "/d").fontFace, "IPAPGothic");
}

TEST_F(SettingsTest, AnUnreadableFileIsNeitherUsedNorOverwritten) {
    std::filesystem::create_directory(ini);  // a folder where the file should be
    std::string warning;
    const Settings s = loadSettings(ini, "/d", &warning);
    EXPECT_EQ(s.fontFace, "ＭＳ Ｐゴシック");
    EXPECT_FALSE(warning.empty());
    EXPECT_FALSE(saveSettings(ini, s));
    EXPECT_TRUE(std::filesystem::is_directory(ini));
}

}  // namespace
