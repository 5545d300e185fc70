#pragma once
// Test doubles for the job pipeline: a thread-safe sink that records every message, and a job
// whose network and encoding stages follow a script and record the order they were called in.
// Comment reading stays the job's own.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "job/job_sink.h"
#include "job/nico_thread.h"
#include "platform/manual_reset_event.h"

struct SinkMessage {
    uint64_t serial = 0;
    std::string kind;  // "progress", "encoding", "done", "error"
    int percent = 0;
    std::string text;
};

class RecordingSink : public JobSink {
public:
    void jobProgress(uint64_t jobSerial, int percent) override {
        add({jobSerial, "progress", percent, {}});
    }
    void encodingBegins(uint64_t jobSerial) override { add({jobSerial, "encoding", 0, {}}); }
    void jobDone(uint64_t jobSerial) override { add({jobSerial, "done", 0, {}}); }
    void serviceError(uint64_t jobSerial, const std::string& text) override {
        add({jobSerial, "error", 0, text});
    }

    std::vector<SinkMessage> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    // The kinds of the messages of one job, in arrival order.
    std::vector<std::string> kindsOf(uint64_t serial) const {
        std::vector<std::string> kinds;
        for (const SinkMessage& m : messages()) {
            if (m.serial == serial) {
                kinds.push_back(m.kind);
            }
        }
        return kinds;
    }

    // Waits until the job's "done" has arrived; false after a generous time-out (a hang guard,
    // not a speed check).
    bool waitForDone(uint64_t serial) const {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(60), [&] {
            for (const SinkMessage& m : messages_) {
                if (m.serial == serial && m.kind == "done") {
                    return true;
                }
            }
            return false;
        });
    }

private:
    void add(SinkMessage message) {
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(std::move(message));
        }
        arrived_.notify_all();
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<SinkMessage> messages_;
};

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

// What the job did, kept outside the job so that it can be read after the job is deleted.
// The worker writes it; the test reads it after the job's finished event (or its deletion),
// which orders the accesses.
struct StageLog {
    std::vector<std::string> calls;
    std::vector<std::string> ngSeen;
    std::vector<std::string> extractSeen;
    std::string encoderArguments;
    ChatList chatsRead;  // `chats` right after the comment reading stage
    int32_t arrivalCounterAfterRead = -1;
    bool deleted = false;
    bool finishedAtDeletion = false;
    bool listsEmptyAtDeletion = false;
    bool chatsEmptyAtDeletion = false;
    ManualResetEvent blocked;  // set when the blocking stage has been entered
    ManualResetEvent gate;     // releases a held login
};

class ScriptedJob : public CNicoThread {
public:
    ScriptedJob(JobRequest request, JobSink& sink, uint64_t serial, const StageScript& script,
                StageLog& log)
        : CNicoThread(std::move(request), sink, serial), script(script), log(log) {}

    ~ScriptedJob() override {
        log.deleted = true;
        log.finishedAtDeletion = finishedEvent.isSet();
        log.listsEmptyAtDeletion = request.ngList.empty() && request.extractList.empty();
        log.chatsEmptyAtDeletion = chats.empty();
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
        if (cookieText != script.loginCookie) {
            return false;
        }
        videoId = "sm9";
        streamUrl = script.streamUrl;
        return script.lookupResult;
    }
    void readCommentXml() override {
        enter("comments");
        CNicoThread::readCommentXml();
        log.chatsRead = chats;
        log.arrivalCounterAfterRead = arrivalCounter;
    }
    bool visitVideoPage(const std::string& /*pageUrl*/, const std::string& /*cookie*/) override {
        enter("visit");
        return script.visitResult;
    }
    bool downloadVideo(const std::string& streamUrl, const std::string& /*cookie*/) override {
        enter("download");
        if (streamUrl != script.streamUrl) {
            return false;
        }
        postProgress(40);
        return script.downloadResult;
    }
    void PrepareEncoding() override {
        enter("prepare");
        log.ngSeen = request.ngList;
        log.extractSeen = request.extractList;
        encodeTotalFrames = 600;
    }
    bool writeOverlayFiles() override {
        enter("overlay");
        return true;
    }
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
    // Records the stage, then blocks or throws when the script says so. A blocked stage
    // simulates a long download or encoder run that stops when the cancel event is set.
    void enter(const std::string& stage) {
        log.calls.push_back(stage);
        if (script.throwIn == stage) {
            throw std::runtime_error("stage failed: " + stage);
        }
        if (script.blockIn == stage) {
            log.blocked.set();
            cancelEvent.wait();
        }
    }

    const StageScript script;
    StageLog& log;
};

// A folder of its own for one test, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        path_ =
            std::filesystem::temp_directory_path() /
            ("lumivox_job_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as the job takes it: ending in a separator.
    std::string withSeparator() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};
