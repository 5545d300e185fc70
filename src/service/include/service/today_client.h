#pragma once
// The client of the video service as it is today: the session check, the watch data, the
// comment threads, the access rights and the fetches of playlists and keys. The HLS segments
// themselves are fetched by HlsDownload.
//
// Login is the user's own `user_session` cookie (password login needs a browser), which the
// client puts into the cookie store for the service's hosts; the access rights set the delivery
// cookie `domand_bid` there, and every later request of the job carries what applies to it.
//
// One thread makes and uses a client; every request ends within about a second of a stop
// (ServiceContext::isCancelled) and after the context's time-outs on a dead server. Failures
// come back as Failure with one English line; the session value never appears in one.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/result.h"
#include "service/cookie_store.h"
#include "service/hls_download.h"
#include "service/service_context.h"
#include "service/today_answers.h"
#include "service/watch_data.h"

// One answer of the service, read whole.
struct ServiceAnswer {
    long status = 0;
    std::string body;
    std::string retryAfter;    // the Retry-After header, when the answer had one
    std::string authFlag;      // x-niconico-authflag, when the answer had one
    std::string effectiveUrl;  // where redirects ended
};

class TodayClient {
public:
    // The longest JSON answer taken (watch data, comment threads); a longer one is an error.
    static constexpr size_t kMaxJsonBytes = 64 * 1024 * 1024;
    // How often a request is repeated after 429 or 503 before it counts as failed, and the
    // longest pause a Retry-After is honoured with.
    static constexpr int kBusyRetries = 3;
    static constexpr int64_t kLongestPauseSeconds = 120;

    // `context` and `cookies` must outlive the client.
    TodayClient(const ServiceContext& context, CookieStore& cookies);

    // Puts `sessionValue` (a bare `user_session` value) into the cookie store for the service's
    // account, web and nvapi hosts: for their common domain when they share one, else for each
    // host alone (loopback addresses).
    Status useSession(const std::string& sessionValue);

    // Asks the account host who the session belongs to. Falls back to the web root's
    // x-niconico-authflag when the account API is not there (404). Fails when the session is
    // refused: no session, expired or logged out.
    Result<AccountInfo> checkSession();

    // The watch data of `videoId`: the watch page as JSON first, then the watch API. A refusal
    // (deleted, private, payment) is an answer, not a failure; a failure is a request that
    // could not be made or an answer that holds neither.
    Result<WatchAnswer> fetchWatchData(const std::string& videoId);

    // Downloads the current comments of every thread the watch data names and stores the
    // server's answer, byte for byte, as `file` (written whole or not at all). An expired
    // thread key is replaced with a fresh one (also kept in `watch`) and the request repeated.
    Status downloadComments(WatchData& watch, const std::filesystem::path& file);

    // The access rights for `pair`: the master playlist's address, and the delivery cookie in
    // the store.
    Result<AccessRights> requestAccessRights(const WatchData& watch, const QualityPair& pair);

    // The video and audio renditions of the master playlist at `masterUrl`: the best video
    // variant and the audio that goes with it, their media playlists read. Fails on a refused
    // playlist (403 names the missing delivery cookie) or one that cannot be read.
    Result<std::vector<HlsRendition>> fetchRenditions(const std::string& masterUrl);

    // A GET of `url` with the store's cookies, read whole (at most `maxBytes`), repeating on
    // 429/503 after the pause the answer asks for. Any status comes back; only a failure of the
    // transfer (or a stop) fails.
    Result<ServiceAnswer> get(const std::string& url, size_t maxBytes,
                              const std::vector<std::string>& headerLines = {});

    // POST with `body`, as get() otherwise. POSTs are repeated only after 429/503, which say
    // the request was not taken.
    Result<ServiceAnswer> post(const std::string& url, const std::string& body,
                               const std::vector<std::string>& headerLines, size_t maxBytes);

    // Waits `seconds` unless the job is stopped first; false when stopped.
    bool pause(int64_t seconds) const;

    // The header lines the service's own web pages send with API requests.
    std::vector<std::string> frontendHeaders() const;

    bool cancelled() const;

private:
    Result<ServiceAnswer> send(const std::string& url, const std::string* body,
                               const std::vector<std::string>& headerLines, size_t maxBytes);
    Result<WatchAnswer> fetchWatchRoute(const std::string& url, bool api);
    Result<std::string> freshThreadKey(const std::string& videoId);

    const ServiceContext& context_;
    CookieStore& cookies_;
};

// The cookie domain shared by `hosts` (host names): their longest common suffix of whole labels
// that still holds a dot ("nicovideo.jp" for www., account. and nvapi.nicovideo.jp); empty
// when they share none, or when a host is an IP address.
std::string commonCookieDomain(const std::vector<std::string>& hosts);
