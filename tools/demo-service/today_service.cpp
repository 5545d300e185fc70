#include "today_service.h"

#include <simdjson.h>

#include <cstdio>
#include <regex>
#include <utility>
#include <vector>

#include "demo_crypto.h"
#include "demo_http.h"

using nlohmann::json;

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kJsonType = "application/json; charset=utf-8";
constexpr std::time_t kExpiredKeyAge = 60;
constexpr size_t kThreadsPerHost = 16;

const char* roleName(int role) {
    static const char* const names[] = {"account", "www", "nvapi", "comment", "delivery", "asset"};
    return names[role];
}

// What a thread key or an access-right key says about itself.
struct Claims {
    std::string videoId;
    std::string threadId;
    std::string userId;  // empty: a guest's key
    std::string watchTrackId;
    long long expires = 0;  // Unix seconds; 0: none
};

std::optional<Claims> parseClaims(const std::string& text) {
    simdjson::dom::parser parser;
    simdjson::dom::element claims;
    if (parser.parse(text).get(claims) || !claims.is_object())
        return std::nullopt;
    Claims parsed;
    const auto text_of = [&](const char* key, std::string& value) {
        std::string_view view;
        if (!claims[key].get_string().get(view))
            value = std::string(view);
    };
    text_of("videoId", parsed.videoId);
    text_of("threadIds", parsed.threadId);
    text_of("userId", parsed.userId);
    text_of("watchTrackId", parsed.watchTrackId);
    int64_t expires = 0;
    if (!claims["exp"].get_int64().get(expires))
        parsed.expires = expires;
    return parsed;
}

// An actionTrackId as the player makes them: ten letters or digits, "_", Unix milliseconds.
bool wellFormedTrackId(const std::string& id) {
    static const std::regex pattern("[A-Za-z0-9]{10}_[0-9]{13}");
    return std::regex_match(id, pattern);
}

std::string newTrackId() {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string id;
    for (const char byte : randomBytes(10))
        id += kAlphabet[static_cast<unsigned char>(byte) % 62];
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return id + "_" + std::to_string(milliseconds.count());
}

bool hasFrontendId(const httplib::Request& request) {
    return request.has_header("X-Frontend-Id") || request.has_param("_frontendId");
}

}  // namespace

TodayService::TodayService(DemoOptions options, const SelfSignedCertificate& certificate,
                           HlsSample sample, CommentThreads comments)
    : options_(std::move(options)),
      sample_(std::move(sample)),
      comments_(std::move(comments)),
      sessionCookie_(options_.sessionCookie.empty()
                         ? "user_session_" + options_.userId + "_" + hexText(randomBytes(24))
                         : options_.sessionCookie),
      watchData_(options_, sample_, comments_),
      delivery_(options_, sample_, stats_,
                [this](std::chrono::milliseconds duration) { return waitOrStop(duration); }) {
    for (auto& host : hosts_)
        host = std::make_unique<httplib::SSLServer>(certificate.certificate(), certificate.key());
}

TodayService::~TodayService() {
    stop();
}

std::string TodayService::base(Role role) const {
    return "https://" + std::string(kHost) + ":" + std::to_string(ports_[role]);
}

std::string TodayService::hostList() const {
    std::string list;
    for (int role = 0; role < kRoleCount; ++role) {
        if (role > 0)
            list += ' ';
        list.append(roleName(role)).append("=").append(base(Role(role)));
    }
    return list;
}

bool TodayService::start(std::string& error) {
    if (Status prepared = delivery_.prepare(); !prepared) {
        error = prepared.error();
        return false;
    }
    for (int role = 0; role < kRoleCount; ++role) {
        httplib::SSLServer& host = *hosts_[role];
        if (!host.is_valid()) {
            error = "the https hosts could not be set up";
            return false;
        }
        // Room for a client's parallel transfers plus the idle connections it keeps alive (the
        // host takes the pool over).
        host.new_task_queue = [] { return new httplib::ThreadPool(kThreadsPerHost); };
        // A response goes out as its headers and then its body: without this, the body's
        // last small piece waits for the client's delayed acknowledgement (40 ms on Linux) on
        // every request, which a real web server does not make its clients wait.
        host.set_tcp_nodelay(true);
        host.set_keep_alive_max_count(1000);
        host.set_keep_alive_timeout(5);
        host.set_read_timeout(30);
        host.set_write_timeout(30);
        if (options_.verbose) {
            host.set_logger([this](const httplib::Request& request,
                                   const httplib::Response& response) { log(request, response); });
        }
        host.Get("/__stats", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(stats_.report(), "text/plain");
        });
        ports_[role] = host.bind_to_any_port(kHost);
        if (ports_[role] <= 0) {
            error = std::string("cannot bind the ") + roleName(role) + " host";
            return false;
        }
    }
    setUpAccount(*hosts_[Account]);
    setUpWww(*hosts_[Www]);
    setUpNvapi(*hosts_[Nvapi]);
    setUpComment(*hosts_[Comment]);
    delivery_.serve(*hosts_[Delivery], base(Delivery), *hosts_[Asset], base(Asset));
    for (int role = 0; role < kRoleCount; ++role)
        threads_[role] = std::thread([this, role] { hosts_[role]->listen_after_bind(); });
    const auto allRunning = [this] {
        for (const auto& host : hosts_) {
            if (!host->is_running())
                return false;
        }
        return true;
    };
    for (int i = 0; i < 500 && !allRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!allRunning()) {
        error = "the hosts did not start";
        return false;
    }
    return true;
}

