// The cookie store: which cookies a URL carries, the job's cookie text written for the web host,
// and the jar that keeps a login for the next run.

#include "service/cookie_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "service/url_parts.h"
#include "service_test_support.h"

using namespace service_test;
namespace fs = std::filesystem;

namespace {

std::set<std::string> pairsOf(const std::string& cookies) {
    std::set<std::string> pairs;
    size_t start = 0;
    while (start < cookies.size()) {
        size_t end = cookies.find("; ", start);
        if (end == std::string::npos)
            end = cookies.size();
        pairs.insert(cookies.substr(start, end - start));
        start = end + 2;
    }
    return pairs;
}

std::string cookiesFor(CookieStore& store, const std::string& url) {
    const auto parts = splitUrl(url);
    EXPECT_TRUE(parts) << url;
    return parts ? store.cookiesFor(*parts) : std::string();
}

unsigned permissionBits(const fs::path& file) {
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
    return info.st_mode & 0777;
}

ino_t inodeOf(const fs::path& file) {
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
    return info.st_ino;
}

}  // namespace

TEST(CookieStore, AUrlCarriesTheCookiesOfItsHostPathAndScheme) {
    TempFolder folder;
    writeBytes(folder / "cookies.txt",
               "# Netscape HTTP Cookie File\n"
               ".example.com\tTRUE\t/\tFALSE\t0\tdomain\t1\n"
               "www.example.com\tFALSE\t/sub\tFALSE\t0\tsubpath\t2\n"
               "www.example.com\tFALSE\t/\tTRUE\t0\tsecure\t3\n"
               "www.example.com\tFALSE\t/\tFALSE\t1\texpired\t4\n"
               "#HttpOnly_www.example.com\tFALSE\t/\tFALSE\t0\thttponly\t5\n"
               "other.example.org\tFALSE\t/\tFALSE\t0\tother\t6\n"
               "Set-Cookie: injected=7; domain=www.example.com\n"
               "www.example.com\tFALSE\t/\tFALSE\t4102444800\tpersistent\t8\n");
    CookieStore store(folder / "cookies.txt");

    EXPECT_EQ(pairsOf(cookiesFor(store, "http://www.example.com/")),
              (std::set<std::string>{"domain=1", "httponly=5", "persistent=8"}));
    EXPECT_EQ(
        pairsOf(cookiesFor(store, "https://WWW.example.com/sub/page?x=1")),
        (std::set<std::string>{"domain=1", "subpath=2", "secure=3", "httponly=5", "persistent=8"}));
    EXPECT_EQ(cookiesFor(store, "http://www.example.com/subway"),
              cookiesFor(store, "http://www.example.com/"));
    EXPECT_EQ(cookiesFor(store, "http://example.com/"), "domain=1");
    EXPECT_EQ(cookiesFor(store, "http://badexample.com/"), "");
    EXPECT_EQ(cookiesFor(store, "http://other.example.org/"), "other=6");
    // The expired cookie and the header line never entered the store.
    const std::string snapshot = store.snapshot();
    EXPECT_EQ(snapshot.find("expired"), std::string::npos);
    EXPECT_EQ(snapshot.find("injected"), std::string::npos);
}

TEST(CookieStore, TheJobsCookieTextIsWrittenForTheWebHostAlone) {
    CookieStore store{fs::path()};
    store.setCookies("www.example.com", "user_session=abc; nicohistory=sm9%3A1 ;empty=; =noname");
    EXPECT_EQ(pairsOf(cookiesFor(store, "http://www.example.com/watch/sm9")),
              (std::set<std::string>{"user_session=abc", "nicohistory=sm9%3A1", "empty="}));
    EXPECT_EQ(cookiesFor(store, "http://example.com/"), "");
    EXPECT_EQ(cookiesFor(store, "http://sub.www.example.com/"), "");

    // Pairs the host already carries are not added a second time; changed values replace.
    store.setCookies("www.example.com", "user_session=abc");
    store.setCookies("www.example.com", "user_session=def");
    EXPECT_EQ(pairsOf(cookiesFor(store, "http://www.example.com/")),
              (std::set<std::string>{"user_session=def", "nicohistory=sm9%3A1", "empty="}));
    // Text that cannot be a cookie is skipped.
    store.setCookies("www.example.com", "bad\tname=1");
    store.setCookies("", "lost=1");
    EXPECT_EQ(store.snapshot().find("bad"), std::string::npos);
    EXPECT_EQ(store.snapshot().find("lost"), std::string::npos);
}

TEST(CookieStore, ALoginIsKeptInTheJarForTheNextRun) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.logIn();
    ASSERT_FALSE(harness.fields.cookie.empty());

    ASSERT_TRUE(fs::exists(harness.jarPath()));
    EXPECT_EQ(permissionBits(harness.jarPath()), 0600u);
    EXPECT_NE(readBytes(harness.jarPath()).find("user_session"), std::string::npos);

    // A new store on the same jar: a later run, without logging in again (no auto-login).
    const std::string cookie = harness.fields.cookie;
    harness.reopenStore();
    harness.fields.cookie.clear();
    harness.client().loginToService("", "", true);
    EXPECT_EQ(harness.fields.cookie, cookie);
    std::string streamUrl;
    EXPECT_TRUE(harness.client().lookUpVideo(demo.webBase() + "/watch/sm9", harness.fields.cookie,
                                             streamUrl));
    EXPECT_FALSE(streamUrl.empty());
}

TEST(CookieStore, TheJarIsRewrittenOnlyWhenTheCookiesChanged) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.logIn();
    const ino_t afterLogin = inodeOf(harness.jarPath());

    // The lookup sets no cookie (the job's cookie is already in the store).
    std::string streamUrl;
    ASSERT_TRUE(harness.client().lookUpVideo(demo.webBase() + "/watch/sm9", harness.fields.cookie,
                                             streamUrl));
    EXPECT_EQ(inodeOf(harness.jarPath()), afterLogin);

    // The watch page sets its history cookie: the jar is replaced and holds it.
    ASSERT_TRUE(
        harness.client().visitVideoPage(demo.webBase() + "/watch/sm9", harness.fields.cookie));
    EXPECT_NE(inodeOf(harness.jarPath()), afterLogin);
    EXPECT_NE(readBytes(harness.jarPath()).find("nicohistory"), std::string::npos);
}

TEST(CookieStore, AnOlderJarReadableByOthersIsMadeTheOwnersAlone) {
    TempFolder folder;
    writeBytes(folder / "cookies.txt", "www.example.com\tFALSE\t/\tFALSE\t0\ta\t1\n");
    fs::permissions(folder / "cookies.txt", fs::perms(0644));
    CookieStore store(folder / "cookies.txt");
    store.setCookies("www.example.com", "b=2");
    EXPECT_TRUE(store.save());
    EXPECT_EQ(permissionBits(folder / "cookies.txt"), 0600u);
    CookieStore reopened(folder / "cookies.txt");
    EXPECT_EQ(pairsOf(cookiesFor(reopened, "http://www.example.com/")),
              (std::set<std::string>{"a=1", "b=2"}));
}
