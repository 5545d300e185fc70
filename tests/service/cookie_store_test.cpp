// The cookie store: which cookies a URL carries, the job's cookie text written for the web host,
// and the jar that keeps a login and the watch page's cookie for the next run.

#include "service/cookie_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "service/url_parts.h"
#include "service_test_support.h"

using namespace service_test;
namespace fs = std::filesystem;

namespace {

// The "name=value" pairs of a Cookie header's value.
std::set<std::string> cookiesFor(CookieStore& store, const std::string& url) {
    const auto parts = splitUrl(url);
    EXPECT_TRUE(parts) << url;
    const std::string cookies = parts ? store.cookiesFor(*parts) : std::string();
    std::set<std::string> pairs;
    for (size_t start = 0, end = 0; start < cookies.size(); start = end + 2) {
        end = std::min(cookies.find("; ", start), cookies.size());
        pairs.insert(cookies.substr(start, end - start));
    }
    return pairs;
}

struct stat statOf(const fs::path& file) {
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
    return info;
}

using Pairs = std::set<std::string>;

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
    const Pairs www = {"domain=1", "httponly=5", "persistent=8"};
    EXPECT_EQ(cookiesFor(store, "http://www.example.com/"), www);
    EXPECT_EQ(cookiesFor(store, "http://www.example.com/subway"), www);
    EXPECT_EQ(cookiesFor(store, "https://WWW.example.com/sub/page?x=1"),
              (Pairs{"domain=1", "subpath=2", "secure=3", "httponly=5", "persistent=8"}));
    EXPECT_EQ(cookiesFor(store, "http://example.com/"), Pairs{"domain=1"});
    EXPECT_EQ(cookiesFor(store, "http://badexample.com/"), Pairs{});
    EXPECT_EQ(cookiesFor(store, "http://other.example.org/"), Pairs{"other=6"});
    // The expired cookie and the header line never entered the store.
    EXPECT_EQ(store.snapshot().find("expired"), std::string::npos);
    EXPECT_EQ(store.snapshot().find("injected"), std::string::npos);
}

TEST(CookieStore, TheJobsCookieTextIsWrittenForTheWebHostAlone) {
    CookieStore store{fs::path()};
    store.setCookies("www.example.com", "user_session=abc; nicohistory=sm9%3A1 ;empty=; =noname");
    EXPECT_EQ(cookiesFor(store, "http://www.example.com/watch/sm9"),
              (Pairs{"user_session=abc", "nicohistory=sm9%3A1", "empty="}));
    EXPECT_EQ(cookiesFor(store, "http://example.com/"), Pairs{});
    EXPECT_EQ(cookiesFor(store, "http://sub.www.example.com/"), Pairs{});
    // Pairs the host already carries are not added a second time; changed values replace.
    store.setCookies("www.example.com", "user_session=abc");
    store.setCookies("www.example.com", "user_session=def");
    EXPECT_EQ(cookiesFor(store, "http://www.example.com/"),
              (Pairs{"user_session=def", "nicohistory=sm9%3A1", "empty="}));
    // Text that cannot be a cookie is skipped.
    store.setCookies("www.example.com", "bad\tname=1");
    store.setCookies("", "lost=1");
    EXPECT_EQ(store.snapshot().find("bad"), std::string::npos);
    EXPECT_EQ(store.snapshot().find("lost"), std::string::npos);
}

TEST(CookieStore, TheJarKeepsTheLoginAndThePagesCookieForTheOwnerAlone) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.logIn();
    const std::string cookie = harness.fields.cookie;
    ASSERT_FALSE(cookie.empty());
    EXPECT_EQ(statOf(harness.jarPath()).st_mode & 0777, 0600u);

    // A new store on the same jar, as a later run makes: without auto-login the stored login
    // is taken, and it finds the stream.
    harness.reopenStore();
    harness.fields.cookie.clear();
    harness.client().loginToService("", "", true);
    EXPECT_EQ(harness.fields.cookie, cookie);
    const ino_t before = statOf(harness.jarPath()).st_ino;
    std::string streamUrl;
    ASSERT_TRUE(harness.client().lookUpVideo(demo.webBase() + "/watch/sm9", cookie, streamUrl));
    EXPECT_FALSE(streamUrl.empty());
    // The lookup set no cookie: the jar was not rewritten. The watch page sets its history
    // cookie: the jar is replaced and holds it.
    EXPECT_EQ(statOf(harness.jarPath()).st_ino, before);
    ASSERT_TRUE(harness.client().visitVideoPage(demo.webBase() + "/watch/sm9", cookie));
    EXPECT_EQ(demo.last("watch-id"), "sm9");
    EXPECT_EQ(demo.last("watch-user-agent"), "lumivox");
    EXPECT_NE(statOf(harness.jarPath()).st_ino, before);
    EXPECT_NE(readBytes(harness.jarPath()).find("nicohistory"), std::string::npos);
}

TEST(CookieStore, AnOlderJarReadableByOthersIsMadeTheOwnersAlone) {
    TempFolder folder;
    writeBytes(folder / "cookies.txt", "www.example.com\tFALSE\t/\tFALSE\t0\ta\t1\n");
    fs::permissions(folder / "cookies.txt", fs::perms(0644));
    CookieStore store(folder / "cookies.txt");
    store.setCookies("www.example.com", "b=2");
    EXPECT_TRUE(store.save());
    EXPECT_EQ(statOf(folder / "cookies.txt").st_mode & 0777, 0600u);
    CookieStore reopened(folder / "cookies.txt");
    EXPECT_EQ(cookiesFor(reopened, "http://www.example.com/"), (Pairs{"a=1", "b=2"}));
}
