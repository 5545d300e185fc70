// The login and the page visit against the demo service: the form, the cookie it leaves, the
// errors of the HTTP layer, stops, and the exact header lines sent.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "service_test_support.h"

using namespace service_test;

namespace {

// True when `lines` holds each of `expected` exactly once, in this order.
void expectLinesInOrder(const std::vector<std::string>& lines,
                        const std::vector<std::string>& expected) {
    size_t from = 0;
    for (const std::string& line : expected) {
        const auto found = std::find(lines.begin() + static_cast<long>(from), lines.end(), line);
        ASSERT_NE(found, lines.end()) << "missing or out of order: " << line;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line;
        from = static_cast<size_t>(found - lines.begin()) + 1;
    }
}

int countWithPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.size() >= prefix.size() &&
               std::equal(prefix.begin(), prefix.end(), l.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) ==
                          std::tolower(static_cast<unsigned char>(b));
               });
    }));
}

const char* const kBrowserAgent =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 1.1.4322)";

}  // namespace

TEST(Login, APasswordHoldingFormCharactersLogsInAndLeavesTheWebHostsCookie) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.logIn("p&ss=w+rd%41");

    EXPECT_TRUE(harness.errors.empty()) << harness.errors.front();
    EXPECT_EQ(harness.fields.cookie.rfind("user_session=user_session_1_", 0), 0u)
        << harness.fields.cookie;
    // The server read back exactly what was typed.
    EXPECT_EQ(demo.last("login-password"), "p&ss=w+rd%41");
    EXPECT_EQ(demo.last("login-mail"), "demo@example.com");
    EXPECT_EQ(demo.last("login-body"),
              "next_url=&mail=demo%40example.com&password=p%26ss%3Dw%2Brd%2541"
              "&submit.x=90&submit.y=14");
}

TEST(Login, AWrongPasswordOrAMissingCookieLeavesTheCookieEmptyWithoutAMessage) {
    for (const auto& [fault, password] : std::vector<std::pair<std::string, std::string>>{
             {"", "wrong"}, {"reject-login", "p&ss=w+rd%41"}, {"no-cookie", "p&ss=w+rd%41"}}) {
        SCOPED_TRACE(fault + " " + password);
        DemoService demo(fault.empty() ? std::vector<std::string>{}
                                       : std::vector<std::string>{"--fault", fault});
        ASSERT_TRUE(demo.started());
        ClientHarness harness(demo.endpoints());
        harness.logIn(password);
        EXPECT_EQ(harness.fields.cookie, "");
        EXPECT_TRUE(harness.errors.empty());
        EXPECT_EQ(demo.count("/secure/login"), 1);
        // Only the login itself (and for an accepted one the redirect to the web root) went out.
        EXPECT_EQ(demo.count("/api/getflv"), 0);
    }
}

TEST(Login, AnExistingCookieMeansNoRequest) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.fields.cookie = "user_session=x";
    harness.logIn();
    EXPECT_EQ(harness.fields.cookie, "user_session=x");
    EXPECT_EQ(demo.totalRequests(), 0);
}

TEST(Login, WithoutAutoLoginTheFormGoesOutEmptyAndTheStoresCookieIsTaken) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.logIn();
    const std::string firstCookie = harness.fields.cookie;
    ASSERT_FALSE(firstCookie.empty());

    harness.fields.cookie.clear();  // a new job
    harness.client().loginToService("demo@example.com", "p&ss=w+rd%41", true);
    EXPECT_EQ(demo.count("/secure/login"), 2);
    EXPECT_EQ(demo.last("login-body"), "next_url=&mail=&password=&submit.x=90&submit.y=14");
    // The login failed, but the store still held the earlier login's cookie for the web host.
    EXPECT_EQ(harness.fields.cookie, firstCookie);
}

