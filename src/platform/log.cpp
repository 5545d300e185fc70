#include "platform/log.h"

#include <array>
#include <atomic>
#include <mutex>

namespace {

constexpr std::string_view kLinePrefix = "[lumivox] ";
constexpr std::array<const char*, 4> kLevelNames = {"error", "warning", "info", "debug"};
constexpr std::array<const char*, 5> kComponentNames = {"app", "job", "service", "encoder",
                                                        "filter"};

std::mutex sinkMutex;            // guards `currentSink` and serialises the writes
LogSink* currentSink = nullptr;  // guarded by sinkMutex
std::atomic<int> threshold{static_cast<int>(LogLevel::Info)};

template <class Enum, size_t N>
std::optional<Enum> enumOfName(const std::array<const char*, N>& names, std::string_view name) {
    for (size_t i = 0; i < N; ++i) {
        if (name == names[i]) {
            return static_cast<Enum>(i);
        }
    }
    return std::nullopt;
}

}  // namespace

const char* logLevelName(LogLevel level) {
    return kLevelNames.at(static_cast<size_t>(level));
}

const char* logComponentName(LogComponent component) {
    return kComponentNames.at(static_cast<size_t>(component));
}

LogSink* setLogSink(LogSink* sink) {
    std::lock_guard lock(sinkMutex);
    LogSink* previous = currentSink;
    currentSink = sink;
    return previous;
}

void setLogThreshold(LogLevel mostVerbose) {
    threshold = static_cast<int>(mostVerbose);
}

LogLevel logThreshold() {
    return static_cast<LogLevel>(threshold.load());
}

std::optional<LogLevel> logLevelOfName(std::string_view name) {
    return enumOfName<LogLevel>(kLevelNames, name);
}

bool logEnabled(LogLevel level) {
    return static_cast<int>(level) <= threshold.load();
}

void logMessage(LogLevel level, LogComponent component, std::string_view text) {
    if (!logEnabled(level)) {
        return;
    }
    LogRecord record{level, component, std::string(text)};
    for (char& c : record.text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    std::lock_guard lock(sinkMutex);
    if (currentSink != nullptr) {
        currentSink->write(record);
    }
}

void logIfFailed(LogComponent component, std::string_view what, const Status& status) {
    if (!status) {
        std::string text(what);
        text += ": ";
        text += status.error();
        logWarning(component, text);
    }
}

std::string formatLogLine(const LogRecord& record) {
    std::string line(kLinePrefix);
    line += logLevelName(record.level);
    line += ' ';
    line += logComponentName(record.component);
    line += ": ";
    for (char c : record.text) {
        line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    return line;
}

std::optional<LogRecord> parseLogLine(std::string_view line) {
    if (!line.starts_with(kLinePrefix)) {
        return std::nullopt;
    }
    line.remove_prefix(kLinePrefix.size());
    const size_t blank = line.find(' ');
    const size_t colon = line.find(": ");
    if (blank == std::string_view::npos || colon == std::string_view::npos || colon < blank) {
        return std::nullopt;
    }
    const auto level = enumOfName<LogLevel>(kLevelNames, line.substr(0, blank));
    const auto component =
        enumOfName<LogComponent>(kComponentNames, line.substr(blank + 1, colon - blank - 1));
    if (!level || !component) {
        return std::nullopt;
    }
    return LogRecord{*level, *component, std::string(line.substr(colon + 2))};
}
