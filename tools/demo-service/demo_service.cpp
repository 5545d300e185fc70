#include "demo_service.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <utility>
#include <vector>

#include "demo_http.h"
#include "service/form_coding.h"

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr size_t kStreamPieceBytes = 1024 * 1024;
constexpr size_t kSlowPieceBytes = 1024;
constexpr auto kSlowPause = std::chrono::milliseconds(100);
constexpr auto kSlowAnswer = std::chrono::seconds(60);
constexpr size_t kChunkedPieceBytes = 64 * 1024;

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Strict form decoding: a "%" must be followed by two hexadecimal digits, else the value is
// taken as malformed (nothing).
bool formDecode(const std::string& text, std::string& decoded) {
    decoded.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] == '%') {
            if (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0) {
                return false;
            }
            decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return true;
}

// The fields of a form-encoded body; nothing when one of them is malformed.
bool parseForm(const std::string& body, std::vector<std::pair<std::string, std::string>>& fields) {
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        const std::string pair = body.substr(start, end - start);
        start = end + 1;
        if (pair.empty())
            continue;
        const size_t equals = pair.find('=');
        std::string name;
        std::string value;
        if (!formDecode(pair.substr(0, equals), name) ||
            !formDecode(equals == std::string::npos ? "" : pair.substr(equals + 1), value)) {
            return false;
        }
        fields.emplace_back(name, value);
    }
    return true;
}

std::string fieldValue(const std::vector<std::pair<std::string, std::string>>& fields,
                       const std::string& name) {
    for (const auto& [key, value] : fields) {
        if (key == name)
            return value;
    }
    return {};
}

}  // namespace

DemoService::DemoService(DemoOptions options, const SelfSignedCertificate& certificate,
                         std::string video, std::string comments)
    : options_(std::move(options)),
      video_(std::make_shared<const std::string>(std::move(video))),
      comments_(std::move(comments)),
      loginHost_(
          std::make_unique<httplib::SSLServer>(certificate.certificate(), certificate.key())),
      webHost_(std::make_unique<httplib::Server>()) {
    setUpLoginHost();
    setUpWebHost();
}

DemoService::~DemoService() {
    stop();
}

std::string DemoService::loginBase() const {
    return "https://" + std::string(kHost) + ":" + std::to_string(loginPort_);
}

std::string DemoService::webBase() const {
    return "http://" + std::string(kHost) + ":" + std::to_string(webPort_);
}

bool DemoService::start(std::string& error) {
    if (!loginHost_->is_valid()) {
        error = "the https host could not be set up";
        return false;
    }
    for (httplib::Server* host :
         {static_cast<httplib::Server*>(loginHost_.get()), webHost_.get()}) {
        host->set_keep_alive_timeout(1);
        host->set_read_timeout(30);
        host->set_write_timeout(30);
        if (options_.verbose) {
            host->set_logger([this](const httplib::Request& request,
                                    const httplib::Response& response) { log(request, response); });
        }
    }
    const auto bind = [&](httplib::Server& host, int wanted, int& port) {
        if (wanted == 0) {
            port = host.bind_to_any_port(kHost);
            return port > 0;
        }
        port = wanted;
        return host.bind_to_port(kHost, wanted);
    };
    if (!bind(*loginHost_, options_.loginPort, loginPort_)) {
        error = "cannot bind the login host to port " + std::to_string(options_.loginPort);
        return false;
    }
    if (!bind(*webHost_, options_.webPort, webPort_)) {
        error = "cannot bind the web host to port " + std::to_string(options_.webPort);
        return false;
    }
    loginThread_ = std::thread([this] { loginHost_->listen_after_bind(); });
    webThread_ = std::thread([this] { webHost_->listen_after_bind(); });
    for (int i = 0; i < 500 && !(loginHost_->is_running() && webHost_->is_running()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!loginHost_->is_running() || !webHost_->is_running()) {
        error = "the hosts did not start";
        return false;
    }
    return true;
}

void DemoService::stop() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopChanged_.notify_all();
    loginHost_->stop();
    webHost_->stop();
    if (loginThread_.joinable())
        loginThread_.join();
    if (webThread_.joinable())
        webThread_.join();
}

