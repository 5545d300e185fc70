#pragma once
// The video service's client: the login, the video lookup with the comment thread, the visit of
// the video page and the download of the video stream. A job makes one client per stage call
// (it is cheap: it holds only references) on its worker thread and calls the operation of the
// stage; every operation opens its own curl handle and closes it before it returns.
//
// Failures come back with their reason, phrased for the job's outcome. Errors of the HTTP
// layer (curl's own, a failed TLS verification) are also handed to `reportError` with curl's
// text at once, so that the front end can show them while the job goes on, except while the job
// is stopping. Every request ends within about a second of a stop (the failure then says so),
// and on a dead server after the connect or stall time-out.
//
// Cookies: every request keeps and sends its cookies in one store (see CookieStore), which
// decides what each request carries and is saved to its jar after each operation that changed
// it. The job's cookie text is its record of the login; it is not sent by the client.

#include <cstdint>
#include <string>

#include "platform/result.h"
#include "service/cookie_store.h"
#include "service/service_context.h"

// The two attempts of a video download. The second asks for a reload (curl never makes a
// conditional request, so both go to the server alike) and reports its error; the first fails
// quietly.
enum class DownloadAttempt { First, Retry };

// What a successful video lookup found.
struct VideoLookup {
    std::string streamUrl;  // the address of the video stream, decoded
    Status commentThread;   // how the download of the comment thread went
};

class ServiceClient {
public:
    // The agent string of the requests opened by URL (the lookup and the page visit).
    static constexpr const char* kAgent = "lumivox";
    // How much of the stream curl hands over at once: large pieces, written straight to the file.
    static constexpr long kDownloadBufferBytes = 512 * 1024;
    // The longest getflv answer taken; a longer one is an error.
    static constexpr size_t kMaxLookupAnswerBytes = 4 * 1024 * 1024;

    // `context` is copied; `state` refers to the job's fields, which must outlive the client.
    ServiceClient(ServiceContext context, ServiceJobState state);

    // Logs in with `mail` and `password` (both emptied when `noAutoLogin`), sent form-encoded,
    // unless the job's cookie is already set. Afterwards the job's cookie holds the store's
    // cookies for the web host ("name=value; name=value"), which may be empty (a wrong password
    // or no automatic login, without an earlier login's cookie). Fails with curl's text when the
    // request met an error of the HTTP layer (reported), or on a stop; the answer itself is not
    // looked at.
    Status loginToService(std::string mail, std::string password, bool noAutoLogin);

    // Finds the video ID in `pageUrl` (after "watch/", up to a "?" or "#"; an ID that could
    // name a file outside the save folder is refused), sets the job's videoId and videoFile,
    // asks the web host's getflv for the video's data, and takes the stream address of the
    // answer's "&url=". Then fetches the comment thread (downloadCommentThread). Fails without
    // a request when the ID is missing or refused, and when the request fails or the answer
    // carries no stream address.
    Result<VideoLookup> lookUpVideo(const std::string& pageUrl);

    // Opens the video page and reads it to its end, so that the cookies it sets reach the
    // download.
    Status visitVideoPage(const std::string& pageUrl);

    // Downloads the stream into the job's videoFile: a first attempt, and when it fails (and the
    // job is not stopping) a second one. Succeeds only when the file holds the whole stream; a
    // stop fails with "the job was stopped".
    Status downloadVideo(const std::string& streamUrl);

    // One attempt. The stream is received into videoFile + ".part", which replaces videoFile
    // only when the whole answer arrived (as long as its Content-Length, when it had one) and
    // was not empty. A stop, an answer with a status of 400 or more, a cut connection or any
    // other error leaves an earlier videoFile as it was and the bytes that arrived in the part
    // file (see PartialDownload), and fails with the error's text (the second attempt also
    // reports it). When the part file holds the start of the same file (same length and
    // validators), only the rest is asked for with a range request; a server that answers with
    // the whole file, or whose file changed, starts the part file over. Redirects are followed.
    // Progress goes through reportDownloadProgress.
    Status downloadVideoOnce(const std::string& streamUrl, DownloadAttempt attempt);

    // Posts the download percentage received × 100 / total when it differs from the last one
    // posted (the job's lastDownloadPercent, -1 at the start); nothing when `total` is 0 or
    // less. Percentages above 100 are posted too (a total guessed from the first piece).
    void reportDownloadProgress(int64_t total, int64_t received);

    // Fetches the comment thread that the getflv `answer` names ("&ms=" the message server,
    // "thread_id=" the thread) and stores the server's answer byte for byte as comment.xml in
    // the work folder. The file is emptied first; it stays empty when the answer names no
    // server or thread (no request then, and no failure). Fails when comment.xml cannot be
    // created (the earlier file then stays), or the request or the writing fails.
    Status downloadCommentThread(const std::string& answer);

    CookieStore& cookieStore() { return cookies_; }

private:
    void reportError(const std::string& text) const;
    bool cancelled() const;

    ServiceContext context_;
    ServiceJobState state_;
    CookieStore& cookies_;
};
