#include "platform/replace_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

mode_t permissionBits(const fs::path& file) {
    struct stat status {};
    EXPECT_EQ(stat(file.c_str(), &status), 0) << file;
    return status.st_mode & 07777;
}

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Sets the process's umask for the span of a scope.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : previous_(umask(mask)) {}
    ~ScopedUmask() { umask(previous_); }

private:
    mode_t previous_;
};

}  // namespace

TEST(ReplaceFile, CreatesAndReplacesWithoutLeavingTemporaryFiles) {
    TestTempFolder folder;
    const fs::path file = folder / "list.sav";
    ASSERT_TRUE(replaceFile(file, "first\r\n"));
    EXPECT_EQ(readBytes(file), "first\r\n");
    ASSERT_TRUE(replaceFile(file, "second, longer\r\n"));
    EXPECT_EQ(readBytes(file), "second, longer\r\n");
    ASSERT_TRUE(replaceFile(file, ""));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(readBytes(file), "");
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"list.sav"});
}

TEST(ReplaceFile, NewFilesGetTheRequestedAccess) {
    TestTempFolder folder;
    {
        ScopedUmask mask(0);  // OwnerOnly must not depend on a strict umask
        ASSERT_TRUE(replaceFile(folder / "secret.ini", "Password=x\r\n", NewFileAccess::OwnerOnly));
        EXPECT_EQ(permissionBits(folder / "secret.ini"), 0600u);
    }
    {
        ScopedUmask mask(027);
        ASSERT_TRUE(replaceFile(folder / "plain.ini", "x\r\n"));
        EXPECT_EQ(permissionBits(folder / "plain.ini"), 0640u);
    }
}

TEST(ReplaceFile, ExistingFileKeepsItsPermissions) {
    TestTempFolder folder;
    const fs::path file = folder / "lumivox.ini";
    writeBytes(file, "old");
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    ASSERT_TRUE(replaceFile(file, "new", NewFileAccess::OwnerOnly));
    EXPECT_EQ(readBytes(file), "new");
    EXPECT_EQ(permissionBits(file), 0644u);

    ASSERT_EQ(chmod(file.c_str(), 0620), 0);
    ASSERT_TRUE(replaceFile(file, "newer"));
    EXPECT_EQ(permissionBits(file), 0620u);

    // A file that holds a secret now is narrowed to its owner, new or not.
    ASSERT_TRUE(replaceFile(file, "Password=x", NewFileAccess::AlwaysOwnerOnly));
    EXPECT_EQ(permissionBits(file), 0600u);
    EXPECT_EQ(readBytes(file), "Password=x");
}

TEST(ReplaceFile, ReadOnlyFileStaysUnchanged) {
    TestTempFolder folder;
    const fs::path file = folder / "frozen.ini";
    writeBytes(file, "keep me");
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    EXPECT_EQ(replaceFile(file, "lost").error(), file.string() + ": " + systemErrorText(EACCES));
    EXPECT_EQ(readBytes(file), "keep me");
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"frozen.ini"});
}

TEST(ReplaceFile, SymbolicLinkIsFollowed) {
    TestTempFolder folder;
    fs::create_directory(folder / "real");
    writeBytes(folder / "real" / "lumivox.ini", "old");
    fs::create_symlink("real/lumivox.ini", folder / "lumivox.ini");
    ASSERT_TRUE(replaceFile(folder / "lumivox.ini", "new"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "lumivox.ini")));
    EXPECT_EQ(readBytes(folder / "real" / "lumivox.ini"), "new");
}

TEST(ReplaceFile, FailuresReportFalseAndChangeNothing) {
    TestTempFolder folder;
    // Each failure names the file and says why.
    const fs::path lost = folder / "no such folder" / "file.ini";
    EXPECT_EQ(replaceFile(lost, "x").error(), lost.string() + ": " + systemErrorText(ENOENT));
    fs::create_directory(folder / "a folder");
    writeBytes(folder / "a folder" / "inside", "kept");
    EXPECT_EQ(replaceFile(folder / "a folder", "x").error(),
              (folder / "a folder").string() + ": not a regular file");
    EXPECT_TRUE(fs::is_directory(folder / "a folder"));
    EXPECT_EQ(readBytes(folder / "a folder" / "inside"), "kept");
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"a folder"});
}
