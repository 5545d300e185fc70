#include "service/today_client.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/log.h"
#include "platform/replace_file.h"
#include "service/http_request.h"
#include "service/session_cookie.h"
#include "service/url_parts.h"

namespace {

constexpr size_t kMaxSmallAnswerBytes = 1024 * 1024;
constexpr size_t kMaxPlaylistBytes = 16 * 1024 * 1024;

std::string hostOf(const std::string& base) {
    const std::optional<UrlParts> parts = splitUrl(base);
    return parts ? parts->server : std::string();
}

bool isIpAddress(const std::string& host) {
    return host.find(':') != std::string::npos ||
           host.find_first_not_of("0123456789.") == std::string::npos;
}

std::string labelsAfter(const std::string& host, size_t dropLabels) {
    size_t at = 0;
    for (size_t i = 0; i < dropLabels; ++i) {
        at = host.find('.', at);
        if (at == std::string::npos) {
            return {};
        }
        ++at;
    }
    return host.substr(at);
}

bool isBusy(long status) {
    return status == 429 || status == 503;
}

int64_t nowUnix() {
    return static_cast<int64_t>(std::time(nullptr));
}

}  // namespace

std::string commonCookieDomain(const std::vector<std::string>& hosts) {
    if (hosts.empty()) {
        return {};
    }
    for (const std::string& host : hosts) {
        if (host.empty() || isIpAddress(host)) {
            return {};
        }
    }
    // Try the first host's suffixes from the longest down; the first one every host ends with.
    for (size_t drop = 0;; ++drop) {
        const std::string suffix = labelsAfter(hosts.front(), drop);
        if (suffix.empty() || suffix.find('.') == std::string::npos) {
            return {};
        }
        bool shared = true;
        for (const std::string& host : hosts) {
            shared = shared && (host == suffix || (host.size() > suffix.size() &&
                                                   host.compare(host.size() - suffix.size(),
                                                                suffix.size(), suffix) == 0 &&
                                                   host[host.size() - suffix.size() - 1] == '.'));
        }
        if (shared) {
            return suffix;
        }
    }
}

TodayClient::TodayClient(const ServiceContext& context, CookieStore& cookies)
    : context_(context), cookies_(cookies) {}

bool TodayClient::cancelled() const {
    return context_.isCancelled && context_.isCancelled();
}

bool TodayClient::pause(int64_t seconds) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (cancelled()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return !cancelled();
}

std::vector<std::string> TodayClient::frontendHeaders() const {
    return {"X-Frontend-Id: 6", "X-Frontend-Version: 0"};
}

Status TodayClient::useSession(const std::string& sessionValue) {
    const ServiceEndpoints& e = context_.endpoints;
    const std::vector<std::string> hosts = {hostOf(e.accountBase), hostOf(e.todayWebBase),
                                            hostOf(e.nvapiBase)};
    const std::string domain = commonCookieDomain(hosts);
    const auto store = [this, &sessionValue](const std::string& where, bool shared) {
        StoredCookie cookie;
        cookie.domain = where;
        cookie.includeSubdomains = shared;
        cookie.name = kSessionCookieName;
        cookie.value = sessionValue;
        return cookies_.setCookie(cookie).ok();
    };
    bool stored = true;
    if (!domain.empty()) {
        stored = store(domain, true);
    } else {
        for (const std::string& host : hosts) {
            stored = !host.empty() && store(host, false) && stored;
        }
    }
    if (!stored) {
        return Failure{"the session cookie could not be stored for the service's hosts"};
    }
    return {};
}

