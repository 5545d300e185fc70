#include "cli/cli_log_sink.h"

void CliLogSink::write(const LogRecord& record) {
    std::lock_guard lock(mutex_);
    if (holding_) {
        held_.push_back(record);
        return;
    }
    std::fprintf(stream_, "%s\n", lineOf(record).c_str());
    std::fflush(stream_);
}

void CliLogSink::hold(bool holding) {
    {
        std::lock_guard lock(mutex_);
        holding_ = holding;
    }
    if (!holding) {
        printHeld();
    }
}

bool CliLogSink::hasHeld() {
    std::lock_guard lock(mutex_);
    return !held_.empty();
}

void CliLogSink::printHeld() {
    std::vector<LogRecord> records;
    {
        std::lock_guard lock(mutex_);
        records.swap(held_);
    }
    for (const LogRecord& record : records) {
        std::fprintf(stream_, "%s\n", lineOf(record).c_str());
    }
    std::fflush(stream_);
}

std::string CliLogSink::lineOf(const LogRecord& record) {
    return std::string("lumivox-cli: ") + logLevelName(record.level) + " " +
           logComponentName(record.component) + ": " + record.text;
}

CliLogSink& cliLog() {
    static CliLogSink sink(stderr);
    return sink;
}