void TodayService::stop() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopChanged_.notify_all();
    for (int role = 0; role < kRoleCount; ++role) {
        hosts_[role]->stop();
        if (threads_[role].joinable())
            threads_[role].join();
    }
}

bool TodayService::waitOrStop(std::chrono::milliseconds duration) {
    std::unique_lock lock(stopMutex_);
    return stopChanged_.wait_for(lock, duration, [this] { return stopping_; });
}

void TodayService::log(const httplib::Request& request, const httplib::Response& response) const {
    std::fprintf(stderr, "%s %s -> %d\n", request.method.c_str(), request.path.c_str(),
                 response.status);
}

void TodayService::sendJson(httplib::Response& response, int status, const json& body) const {
    response.status = status >= 400 && options_.fault("errors-as-200") ? 200 : status;
    response.set_content(body.dump(), kJsonType);
}

void TodayService::sendError(httplib::Response& response, int status,
                             const std::string& code) const {
    sendJson(response, status, {{"meta", {{"status", status}, {"errorCode", code}}}});
}

bool TodayService::validSession(const httplib::Request& request) const {
    return !options_.fault("invalid-session") &&
           sameSecret(cookieValue(request, "user_session"), sessionCookie_);
}

std::optional<std::vector<std::vector<std::string>>> TodayService::parseOutputs(
    const std::string& text) const {
    simdjson::dom::parser parser;
    simdjson::dom::element body;
    simdjson::dom::array pairs;
    if (parser.parse(text).get(body) || body["outputs"].get_array().get(pairs) ||
        pairs.size() == 0) {
        return std::nullopt;
    }
    std::vector<std::vector<std::string>> outputs;
    for (const simdjson::dom::element pair : pairs) {
        simdjson::dom::array list;
        if (pair.get_array().get(list) || list.size() < 1 || list.size() > 2)
            return std::nullopt;
        std::vector<const HlsRendition*> renditions;
        for (const simdjson::dom::element id : list) {
            std::string_view name;
            const HlsRendition* rendition =
                id.get_string().get(name) ? nullptr : sample_.find(std::string(name));
            if (!rendition)
                return std::nullopt;
            renditions.push_back(rendition);
        }
        // [video, audio] or [audio]
        if (renditions.back()->video || (renditions.size() == 2 && !renditions.front()->video))
            return std::nullopt;
        std::vector<std::string> ids;
        for (const HlsRendition* rendition : renditions)
            ids.push_back(rendition->id);
        outputs.push_back(std::move(ids));
    }
    return outputs;
}

bool TodayService::knownVideo(const std::string& id) const {
    return id == options_.videoId || id == options_.threadId;
}

std::string TodayService::threadKey(bool loggedIn, bool expired) const {
    const std::time_t now = std::time(nullptr);
    json claims = {{"jti", hexText(randomBytes(8))},
                   {"iat", now},
                   {"exp", expired ? now - kExpiredKeyAge : now + options_.threadKeySeconds},
                   {"videoId", options_.videoId},
                   {"threadIds", comments_.threadId()}};
    if (loggedIn)
        claims["userId"] = options_.userId;
    return tokens_.sign(claims.dump());
}

WatchRequestFacts TodayService::watchFacts(const std::string& watchId, std::string trackId,
                                           bool loggedIn) const {
    WatchRequestFacts facts;
    facts.watchId = watchId;
    facts.watchTrackId = std::move(trackId);
    facts.threadKey = threadKey(loggedIn, options_.fault("expired-thread-key"));
    if (loggedIn) {
        facts.accessRightKey = tokens_.sign(json{
            {"videoId", options_.videoId},
            {"watchTrackId", facts.watchTrackId},
            {"userId", options_.userId}}.dump());
    }
    facts.commentServer = base(Comment);
    facts.loggedIn = loggedIn;
    facts.now = std::time(nullptr);
    return facts;
}

