#include "platform/user_session.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/scoped_environment.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(RuntimeFolder, WithoutTheSessionFolderOnlyAPrivateFolderOfThisUserIsUsed) {
    const bool root = ::geteuid() == 0;
    enum Kind { Nothing, Folder, LinkToFolder, File };
    // {what stands at the name beforehand, the start of the failure; "" : the folder is used}
    const struct {
        const char* what;
        Kind kind;
        mode_t mode;      // of the folder
        bool otherOwner;  // given to user 65534 when the test runs as root
        std::string failure;
    } cases[] = {
        {"nothing: made 0700", Nothing, 0, false, ""},
        {"this user's 0700 folder", Folder, 0700, false, ""},
        {"a folder open to others", Folder, 0755, false,
         " is open to other users (mode 755, not 700)"},
        {"a link to a private folder", LinkToFolder, 0700, false, " is not a folder"},
        {"a file", File, 0, false, " is not a folder"},
        {"another user's folder", Folder, 0700, true,
         root ? " belongs to user 65534, not to " + userKey() : ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestTempFolder temporary;
        const ScopedEnvironment session("XDG_RUNTIME_DIR", std::nullopt);
        const ScopedEnvironment tmpdir("TMPDIR", temporary.path().string() + "/");
        const fs::path expected = temporary / ("lumivox-" + userKey());
        const fs::path folderMade = expected.string() + (c.kind == LinkToFolder ? "-target" : "");
        if (c.kind == File) {
            writeBytes(expected, "x");
        } else if (c.kind != Nothing) {
            fs::create_directory(folderMade);
            ::chmod(folderMade.c_str(), c.mode);
        }
        if (c.kind == LinkToFolder) {
            fs::create_directory_symlink(folderMade, expected);
        }
        if (c.otherOwner && root) {
            EXPECT_EQ(::chown(expected.c_str(), 65534, 65534), 0);
        }
        const Result<std::string> folder = runtimeFolder();
        if (c.failure.empty()) {
            ASSERT_TRUE(folder) << folder.error();
            EXPECT_EQ(*folder, expected.string());
            struct stat status {};
            ASSERT_EQ(::lstat(folder->c_str(), &status), 0);
            EXPECT_TRUE(S_ISDIR(status.st_mode));
            EXPECT_EQ(status.st_mode & 0777, 0700u);
        } else {
            ASSERT_FALSE(folder) << *folder;
            EXPECT_TRUE(folder.error().starts_with(expected.string() + c.failure))
                << folder.error();
        }
    }
    // The session's own folder is taken as the system made it; a relative one is no such folder.
    TestTempFolder temporary;
    const ScopedEnvironment tmpdir("TMPDIR", temporary.path().string());
    for (const auto& [value, expected] :
         {std::pair<std::string, std::string>{"/run/user/1000//", "/run/user/1000"},
          {"relative", (temporary / ("lumivox-" + userKey())).string()}}) {
        const ScopedEnvironment session("XDG_RUNTIME_DIR", value);
        const Result<std::string> folder = runtimeFolder();
        ASSERT_TRUE(folder) << folder.error();
        EXPECT_EQ(*folder, expected);
    }
}

}  // namespace