TEST(Login, HeaderLinesGoOutOnceEachInTheirOrder) {
    RawRequestCapture capture;
    ServiceEndpoints endpoints;
    endpoints.loginBase = capture.base();
    endpoints.webBase = "http://127.0.0.1:9";
    ClientHarness harness(endpoints);
    harness.logIn("a b");

    const std::vector<std::string> lines = capture.headerLines();
    EXPECT_EQ(capture.request().rfind("POST /secure/login?site=niconico HTTP/1.1\r\n", 0), 0u);
    expectLinesInOrder(
        lines, {"Content-type: application/x-www-form-urlencoded", kBrowserAgent, "Accept: */*",
                "Accept-Language: ja-JP", "Accept-Encoding: gzip, deflate",
                "Cache-Control: no-cache", "Referer: http://127.0.0.1:9/"});
    // curl's own lines of the same names are replaced, not added.
    EXPECT_EQ(countWithPrefix(lines, "User-Agent:"), 1);
    EXPECT_EQ(countWithPrefix(lines, "Accept:"), 1);
    EXPECT_EQ(countWithPrefix(lines, "Content-Type:"), 1);
    EXPECT_EQ(capture.body(),
              "next_url=&mail=demo%40example.com&password=a+b&submit.x=90&submit.y=14");
    EXPECT_TRUE(harness.errors.empty());
}

TEST(Login, AnUntrustedCertificateIsAnErrorWithCurlsText) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ServiceEndpoints endpoints = demo.endpoints();
    endpoints.caFile.clear();  // the system's trusted certificates do not know the demo's
    ClientHarness harness(endpoints);
    harness.logIn();
    EXPECT_EQ(harness.fields.cookie, "");
    ASSERT_EQ(harness.errors.size(), 1u);
    EXPECT_NE(harness.errors[0].find("certificate"), std::string::npos) << harness.errors[0];
    EXPECT_EQ(demo.count("/secure/login"), 0);
}

TEST(Login, AClosedPortIsReportedWithAnErrorText) {
    ServiceEndpoints endpoints;
    {
        DemoService demo;
        ASSERT_TRUE(demo.started());
        endpoints = demo.endpoints();
    }  // the service has ended: nothing listens on its ports now
    ClientHarness harness(endpoints);
    harness.logIn();
    EXPECT_EQ(harness.fields.cookie, "");
    ASSERT_EQ(harness.errors.size(), 1u);
    EXPECT_FALSE(harness.errors[0].empty());
    EXPECT_LE(harness.errors[0].size(), 1023u);

    // The page visit reports the same way and goes on.
    EXPECT_FALSE(harness.client().visitVideoPage(endpoints.webBase + "/watch/sm9", ""));
    EXPECT_EQ(harness.errors.size(), 2u);
}

TEST(Login, AStopEndsALoginThatWaitsForASlowServer) {
    DemoService demo({"--fault", "slow-login"});
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.stopAfter(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    harness.logIn();
    // The server would answer after a minute; the stop is seen within about a second.
    EXPECT_LT(secondsSince(start), 10.0);
    EXPECT_EQ(harness.fields.cookie, "");
    EXPECT_TRUE(harness.errors.empty()) << "a stop is not an error to show";
}

TEST(PageVisit, TheWatchPageCookieReachesTheStore) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.logIn();
    ASSERT_FALSE(harness.fields.cookie.empty());
    EXPECT_TRUE(
        harness.client().visitVideoPage(demo.webBase() + "/watch/sm9", harness.fields.cookie));
    EXPECT_EQ(demo.last("watch-id"), "sm9");
    EXPECT_EQ(demo.last("watch-user-agent"), "lumivox");
    const std::string cookies = harness.store().cookiesFor(*splitUrl(demo.webBase() + "/smile"));
    EXPECT_NE(cookies.find("nicohistory=sm9%3A"), std::string::npos) << cookies;
    EXPECT_NE(cookies.find("user_session="), std::string::npos) << cookies;
}
