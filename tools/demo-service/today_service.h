#pragma once
// The demo service playing the video service as it is today, every host on 127.0.0.1 over
// https with the self-signed certificate:
//   account   GET /api/public/v2/user.json (the session check), GET /login
//   www       GET / and /my (the session check by header and redirect), GET /watch/{id} (the
//             watch data as JSON with ?responseType=json, else in the HTML page),
//             GET /api/watch/v3/{id} and /api/watch/v3_guest/{id} (the watch API)
//   nvapi     GET /v1/comment/keys/thread, POST /v1/watch/{id}/access-rights/hls
//   comment   POST /v1/threads
//   delivery, asset   the HLS playlists, keys and segments (HlsDelivery)
// and GET /__stats on each. It checks what the service checks: the session cookie, the headers
// the API wants, the thread key (signed, expiring, for its thread), the access-right key and the
// track ID it was issued with, the domand_bid cookie and the URL signatures.

#include <httplib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comment_threads.h"
#include "demo_options.h"
#include "demo_stats.h"
#include "hls_delivery.h"
#include "hls_sample.h"
#include "self_signed_certificate.h"
#include "signed_token.h"
#include "watch_data.h"

class TodayService {
public:
    enum Role { Account, Www, Nvapi, Comment, Delivery, Asset, kRoleCount };

    TodayService(DemoOptions options, const SelfSignedCertificate& certificate, HlsSample sample,
                 CommentThreads comments);
    ~TodayService();
    TodayService(const TodayService&) = delete;
    TodayService& operator=(const TodayService&) = delete;

    // Encrypts the segments, binds every host to a port of 127.0.0.1 and starts serving on
    // threads of their own. False (with `error` set) when that failed.
    bool start(std::string& error);
    // Wakes every handler that waits (slow faults), stops the hosts and joins their threads.
    void stop();

    // "account=URL www=URL nvapi=URL comment=URL delivery=URL asset=URL".
    std::string hostList() const;
    const std::string& sessionCookie() const { return sessionCookie_; }
    const HlsSample& sample() const { return sample_; }
    const DemoStats& stats() const { return stats_; }

private:
    std::string base(Role role) const;
    void setUpAccount(httplib::Server& host);
    void setUpWww(httplib::Server& host);
    void setUpNvapi(httplib::Server& host);
    void setUpComment(httplib::Server& host);

    void handleWatchPage(const httplib::Request& request, httplib::Response& response);
    void handleWatchApi(const httplib::Request& request, httplib::Response& response, bool guest);
    void handleThreadKey(const httplib::Request& request, httplib::Response& response);
    void handleAccessRights(const httplib::Request& request, httplib::Response& response);
    void handleThreads(const httplib::Request& request, httplib::Response& response);

    bool validSession(const httplib::Request& request) const;
    bool knownVideo(const std::string& id) const;
    // The [video, audio] or [audio] pairs of an access-rights body, each a rendition of the
    // sample; nothing when the body is not that.
    std::optional<std::vector<std::vector<std::string>>> parseOutputs(
        const std::string& body) const;
    std::string threadKey(bool loggedIn, bool expired) const;
    WatchRequestFacts watchFacts(const std::string& watchId, std::string trackId,
                                 bool loggedIn) const;
    // Sends `body` with `status`, or with 200 when the errors-as-200 fault is on.
    void sendJson(httplib::Response& response, int status, const nlohmann::json& body) const;
    void sendError(httplib::Response& response, int status, const std::string& code) const;
    bool waitOrStop(std::chrono::milliseconds duration);
    void log(const httplib::Request& request, const httplib::Response& response) const;

    const DemoOptions options_;
    const HlsSample sample_;
    const CommentThreads comments_;
    const std::string sessionCookie_;
    DemoStats stats_;
    TokenSigner tokens_;
    WatchData watchData_;
    HlsDelivery delivery_;
    std::array<std::unique_ptr<httplib::SSLServer>, kRoleCount> hosts_;
    std::array<int, kRoleCount> ports_{};
    std::array<std::thread, kRoleCount> threads_;
    std::atomic<bool> tooManyShown_{false};

    std::mutex stopMutex_;
    std::condition_variable stopChanged_;
    bool stopping_ = false;
};
