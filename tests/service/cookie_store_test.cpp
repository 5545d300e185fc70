// The cookie store: the jar read through curl, cookies put in and looked up by domain and name,
// what the engine sends, and the jar that keeps a login and the watch page's cookie for the next
// run.

#include "service/cookie_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "service_test_support.h"

using namespace service_test;
namespace fs = std::filesystem;

namespace {

// The "name=value" pairs of a cookie text.
std::set<std::string> pairsOf(const std::string& cookies) {
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

TEST(CookieStore, ReadsItsJarThroughCurlAndAnswersByDomainAndName) {
    TempFolder folder;
    writeBytes(folder / "cookies.txt",
               "# Netscape HTTP Cookie File\n"
               ".example.com\tTRUE\t/\tFALSE\t0\tdomain\t1\n"
               "www.example.com\tFALSE\t/sub\tFALSE\t0\tsubpath\t2\n"
               "www.example.com\tFALSE\t/\tTRUE\t0\tsecure\t3\n"
               "www.example.com\tFALSE\t/\tFALSE\t1\texpired\t4\n"
               "#HttpOnly_www.example.com\tFALSE\t/\tFALSE\t0\thttponly\t5\n"
               "other.example.org\tFALSE\t/\tFALSE\t0\tother\t6\n"
               "www.example.com\tFALSE\t/\tFALSE\t4102444800\tpersistent\t8\n");
    fs::permissions(folder / "cookies.txt", fs::perms(0644));  // an older jar, readable by others
    CookieStore store(folder / "cookies.txt");
    // The record of a host: its own cookies and its domain's, whatever their path; secure
    // ones only for https.
    EXPECT_EQ(pairsOf(store.cookieTextFor("WWW.example.com", false)),
              (Pairs{"domain=1", "subpath=2", "httponly=5", "persistent=8"}));
    EXPECT_EQ(pairsOf(store.cookieTextFor("www.example.com", true)),
              (Pairs{"domain=1", "subpath=2", "secure=3", "httponly=5", "persistent=8"}));
    EXPECT_EQ(pairsOf(store.cookieTextFor("example.com", false)), Pairs{"domain=1"});
    EXPECT_EQ(store.cookieTextFor("badexample.com", false), "");
    EXPECT_EQ(store.cookieTextFor("other.example.org", false), "other=6");
    EXPECT_EQ(store.snapshot().find("expired"), std::string::npos);

    // A cookie put in replaces one of the same domain, path and name; what cannot be a jar
    // line is refused.
    ASSERT_TRUE(store.setCookie({"www.example.com", false, "/", false, 0, "persistent", "9"}));
    EXPECT_EQ(pairsOf(store.cookieTextFor("www.example.com", false)),
              (Pairs{"domain=1", "subpath=2", "httponly=5", "persistent=9"}));
    ASSERT_TRUE(store.setCookie({"example.net", true, "/", true, 4102444800, "user_session", "x"}));
    EXPECT_EQ(store.cookieTextFor("www.example.net", true), "user_session=x");
    EXPECT_FALSE(store.setCookie({"www.example.com", false, "/", false, 0, "bad\tname", "1"}));
    EXPECT_FALSE(store.setCookie({"", false, "/", false, 0, "lost", "1"}));
    EXPECT_FALSE(store.setCookie({"www.example.com", false, "/", false, 0, "", "1"}));
    EXPECT_EQ(store.snapshot().find("lost"), std::string::npos);
    // Saved for the owner alone, and read back by a later run.
    EXPECT_TRUE(store.save());
    EXPECT_EQ(statOf(folder / "cookies.txt").st_mode & 0777, 0600u);
    CookieStore reopened(folder / "cookies.txt");
    EXPECT_EQ(pairsOf(reopened.cookieTextFor("www.example.com", false)),
              (Pairs{"domain=1", "subpath=2", "httponly=5", "persistent=9"}));
}

TEST(CookieStore, TheJarKeepsTheLoginAndThePagesCookieForTheOwnerAndTheStoresCookiesAreSent) {
    DemoService demo;
    ASSERT_TRUE(demo.started());
    ClientHarness harness(demo.endpoints());
    harness.logIn();
    const std::string cookie = harness.fields.cookie;
    EXPECT_EQ(CookieStore(harness.jarPath()).cookieTextFor("127.0.0.1", false), cookie);

    // Another store without a login: the lookup finds no stream until the session cookie is
    // put in for the host; the job's cookie text is never what is sent.
    ClientHarness other(demo.endpoints());
    other.fields.cookie = cookie;
    EXPECT_FALSE(other.client().lookUpVideo(demo.webBase() + "/watch/sm9"));
    const std::string session = cookie.substr(cookie.find('=') + 1);
    ASSERT_TRUE(
        other.store().setCookie({"127.0.0.1", false, "/", false, 0, "user_session", session}));
    const Result<VideoLookup> lookup = other.client().lookUpVideo(demo.webBase() + "/watch/sm9");
    ASSERT_TRUE(lookup) << lookup.error();
    EXPECT_EQ(lookup->streamUrl, demo.webBase() + "/smile?v=sm9");

    // A new store on the same jar, as a later run makes: without auto-login the stored login
    // is taken, and it finds the stream.
    harness.reopenStore();
    harness.fields.cookie.clear();
    ASSERT_TRUE(harness.client().loginToService("", "", true));
    EXPECT_EQ(harness.fields.cookie, cookie);
    const ino_t before = statOf(harness.jarPath()).st_ino;
    ASSERT_TRUE(harness.client().lookUpVideo(demo.webBase() + "/watch/sm9"));
    // The lookup set no cookie: the jar was not rewritten. The watch page sets its history
    // cookie: the jar is replaced and holds it.
    EXPECT_EQ(statOf(harness.jarPath()).st_ino, before);
    ASSERT_TRUE(harness.client().visitVideoPage(demo.webBase() + "/watch/sm9"));
    EXPECT_EQ(demo.last("watch-id"), "sm9");
    EXPECT_EQ(demo.last("watch-user-agent"), "lumivox");
    EXPECT_NE(statOf(harness.jarPath()).st_ino, before);
    EXPECT_NE(readBytes(harness.jarPath()).find("nicohistory"), std::string::npos);
}
