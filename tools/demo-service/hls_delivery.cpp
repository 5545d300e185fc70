#include "hls_delivery.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "demo_crypto.h"
#include "demo_http.h"

namespace {

constexpr const char* kKeyPairId = "K2DEMO0LUMIVOX";
constexpr std::time_t kGrantSeconds = 3600;
constexpr size_t kPieceBytes = 1024 * 1024;
constexpr size_t kSlowPieceBytes = 16 * 1024;
constexpr auto kSlowPause = std::chrono::milliseconds(100);
constexpr int kSegmentsBeforeEarlyExpiry = 2;
constexpr const char* kPlaylistType = "application/vnd.apple.mpegurl";
constexpr const char* kDenied =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Error><Code>AccessDenied</Code>"
    "<Message>Access denied</Message></Error>";

// "01", "02", ... "100": the segment's number in its media playlist.
std::string segmentName(size_t index) {
    char text[24];
    std::snprintf(text, sizeof text, "%02zu", index + 1);
    return text;
}

std::string extension(const HlsRendition& rendition) {
    return rendition.video ? ".cmfv" : ".cmfa";
}

}  // namespace

HlsDelivery::HlsDelivery(const DemoOptions& options, const HlsSample& sample, DemoStats& stats,
                         WaitOrStop waitOrStop)
    : options_(options),
      sample_(sample),
      stats_(stats),
      waitOrStop_(std::move(waitOrStop)),
      // Like the service's IDs: a creation time, then random digits.
      hlsId_(hexText(std::string{0x65, 0x53, 0x3c, 0x00}) + hexText(randomBytes(8))),
      urlSecret_(randomBytes(32)) {}

Status HlsDelivery::prepare() {
    for (const HlsRendition& rendition : sample_.renditions()) {
        Keyed keyed{randomBytes(16), randomBytes(16), {}};
        for (const std::string& segment : rendition.segments) {
            Result<std::string> encrypted = encryptAes128Cbc(segment, keyed.key, keyed.iv);
            if (!encrypted)
                return encrypted.failure();
            keyed.encrypted.push_back(std::move(*encrypted));
        }
        keyed_.emplace(rendition.id, std::move(keyed));
    }
    return {};
}

std::string HlsDelivery::signedUrl(const std::string& base, const std::string& path,
                                   const std::string& session, std::time_t expires) const {
    const std::string expiresText = std::to_string(expires);
    const std::string signature =
        hexText(hmacSha256(urlSecret_, path + "|" + session + "|" + expiresText));
    return base + path + "?session=" + session + "&Expires=" + expiresText +
           "&Signature=" + signature + "&Key-Pair-Id=" + kKeyPairId;
}

HlsDelivery::Grant HlsDelivery::grant(const std::vector<std::vector<std::string>>& outputs) {
    Session session;
    for (const auto& pair : outputs)
        session.renditions.insert(pair.begin(), pair.end());
    session.outputs = outputs;
    Grant answer;
    answer.created = std::time(nullptr);
    answer.expires = answer.created + kGrantSeconds;
    session.expires = answer.expires;
    answer.bid = hexText(randomBytes(16));
    const std::string id = hexText(randomBytes(16));
    {
        std::lock_guard lock(mutex_);
        session.expiresEarly = options_.fault("urls-expire") && sessions_.empty();
        sessions_.emplace(id, std::move(session));
        bids_.insert(answer.bid);
    }
    answer.contentUrl = signedUrl(
        deliveryBase_, "/hlsbid/" + hlsId_ + "/playlists/variants/" + id.substr(0, 16) + ".m3u8",
        id, answer.expires);
    return answer;
}

bool HlsDelivery::admit(const httplib::Request& request, httplib::Response& response,
                        const std::string& rendition, std::string& sessionId) {
    sessionId = request.get_param_value("session");
    const std::string expires = request.get_param_value("Expires");
    const std::string expected =
        hexText(hmacSha256(urlSecret_, request.path + "|" + sessionId + "|" + expires));
    std::string refusal;
    {
        std::lock_guard lock(mutex_);
        const auto session = sessions_.find(sessionId);
        if (!sameSecret(request.get_param_value("Signature"), expected) ||
            request.get_param_value("Key-Pair-Id") != kKeyPairId || session == sessions_.end()) {
            refusal = "bad signature";
        } else if (std::atoll(expires.c_str()) < std::time(nullptr) ||
                   (session->second.expiresEarly &&
                    session->second.segmentsServed >= kSegmentsBeforeEarlyExpiry)) {
            refusal = "expired";
        } else if (bids_.count(cookieValue(request, "domand_bid")) == 0) {
            refusal = "no domand_bid";
        } else if (!rendition.empty() && session->second.renditions.count(rendition) == 0) {
            refusal = "rendition not granted";
        }
    }
    if (refusal.empty())
        return true;
    stats_.remember("delivery-refusal", request.path + " " + refusal);
    response.status = 403;
    response.set_content(kDenied, "text/xml");
    return false;
}

