#pragma once
// What the job tests share: a thread-safe sink that records every message, a job whose network
// and encoding stages follow a script and record the order they were called in (comment reading
// stays the job's own), a stand-in encoder, and running a job to its end as a front end does.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "job/job_sink.h"
#include "job/nico_thread.h"
#include "platform/manual_reset_event.h"
#include "support/temp_folder.h"

// Records every message as its job's serial and a text: "progress 40", "encoding", "done" or
// "error <text>". The worker adds, the test reads.
class RecordingSink : public JobSink {
public:
    using Message = std::pair<uint64_t, std::string>;

    void jobProgress(uint64_t serial, int percent) override {
        add(serial, "progress " + std::to_string(percent));
    }
    void encodingBegins(uint64_t serial) override { add(serial, "encoding"); }
    void jobDone(uint64_t serial) override { add(serial, "done"); }
    void serviceError(uint64_t serial, const std::string& text) override {
        add(serial, "error " + text);
    }

    std::vector<Message> all() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // One job's messages in arrival order.
    std::vector<std::string> of(uint64_t serial) const {
        std::vector<std::string> texts;
        for (const auto& [from, text] : all()) {
            if (from == serial) {
                texts.push_back(text);
            }
        }
        return texts;
    }
    // False after a generous time-out: a hang guard, not a speed check.
    bool waitForDone(uint64_t serial) const {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(60), [&] {
            return std::count(messages_.begin(), messages_.end(), Message{serial, "done"}) > 0;
        });
    }

private:
    void add(uint64_t serial, std::string text) {
        {
            std::lock_guard lock(mutex_);
            messages_.emplace_back(serial, std::move(text));
        }
        arrived_.notify_all();
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Message> messages_;
};

// "done" came exactly once for the job, and nothing of the job after it.
inline void expectDoneOnceAndLast(const RecordingSink& sink, uint64_t serial) {
    const std::vector<std::string> kinds = sink.of(serial);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "done"), 1) << "job " << serial;
    EXPECT_TRUE(!kinds.empty() && kinds.back() == "done") << "job " << serial;
}

// Waits for a started job's "done", then deletes it as a front end does; returns its outcome.
inline JobOutcome finishJob(std::unique_ptr<CNicoThread>& job, const RecordingSink& sink) {
    EXPECT_TRUE(sink.waitForDone(job->jobSerial()));
    const std::optional<JobOutcome> outcome = CNicoThread::StopAndDelete(job);
    EXPECT_EQ(job, nullptr);
    EXPECT_TRUE(outcome.has_value());
    return outcome.value_or(JobOutcome{});
}

inline JobOutcome runToEnd(std::unique_ptr<CNicoThread> job, const RecordingSink& sink) {
    EXPECT_TRUE(job->start());
    return finishJob(job, sink);
}

// A stand-in for the FFmpeg program: a shell script running `body`, in `programFolder`.
inline void writeStandInEncoder(const std::filesystem::path& programFolder,
                                const std::string& body) {
    writeBytes(programFolder / "FFmpeg", "#!/bin/sh\n" + body);
    std::filesystem::permissions(programFolder / "FFmpeg", std::filesystem::perms::owner_all);
}

// What the scripted stages do. Set before the job starts; read only by the worker afterwards.
struct StageScript {
    std::string loginCookie = "user_session=user_1_abc";
    std::string loginError;  // when not empty: the login reports it as a service error
    bool lookupResult = true;
    std::string streamUrl = "http://media.example/smile?v=1.flv";
    bool visitResult = true;  // the job must not care
    bool downloadResult = true;
    std::string blockIn;     // this stage waits for the cancel event before it returns
    std::string throwIn;     // this stage throws
    bool holdLogin = false;  // the login waits for StageLog::gate first
};

// What the job did, kept outside the job so that it can be read after the job is deleted. The
// worker writes it; the test reads it after the job's "done" (or its deletion).
struct StageLog {
    std::vector<std::string> calls, ngSeen, extractSeen;
    std::string encoderArguments;
    ChatList chatsRead;  // `chats` right after the comment reading stage
    int32_t arrivalCounterAfterRead = -1;
    bool deleted = false;
    bool cleanAtDeletion = false;    // finished event set, ID lists and comments emptied
    ManualResetEvent blocked, gate;  // the blocking stage was entered; releases a held login
};

class ScriptedJob : public CNicoThread {
public:
    ScriptedJob(JobRequest request, JobSink& sink, uint64_t serial, const StageScript& script,
                StageLog& log)
        : CNicoThread(std::move(request), sink, serial), script(script), log(log) {}

    ~ScriptedJob() override {
        log.deleted = true;
        log.cleanAtDeletion = finishedEvent.isSet() && request.ngList.empty() &&
                              request.extractList.empty() && chats.empty();
    }

protected:
    void loginToService() override {
        enter("login");
        if (script.holdLogin) {
            log.gate.wait();
        }
        if (!script.loginError.empty()) {
            serviceError(script.loginError);
        }
        cookie = script.loginCookie;
    }
    bool lookUpVideo(const std::string& cookieText, std::string& streamUrl) override {
        enter("lookup");
        videoId = "sm9";
        streamUrl = script.streamUrl;
        return cookieText == script.loginCookie && script.lookupResult;
    }
    void readComments() override {
        enter("comments");
        CNicoThread::readComments();
        log.chatsRead = chats;
        log.arrivalCounterAfterRead = arrivalCounter;
    }
    bool visitVideoPage(const std::string&, const std::string&) override {
        return enter("visit") && script.visitResult;
    }
    bool downloadVideo(const std::string& streamUrl, const std::string&) override {
        enter("download");
        postProgress(40);
        return streamUrl == script.streamUrl && script.downloadResult;
    }
    void PrepareEncoding() override {
        enter("prepare");
        log.ngSeen = request.ngList;
        log.extractSeen = request.extractList;
        encodeTotalFrames = 600;
    }
    bool writeOverlayFiles() override { return enter("overlay"); }
    std::string SpliceFilterArguments() override {
        enter("splice");
        return "spliced[" + request.formatTemplate + "]";
    }
    void RunEncoder(const std::string& arguments) override {
        log.encoderArguments = arguments;
        enter("encoder");
        postProgress(100);
    }

private:
    // Records the stage, then throws or blocks when the script says so. A blocked stage stands
    // for a long download or encoder run that ends when the cancel event is set.
    bool enter(const std::string& stage) {
        log.calls.push_back(stage);
        if (script.throwIn == stage) {
            throw std::runtime_error("stage failed: " + stage);
        }
        if (script.blockIn == stage) {
            log.blocked.set();
            cancelEvent.wait();
        }
        return true;
    }

    const StageScript script;
    StageLog& log;
};
