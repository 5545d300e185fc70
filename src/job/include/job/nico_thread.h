#pragma once
// The job object: one job turns one video page URL into a movie on a worker thread of its own,
// so that the front end stays responsive during the long network and encoding steps.
//
// Threads. The front end (GUI or CLI thread) creates the object, calls start(), perhaps
// requestStop(), and later StopAndDelete(); nothing else of the object is used by it. From
// start() on, the request and the job state belong to the worker thread alone, except `started`
// and `deleting` (front end only) and the two events. The worker talks to the front end only
// through the JobSink, whose calls never wait for the front end, and every message carries this
// job's serial.
//
// Stages. The job calls its stage operations in a fixed order (InitInstance). They are virtual
// member functions: the network stages run the service client against `request.endpoints`, a
// local front end (lumivox-cli render) replaces them with their local counterparts, and tests
// override them to drive the pipeline. Comment reading and the encoding stages are the job's own.
//
// Outcome. Every job ends with a JobOutcome (succeeded, stopped, or failed with a one-line
// reason), settled on the worker before its "done" and handed to the front end by
// StopAndDelete. A stage that fails says why with fail(); the first reason given counts.
//
// Folders. Every file of the job is addressed from `request.workFolder` or `request.saveFolder`;
// the worker never changes the process's current folder. The front end makes `workFolder` the
// current folder before it starts a job. The encoder is started from `request.programFolder`
// with `workFolder` as its own working folder.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "comments/chat_record.h"
#include "comments/comment_commands.h"
#include "job/argument_template.h"
#include "job/job_outcome.h"
#include "job/job_request.h"
#include "job/job_sink.h"
#include "job/service_stages.h"
#include "platform/manual_reset_event.h"
#include "platform/worker_thread.h"
#include "service/service_context.h"

class CNicoThread {
public:
    // `sink` must outlive the object. `jobSerial` is the front end's number for this job; every
    // message of the job carries it.
    CNicoThread(JobRequest request, JobSink& sink, uint64_t jobSerial);
    // Delete a started job only through StopAndDelete, which waits for its thread's end first.
    virtual ~CNicoThread();
    CNicoThread(const CNicoThread&) = delete;
    CNicoThread& operator=(const CNicoThread&) = delete;

    // Front-end thread. Runs the job on a worker thread at below-normal priority. False when the
    // thread could not be created, or the object has already been started: then no job runs and
    // no message of it will come (the front end returns to idle by itself).
    bool start();

    // Front-end thread. Asks the job to stop and returns at once: the job sees the request at its
    // next poll point, runs to its end and posts its "done" as usual. The front end then calls
    // StopAndDelete, which by then waits only for the thread's last instructions.
    void requestStop() { cancelEvent.set(); }

    // Front-end thread only. Asks the job to stop, waits without time-out until its thread has
    // finished, then deletes it and leaves `job` empty. Returns at once when `job` is empty or a
    // stop of it is already under way (a nested call during the wait). The job, if still running,
    // sees the request at its next poll point, runs to its end and posts its "done" as usual,
    // before this returns; a front end that has started another job by the time it handles that
    // message tells the two apart by the serial.
    // Returns the job's outcome (Stopped when the stop cut it short), or nothing when `job` was
    // empty, a stop was already under way, or the job had never been started.
    static std::optional<JobOutcome> StopAndDelete(std::unique_ptr<CNicoThread>& job);

    uint64_t jobSerial() const { return serial; }

protected:
    // Stage operations, called in this order on the worker thread (see InitInstance).

    // Logs in with `request.mail` and `request.password` (empty ones when `request.noAutoLogin`
    // is set) and leaves the service's cookie string in `cookie`; empty when the login failed.
    virtual void loginToService();
    // Asks the service for the video's data: sets `videoId` and `videoFile`, saves the comment
    // thread as comment.xml in the work folder and hands back the stream address in `streamUrl`.
    // True when the answer carried a stream address.
    virtual bool lookUpVideo(const std::string& cookie, std::string& streamUrl);
    // Appends the comments of the file the service stages saved (commentFile(): comment.xml, or
    // today's JSON), in whatever format it holds, to `chats` and notes the command vocabulary
    // of its era. A missing or empty file adds nothing and the job goes on without comments;
    // a file that is not a readable comment file fails the job.
    virtual void readComments();
    // Opens the video page with the cookie, so that the cookies it sets reach the download.
    // True when the page was read to its end; the job does not look at the result.
    virtual bool visitVideoPage(const std::string& pageUrl, const std::string& cookie);
    // Downloads the stream into `videoFile`, polling the cancel event and posting progress.
    // True when the whole stream is in `videoFile`; a stop or a failure leaves an earlier
    // `videoFile` as it was.
    virtual bool downloadVideo(const std::string& streamUrl, const std::string& cookie);
    // Fills the file placeholders of `request.formatTemplate`, probes the video and lays the
    // comments out; sets `encodeTotalFrames`, `videoWidth`, `videoHeight` and `videoFps` when
    // the probe succeeded.
    virtual void PrepareEncoding();
    // Writes comment.ini and data.ini into the work folder for the frame filter. False when
    // the pair could not be written; then neither file is left in the work folder.
    virtual bool writeOverlayFiles();
    // Writes the comments as an ASS script (comment.ass in the work folder), for the formats
    // that carry them as a subtitle track or file. False when it could not be written.
    virtual bool writeSubtitleScript();
    // Returns the final encoder argument text, the frame-filter arguments put in place.
    virtual std::string SpliceFilterArguments();
    // Runs the encoder with `arguments` until its output ends, polling the cancel event after
    // every read and posting encoding progress, and reaps it. Records the movie as written when
    // the encoder exits with status 0, else the failure.
    virtual void RunEncoder(const std::string& arguments);

