#pragma once
// The desktop program's log file, lumivox.log in the work folder: one line per record,
// "YYYY-MM-DD HH:MM:SS LEVEL COMPONENT: text" in local time, so that what went wrong can be read
// after the fact. Bounded: once the file has grown past its limit it becomes lumivox.log.old
// (replacing an older one) and a new file begins, so the log never takes more than about twice
// the limit.
//
// Threads: any thread may write; a mutex keeps lines whole and in order. A file that cannot be
// written loses its records silently (there is nowhere left to report it).

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/log.h"

class LogFile final : public LogSink {
public:
    static constexpr uintmax_t kDefaultLimitBytes = 1024 * 1024;

    explicit LogFile(std::filesystem::path file, uintmax_t limitBytes = kDefaultLimitBytes);

    void write(const LogRecord& record) override;

    const std::filesystem::path& path() const { return file_; }
    // The file the log moves to when it is full.
    std::filesystem::path oldPath() const;

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    // Opens the file for appending, moving a full one aside first. Caller holds `mutex_`.
    void openLocked();

    const std::filesystem::path file_;
    const uintmax_t limitBytes_;
    std::mutex mutex_;
    std::unique_ptr<std::FILE, FileCloser> out_;  // guarded by mutex_
    uintmax_t size_ = 0;                          // guarded by mutex_
};