void TodayService::setUpAccount(httplib::Server& host) {
    host.Get("/api/public/v2/user.json",
             [this](const httplib::Request& request, httplib::Response& response) {
                 stats_.count(request.path);
                 if (!validSession(request)) {
                     sendError(response, 401, "UNAUTHORIZED");
                     return;
                 }
                 sendJson(response, 200,
                          {{"meta", {{"status", 200}}},
                           {"data",
                            {{"userId", std::atoll(options_.userId.c_str())},
                             {"nickname", options_.nickname},
                             {"isPremium", options_.premium},
                             {"hasPremiumOrStrongerRights", options_.premium}}}});
             });
    host.Get("/login", [this](const httplib::Request& request, httplib::Response& response) {
        stats_.count(request.path);
        response.set_content(
            page("ログイン", "<div id=\"root\">ログインにはブラウザが必要です</div>"), "text/html");
    });
}

void TodayService::setUpWww(httplib::Server& host) {
    host.Get("/", [this](const httplib::Request& request, httplib::Response& response) {
        stats_.count("/");
        const bool valid = validSession(request);
        response.set_header("x-niconico-authflag", valid ? (options_.premium ? "3" : "1") : "0");
        if (valid)
            response.set_header("x-niconico-id", options_.userId);
        response.set_content(page("ニコニコ動画", "<p>Lumivox demo service</p>"), "text/html");
    });
    host.Get("/my", [this](const httplib::Request& request, httplib::Response& response) {
        stats_.count("/my");
        if (!validSession(request)) {
            response.set_redirect(base(Account) + "/login?next_url=%2Fmy", 302);
            return;
        }
        response.set_content(page("マイページ", "<p>" + options_.nickname + "</p>"), "text/html");
    });
    host.Get(R"(/watch/([^/]+))",
             [this](const httplib::Request& request, httplib::Response& response) {
                 handleWatchPage(request, response);
             });
    host.Get(R"(/api/watch/v3/([^/]+))",
             [this](const httplib::Request& request, httplib::Response& response) {
                 handleWatchApi(request, response, false);
             });
    host.Get(R"(/api/watch/v3_guest/([^/]+))",
             [this](const httplib::Request& request, httplib::Response& response) {
                 handleWatchApi(request, response, true);
             });
}

void TodayService::setUpNvapi(httplib::Server& host) {
    host.Get("/v1/comment/keys/thread",
             [this](const httplib::Request& request, httplib::Response& response) {
                 handleThreadKey(request, response);
             });
    host.Post(R"(/v1/watch/([^/]+)/access-rights/hls)",
              [this](const httplib::Request& request, httplib::Response& response) {
                  handleAccessRights(request, response);
              });
}

void TodayService::setUpComment(httplib::Server& host) {
    host.Post("/v1/threads", [this](const httplib::Request& request, httplib::Response& response) {
        handleThreads(request, response);
    });
}

void TodayService::handleWatchPage(const httplib::Request& request, httplib::Response& response) {
    stats_.count(request.path);
    stats_.remember("watch-user-agent", request.get_header_value("User-Agent"));
    const std::string id = request.matches[1].str();
    const bool asJson = request.get_param_value("responseType") == "json";
    json answer;
    int status = 200;
    if (!knownVideo(id)) {
        status = 404;
        answer = watchData_.pageRefusal({404, "NOT_FOUND", 404, "NOT_FOUND", ""});
    } else if (const std::optional<WatchRefusal> refusal = watchRefusal(options_)) {
        status = refusal->pageStatus;
        answer = watchData_.pageRefusal(*refusal);
    } else if (options_.fault("no-data")) {
        answer = {{"meta", {{"status", 200}, {"code", "HTTP_200"}}}};
    } else {
        answer = watchData_.pageAnswer(
            watchData_.object(watchFacts(id, newTrackId(), validSession(request))));
    }
    if (asJson) {
        sendJson(response, status, answer);
        return;
    }
    response.status = status >= 400 && options_.fault("errors-as-200") ? 200 : status;
    response.set_content(WatchData::htmlPage(answer, options_.title), "text/html; charset=utf-8");
}

void TodayService::handleWatchApi(const httplib::Request& request, httplib::Response& response,
                                  bool guest) {
    stats_.count(request.path);
    stats_.remember("watch-api-target", request.target);
    const std::string id = request.matches[1].str();
    const std::string trackId = request.get_param_value("actionTrackId");
    const bool loggedIn = !guest && validSession(request);
    if (!hasFrontendId(request) || !wellFormedTrackId(trackId)) {
        sendError(response, 400, "INVALID_PARAMETER");
    } else if (!guest && !loggedIn) {
        sendError(response, 401, "UNAUTHORIZED");
    } else if (!knownVideo(id)) {
        sendError(response, 404, "NOT_FOUND");
    } else if (const std::optional<WatchRefusal> refusal = watchRefusal(options_)) {
        sendJson(response, refusal->apiStatus, WatchData::apiRefusal(*refusal));
    } else if (options_.fault("no-data")) {
        sendJson(response, 200, {{"meta", {{"status", 200}}}});
    } else {
        sendJson(response, 200,
                 WatchData::apiAnswer(watchData_.object(watchFacts(id, trackId, loggedIn))));
    }
}

