#pragma once
// The desktop program's JobSink: every message of the worker is queued onto the GUI thread and
// handed to a JobEventHandler there, in the order the worker sent them. The worker never waits.

#include <QObject>
#include <cstdint>
#include <string>

#include "job/job_sink.h"

// What the GUI thread does with a job's messages. Every call carries the job's serial.
class JobEventHandler {
public:
    virtual ~JobEventHandler() = default;
    virtual void OnJobProgress(uint64_t jobSerial, int percent) = 0;
    virtual void OnEncodingBegins(uint64_t jobSerial) = 0;
    virtual void OnJobDone(uint64_t jobSerial) = 0;
    virtual void OnServiceError(uint64_t jobSerial, const std::string& text) = 0;
    virtual void OnDownloadProgress(uint64_t jobSerial, const DownloadProgress& progress) = 0;
    virtual void OnEncodingProgress(uint64_t jobSerial, const EncodingProgress& progress) = 0;
    virtual void OnCommentsCounted(uint64_t jobSerial, const CommentCounts& counts) = 0;
};

class GuiJobSink final : public JobSink {
public:
    // `context` lives on the GUI thread and `handler` as long as it. Every job that reports to
    // this sink must have ended (StopAndDelete) before `context` goes; messages still queued
    // when it goes are dropped.
    GuiJobSink(QObject& context, JobEventHandler& handler);

    // Worker thread: queue the message and return at once.
    void jobProgress(uint64_t jobSerial, int percent) override;
    void encodingBegins(uint64_t jobSerial) override;
    void jobDone(uint64_t jobSerial) override;
    void serviceError(uint64_t jobSerial, const std::string& text) override;
    void downloadProgress(uint64_t jobSerial, const DownloadProgress& progress) override;
    void encodingProgress(uint64_t jobSerial, const EncodingProgress& progress) override;
    void commentsCounted(uint64_t jobSerial, const CommentCounts& counts) override;

private:
    template <typename Call>
    void post(Call call);

    QObject* context_;
    JobEventHandler& handler_;
};