    // Helpers for the stages (worker thread).

    // True when the front end has asked the job to stop; the event stays set once set.
    bool isCancelled() const { return cancelEvent.isSet(); }
    // Download or encoding progress in percent.
    void postProgress(int percent);
    // Hands the error text of a failed HTTP operation to the front end to show. Does not wait
    // for it to be shown: the job goes on (or ends) at once.
    void serviceError(const std::string& text);
    // `name` inside the work folder.
    std::string workFile(const std::string& name) const;
    // What "<%TemporaryFile%>" stands for: the path the encoder writes the movie to, without
    // its extension. A hidden name in the save folder that no other job or process uses
    // (".ID.encoding-PID-SERIAL"), so that a movie of the same name is replaced only by a
    // finished one.
    std::string temporaryFile() const;
    // The name a movie written as `written` (temporaryFile() plus an extension) is given once
    // it is finished: the save folder, a separator, the video ID, the extension.
    std::string finishedMovieFile(const std::string& written) const;
    // Whether both names lead to one existing file (false when either does not exist).
    static bool isSameFile(const std::string& a, const std::string& b);
    // The movie the encoder wrote as `written` holds the whole video (see movie_length_check.h);
    // otherwise records the failure. `encodedFrames` is the encoder's last frame count.
    bool movieIsComplete(const std::string& written, std::optional<int64_t> encodedFrames);
    // Records why the job fails. Only the first reason counts: later stages that fail in the
    // wake of an earlier failure do not hide its cause. Line breaks become blanks.
    void fail(const std::string& reason);
    bool hasFailed() const { return !outcome.reason.empty(); }
    // Makes `folder` (the save folder, or the folder of `request.moviePath`) when it is missing,
    // once the job has something to put there; records the failure and returns false when it
    // cannot. An empty path needs nothing.
    bool ensureFolder(const std::string& folder);
    // The folder the movie goes to.
    std::string movieFolder() const;
    // Records the file the job produced: the movie, or the video for the no-encode format.
    void producedFile(const std::string& path) { outcome.moviePath = path; }
    // What the service client of one network stage works with: the request's endpoints,
    // folders and cookie store, the cancel event, serviceError and postProgress.
    ServiceContext serviceContext();
    // The job's fields that the service client reads and writes.
    ServiceJobState serviceState() { return {cookie, videoId, videoFile, lastDownloadPercent}; }

    JobRequest request;

    // Job state. The two events may be touched by both threads; everything else below belongs
    // to the worker while the job runs.
    ManualResetEvent cancelEvent;       // set by the front end to ask the job to stop
    ManualResetEvent finishedEvent;     // set by the worker as the very last act of its thread
    std::string cookie;                 // the service's cookie string after the login
    std::string videoFile;              // full path of the downloaded stream
    std::string videoId;                // the video ID; also the base name of the movie
    int32_t lastDownloadPercent = -1;   // last download percentage posted
    bool commentThreadMissing = false;  // the lookup could not store this video's comment.xml
    int32_t arrivalCounter = 0;         // next `seq` of a comment record
    // The command words of the comments' era, from the file the comments came from.
    CommandVocabulary commentVocabulary = CommandVocabulary::Classic;
    int64_t encodeTotalFrames = 0;  // the video's frame count: the encoding progress total
    int32_t videoWidth = 0;         // frame width from the probe, for comment.ini
    int32_t videoHeight = 0;        // frame height from the probe, for the subtitle script
    double videoFps = 0;            // frame rate from the probe, for the subtitle script
    int32_t videoDurationCs = 0;    // length from the probe in 1/100 s; 0 when not probed
    ChatList chats;                 // the job's comments, laid out in place before encoding
    JobOutcome outcome;             // filled by the stages; settled when the job ends
    std::string videoTitle;         // the video's title, when the service gave one
    // The argument template as chosen, before PrepareEncoding filled its file placeholders;
    // the splice fills every placeholder from it in one pass.
    std::optional<std::string> argumentTemplate;
    // What the file placeholders of the template stand for.
    std::vector<Placeholder> filePlaceholders() const;

    // The network stages of the request's protocol, made at their first use.
    ServiceStages& serviceStages();
    // Hands a note for the user to the front end ("logged in as ..."). Does not wait.
    void notice(const std::string& text);
    // Download progress in segments and bytes, for the front end; does not wait.
    void postDownloadProgress(const DownloadProgress& progress);
    // Encoding progress in percent, with the speed the encoder reported and the time left it
    // gives for the rest of `encodeTotalFrames`; does not wait.
    void postEncodingProgress(int percent, std::optional<double> framesPerSecond);
    // A single stream's download: `received` of `total` bytes, with the speed since the first
    // call of the job and the time left; does not wait.
    void postStreamProgress(int64_t received, int64_t total);

private:
    friend class ClassicServiceStages;
    friend class TodayServiceStages;

    std::unique_ptr<ServiceStages> stages;
    // When the first byte of a single stream's download was reported (worker thread).
    std::optional<std::chrono::steady_clock::time_point> streamStartedAt;

    // The thread's whole work: the job, its exit work, then the finished event.
    void runThread();
    // The job, step by step. Every failure leads quietly to the end of the job.
    void InitInstance();
    // The stages from the login to the encoder run; returns where the job stops early.
    void runStages();
    // Exit work of the thread: drops the copies of the ID lists.
    void ExitInstance();
    // Turns what the stages recorded into the job's result.
    void settleOutcome();

    JobSink& sink;
    const uint64_t serial;
    bool deleting = false;  // front-end thread only: StopAndDelete is under way
    bool started = false;   // front-end thread only: the worker thread was created
    WorkerThread worker;    // last member: joined first when the object goes
};