bool HlsDelivery::firstTime(const std::string& fault) {
    if (!options_.fault(fault))
        return false;
    std::lock_guard lock(mutex_);
    return faultsShown_.insert(fault).second;
}

std::string HlsDelivery::segmentPath(const HlsRendition& rendition, const std::string& name) const {
    return "/hlsbid/" + hlsId_ + (rendition.video ? "/video/1/" : "/audio/1/") + rendition.id +
           "/" + name + extension(rendition);
}

std::string HlsDelivery::masterPlaylist(const std::string& sessionId) const {
    std::vector<std::vector<std::string>> outputs;
    std::time_t expires = 0;
    {
        std::lock_guard lock(mutex_);
        const Session& session = sessions_.at(sessionId);
        outputs = session.outputs;
        expires = session.expires;
    }
    const auto mediaUrl = [&](const std::string& id) {
        return signedUrl(deliveryBase_, "/hlsbid/" + hlsId_ + "/playlists/media/" + id + ".m3u8",
                         sessionId, expires);
    };
    std::string text = "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-INDEPENDENT-SEGMENTS\n";
    std::set<std::string> audiosListed;
    for (const auto& pair : outputs) {
        const std::string& audioId = pair.back();
        if (audiosListed.insert(audioId).second) {
            text += "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"" + audioId +
                    "\",NAME=\"Main Audio\",DEFAULT=YES,URI=\"" + mediaUrl(audioId) + "\"\n";
        }
    }
    for (const auto& pair : outputs) {
        const HlsRendition& audio = *sample_.find(pair.back());
        const HlsRendition* video = pair.size() == 2 ? sample_.find(pair.front()) : nullptr;
        const long peak = audio.peakBitRate() + (video ? video->peakBitRate() : 0);
        const long average = audio.averageBitRate() + (video ? video->averageBitRate() : 0);
        text += "#EXT-X-STREAM-INF:BANDWIDTH=" + std::to_string(peak) +
                ",AVERAGE-BANDWIDTH=" + std::to_string(average) + ",CODECS=\"" +
                (video ? video->codecs + "," : std::string()) + audio.codecs + "\"";
        if (video) {
            text += ",RESOLUTION=" + std::to_string(video->width) + "x" +
                    std::to_string(video->height) + ",FRAME-RATE=" + video->frameRate;
        }
        text += ",AUDIO=\"" + audio.id + "\"\n" + mediaUrl(video ? video->id : audio.id) + "\n";
    }
    return text;
}

std::string HlsDelivery::mediaPlaylist(const std::string& sessionId,
                                       const HlsRendition& rendition) const {
    std::time_t expires = 0;
    {
        std::lock_guard lock(mutex_);
        expires = sessions_.at(sessionId).expires;
    }
    double longest = 0;
    for (const double duration : rendition.durations)
        longest = std::max(longest, duration);
    const Keyed& keyed = keyed_.at(rendition.id);
    std::string text =
        "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:" + std::to_string(std::lround(longest)) +
        "\n#EXT-X-MEDIA-SEQUENCE:1\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    text += "#EXT-X-MAP:URI=\"" +
            signedUrl(assetBase_, segmentPath(rendition, "init01"), sessionId, expires) + "\"\n";
    text += "#EXT-X-KEY:METHOD=AES-128,URI=\"" +
            signedUrl(deliveryBase_, "/hlsbid/" + hlsId_ + "/keys/" + rendition.id + ".key",
                      sessionId, expires) +
            "\",IV=0x" + hexText(keyed.iv) + "\n";
    for (size_t i = 0; i < rendition.segments.size(); ++i) {
        char duration[32];
        std::snprintf(duration, sizeof duration, "#EXTINF:%.6f,\n", rendition.durations[i]);
        text += duration +
                signedUrl(assetBase_, segmentPath(rendition, segmentName(i)), sessionId, expires) +
                "\n";
    }
    return text + "#EXT-X-ENDLIST\n";
}

