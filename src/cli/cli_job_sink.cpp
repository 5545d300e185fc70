#include "cli/cli_job_sink.h"

#include <utility>

void CliJobSink::jobProgress(uint64_t jobSerial, int percent) {
    push({CliJobMessage::Kind::Progress, jobSerial, percent, {}, {}});
}

void CliJobSink::encodingBegins(uint64_t jobSerial) {
    push({CliJobMessage::Kind::EncodingBegins, jobSerial, 0, {}, {}});
}

void CliJobSink::jobDone(uint64_t jobSerial) {
    push({CliJobMessage::Kind::Done, jobSerial, 0, {}, {}});
}

void CliJobSink::serviceError(uint64_t jobSerial, const std::string& text) {
    push({CliJobMessage::Kind::ServiceError, jobSerial, 0, text, {}});
}

void CliJobSink::downloadProgress(uint64_t jobSerial, const DownloadProgress& progress) {
    push({CliJobMessage::Kind::Progress,
          jobSerial,
          progress.percent(),
          describeDownloadProgress(progress),
          {}});
}

void CliJobSink::jobNotice(uint64_t jobSerial, const std::string& text) {
    push({CliJobMessage::Kind::Notice, jobSerial, 0, text, {}});
}

void CliJobSink::encodingProgress(uint64_t jobSerial, const EncodingProgress& progress) {
    push({CliJobMessage::Kind::Progress,
          jobSerial,
          progress.percent,
          describeEncodingProgress(progress),
          {}});
}

void CliJobSink::commentsCounted(uint64_t jobSerial, const CommentCounts& counts) {
    push({CliJobMessage::Kind::CommentsCounted, jobSerial, 0, {}, counts});
}

std::optional<CliJobMessage> CliJobSink::next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) {
        return std::nullopt;
    }
    CliJobMessage message = std::move(queue_.front());
    queue_.pop_front();
    return message;
}

void CliJobSink::push(CliJobMessage message) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(message));
    }
    arrived_.notify_one();
}
