#pragma once
// The process's levelled log. Every component (the job, the service client, the encoder, the
// frame filter, the program around them) writes what a person may want to know afterwards;
// the front end installs the one sink that shows or keeps the records (lumivox-cli: standard
// error; the desktop program: its status line and log window).
//
// Threads. Any thread may log. Records reach the sink one at a time, in the order they were
// logged, on the logging thread; a sink must return quickly (queue, do not wait) and must not
// log itself. Once setLogSink returns, the previous sink receives nothing more.
//
// Secrets (passwords, session cookies) are never logged.

#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

enum class LogLevel : int { Error = 0, Warning = 1, Info = 2, Debug = 3 };
enum class LogComponent : int { App, Job, Service, Encoder, Filter };

struct LogRecord {
    LogLevel level = LogLevel::Info;
    LogComponent component = LogComponent::App;
    std::string text;  // one line, without its line end
};

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogRecord& record) = 0;
};

// "error", "warning", "info", "debug".
const char* logLevelName(LogLevel level);
// The level of such a name; nothing for any other text.
std::optional<LogLevel> logLevelOfName(std::string_view name);
// "app", "job", "service", "encoder", "filter".
const char* logComponentName(LogComponent component);

// Installs `sink` (null: records are dropped) and returns the one it replaces.
LogSink* setLogSink(LogSink* sink);
// Records less severe than `mostVerbose` are dropped before they reach the sink. Default: Info.
void setLogThreshold(LogLevel mostVerbose);
// True when a record of `level` would reach a sink: test it before building a costly text.
bool logEnabled(LogLevel level);

// The current threshold.
LogLevel logThreshold();
// Child processes (the encoder) log down to the same level as their parent: the parent hands its
// threshold on in the environment variable LUMIVOX_LOG_LEVEL, which the child reads at its
// start. Call from the parent before any thread is started (it changes the environment).
void handLogThresholdToChildren();
// In the child: the threshold the parent handed on, else `fallback`.
LogLevel logThresholdFromParent(LogLevel fallback);

// Logs one record; line breaks in `text` become blanks.
void logMessage(LogLevel level, LogComponent component, std::string_view text);
inline void logError(LogComponent c, std::string_view text) {
    logMessage(LogLevel::Error, c, text);
}
inline void logWarning(LogComponent c, std::string_view text) {
    logMessage(LogLevel::Warning, c, text);
}
inline void logInfo(LogComponent c, std::string_view text) {
    logMessage(LogLevel::Info, c, text);
}
inline void logDebug(LogComponent c, std::string_view text) {
    logMessage(LogLevel::Debug, c, text);
}

// Logs "what: reason" as a warning when `status` failed. For failures the program deliberately
// does not show to the user (files written while the window closes, say), so that the reason is
// not lost.
void logIfFailed(LogComponent component, std::string_view what, const Status& status);

// The line form of a record that a child process (the encoder, and the frame filter through it)
// writes on its output for the job to take into its own log: "[lumivox] LEVEL COMPONENT: text".
std::string formatLogLine(const LogRecord& record);
// The record of such a line (without its line end); nothing for any other line.
std::optional<LogRecord> parseLogLine(std::string_view line);

// Installs a sink for the lifetime of the object and puts the previous one back afterwards.
class ScopedLogSink {
public:
    explicit ScopedLogSink(LogSink& sink) : previous_(setLogSink(&sink)) {}
    ~ScopedLogSink() { setLogSink(previous_); }
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    LogSink* previous_;
};
