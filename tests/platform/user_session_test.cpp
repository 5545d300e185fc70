#include "platform/user_session.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "support/scoped_environment.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(RuntimeFolder, WithoutTheSessionFolderOnlyAPrivateFolderOfThisUserIsUsed) {
    const bool root = ::geteuid() == 0;
    // {what stands at the name beforehand, the start of the failure; "" : the folder is used}
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        std::string failure;
    } cases[] = {
        {"nothing: made 0700", [](const fs::path&) {}, ""},
        {"this user's 0700 folder",
         [](const fs::path& p) {
             fs::create_directory(p);
             ::chmod(p.c_str(), 0700);
         },
         ""},
        {"a folder open to others",
         [](const fs::path& p) {
             fs::create_directory(p);
             ::chmod(p.c_str(), 0755);
         },
         " is open to other users (mode 755, not 700)"},
        {"a link to a private folder",
         [](const fs::path& p) {
             fs::create_directory(p.string() + "-target");
             ::chmod((p.string() + "-target").c_str(), 0700);
             fs::create_directory_symlink(p.string() + "-target", p);
         },
         " is not a folder"},
        {"a file", [](const fs::path& p) { writeBytes(p, "x"); }, " is not a folder"},
        {"another user's folder",
         [root](const fs::path& p) {
             fs::create_directory(p);
             ::chmod(p.c_str(), 0700);
             if (root) {
                 EXPECT_EQ(::chown(p.c_str(), 65534, 65534), 0);
             }
         },
         root ? " belongs to user 65534, not to " + userKey() : ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestTempFolder temporary;
        const ScopedEnvironment session("XDG_RUNTIME_DIR", std::nullopt);
        const ScopedEnvironment tmpdir("TMPDIR", temporary.path().string() + "/");
        const fs::path expected = temporary / ("lumivox-" + userKey());
        c.make(expected);
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
