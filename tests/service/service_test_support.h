#pragma once
// What the service tests share: a demo service started as a child process on loopback, a client
// set up against it with folders and a cookie store of its own, and a raw HTTP listener that
// keeps the exact bytes of one request.

#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "service/cookie_store.h"
#include "service/service_client.h"
#include "service/service_context.h"

namespace service_test {

// A fresh folder for one test, removed with everything in it afterwards.
class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "lumivox-service-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        } else {
            ADD_FAILURE() << "cannot create a temporary folder";
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
    std::string withSeparator() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

inline void writeBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << file;
}

inline std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Bytes that look like nothing in particular, the same for the same seed.
inline std::string patternBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// A plain GET with curl, outside the client under test: for the demo service's counts.
inline std::string httpGet(const std::string& url) {
    std::string body;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* user) {
            static_cast<std::string*>(user)->append(data, size * count);
            return size * count;
        });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    EXPECT_EQ(result, CURLE_OK) << url;
    return body;
}

// lumivox-demo-service as a child process, stopped when the object goes.
class DemoService {
public:
    static std::string programPath() {
        return std::string(LUMIVOX_PROGRAM_DIR) + "/lumivox-demo-service";
    }

    // Starts the service with `arguments` (a lifetime is added so that it can never outlive the
    // test) and waits for its READY line. Check started() afterwards.
    explicit DemoService(std::vector<std::string> arguments = {}) {
        std::vector<std::string> argv = {"--lifetime", "300"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const int error = child_.start(programPath(), argv, folder_.path().string());
        if (error != 0) {
            ADD_FAILURE() << "cannot start " << programPath() << ": error " << error;
            return;
        }
        readReadyLine();
    }
    ~DemoService() { stop(); }
    DemoService(const DemoService&) = delete;
    DemoService& operator=(const DemoService&) = delete;

    bool started() const { return !webBase_.empty(); }
    void stop() { child_.terminate(); }

    const std::string& loginBase() const { return loginBase_; }
    const std::string& webBase() const { return webBase_; }
    const std::string& caFile() const { return caFile_; }
    std::string output() const { return output_; }

    ServiceEndpoints endpoints() const { return ServiceEndpoints{loginBase_, webBase_, caFile_}; }

    // The service's report: "count PATH N" and "last KEY VALUE" lines.
    std::string stats() const { return httpGet(webBase_ + "/__stats"); }
    // How often PATH was asked for.
    int count(const std::string& path) const {
        const std::string stats = this->stats();
        const std::string prefix = "count " + path + " ";
        std::istringstream lines(stats);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(prefix, 0) == 0) {
                return std::stoi(line.substr(prefix.size()));
            }
        }
        return 0;
    }
    // The last value remembered under KEY, nothing when none was.
    std::optional<std::string> last(const std::string& key) const {
        const std::string stats = this->stats();
        const std::string prefix = "last " + key + " ";
        std::istringstream lines(stats);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(prefix, 0) == 0) {
                return line.substr(prefix.size());
            }
        }
        return std::nullopt;
    }
    // The number of requests of every path together.
    int totalRequests() const {
        int total = 0;
        std::istringstream lines(stats());
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("count ", 0) == 0) {
                total += std::stoi(line.substr(line.rfind(' ') + 1));
            }
        }
        return total;
    }

private:
    void readReadyLine() {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::string chunk;
        while (std::chrono::steady_clock::now() < giveUp) {
            const ChildProcess::ReadResult result = child_.read(chunk, 100);
            if (result == ChildProcess::ReadResult::Data) {
                output_ += chunk;
                const size_t ready = output_.find("READY ");
                const size_t end = output_.find('\n', ready);
                if (ready != std::string::npos && end != std::string::npos) {
                    parseReadyLine(output_.substr(ready, end - ready));
                    return;
                }
            } else if (result != ChildProcess::ReadResult::Idle) {
                break;
            }
        }
        ADD_FAILURE() << "the demo service did not get ready: " << output_;
    }

    void parseReadyLine(const std::string& line) {
        std::istringstream words(line);
        for (std::string word; words >> word;) {
            if (word.rfind("login=", 0) == 0)
                loginBase_ = word.substr(6);
            if (word.rfind("web=", 0) == 0)
                webBase_ = word.substr(4);
            if (word.rfind("ca=", 0) == 0)
                caFile_ = word.substr(3);
        }
    }

    TempFolder folder_;
    ChildProcess child_;
    std::string output_;
    std::string loginBase_;
    std::string webBase_;
    std::string caFile_;
};

// The job's fields the client reads and writes.
struct JobFields {
    std::string cookie;
    std::string videoId;
    std::string videoFile;
    int32_t lastDownloadPercent = -1;

    ServiceJobState state() {
        return ServiceJobState{cookie, videoId, videoFile, lastDownloadPercent};
    }
};

