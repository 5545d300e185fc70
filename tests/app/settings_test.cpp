// The settings file: defaults, the flag rule, round trips and what saving keeps.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/settings.h"
#include "app_test_support.h"

namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class SettingsTest : public ::testing::Test {
protected:
    AppTempFolder folder;
    std::filesystem::path ini() const { return folder.path() / "lumivox.ini"; }
};

TEST_F(SettingsTest, NoFileGivesTheDefaultsOfAFreshInstallation) {
    std::string warning;
    const Settings s = loadSettings(ini(), "/home/u/Desktop", &warning);
    EXPECT_EQ(s.saveFolder, "/home/u/Desktop");
    EXPECT_EQ(s.fontFace, "ＭＳ Ｐゴシック");
    EXPECT_EQ(s.fontSizePt, 0);
    EXPECT_EQ(s.formatName, "AVI");
    EXPECT_EQ(s.mail, "");
    EXPECT_EQ(s.password, "");
    EXPECT_EQ(s.hideOldComments, 1);
    EXPECT_EQ(s.noAutoLogin, 1);
    EXPECT_EQ(s.listWindowShown, 1);
    EXPECT_EQ(s.commentWindowShown, 1);
    EXPECT_EQ(s.service.loginBase, "https://secure.nicovideo.jp");
    EXPECT_TRUE(warning.empty());
    EXPECT_FALSE(std::filesystem::exists(ini()));
}

TEST_F(SettingsTest, EveryKeyRoundTrips) {
    Settings s = defaultSettings("/d");
    s.saveFolder = "/srv/動画 保存";
    s.fontFace = "IPAPGothic";
    s.fontSizePt = 27;
    s.mail = "a@example.com";
    s.password = "p=ss;w#rd \"x\" ";
    s.formatName = "MP4(高画質)";
    s.hideOldComments = 0;
    s.noAutoLogin = 0;
    s.listWindowShown = 0;
    s.commentWindowShown = 1;
    ASSERT_TRUE(saveSettings(ini(), s));

    const Settings r = loadSettings(ini(), "/other");
    EXPECT_EQ(r.saveFolder, s.saveFolder);
    EXPECT_EQ(r.fontFace, s.fontFace);
    EXPECT_EQ(r.fontSizePt, 27);
    EXPECT_EQ(r.mail, s.mail);
    EXPECT_EQ(r.password, s.password);
    EXPECT_EQ(r.formatName, s.formatName);
    EXPECT_EQ(r.hideOldComments, 0);
    EXPECT_EQ(r.noAutoLogin, 0);
    EXPECT_EQ(r.listWindowShown, 0);
    EXPECT_EQ(r.commentWindowShown, 1);
}

TEST_F(SettingsTest, ANewFileIsReadableByItsOwnerOnlyAndWritesEveryKeyInOrder) {
    ASSERT_TRUE(saveSettings(ini(), defaultSettings("/d")));
    struct stat st {};
    ASSERT_EQ(stat(ini().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(readAll(ini()),
              "[Lumivox]\r\nSaveDir=/d\r\nFont=ＭＳ Ｐゴシック\r\nFontPt=0\r\nMail=\r\n"
              "Password=\r\nFormat=AVI\r\nOld=1\r\nLogin=1\r\nListDialog=1\r\n"
              "CommentDialog=1\r\n");
}

TEST_F(SettingsTest, AFlagIsOnOnlyWhenItsTextIsExactlyOne) {
    writeAll(ini(), "[lumivox]\nOld=yes\nLogin=1x\nListDialog=0\ncommentdialog= 1 \n");
    Settings s = loadSettings(ini(), "/d");
    EXPECT_EQ(s.hideOldComments, 0);
    EXPECT_EQ(s.noAutoLogin, 0);
    EXPECT_EQ(s.listWindowShown, 0);
    EXPECT_EQ(s.commentWindowShown, 1);  // blanks around a value are not part of it
    ASSERT_TRUE(saveSettings(ini(), s));
    const std::string text = readAll(ini());
    EXPECT_NE(text.find("Old=0\n"), std::string::npos);  // a rewritten line keeps its end
    EXPECT_NE(text.find("Login=0\n"), std::string::npos);
}

TEST_F(SettingsTest, FontSizeIsReadByItsLeadingDigits) {
    writeAll(ini(), "[Lumivox]\r\nFontPt=24pt\r\n");
    EXPECT_EQ(loadSettings(ini(), "/d").fontSizePt, 24);
    writeAll(ini(), "[Lumivox]\r\nFontPt=big\r\n");
    EXPECT_EQ(loadSettings(ini(), "/d").fontSizePt, 0);
}

TEST_F(SettingsTest, LongValuesArriveCutAt259Bytes) {
    writeAll(ini(), "[Lumivox]\r\nSaveDir=" + std::string(400, 'x') + "\r\n");
    EXPECT_EQ(loadSettings(ini(), "/d").saveFolder, std::string(259, 'x'));
}

TEST_F(SettingsTest, SavingKeepsOtherSectionsAndTheServiceHosts) {
    writeAll(ini(),
             "; hand-written\r\n[Service]\r\nWebHost=http://127.0.0.1:8080\r\n"
             "[Lumivox]\r\nFont=IPAGothic\r\n");
    Settings s = loadSettings(ini(), "/d");
    EXPECT_EQ(s.service.webBase, "http://127.0.0.1:8080");
    EXPECT_EQ(s.fontFace, "IPAGothic");
    s.fontFace = "IPAPGothic";
    ASSERT_TRUE(saveSettings(ini(), s));
    const std::string text = readAll(ini());
    EXPECT_EQ(text.rfind("; hand-written\r\n[Service]\r\nWebHost=http://127.0.0.1:8080\r\n", 0),
              0u);
    EXPECT_EQ(loadSettings(ini(), "/d").fontFace, "IPAPGothic");
}

TEST_F(SettingsTest, AnUnreadableFileIsNeitherUsedNorOverwritten) {
    std::filesystem::create_directory(ini());  // a folder where the file should be
    std::string warning;
    const Settings s = loadSettings(ini(), "/d", &warning);
    EXPECT_EQ(s.fontFace, "ＭＳ Ｐゴシック");
    EXPECT_FALSE(warning.empty());
    EXPECT_FALSE(saveSettings(ini(), s));
    EXPECT_TRUE(std::filesystem::is_directory(ini()));
}

}  // namespace
