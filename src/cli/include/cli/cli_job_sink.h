#pragma once
// The command line's JobSink: the worker's messages are queued and taken one by one by the
// program's own loop on its main thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "job/job_sink.h"

struct CliJobMessage {
    enum class Kind { Progress, EncodingBegins, Done, ServiceError, Notice, CommentsCounted };
    Kind kind = Kind::Done;
    uint64_t jobSerial = 0;
    int percent = 0;       // Progress
    std::string text;      // ServiceError, Notice; Progress: the download's details, when known
    CommentCounts counts;  // CommentsCounted
};

class CliJobSink final : public JobSink {
public:
    // Worker thread: queue the message and return at once.
    void jobProgress(uint64_t jobSerial, int percent) override;
    void encodingBegins(uint64_t jobSerial) override;
    void jobDone(uint64_t jobSerial) override;
    void serviceError(uint64_t jobSerial, const std::string& text) override;
    void downloadProgress(uint64_t jobSerial, const DownloadProgress& progress) override;
    void jobNotice(uint64_t jobSerial, const std::string& text) override;
    void commentsCounted(uint64_t jobSerial, const CommentCounts& counts) override;
    void encodingProgress(uint64_t jobSerial, const EncodingProgress& progress) override;

    // Main thread: the oldest queued message, waiting at most `timeout` for one.
    std::optional<CliJobMessage> next(std::chrono::milliseconds timeout);

private:
    void push(CliJobMessage message);

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<CliJobMessage> queue_;
};