bool DemoService::waitOrStop(std::chrono::milliseconds duration) {
    std::unique_lock lock(stopMutex_);
    return stopChanged_.wait_for(lock, duration, [this] { return stopping_; });
}

void DemoService::log(const httplib::Request& request, const httplib::Response& response) const {
    std::fprintf(stderr, "%s %s -> %d\n", request.method.c_str(), request.target.c_str(),
                 response.status);
}

void DemoService::setUpLoginHost() {
    loginHost_->Post("/secure/login",
                     [this](const httplib::Request& request, httplib::Response& response) {
                         handleLogin(request, response);
                     });
}

void DemoService::setUpWebHost() {
    webHost_->Get("/", [this](const httplib::Request&, httplib::Response& response) {
        stats_.count("/");
        response.set_content(page("demo", "<p>Lumivox demo service</p>"), "text/html");
    });
    webHost_->Get(R"(/watch/([^/]+))",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      handleWatchPage(request, response);
                  });
    webHost_->Get("/api/getflv",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      handleGetflv(request, response);
                  });
    webHost_->Post("/api/", [this](const httplib::Request& request, httplib::Response& response) {
        handleThread(request, response);
    });
    webHost_->Post("/api-wrong/",
                   [this](const httplib::Request& request, httplib::Response& response) {
                       stats_.count("/api-wrong/");
                       stats_.remember("wrong-thread-body", request.body);
                       response.set_content("<packet><wrong_server/></packet>", "text/xml");
                   });
    webHost_->Get("/smile", [this](const httplib::Request& request, httplib::Response& response) {
        stats_.count("/smile");
        serveStream(request, response);
    });
    webHost_->Get(R"(/smile\+data/([^/]+)\.flv)", [this](const httplib::Request& request,
                                                         httplib::Response& response) {
        stats_.count("/smile+data");
        // The address was handed out form-encoded with a "+" in its path and a blank in its
        // query: a client that decoded it right asks for exactly this.
        const std::string expected = "/smile+data/" + request.matches[1].str() + ".flv?key=a%20b";
        if (request.target != expected) {
            response.status = 404;
            response.set_content(page("404", "unexpected target " + request.target), "text/html");
            return;
        }
        serveStream(request, response);
    });
    webHost_->Get("/__stats", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(stats_.report(), "text/plain");
    });
}

void DemoService::handleLogin(const httplib::Request& request, httplib::Response& response) {
    stats_.count("/secure/login");
    stats_.remember("login-body", request.body);
    stats_.remember("login-content-type", request.get_header_value("Content-Type"));
    if (request.get_param_value("site") != "niconico") {
        response.status = 404;
        return;
    }
    if (options_.fault("slow-login") && waitOrStop(kSlowAnswer)) {
        response.status = 503;
        return;
    }
    std::vector<std::pair<std::string, std::string>> fields;
    const bool wellFormed = parseForm(request.body, fields);
    stats_.remember("login-mail", fieldValue(fields, "mail"));
    stats_.remember("login-password", fieldValue(fields, "password"));
    const bool accepted = wellFormed && !options_.fault("reject-login") &&
                          fieldValue(fields, "mail") == options_.mail &&
                          fieldValue(fields, "password") == options_.password;
    if (!accepted) {
        // The real service answers a wrong password with its login page again.
        response.set_content(
            page("ログイン", "<p>メールアドレスまたはパスワードが間違っています</p>"), "text/html");
        return;
    }
    if (!options_.fault("no-cookie")) {
        const std::string session = "user_session_" + options_.userId + "_" +
                                    std::to_string(++sessionCounter_) + "_" + randomHex(16);
        {
            std::lock_guard lock(sessionMutex_);
            sessions_.insert(session);
        }
        response.set_header("Set-Cookie", "user_session=" + session + "; Max-Age=2592000; Path=/");
    }
    response.set_redirect(webBase() + "/", 302);
}