void TodayService::handleThreadKey(const httplib::Request& request, httplib::Response& response) {
    stats_.count(request.path);
    if (!hasFrontendId(request)) {
        sendError(response, 400, "INVALID_PARAMETER");
    } else if (!knownVideo(request.get_param_value("videoId"))) {
        sendError(response, 404, "NOT_FOUND");
    } else {
        sendJson(response, 200,
                 {{"meta", {{"status", 200}}},
                  {"data", {{"threadKey", threadKey(validSession(request), false)}}}});
    }
}

void TodayService::handleAccessRights(const httplib::Request& request,
                                      httplib::Response& response) {
    stats_.count(request.path);
    stats_.remember("access-rights-body", request.body);
    stats_.remember("access-rights-request-with", request.get_header_value("X-Request-With"));
    std::optional<Claims> claims;
    if (const std::optional<std::string> text =
            tokens_.verify(request.get_header_value("X-Access-Right-Key"))) {
        claims = parseClaims(*text);
    }
    const std::optional<std::vector<std::vector<std::string>>> outputs = parseOutputs(request.body);
    if (!request.has_header("X-Frontend-Id") || !request.has_header("X-Request-With") || !claims ||
        claims->videoId != request.matches[1].str() ||
        claims->watchTrackId != request.get_param_value("actionTrackId") || !outputs) {
        sendError(response, 400, "INVALID_PARAMETER");
        return;
    }
    const HlsDelivery::Grant grant = delivery_.grant(*outputs);
    response.set_header("Set-Cookie", "domand_bid=" + grant.bid +
                                          "; Max-Age=3600; Path=/; Secure; HttpOnly; "
                                          "SameSite=None");
    sendJson(response, 201,
             {{"meta", {{"status", 201}}},
              {"data",
               {{"contentUrl", grant.contentUrl},
                {"createTime", japanTime(grant.created)},
                {"expireTime", japanTime(grant.expires)}}}});
}

void TodayService::handleThreads(const httplib::Request& request, httplib::Response& response) {
    stats_.count(request.path);
    stats_.remember("threads-body", request.body);
    if (options_.fault("comments-too-many") && !tooManyShown_.exchange(true)) {
        response.set_header("Retry-After", "1");
        sendError(response, 429, "TOO_MANY_REQUESTS");
        return;
    }
    simdjson::dom::parser parser;
    simdjson::dom::element body;
    std::string_view key;
    simdjson::dom::array targets;
    if (!hasFrontendId(request) || parser.parse(request.body).get(body) ||
        body["threadKey"].get_string().get(key) ||
        body["params"]["targets"].get_array().get(targets) || targets.size() == 0) {
        sendError(response, 400, "INVALID_PARAMETER");
        return;
    }
    std::optional<Claims> claims;
    if (const std::optional<std::string> text = tokens_.verify(key))
        claims = parseClaims(*text);
    if (!claims || claims->threadId.empty()) {
        sendError(response, 400, "INVALID_TOKEN");
        return;
    }
    if (claims->expires <= std::time(nullptr)) {
        sendError(response, 400, "EXPIRED_TOKEN");
        return;
    }
    std::optional<long long> when;
    int64_t number = 0;
    if (!body["additionals"]["when"].get_int64().get(number))
        when = number;
    long resFrom = 0;
    if (!body["additionals"]["res_from"].get_int64().get(number))
        resFrom = static_cast<long>(number);
    if (when && claims->userId.empty()) {
        // Past comments are for logged-in viewers only.
        sendError(response, 400, "INVALID_TOKEN");
        return;
    }
    json threads = json::array();
    for (const simdjson::dom::element target : targets) {
        std::string_view id;
        std::string_view fork;
        const auto& forks = CommentThreads::forkNames();
        if (target["id"].get_string().get(id) || target["fork"].get_string().get(fork) ||
            id != claims->threadId || std::find(forks.begin(), forks.end(), fork) == forks.end()) {
            sendError(response, 400, "INVALID_PARAMETER");
            return;
        }
        threads.push_back(
            comments_.threadAnswer(std::string(fork), when, resFrom, options_.commentPageSize));
    }
    sendJson(response, 200,
             {{"meta", {{"status", 200}}},
              {"data",
               {{"globalComments",
                 {{{"id", comments_.threadId()}, {"count", comments_.fork("main").size()}}}},
                {"threads", threads}}}});
}
