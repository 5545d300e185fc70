// lumivox.log: a line per record with its time, level and component, appended across runs, and
// bounded by moving a full file aside.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "app/log_file.h"
#include "support/temp_folder.h"

namespace {

TEST(LogFile, LinesCarryTimeLevelAndComponentAndAFullFileMovesAside) {
    TestTempFolder folder;
    const std::filesystem::path path = folder / "lumivox.log";
    {
        LogFile log(path, 200);
        log.write({LogLevel::Error, LogComponent::Service, "Could not connect"});
    }
    LogFile log(path, 200);  // a later run appends
    log.write({LogLevel::Info, LogComponent::Job, "job 1 starts"});
    const std::string text = readBytes(path);
    EXPECT_TRUE(std::regex_match(text, std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "
                                                  "error service: Could not connect\\n"
                                                  "[-0-9 :]{19} info job: job 1 starts\\n")))
        << text;

    for (int i = 0; i < 20; ++i) {
        log.write({LogLevel::Warning, LogComponent::Filter, "line " + std::to_string(i)});
    }
    // About 45 bytes a line: the file moved aside at least once, never far past its limit.
    ASSERT_TRUE(std::filesystem::exists(log.oldPath()));
    EXPECT_LE(std::filesystem::file_size(path), 250u);
    EXPECT_LE(std::filesystem::file_size(log.oldPath()), 250u);
    EXPECT_NE(readBytes(path).find("warning filter: line 19\n"), std::string::npos);
}

}  // namespace