// A client against some endpoints, with a work folder, a save folder and a cookie store (jar in
// the work folder) of its own, recording what it reports.
class ClientHarness {
public:
    explicit ClientHarness(ServiceEndpoints endpoints)
        : endpoints_(std::move(endpoints)), store_(std::make_unique<CookieStore>(jarPath())) {}

    ServiceContext context() {
        ServiceContext context;
        context.endpoints = endpoints_;
        context.workFolder = work.withSeparator();
        context.saveFolder = save.path().string();
        context.isCancelled = [this] { return stop.load(); };
        context.reportError = [this](const std::string& text) {
            std::lock_guard lock(mutex_);
            errors.push_back(text);
        };
        context.reportProgress = [this](int percent) {
            std::lock_guard lock(mutex_);
            progress.push_back(percent);
            if (stopAtFirstProgress) {
                stop = true;
            }
        };
        context.cookieStore = store_.get();
        context.timeouts = timeouts;
        return context;
    }

    ServiceClient client() { return ServiceClient(context(), fields.state()); }

    std::filesystem::path jarPath() const { return work / CookieStore::kJarFileName; }
    CookieStore& store() { return *store_; }
    // A new store object on the same jar, as a later run of the program makes.
    void reopenStore() { store_ = std::make_unique<CookieStore>(jarPath()); }

    // Logs in with the demo service's default account.
    void logIn(const std::string& password = "p&ss=w+rd%41") {
        client().loginToService("demo@example.com", password, false);
    }

    // Sets `stop` after `delay` on a thread of its own; join with joinStopper().
    void stopAfter(std::chrono::milliseconds delay) {
        stopper_ = std::thread([this, delay] {
            std::this_thread::sleep_for(delay);
            stop = true;
        });
    }
    void joinStopper() {
        if (stopper_.joinable())
            stopper_.join();
    }
    ~ClientHarness() { joinStopper(); }

    TempFolder work;
    TempFolder save;
    JobFields fields;
    ServiceTimeouts timeouts;
    std::atomic<bool> stop{false};
    bool stopAtFirstProgress = false;
    std::vector<std::string> errors;
    std::vector<int> progress;

private:
    ServiceEndpoints endpoints_;
    std::unique_ptr<CookieStore> store_;
    std::mutex mutex_;
    std::thread stopper_;
};

// Seconds since `start`.
inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Listens on 127.0.0.1 and keeps the exact bytes of the first request (head and body), then
// answers it with `answer` as a 200 reply and closes.
class RawRequestCapture {
public:
    explicit RawRequestCapture(std::string answer = "ok") : answer_(std::move(answer)) {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(socket_, 4) != 0 ||
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "cannot listen on loopback";
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serveOne(); });
    }
    ~RawRequestCapture() {
        if (thread_.joinable())
            thread_.join();
        if (socket_ >= 0)
            ::close(socket_);
    }

    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // The request as it arrived; waits for the listener to finish first.
    std::string request() {
        if (thread_.joinable())
            thread_.join();
        return request_;
    }
    // The header lines of the request, in order, without the request line.
    std::vector<std::string> headerLines() {
        const std::string raw = request();
        std::vector<std::string> lines;
        const size_t headEnd = raw.find("\r\n\r\n");
        std::istringstream in(raw.substr(0, headEnd));
        std::string line;
        std::getline(in, line);  // the request line
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    std::string body() {
        const std::string raw = request();
        const size_t headEnd = raw.find("\r\n\r\n");
        return headEnd == std::string::npos ? std::string() : raw.substr(headEnd + 4);
    }

private:
    void serveOne() {
        pollfd waiting{socket_, POLLIN, 0};
        if (::poll(&waiting, 1, 15000) != 1)
            return;
        const int connection = ::accept(socket_, nullptr, nullptr);
        if (connection < 0)
            return;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        char buffer[4096];
        while (std::chrono::steady_clock::now() < giveUp && !complete()) {
            pollfd readable{connection, POLLIN, 0};
            if (::poll(&readable, 1, 200) != 1)
                continue;
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request_.append(buffer, static_cast<size_t>(got));
        }
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(answer_.size()) +
            "\r\nConnection: close\r\n\r\n" + answer_;
        (void)!::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::shutdown(connection, SHUT_WR);
        ::close(connection);
    }

    // True when the head and as much body as its Content-Length announces have arrived.
    bool complete() const {
        const size_t headEnd = request_.find("\r\n\r\n");
        if (headEnd == std::string::npos)
            return false;
        size_t length = 0;
        std::istringstream in(request_.substr(0, headEnd));
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("Content-Length:", 0) == 0)
                length = std::stoul(line.substr(15));
        }
        return request_.size() >= headEnd + 4 + length;
    }

    std::string answer_;
    int socket_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::string request_;
};

}  // namespace service_test