bool DemoService::hasSession(const httplib::Request& request) const {
    const std::string session = cookieValue(request, "user_session");
    std::lock_guard lock(sessionMutex_);
    return sessions_.count(session) != 0;
}

void DemoService::handleWatchPage(const httplib::Request& request, httplib::Response& response) {
    stats_.count("/watch");
    const std::string id = request.matches[1].str();
    stats_.remember("watch-id", id);
    stats_.remember("watch-user-agent", request.get_header_value("User-Agent"));
    response.set_header("Set-Cookie", "nicohistory=" + formEncode(id) + "%3A" +
                                          std::to_string(std::time(nullptr)) + "; Path=/");
    response.set_content(page(id, "<p>video " + id + "</p>"), "text/html");
}

std::string DemoService::getflvAnswer(const std::string& videoId) const {
    const std::string streamUrl = options_.fault("stream-url-escapes")
                                      ? webBase() + "/smile+data/" + videoId + ".flv?key=a b"
                                      : webBase() + "/smile?v=" + videoId;
    const std::string threadPair = "thread_id=" + options_.threadId;
    std::vector<std::string> pairs;
    if (!options_.fault("getflv-no-thread") && !options_.fault("thread-id-last")) {
        pairs.push_back(threadPair);
    }
    pairs.push_back("l=60");
    if (!options_.fault("getflv-no-url")) {
        pairs.push_back("url=" + formEncode(streamUrl));
    }
    pairs.push_back("link=" + formEncode(webBase() + "/upload/" + videoId));
    if (!options_.fault("getflv-no-ms")) {
        pairs.push_back("ms=" + formEncode(webBase() + "/api/"));
    }
    pairs.push_back("user_id=" + options_.userId);
    if (options_.fault("several-ms")) {
        pairs.push_back("ms=" + formEncode(webBase() + "/api-wrong/"));
    }
    pairs.push_back("is_premium=0");
    pairs.push_back("nickname=demo");
    pairs.push_back("time=" + std::to_string(std::time(nullptr)));
    pairs.push_back("done=true");
    if (options_.fault("thread-id-last")) {
        pairs.push_back(threadPair);
    }
    std::string answer;
    for (const std::string& pair : pairs) {
        if (!answer.empty())
            answer += '&';
        answer += pair;
    }
    if (options_.fault("getflv-nul")) {
        // A first chunk of 1024 bytes whose text ends at a zero byte: the wrong address behind
        // the zero must be dropped, the real answer in the following chunks kept.
        std::string chunk = "pad=";
        chunk += '\0';
        chunk += "&url=" + formEncode(webBase() + "/wrong") + "&";
        chunk.resize(1024, 'x');
        answer = chunk + "&" + answer;
    }
    return answer;
}

void DemoService::handleGetflv(const httplib::Request& request, httplib::Response& response) {
    stats_.count("/api/getflv");
    stats_.remember("getflv-target", request.target);
    stats_.remember("getflv-user-agent", request.get_header_value("User-Agent"));
    if (options_.fault("slow-getflv") && waitOrStop(kSlowAnswer)) {
        response.status = 503;
        return;
    }
    const std::string id = request.get_param_value("v");
    if (!hasSession(request) || id.empty()) {
        // Without a login the real service names no video.
        response.set_content("closed=1&done=true", "text/plain");
        return;
    }
    response.set_content(getflvAnswer(id), "text/plain");
}

