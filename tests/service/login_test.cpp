// The login against the demo service: the form, the cookie it leaves, the errors of the HTTP
// layer, and the exact header lines sent.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service_test_support.h"

using namespace service_test;
using namespace std::string_literals;

namespace {

// True when the head and as much body as its Content-Length announces have arrived.
bool requestComplete(const std::string& request) {
    const size_t headEnd = request.find("\r\n\r\n");
    const size_t length = request.find("\r\nContent-Length: ");
    const size_t body = length < headEnd ? std::stoul(request.substr(length + 18)) : 0;
    return headEnd != std::string::npos && request.size() >= headEnd + 4 + body;
}

// Calls `send` with the base address of a listener on 127.0.0.1 that keeps the exact bytes of
// the first request (head and body), answers it with an empty 200 reply, and returns them.
std::string captureRequest(const std::function<void(const std::string& base)>& send) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::string request;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "cannot listen on loopback";
        ::close(listener);
        return request;
    }
    std::thread server([&] {
        pollfd waiting{listener, POLLIN, 0};
        const int connection =
            ::poll(&waiting, 1, 15000) == 1 ? ::accept(listener, nullptr, nullptr) : -1;
        if (connection < 0)
            return;
        const timeval limit{15, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char buffer[4096];
        ssize_t got = 0;
        while (!requestComplete(request) &&
               (got = ::recv(connection, buffer, sizeof buffer, 0)) > 0) {
            request.append(buffer, static_cast<size_t>(got));
        }
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        (void)!::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(connection);
    });
    send("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
    server.join();
    ::close(listener);
    return request;
}

std::string headerName(const std::string& line) {
    std::string name = line.substr(0, line.find(':'));
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

TEST(Login, SucceedsWithFormCharactersThenReusesTheCookieOrTheStoresOne) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.logIn("p&ss=w+rd%41");
    EXPECT_TRUE(harness.errors.empty());
    const std::string cookie = harness.fields.cookie;
    EXPECT_EQ(cookie.rfind("user_session=user_session_1_", 0), 0u) << cookie;
    // The server read back exactly what was typed.
    EXPECT_EQ(demo.last("login-password"), "p&ss=w+rd%41");
    EXPECT_EQ(demo.last("login-body"),
              "next_url=&mail=demo%40example.com&password="
              "p%26ss%3Dw%2Brd%2541&submit.x=90&submit.y=14");

    // A job that has its cookie already asks nothing.
    harness.logIn();
    EXPECT_EQ(demo.count("/secure/login"), 1);

    // Without auto-login the form goes out empty; the failed login leaves the cookie that the
    // store holds for the web host from the earlier login.
    harness.fields.cookie.clear();
    EXPECT_TRUE(harness.client().loginToService("demo@example.com", "p&ss=w+rd%41", true));
    EXPECT_EQ(demo.count("/secure/login"), 2);
    EXPECT_EQ(demo.last("login-body"), "next_url=&mail=&password=&submit.x=90&submit.y=14");
    EXPECT_EQ(harness.fields.cookie, cookie);
}

TEST(Login, AnUntrustedCertificateOrAClosedPortIsAnErrorWithCurlsText) {
    ServiceEndpoints closed;
    {
        DemoService demo;
        ASSERT_TRUE(demo.started());
        ServiceEndpoints untrusted = demo.endpoints();
        untrusted.caFile.clear();  // the system's trusted certificates do not know the demo's
        ClientHarness harness(untrusted);
        harness.logIn();
        EXPECT_EQ(harness.fields.cookie, "");
        ASSERT_EQ(harness.errors.size(), 1u);
        EXPECT_NE(harness.errors[0].find("certificate"), std::string::npos) << harness.errors[0];
        EXPECT_EQ(demo.count("/secure/login"), 0);
        closed = demo.endpoints();
    }  // the service has ended: nothing listens on its ports now
    ClientHarness harness(closed);
    harness.logIn();
    EXPECT_EQ(harness.fields.cookie, "");
    ASSERT_EQ(harness.errors.size(), 1u);
    EXPECT_FALSE(harness.errors[0].empty());
    EXPECT_LE(harness.errors[0].size(), 1023u);
    // The page visit reports the same way.
    EXPECT_FALSE(harness.client().visitVideoPage(closed.webBase + "/watch/sm9"));
    EXPECT_EQ(harness.errors.size(), 2u);
}

TEST(Login, HeaderLinesGoOutOnceEachInTheirOrder) {
    std::optional<ClientHarness> harness;
    const std::string raw = captureRequest([&](const std::string& base) {
        harness.emplace(ServiceEndpoints{base, "http://127.0.0.1:9", ""});
        harness->logIn("a b");
    });
    EXPECT_EQ(raw.rfind("POST /secure/login?site=niconico HTTP/1.1\r\n", 0), 0u);
    const size_t headEnd = raw.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos) << raw;
    std::vector<std::string> lines;
    std::istringstream head(raw.substr(0, headEnd));
    for (std::string line; std::getline(head, line);)
        lines.push_back(line.substr(0, line.find('\r')));
    // Each in this order, and no other line of its name: curl's own lines of the same names
    // are replaced, not added.
    auto from = lines.begin();
    for (const std::string& line :
         {"Content-type: application/x-www-form-urlencoded"s,
          "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 1.1.4322)"s,
          "Accept: */*"s, "Accept-Language: ja-JP"s, "Accept-Encoding: gzip, deflate"s,
          "Cache-Control: no-cache"s, "Referer: http://127.0.0.1:9/"s}) {
        from = std::find(from, lines.end(), line);
        ASSERT_NE(from++, lines.end()) << "missing or out of order: " << line;
        EXPECT_EQ(
            std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& l) { return headerName(l) == headerName(line); }),
            1)
            << line;
    }
    EXPECT_EQ(raw.substr(headEnd + 4),
              "next_url=&mail=demo%40example.com&password=a+b&submit.x=90&submit.y=14");
    EXPECT_TRUE(harness->errors.empty());
}
