// The folders of a run: the work folder policy, the desktop folder as xdg-user-dir finds it,
// and the program folder of the running executable.

#include "app/run_folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app_test_support.h"
#include "platform/special_folders.h"

namespace fs = std::filesystem;

namespace {

TEST(WorkFolderChoice, FollowsTheEnvironmentThenTheProgramFolderThenTheDataFolder) {
    WorkFolderInputs inputs;
    inputs.programFolder = "/opt/lumivox/bin";
    inputs.programFolderWritable = true;
    inputs.userDataFolder = "/home/u/.local/share";
    EXPECT_EQ(chooseWorkFolder(inputs), "/opt/lumivox/bin");

    inputs.programFolderWritable = false;
    EXPECT_EQ(chooseWorkFolder(inputs), "/home/u/.local/share/lumivox");

    inputs.lumivoxHome = "/srv/render//work/";
    EXPECT_EQ(chooseWorkFolder(inputs), "/srv/render/work") << "LUMIVOX_HOME overrides both";
    inputs.programFolderWritable = true;
    EXPECT_EQ(chooseWorkFolder(inputs), "/srv/render/work");

    inputs.lumivoxHome.clear();
    inputs.programFolderWritable = false;
    inputs.userDataFolder.clear();
    EXPECT_EQ(chooseWorkFolder(inputs), std::nullopt);
}

TEST(WorkFolderChoice, ARelativeLumivoxHomeIsTakenFromTheCurrentFolder) {
    WorkFolderInputs inputs;
    inputs.lumivoxHome = "work";
    EXPECT_EQ(chooseWorkFolder(inputs), (fs::current_path() / "work").string());
}

TEST(RunFolders, LumivoxHomeIsCreatedAndTheProgramFolderIsThisExecutables) {
    AppTempFolder temp;
    const std::string home = (temp.path() / "a" / "b").string();
    ScopedEnvironment lumivoxHome("LUMIVOX_HOME", home);
    std::string error;
    const std::optional<RunFolders> folders = discoverRunFolders(error);
    ASSERT_TRUE(folders.has_value()) << error;
    EXPECT_EQ(folders->workFolder, home);
    EXPECT_TRUE(fs::is_directory(home));
    EXPECT_EQ(folders->programFolder, fs::canonical("/proc/self/exe").parent_path().string());
    EXPECT_FALSE(folders->desktopFolder.empty());
}

TEST(RunFolders, AWorkFolderThatCannotBeCreatedIsAnError) {
    AppTempFolder temp;
    writeText(temp.path() / "file", "in the way");
    ScopedEnvironment lumivoxHome("LUMIVOX_HOME", (temp.path() / "file" / "work").string());
    std::string error;
    EXPECT_FALSE(discoverRunFolders(error).has_value());
    EXPECT_NE(error.find("cannot be created"), std::string::npos) << error;
}

TEST(UserDirsFile, ReadsTheDesktopEntryTheWayTheShellWould) {
    const std::string home = "/home/mika";
    EXPECT_EQ(
        userDirFromUserDirsFile("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "XDG_DESKTOP_DIR", home),
        "/home/mika/Desktop");
    EXPECT_EQ(userDirFromUserDirsFile("# comment\n"
                                      "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                                      "  XDG_DESKTOP_DIR=\"${HOME}/デスクトップ\"  \r\n",
                                      "XDG_DESKTOP_DIR", home),
              "/home/mika/デスクトップ");
    // Absolute paths, escapes inside double quotes, single quotes, the last assignment wins.
    EXPECT_EQ(userDirFromUserDirsFile("XDG_DESKTOP_DIR=\"/data/my \\\"desk\\\"\"",
                                      "XDG_DESKTOP_DIR", home),
              "/data/my \"desk\"");
    EXPECT_EQ(userDirFromUserDirsFile("XDG_DESKTOP_DIR='$HOME/x'\nXDG_DESKTOP_DIR=\"$HOME/y\"",
                                      "XDG_DESKTOP_DIR", home),
              "/home/mika/y");
    // "$HOME/" alone is the home folder.
    EXPECT_EQ(userDirFromUserDirsFile("XDG_DESKTOP_DIR=\"$HOME/\"", "XDG_DESKTOP_DIR", home),
              "/home/mika");
    // Not this key, a key that only begins like it, a relative path, a commented line.
    EXPECT_EQ(userDirFromUserDirsFile("XDG_DESKTOP_DIRS=\"/a\"\n#XDG_DESKTOP_DIR=\"/b\"\n"
                                      "XDG_DESKTOP_DIR=\"Desktop\"\n",
                                      "XDG_DESKTOP_DIR", home),
              "");
    EXPECT_EQ(userDirFromUserDirsFile("", "XDG_DESKTOP_DIR", home), "");
}

class DesktopFolderTest : public ::testing::Test {
protected:
    AppTempFolder home;
    ScopedEnvironment homeVariable{"HOME", home.str()};
    ScopedEnvironment config{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnvironment desktopVariable{"XDG_DESKTOP_DIR", std::nullopt};
};

TEST_F(DesktopFolderTest, UserDirsFileFirstThenDesktopThenHome) {
    // Nothing at all: the home folder, as ~/Desktop does not exist.
    EXPECT_EQ(desktopFolder(), home.str());

    fs::create_directory(home.path() / "Desktop");
    EXPECT_EQ(desktopFolder(), home.str() + "/Desktop");

    fs::create_directories(home.path() / ".config");
    fs::create_directory(home.path() / "机");
    writeText(home.path() / ".config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/机\"\n");
    EXPECT_EQ(desktopFolder(), home.str() + "/机");

    // A named desktop that does not exist: the home folder, not ~/Desktop.
    writeText(home.path() / ".config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/gone\"\n");
    EXPECT_EQ(desktopFolder(), home.str());
}

TEST_F(DesktopFolderTest, TheConfigurationFolderAndTheEnvironmentAreHonoured) {
    AppTempFolder config;
    fs::create_directory(home.path() / "elsewhere");
    writeText(config.path() / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/elsewhere\"\n");
    {
        ScopedEnvironment configHome("XDG_CONFIG_HOME", config.str());
        EXPECT_EQ(userConfigFolder(), config.str());
        EXPECT_EQ(desktopFolder(), home.str() + "/elsewhere");
    }
    // Without the file, an XDG_DESKTOP_DIR of the environment counts.
    ScopedEnvironment fromEnvironment("XDG_DESKTOP_DIR", home.str() + "/elsewhere");
    EXPECT_EQ(desktopFolder(), home.str() + "/elsewhere");
}

TEST(SpecialFolders, DataFolderFollowsXdgDataHomeOnlyWhenAbsolute) {
    AppTempFolder home;
    ScopedEnvironment homeVariable("HOME", home.str());
    {
        ScopedEnvironment data("XDG_DATA_HOME", "/var/data/");
        EXPECT_EQ(userDataFolder(), "/var/data");
    }
    {
        ScopedEnvironment data("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(userDataFolder(), home.str() + "/.local/share");
    }
    ScopedEnvironment data("XDG_DATA_HOME", std::nullopt);
    EXPECT_EQ(userDataFolder(), home.str() + "/.local/share");
}

TEST(SpecialFolders, WritableFolders) {
    AppTempFolder temp;
    EXPECT_TRUE(isWritableFolder(temp.str()));
    writeText(temp.path() / "file", "x");
    EXPECT_FALSE(isWritableFolder((temp.path() / "file").string()));
    EXPECT_FALSE(isWritableFolder((temp.path() / "missing").string()));
}

}  // namespace