void DemoService::handleThread(const httplib::Request& request, httplib::Response& response) {
    stats_.count("/api/");
    stats_.remember("thread-body", request.body);
    if (options_.fault("comments-not-xml")) {
        response.status = 503;
        response.set_content("Service Unavailable: the message server is busy\n", "text/plain");
        return;
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(request.body.data(), request.body.size());
    const pugi::xml_node thread = document.child("thread");
    const bool valid = parsed && thread &&
                       std::string(thread.attribute("res_from").value()) == "-1000" &&
                       std::string(thread.attribute("version").value()) == "20061206" &&
                       thread.attribute("thread").value() == options_.threadId;
    stats_.remember("thread-valid", valid ? "yes" : "no");
    if (!valid) {
        response.set_content(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<packet><thread resultcode=\"1\"/>"
            "</packet>\n",
            "text/xml");
        return;
    }
    response.set_content(comments_, "text/xml");
}

void DemoService::serveStream(const httplib::Request& request, httplib::Response& response) {
    stats_.remember("stream-target", request.target);
    stats_.remember("stream-user-agent", request.get_header_value("User-Agent"));
    if (cookieValue(request, "nicohistory").empty()) {
        // The real service streams only to a client that has visited the watch page.
        response.status = 403;
        response.set_content(page("403", "<p>Forbidden</p>"), "text/html");
        return;
    }
    if (options_.fault("stream-404")) {
        response.status = 404;
        response.set_content(page("404", "<p>Not Found</p>"), "text/html");
        return;
    }
    const std::shared_ptr<const std::string> video = video_;
    stats_.remember("stream-range", request.get_header_value("Range"));
    // The video's validator: a download cut short asks for the rest only while it is unchanged.
    const std::string etag = "\"" + std::to_string(std::hash<std::string>{}(*video)) + "\"";
    response.set_header("ETag", etag);
    const bool rangesRefused =
        options_.fault("stream-no-ranges") ||
        (request.has_header("If-Range") && request.get_header_value("If-Range") != etag);
    if (rangesRefused) {
        // The HTTP layer answers the ranges it parsed by itself; a whole file is sent with none.
        const_cast<httplib::Request&>(request).ranges.clear();
    } else {
        response.set_header("Accept-Ranges", "bytes");
    }
    if (options_.fault("stream-no-length-cut")) {
        const size_t half = video->size() / 2;
        response.set_chunked_content_provider(
            "video/x-flv", [video, half](size_t offset, httplib::DataSink& sink) {
                if (offset >= half) {
                    return false;  // closed without the last chunk: the client can tell the cut
                }
                const size_t piece = std::min(kChunkedPieceBytes, half - offset);
                return sink.write(video->data() + offset, piece);
            });
        return;
    }
    if (options_.fault("stream-no-length")) {
        response.set_chunked_content_provider(
            "video/x-flv", [video](size_t offset, httplib::DataSink& sink) {
                if (offset >= video->size()) {
                    sink.done();
                    return true;
                }
                const size_t piece = std::min(kChunkedPieceBytes, video->size() - offset);
                return sink.write(video->data() + offset, piece);
            });
        return;
    }
    if (options_.fault("stream-cut")) {
        const size_t half = video->size() / 2;
        response.set_content_provider(
            video->size(), "video/x-flv",
            [video, half](size_t offset, size_t length, httplib::DataSink& sink) {
                if (offset >= half) {
                    return false;  // the connection is closed with half the stream sent
                }
                const size_t piece = std::min({kStreamPieceBytes, length, half - offset});
                return sink.write(video->data() + offset, piece);
            });
        return;
    }
    if (options_.fault("stream-slow")) {
        response.set_content_provider(
            video->size(), "video/x-flv",
            [this, video](size_t offset, size_t length, httplib::DataSink& sink) {
                if (waitOrStop(kSlowPause)) {
                    return false;
                }
                const size_t piece = std::min(kSlowPieceBytes, length);
                return sink.write(video->data() + offset, piece);
            });
        return;
    }
    response.set_content_provider(video->size(), "video/x-flv",
                                  [video](size_t offset, size_t length, httplib::DataSink& sink) {
                                      const size_t piece = std::min(kStreamPieceBytes, length);
                                      return sink.write(video->data() + offset, piece);
                                  });
}
