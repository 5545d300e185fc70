#pragma once
// The delivery and asset hosts of today's protocol: a grant per access-rights request, the
// master and media playlists it signs, the AES-128 keys, and the encrypted segments.
//
// Each grant has a session; every URL handed out carries "session", "Expires", "Signature" and
// "Key-Pair-Id" in its query, and a request is answered only when its signature is this run's,
// it has not expired and names a rendition of its grant. The master and media playlists, the
// keys, the init sections and the segments also want the "domand_bid" cookie the access rights
// set (403 without). Segments are encrypted once, at start, with a key and IV per rendition,
// and served from memory.

#include <httplib.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "demo_options.h"
#include "demo_stats.h"
#include "hls_sample.h"
#include "platform/result.h"

class HlsDelivery {
public:
    // Waits for the given time unless the service stops first; true when it is stopping.
    using WaitOrStop = std::function<bool(std::chrono::milliseconds)>;

    struct Grant {
        std::string contentUrl;  // the master playlist
        std::string bid;         // the domand_bid cookie's value
        std::time_t created = 0;
        std::time_t expires = 0;
    };

    HlsDelivery(const DemoOptions& options, const HlsSample& sample, DemoStats& stats,
                WaitOrStop waitOrStop);

    // Makes the keys and IVs and encrypts every segment.
    Status prepare();
    // Where the two hosts answer (their base URLs), and their routes.
    void serve(httplib::Server& delivery, const std::string& deliveryBase, httplib::Server& asset,
               const std::string& assetBase);

    // A grant for `outputs` ([video, audio] or [audio] pairs of offered renditions).
    Grant grant(const std::vector<std::vector<std::string>>& outputs);

    // The 24-digit hexadecimal ID of the video on the delivery hosts.
    const std::string& hlsId() const { return hlsId_; }

private:
    struct Session {
        std::set<std::string> renditions;
        std::vector<std::vector<std::string>> outputs;
        std::time_t expires = 0;
        int segmentsServed = 0;
        bool expiresEarly = false;  // the urls-expire fault: refused after two segments
    };
    struct Keyed {
        std::string key;  // 16 bytes
        std::string iv;   // 16 bytes
        std::vector<std::string> encrypted;
    };
    enum class Refusal { None, Signature, Cookie, Rendition };

    std::string signedUrl(const std::string& base, const std::string& path,
                          const std::string& session, std::time_t expires) const;
    // Checks the request's signature, cookie and rendition; on failure answers 403 itself.
    bool admit(const httplib::Request& request, httplib::Response& response,
               const std::string& rendition, std::string& session);
    std::string masterPlaylist(const std::string& session) const;
    std::string mediaPlaylist(const std::string& session, const HlsRendition& rendition) const;
    std::string segmentPath(const HlsRendition& rendition, const std::string& name) const;
    void serveSegment(httplib::Response& response, const std::string& session,
                      const HlsRendition& rendition, size_t index);
    // True once for the first request that `fault` picks, and counts it.
    bool firstTime(const std::string& fault);

    const DemoOptions& options_;
    const HlsSample& sample_;
    DemoStats& stats_;
    WaitOrStop waitOrStop_;
    std::string hlsId_;
    std::string urlSecret_;
    std::map<std::string, Keyed> keyed_;  // by rendition ID, made by prepare()
    std::string deliveryBase_;
    std::string assetBase_;

    mutable std::mutex mutex_;  // guards what follows
    std::map<std::string, Session> sessions_;
    std::set<std::string> bids_;
    std::set<std::string> faultsShown_;
};
