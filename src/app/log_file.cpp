#include "app/log_file.h"

#include <ctime>
#include <string>
#include <system_error>

#include "platform/local_calendar.h"

namespace fs = std::filesystem;

namespace {

std::string timeText(std::time_t now) {
    const std::optional<LocalDateTime> t = localDateTimeOf(now);
    if (!t) {
        return "0000-00-00 00:00:00";  // a time the calendar cannot convert
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t->year, t->month, t->day,
                  t->hour, t->minute, t->second);
    return text;
}

}  // namespace

LogFile::LogFile(fs::path file, uintmax_t limitBytes)
    : file_(std::move(file)), limitBytes_(limitBytes) {}

fs::path LogFile::oldPath() const {
    fs::path old = file_;
    old += ".old";
    return old;
}

void LogFile::openLocked() {
    std::error_code error;
    uintmax_t size = fs::file_size(file_, error);
    if (!error && size >= limitBytes_) {
        fs::rename(file_, oldPath(), error);
        size = error ? size : 0;
    }
    out_.reset(std::fopen(file_.c_str(), "a"));
    size_ = error ? 0 : size;
}

void LogFile::write(const LogRecord& record) {
    const std::string line = timeText(std::time(nullptr)) + " " + logLevelName(record.level) + " " +
                             logComponentName(record.component) + ": " + record.text + "\n";
    std::lock_guard lock(mutex_);
    if (!out_ || size_ >= limitBytes_) {
        out_.reset();
        openLocked();
        if (!out_) {
            return;
        }
    }
    if (std::fwrite(line.data(), 1, line.size(), out_.get()) == line.size()) {
        size_ += line.size();
    }
    std::fflush(out_.get());
}
