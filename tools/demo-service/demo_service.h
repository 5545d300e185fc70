#pragma once
// The demo service: the video service's login host (https, with a self-signed certificate) and
// web host (http: getflv, watch pages, the message server and the video stream) on 127.0.0.1,
// checking what the real service checks: getflv gives the stream's address only with the login
// cookie, and the stream answers only with the cookie the watch page sets.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "demo_options.h"
#include "demo_stats.h"
#include "self_signed_certificate.h"

class DemoService {
public:
    // `video` and `comments` are served byte for byte.
    DemoService(DemoOptions options, const SelfSignedCertificate& certificate, std::string video,
                std::string comments);
    ~DemoService();
    DemoService(const DemoService&) = delete;
    DemoService& operator=(const DemoService&) = delete;

    // Binds both hosts to their ports on 127.0.0.1 and starts serving on threads of their own.
    // False (with `error` set) when a port could not be bound.
    bool start(std::string& error);
    // Wakes every handler that waits (slow faults), stops both hosts and joins their threads.
    void stop();

    std::string loginBase() const;
    std::string webBase() const;
    const DemoStats& stats() const { return stats_; }

private:
    void setUpLoginHost();
    void setUpWebHost();
    void handleLogin(const httplib::Request& request, httplib::Response& response);
    void handleWatchPage(const httplib::Request& request, httplib::Response& response);
    void handleGetflv(const httplib::Request& request, httplib::Response& response);
    void handleThread(const httplib::Request& request, httplib::Response& response);
    void serveStream(const httplib::Request& request, httplib::Response& response);

    std::string getflvAnswer(const std::string& videoId) const;
    bool hasSession(const httplib::Request& request) const;
    // Waits `duration` unless the service stops first; true when it is stopping.
    bool waitOrStop(std::chrono::milliseconds duration);
    void log(const httplib::Request& request, const httplib::Response& response) const;

    const DemoOptions options_;
    const std::shared_ptr<const std::string> video_;
    const std::string comments_;
    std::unique_ptr<httplib::SSLServer> loginHost_;
    std::unique_ptr<httplib::Server> webHost_;
    int loginPort_ = 0;
    int webPort_ = 0;
    std::thread loginThread_;
    std::thread webThread_;

    std::mutex stopMutex_;
    std::condition_variable stopChanged_;
    bool stopping_ = false;

    mutable std::mutex sessionMutex_;
    std::set<std::string> sessions_;
    std::atomic<unsigned> sessionCounter_{0};
    DemoStats stats_;
};