Result<ServiceAnswer> TodayClient::send(const std::string& url, const std::string* body,
                                        const std::vector<std::string>& headerLines,
                                        size_t maxBytes) {
    const std::optional<UrlParts> parts = splitUrl(url);
    if (!parts || (parts->scheme != "http" && parts->scheme != "https")) {
        return Failure{"not an http(s) address: " + url.substr(0, url.find('?'))};
    }
    for (int attempt = 0;; ++attempt) {
        HttpRequest request(context_, cookies_);
        request.setUrl(requestUrl(*parts));
        request.setUserAgent(context_.endpoints.todayUserAgent);
        request.setHeaderLines(headerLines);
        if (body != nullptr) {
            request.setPostBody(*body);
        }
        ServiceAnswer answer;
        bool tooLarge = false;
        request.onBody([&](const char* data, size_t size) {
            if (answer.body.size() + size > maxBytes) {
                tooLarge = true;
                return false;
            }
            answer.body.append(data, size);
            return true;
        });
        switch (request.perform()) {
            case HttpRequest::Outcome::Done:
                break;
            case HttpRequest::Outcome::Cancelled:
                return Failure{"stopped"};
            case HttpRequest::Outcome::Failed:
                return Failure{tooLarge ? "the answer of " + parts->server + " is larger than " +
                                              std::to_string(maxBytes) + " bytes"
                                        : request.errorText()};
        }
        answer.status = request.status();
        answer.retryAfter = request.headerValue("Retry-After");
        answer.authFlag = request.headerValue("x-niconico-authflag");
        char* effective = nullptr;
        if (curl_easy_getinfo(request.handle(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
            effective != nullptr) {
            answer.effectiveUrl = effective;
        }
        if (!isBusy(answer.status) || attempt >= kBusyRetries) {
            return answer;
        }
        const int64_t wait =
            std::min(retryAfterSeconds(answer.retryAfter, nowUnix()).value_or(2LL << attempt),
                     kLongestPauseSeconds);
        logInfo(LogComponent::Service, parts->server + " answered " +
                                           std::to_string(answer.status) + "; trying again in " +
                                           std::to_string(wait) + " s");
        if (!pause(wait)) {
            return Failure{"stopped"};
        }
    }
}

Result<ServiceAnswer> TodayClient::get(const std::string& url, size_t maxBytes,
                                       const std::vector<std::string>& headerLines) {
    return send(url, nullptr, headerLines, maxBytes);
}

Result<ServiceAnswer> TodayClient::post(const std::string& url, const std::string& body,
                                        const std::vector<std::string>& headerLines,
                                        size_t maxBytes) {
    return send(url, &body, headerLines, maxBytes);
}

Result<AccountInfo> TodayClient::checkSession() {
    const std::string base = withoutTrailingSlashes(context_.endpoints.accountBase);
    Result<ServiceAnswer> answer = get(base + "/api/public/v2/user.json", kMaxSmallAnswerBytes);
    if (!answer) {
        return answer.failure();
    }
    if (answer->status != 404) {
        return readAccountAnswer(answer->body, answer->status);
    }
    // The account API is gone: the web root tells by its auth flag (1 regular, 3 premium).
    const std::string root = withoutTrailingSlashes(context_.endpoints.todayWebBase) + "/";
    Result<ServiceAnswer> page = get(root, kMaxJsonBytes);
    if (!page) {
        return page.failure();
    }
    if (page->authFlag != "1" && page->authFlag != "3") {
        return Failure{"the service refused the session (x-niconico-authflag " +
                       (page->authFlag.empty() ? std::string("missing") : page->authFlag) + ")"};
    }
    AccountInfo account;
    account.premium = page->authFlag == "3";
    return account;
}

Result<WatchAnswer> TodayClient::fetchWatchRoute(const std::string& url, bool api) {
    std::vector<std::string> headers = {"Accept: application/json"};
    if (api) {
        for (std::string& line : frontendHeaders()) {
            headers.push_back(std::move(line));
        }
    }
    Result<ServiceAnswer> answer = get(url, kMaxJsonBytes, headers);
    if (!answer) {
        return answer.failure();
    }
    return readWatchAnswer(answer->body, answer->status);
}

Result<WatchAnswer> TodayClient::fetchWatchData(const std::string& videoId) {
    const std::string web = withoutTrailingSlashes(context_.endpoints.todayWebBase);
    const std::string id = escapeUrlUnsafeBytes(videoId);
    Result<WatchAnswer> page = fetchWatchRoute(web + "/watch/" + id + "?responseType=json", false);
    if (cancelled()) {
        return Failure{"stopped"};
    }
    // A refusal the page names precisely stands; an unreadable page, or one that only says it
    // failed, is asked again of the watch API.
    if (page && (page->data || (page->refusal && page->refusal->errorCode != "UNKNOWN"))) {
        return page;
    }
    logInfo(LogComponent::Service, "the watch page gave no watch data for " + videoId + " (" +
                                       (page ? page->refusal->line() : page.error()) +
                                       "); asking the watch API");
    const std::string trackId = newActionTrackId();
    Result<WatchAnswer> api =
        fetchWatchRoute(web + "/api/watch/v3/" + id + "?actionTrackId=" + trackId, true);
    if (api && api->data && api->data->watchTrackId.empty()) {
        api->data->watchTrackId = trackId;  // the access rights want the ID the data came with
    }
    if (api && (api->data || !page)) {
        return api;
    }
    return page ? page : api;
}

Result<std::string> TodayClient::freshThreadKey(const std::string& videoId) {
    const std::string url = withoutTrailingSlashes(context_.endpoints.nvapiBase) +
                            "/v1/comment/keys/thread?videoId=" + escapeUrlUnsafeBytes(videoId);
    Result<ServiceAnswer> answer = get(url, kMaxSmallAnswerBytes, frontendHeaders());
    if (!answer) {
        return answer.failure();
    }
    return readThreadKeyAnswer(answer->body, answer->status);
}

Status TodayClient::downloadComments(WatchData& watch, const std::filesystem::path& file) {
    if (watch.commentServer.empty() || watch.threadKey.empty() || watch.commentParamsJson.empty()) {
        return Failure{"the watch data names no comment threads"};
    }
    const std::string url = withoutTrailingSlashes(watch.commentServer) + "/v1/threads";
    const std::string web = withoutTrailingSlashes(context_.endpoints.todayWebBase);
    std::vector<std::string> headers = frontendHeaders();
    headers.insert(headers.end(),
                   {"X-Client-Os-Type: others", "Content-Type: text/plain;charset=UTF-8",
                    "Origin: " + web, "Referer: " + web + "/"});
    bool refreshed = false;
    int busyRounds = 0;
    while (true) {
        Result<std::string> body = threadsRequestBody(watch.threadKey, watch.commentParamsJson);
        if (!body) {
            return body.failure();
        }
        Result<ServiceAnswer> answer = post(url, *body, headers, kMaxJsonBytes);
        if (!answer) {
            return answer.failure();
        }
        const std::optional<ApiMeta> meta = readApiMeta(answer->body);
        const std::string code = meta ? meta->errorCode : std::string();
        if (answerSucceeded(answer->status, meta)) {
            if (answer->body.find("\"threads\"") == std::string::npos) {
                return Failure{"the comment server's answer holds no threads"};
            }
            if (!replaceFile(file, answer->body, NewFileAccess::Default)) {
                return Failure{"the comments cannot be written to " + file.string()};
            }
            return {};
        }
        if (code == "EXPIRED_TOKEN" && !refreshed) {
            logInfo(LogComponent::Service, "the thread key has expired; asking for a new one");
            Result<std::string> key = freshThreadKey(watch.videoId);
            if (!key) {
                return Failure{"the thread key has expired and " + key.error()};
            }
            watch.threadKey = *key;
            refreshed = true;
            continue;
        }
        if (code == "TOO_MANY_REQUESTS" && busyRounds < kBusyRetries) {
            ++busyRounds;
            const int64_t wait =
                std::min(retryAfterSeconds(answer->retryAfter, nowUnix()).value_or(10),
                         kLongestPauseSeconds);
            logInfo(LogComponent::Service, "the comment server asks to wait; trying again in " +
                                               std::to_string(wait) + " s");
            if (!pause(wait)) {
                return Failure{"stopped"};
            }
            continue;
        }
        std::string reason =
            "the comment server refused the request: " + describeFailedAnswer(answer->status, meta);
        if (code == "INVALID_TOKEN") {
            reason += " (the thread key is not valid: log in with a valid session cookie)";
        }
        return Failure{reason};
    }
}

Result<AccessRights> TodayClient::requestAccessRights(const WatchData& watch,
                                                      const QualityPair& pair) {
    if (watch.accessRightKey.empty()) {
        return Failure{
            "the watch data gives no access-right key (the session may lack the rights)"};
    }
    const std::string url =
        withoutTrailingSlashes(context_.endpoints.nvapiBase) + "/v1/watch/" +
        escapeUrlUnsafeBytes(watch.videoId) +
        "/access-rights/hls?actionTrackId=" + escapeUrlUnsafeBytes(watch.watchTrackId);
    std::vector<std::string> headers = frontendHeaders();
    headers.insert(headers.end(),
                   {"X-Access-Right-Key: " + watch.accessRightKey,
                    "X-Request-With: " + withoutTrailingSlashes(context_.endpoints.todayWebBase),
                    "Content-Type: application/json", "Accept: application/json;charset=utf-8"});
    Result<ServiceAnswer> answer = post(url, accessRightsRequestBody(pair.videoId, pair.audioId),
                                        headers, kMaxSmallAnswerBytes);
    if (!answer) {
        return answer.failure();
    }
    Result<AccessRights> rights = readAccessRightsAnswer(answer->body, answer->status);
    if (rights) {
        const std::optional<UrlParts> master = splitUrl(rights->contentUrl);
        if (master && ("; " + cookies_.cookieTextFor(master->server, master->secure()))
                              .find("; domand_bid=") == std::string::npos) {
            logWarning(
                LogComponent::Service,
                "the access rights set no delivery cookie (domand_bid) for " + master->server);
        }
    }
    return rights;
}

Result<std::vector<HlsRendition>> TodayClient::fetchRenditions(const std::string& masterUrl) {
    const auto fetch = [&](const std::string& url, const char* what) -> Result<std::string> {
        Result<ServiceAnswer> answer = get(url, kMaxPlaylistBytes);
        if (!answer) {
            return answer.failure();
        }
        if (answer->status != 200) {
            return Failure{std::string("the delivery host refused the ") + what + " (HTTP " +
                           std::to_string(answer->status) + ")" +
                           (answer->status == 403 ? " without a valid delivery cookie" : "")};
        }
        return std::move(answer->body);
    };
    Result<std::string> masterText = fetch(masterUrl, "master playlist");
    if (!masterText) {
        return masterText.failure();
    }
    Result<MasterPlaylist> master = readMasterPlaylist(*masterText, masterUrl);
    if (!master) {
        return Failure{master.error()};
    }
    const HlsVariant* variant = bestVariant(*master);
    const HlsAudio* audio = audioFor(*master, *variant);
    std::vector<HlsRendition> renditions;
    const std::pair<const char*, std::string> wanted[] = {
        {"video", variant->uri}, {"audio", audio != nullptr ? audio->uri : std::string()}};
    for (const auto& [name, uri] : wanted) {
        if (uri.empty()) {
            return Failure{"the master playlist names no audio rendition for its video"};
        }
        Result<std::string> text = fetch(uri, (std::string(name) + " playlist").c_str());
        if (!text) {
            return text.failure();
        }
        Result<MediaPlaylist> playlist = readMediaPlaylist(*text, uri);
        if (!playlist) {
            return Failure{std::string("the ") + name + " playlist: " + playlist.error()};
        }
        renditions.push_back({name, std::move(*playlist)});
    }
    return renditions;
}
