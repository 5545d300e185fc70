// The folders of a run: the work folder policy, the desktop folder as xdg-user-dir finds it,
// and the program folder of the running executable.

#include "app/run_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/known_folders.h"
#include "support/scoped_environment.h"
#include "support/temp_folder.h"

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
    inputs.lumivoxHome = "work";
    EXPECT_EQ(chooseWorkFolder(inputs), (fs::current_path() / "work").string());

    inputs.lumivoxHome.clear();
    inputs.programFolderWritable = false;
    inputs.userDataFolder.clear();
    EXPECT_EQ(chooseWorkFolder(inputs), std::nullopt);
}

TEST(RunFolders, LumivoxHomeIsCreatedWhereWritableAndTheProgramFolderIsThisExecutables) {
    TestTempFolder temp;
    const std::string home = (temp / "a" / "b").string();
    std::string error;
    {
        ScopedEnvironment lumivoxHome("LUMIVOX_HOME", home);
        const std::optional<RunFolders> folders = discoverRunFolders(error);
        ASSERT_TRUE(folders.has_value()) << error;
        EXPECT_EQ(folders->workFolder, home);
        EXPECT_TRUE(fs::is_directory(home));
        EXPECT_EQ(folders->programFolder, fs::canonical("/proc/self/exe").parent_path().string());
        EXPECT_FALSE(folders->desktopFolder.empty());
    }
    // A work folder that cannot be created is an error.
    writeBytes(temp / "file", "in the way");
    EXPECT_TRUE(isWritableFolder(temp.path().string()));
    EXPECT_FALSE(isWritableFolder((temp / "file").string()));
    EXPECT_FALSE(isWritableFolder((temp / "missing").string()));
    ScopedEnvironment lumivoxHome("LUMIVOX_HOME", (temp / "file" / "work").string());
    EXPECT_FALSE(discoverRunFolders(error).has_value());
    EXPECT_NE(error.find("cannot be created"), std::string::npos) << error;
}

TEST(UserDirsFile, ReadsTheDesktopEntryTheWayTheShellWould) {
    const std::pair<std::string, std::string> cases[] = {
        {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "/home/mika/Desktop"},
        {"# comment\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
         "  XDG_DESKTOP_DIR=\"${HOME}/デスクトップ\"  \r\n",
         "/home/mika/デスクトップ"},
        // Absolute paths, escapes inside double quotes, single quotes, the last one wins.
        {"XDG_DESKTOP_DIR=\"/data/my \\\"desk\\\"\"", "/data/my \"desk\""},
        {"XDG_DESKTOP_DIR='$HOME/x'\nXDG_DESKTOP_DIR=\"$HOME/y\"", "/home/mika/y"},
        {"XDG_DESKTOP_DIR=\"$HOME/\"", "/home/mika"},
        // Not this key, a key that only begins like it, a relative path, a commented line.
        {"XDG_DESKTOP_DIRS=\"/a\"\n#XDG_DESKTOP_DIR=\"/b\"\nXDG_DESKTOP_DIR=\"Desktop\"\n", ""},
        {"", ""},
    };
    for (const auto& [file, folder] : cases) {
        EXPECT_EQ(userDirFromUserDirsFile(file, "XDG_DESKTOP_DIR", "/home/mika"), folder) << file;
    }
}

class DesktopFolderTest : public ::testing::Test {
protected:
    std::string homeFolder(const std::string& name = "") const {
        return name.empty() ? home.path().string() : (home / name).string();
    }
    TestTempFolder home;
    ScopedEnvironment homeVariable{"HOME", home.path().string()};
    ScopedEnvironment config{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnvironment desktopVariable{"XDG_DESKTOP_DIR", std::nullopt};
    ScopedEnvironment dataVariable{"XDG_DATA_HOME", std::nullopt};
};

TEST_F(DesktopFolderTest, UserDirsFileFirstThenDesktopThenHome) {
    // Nothing at all: the home folder, as ~/Desktop does not exist.
    EXPECT_EQ(desktopFolder(), homeFolder());
    fs::create_directory(home / "Desktop");
    EXPECT_EQ(desktopFolder(), homeFolder("Desktop"));

    fs::create_directories(home / ".config");
    fs::create_directory(home / "机");
    writeBytes(home / ".config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/机\"\n");
    EXPECT_EQ(desktopFolder(), homeFolder("机"));
    // A named desktop that does not exist: the home folder, not ~/Desktop.
    writeBytes(home / ".config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/gone\"\n");
    EXPECT_EQ(desktopFolder(), homeFolder());

    // The configuration folder of the environment, and its XDG_DESKTOP_DIR without the file.
    TestTempFolder configFolder;
    fs::create_directory(home / "elsewhere");
    writeBytes(configFolder / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/elsewhere\"\n");
    {
        ScopedEnvironment configHome("XDG_CONFIG_HOME", configFolder.path().string());
        EXPECT_EQ(userConfigFolder(), configFolder.path().string());
        EXPECT_EQ(desktopFolder(), homeFolder("elsewhere"));
    }
    fs::remove(home / ".config" / "user-dirs.dirs");
    ScopedEnvironment fromEnvironment("XDG_DESKTOP_DIR", homeFolder("elsewhere"));
    EXPECT_EQ(desktopFolder(), homeFolder("elsewhere"));
}

TEST_F(DesktopFolderTest, DataFolderFollowsXdgDataHomeOnlyWhenAbsolute) {
    EXPECT_EQ(userDataFolder(), homeFolder(".local/share"));
    ScopedEnvironment relative("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(userDataFolder(), homeFolder(".local/share"));
    ScopedEnvironment absolute("XDG_DATA_HOME", "/var/data/");
    EXPECT_EQ(userDataFolder(), "/var/data");
}

}  // namespace
