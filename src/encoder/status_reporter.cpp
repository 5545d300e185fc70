#include "encoder/status_reporter.h"

#include <cstdio>

#include "encoder/console.h"
#include "encoder/output_muxer.h"
#include "encoder/stream_encoder.h"

std::string formatStatusLine(const StatusFigures& f) {
    const double seconds = static_cast<double>(f.timeUs) / 1e6;
    const double fps = f.elapsedSeconds > 0 ? static_cast<double>(f.frames) / f.elapsedSeconds : 0;
    const double kbits = seconds > 0 ? static_cast<double>(f.bytes) * 8 / seconds / 1000 : 0;
    const double speed = f.elapsedSeconds > 0 ? seconds / f.elapsedSeconds : 0;
    const int64_t cs = f.timeUs > 0 ? f.timeUs / 10000 : 0;
    char line[256];
    std::snprintf(line, sizeof line,
                  "frame=%5lld fps=%4.0f q=%.1f size=%8lldkB time=%02lld:%02lld:%02lld.%02lld "
                  "bitrate=%6.1fkbits/s speed=%.2fx",
                  static_cast<long long>(f.frames), fps, static_cast<double>(f.quantiser),
                  static_cast<long long>(f.bytes / 1024), static_cast<long long>(cs / 360000),
                  static_cast<long long>(cs / 6000 % 60), static_cast<long long>(cs / 100 % 60),
                  static_cast<long long>(cs % 100), kbits, speed);
    return line;
}

StatusReporter::StatusReporter(const StreamEncoder* video, const OutputMuxer& muxer)
    : video_(video), muxer_(muxer) {}

StatusReporter::~StatusReporter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void StatusReporter::start() {
    begin_ = std::chrono::steady_clock::now();
    thread_ = std::thread([this] { loop(); });
}

StatusFigures StatusReporter::collect() const {
    StatusFigures f;
    if (video_) {
        f.frames = video_->framesEncoded();
        f.quantiser = video_->lastQuantiser();
    }
    f.bytes = muxer_.bytesWritten();
    f.timeUs = muxer_.timeUs();
    f.elapsedSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
    return f;
}

void StatusReporter::loop() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stopping_; })) {
        console::status(formatStatusLine(collect()), false);
    }
}

void StatusReporter::finish() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    console::status(formatStatusLine(collect()), true);
}
