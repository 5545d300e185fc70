#pragma once
// lumivox-cli's log: every record that passes the threshold (--log-level) is printed on standard
// error as "lumivox-cli: LEVEL COMPONENT: text". While a job runs, the records are held and the
// main thread prints them between its progress lines (printHeld), so that a record never breaks
// into a progress line that is being redrawn.

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/log.h"

class CliLogSink final : public LogSink {
public:
    explicit CliLogSink(std::FILE* stream) : stream_(stream) {}

    // Any thread: prints the record, or holds it while holding.
    void write(const LogRecord& record) override;

    // Main thread: records wait for printHeld() from now on (true), or print at once again.
    void hold(bool holding);
    // Main thread: true when records wait.
    bool hasHeld();
    // Main thread: prints the records that wait, in their order.
    void printHeld();

    // The line of a record, without its line end.
    static std::string lineOf(const LogRecord& record);

private:
    std::FILE* const stream_;
    std::mutex mutex_;
    bool holding_ = false;
    std::vector<LogRecord> held_;
};

// The process's sink, installed by main().
CliLogSink& cliLog();