void HlsDelivery::serveSegment(httplib::Response& response, const std::string& sessionId,
                               const HlsRendition& rendition, size_t index) {
    {
        std::lock_guard lock(mutex_);
        ++sessions_.at(sessionId).segmentsServed;
    }
    const std::string* bytes = &keyed_.at(rendition.id).encrypted[index];
    const char* type = rendition.video ? "video/mp4" : "audio/mp4";
    const bool second = index == 1;
    if (second && ((rendition.video && firstTime("segment-429")) ||
                   (!rendition.video && firstTime("segment-503")))) {
        response.status = rendition.video ? 429 : 503;
        response.set_header("Retry-After", "1");
        response.set_content(rendition.video ? "Too Many Requests\n" : "Service Unavailable\n",
                             "text/plain");
        return;
    }
    if (second && firstTime("segment-cut")) {
        const size_t half = bytes->size() / 2;
        response.set_content_provider(
            bytes->size(), type,
            [bytes, half](size_t offset, size_t length, httplib::DataSink& sink) {
                if (offset >= half)
                    return false;  // the connection closes with half the segment sent
                return sink.write(bytes->data() + offset, std::min({length, half - offset}));
            });
        return;
    }
    if (second && options_.fault("segment-slow")) {
        response.set_content_provider(
            bytes->size(), type,
            [this, bytes](size_t offset, size_t length, httplib::DataSink& sink) {
                if (waitOrStop_(kSlowPause))
                    return false;
                return sink.write(bytes->data() + offset, std::min(length, kSlowPieceBytes));
            });
        return;
    }
    response.set_content_provider(
        bytes->size(), type, [bytes](size_t offset, size_t length, httplib::DataSink& sink) {
            return sink.write(bytes->data() + offset, std::min(length, kPieceBytes));
        });
}

void HlsDelivery::serve(httplib::Server& delivery, const std::string& deliveryBase,
                        httplib::Server& asset, const std::string& assetBase) {
    deliveryBase_ = deliveryBase;
    assetBase_ = assetBase;
    const std::string prefix = "/hlsbid/" + hlsId_;
    delivery.Get(prefix + R"(/playlists/variants/([0-9a-f]+)\.m3u8)",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     stats_.count(request.path);
                     std::string session;
                     if (admit(request, response, "", session))
                         response.set_content(masterPlaylist(session), kPlaylistType);
                 });
    delivery.Get(prefix + R"(/playlists/media/([a-z0-9-]+)\.m3u8)",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     stats_.count(request.path);
                     std::string session;
                     const HlsRendition* rendition = sample_.find(request.matches[1].str());
                     if (rendition && admit(request, response, rendition->id, session))
                         response.set_content(mediaPlaylist(session, *rendition), kPlaylistType);
                     else if (!rendition)
                         response.status = 404;
                 });
    delivery.Get(prefix + R"(/keys/([a-z0-9-]+)\.key)", [this](const httplib::Request& request,
                                                               httplib::Response& response) {
        stats_.count(request.path);
        std::string session;
        const HlsRendition* rendition = sample_.find(request.matches[1].str());
        if (!rendition) {
            response.status = 404;
        } else if (admit(request, response, rendition->id, session)) {
            if (options_.fault("key-refused")) {
                response.status = 403;
                response.set_content(kDenied, "text/xml");
            } else {
                response.set_content(keyed_.at(rendition->id).key, "application/octet-stream");
            }
        }
    });
    asset.Get(prefix + R"(/(video|audio)/1/([a-z0-9-]+)/([0-9a-z]+)\.(cmfv|cmfa))",
              [this](const httplib::Request& request, httplib::Response& response) {
                  stats_.count(request.path);
                  const HlsRendition* rendition = sample_.find(request.matches[2].str());
                  const std::string name = request.matches[3].str();
                  std::string session;
                  if (!rendition || (request.matches[1].str() == "video") != rendition->video ||
                      request.matches[4].str() != extension(*rendition).substr(1)) {
                      response.status = 404;
                      return;
                  }
                  if (!admit(request, response, rendition->id, session))
                      return;
                  if (name == "init01") {
                      response.set_content(rendition->init,
                                           rendition->video ? "video/mp4" : "audio/mp4");
                      return;
                  }
                  const size_t number = std::strtoul(name.c_str(), nullptr, 10);
                  if (number == 0 || number > rendition->segments.size() ||
                      name != segmentName(number - 1)) {
                      response.status = 404;
                      return;
                  }
                  serveSegment(response, session, *rendition, number - 1);
              });
}
