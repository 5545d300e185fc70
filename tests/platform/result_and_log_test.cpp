// The failure type, whole-file reading and the log's line form and routing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/file_content.h"
#include "platform/log.h"
#include "platform/result.h"
#include "support/temp_folder.h"

namespace {

Result<int> half(int n) {
    if (n % 2 != 0) {
        return Failure{"odd"};
    }
    return n / 2;
}

TEST(Result, CarriesAValueOrAReason) {
    const Result<int> even = half(8);
    ASSERT_TRUE(even);
    EXPECT_EQ(*even, 4);
    const Result<int> odd = half(3);
    ASSERT_FALSE(odd);
    EXPECT_EQ(odd.error(), "odd");
    EXPECT_EQ(odd.value_or(-1), -1);
    const Status failed = odd.failure();
    EXPECT_EQ(failed.error(), "odd");
    EXPECT_TRUE(Status{});
    const Result<std::string> text = "literal";
    EXPECT_EQ(*text, "literal");
    EXPECT_EQ(systemFailure("x", ENOENT).reason, "x: No such file or directory");
}

TEST(ReadWholeFile, ReadsBytesAndNamesTheFault) {
    TestTempFolder folder;
    const auto file = folder.path() / "data.bin";
    const std::string bytes("a\0b\r\n\xff", 6);
    std::ofstream(file, std::ios::binary) << bytes;
    const Result<std::string> read = readWholeFile(file);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, bytes);

    EXPECT_EQ(readWholeFile(folder.path() / "none").error(),
              (folder.path() / "none").string() + ": missing");
    EXPECT_NE(readWholeFile(folder.path()).error().find("a folder"), std::string::npos);
    EXPECT_NE(readWholeFile(file, 5).error().find("larger than 5 bytes"), std::string::npos);
    EXPECT_TRUE(readWholeFile(file, 6));
    if (geteuid() != 0) {  // root reads a file whatever its mode
        chmod(file.c_str(), 0);
        EXPECT_NE(readWholeFile(file).error().find("Permission denied"), std::string::npos);
    }
}

struct RecordingSink : LogSink {
    std::vector<LogRecord> records;
    void write(const LogRecord& record) override { records.push_back(record); }
};

TEST(Log, ReachesTheInstalledSinkAboveTheThreshold) {
    RecordingSink sink;
    {
        ScopedLogSink installed(sink);
        logInfo(LogComponent::Service, "two\nlines");
        logDebug(LogComponent::Job, "dropped at the default threshold");
        setLogThreshold(LogLevel::Debug);
        logDebug(LogComponent::Job, "kept");
        setLogThreshold(LogLevel::Info);
    }
    logError(LogComponent::Job, "after the sink was removed");
    ASSERT_EQ(sink.records.size(), 2u);
    EXPECT_EQ(sink.records[0].text, "two lines");
    EXPECT_EQ(sink.records[0].component, LogComponent::Service);
    EXPECT_EQ(sink.records[1].level, LogLevel::Debug);
}

TEST(Log, LineFormRoundTripsAndRejectsOtherLines) {
    const LogRecord record{LogLevel::Warning, LogComponent::Filter, "too many: sprites"};
    const std::string line = formatLogLine(record);
    EXPECT_EQ(line, "[lumivox] warning filter: too many: sprites");
    const auto back = parseLogLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->level, record.level);
    EXPECT_EQ(back->component, record.component);
    EXPECT_EQ(back->text, record.text);
    for (const char* other : {"frame=  10 fps=0.0", "[lumivox] loud filter: x",
                              "[lumivox] error nobody: x", "[lumivox] error", ""}) {
        EXPECT_FALSE(parseLogLine(other)) << other;
    }
}

}  // namespace

TEST(Log, AChildTakesTheThresholdItsParentHandsOn) {
    const LogLevel saved = logThreshold();
    ::unsetenv("LUMIVOX_LOG_LEVEL");
    EXPECT_EQ(logThresholdFromParent(LogLevel::Warning), LogLevel::Warning) << "none handed on";
    for (LogLevel level : {LogLevel::Error, LogLevel::Debug, LogLevel::Info}) {
        setLogThreshold(level);
        handLogThresholdToChildren();
        EXPECT_EQ(logThresholdFromParent(LogLevel::Warning), level);
    }
    ::setenv("LUMIVOX_LOG_LEVEL", "loud", 1);
    EXPECT_EQ(logThresholdFromParent(LogLevel::Warning), LogLevel::Warning) << "not a level";
    ::unsetenv("LUMIVOX_LOG_LEVEL");
    setLogThreshold(saved);
}
