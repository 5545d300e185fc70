// The session cookie read from browser profiles that the tests make themselves: a Firefox
// profile whose newest cookie still sits in the write-ahead log of a running "browser", and a
// Chromium profile with the value encrypted as Chromium does without a keyring.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sqlite3.h>

#include <string>

#include "service/browser_cookies.h"
#include "service/service_test_support.h"

namespace {

using service_test::TempFolder;
namespace fs = std::filesystem;

constexpr int64_t kNow = 1'800'000'000;

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error != nullptr ? error : "") << ": " << sql;
}

TEST(BrowserCookies, FirefoxProfileIsReadFromACopyWithItsLog) {
    TempFolder home;
    const fs::path profile = home.path() / ".mozilla" / "firefox" / "abcd1234.default-release";
    fs::create_directories(profile);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((profile / "cookies.sqlite").c_str(), &db), SQLITE_OK);
    exec(db, "PRAGMA journal_mode=WAL");
    exec(db, "PRAGMA wal_autocheckpoint=0");
    exec(db,
         "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL "
         "DEFAULT '', name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed "
         "INTEGER, creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER)");
    // An expired login, a cookie of another site, and the live one, which the "browser" keeps
    // in its log (never checkpointed while it runs).
    exec(db,
         "INSERT INTO moz_cookies (name, value, host, path, expiry, lastAccessed) VALUES "
         "('user_session', 'user_session_1_old', '.nicovideo.jp', '/', 1600000000, 9), "
         "('user_session', 'user_session_2_other', '.example.com', '/', 0, 8), "
         "('nicosid', '1.2', '.nicovideo.jp', '/', 0, 7)");
    exec(db,
         "INSERT INTO moz_cookies (name, value, host, path, expiry, lastAccessed) VALUES "
         "('user_session', 'user_session_12345_abcdef', '.nicovideo.jp', '/', 1900000000000, 5)");
    ASSERT_TRUE(fs::exists(profile / "cookies.sqlite-wal"));
    const auto before = fs::last_write_time(profile / "cookies.sqlite");

    const Result<BrowserCookieSource> firefox = browserCookieSource("firefox");
    ASSERT_TRUE(firefox);
    const Result<std::string> value = sessionCookieFromBrowser(*firefox, home.path(), kNow);
    ASSERT_TRUE(value) << value.error();
    EXPECT_EQ(*value, "user_session_12345_abcdef");
    // The browser's own files are untouched, and its connection still works.
    EXPECT_EQ(fs::last_write_time(profile / "cookies.sqlite"), before);
    exec(db, "INSERT INTO moz_cookies (name, value) VALUES ('a', 'b')");
    sqlite3_close(db);

    // A profile named by path; an empty home; an unknown browser.
    const Result<BrowserCookieSource> byPath = browserCookieSource("firefox:" + profile.string());
    ASSERT_TRUE(byPath);
    EXPECT_EQ(sessionCookieFromBrowser(*byPath, "/nonexistent", kNow).value_or("-"),
              "user_session_12345_abcdef");
    TempFolder empty;
    const Result<std::string> none = sessionCookieFromBrowser(*firefox, empty.path(), kNow);
    ASSERT_FALSE(none);
    EXPECT_NE(none.error().find("no cookie database of firefox"), std::string::npos);
    EXPECT_FALSE(browserCookieSource("netscape"));
}

// `plain` sealed as Chromium seals cookie values without a keyring.
std::string chromiumV10(const std::string& plain) {
    unsigned char key[16];
    PKCS5_PBKDF2_HMAC_SHA1("peanuts", 7, reinterpret_cast<const unsigned char*>("saltysalt"), 9, 1,
                           16, key);
    unsigned char iv[16];
    std::fill(iv, iv + 16, ' ');
    return "v10" + service_test::aes128CbcEncrypt(plain, key, iv);
}

TEST(BrowserCookies, ChromiumFixedKeyValuesAreDecryptedAndKeyringOnesExplained) {
    TempFolder home;
    const fs::path profile = home.path() / ".config" / "chromium" / "Default";
    fs::create_directories(profile);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((profile / "Cookies").c_str(), &db), SQLITE_OK);
    exec(db, "CREATE TABLE meta (key TEXT, value TEXT)");
    exec(db, "INSERT INTO meta VALUES ('version', '24')");
    exec(db,
         "CREATE TABLE cookies (host_key TEXT, name TEXT, value TEXT, encrypted_value BLOB, "
         "expires_utc INTEGER, last_access_utc INTEGER)");
    // Since version 24 the plain value follows the SHA-256 of the domain (32 bytes).
    const std::string sealed = chromiumV10(std::string(32, 'h') + "user_session_7_beef");
    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "INSERT INTO cookies VALUES (?1, 'user_session', '', ?2, 0, ?3)", -1,
                           &insert, nullptr),
        SQLITE_OK);
    sqlite3_bind_text(insert, 1, ".nicovideo.jp", -1, SQLITE_STATIC);
    sqlite3_bind_blob(insert, 2, sealed.data(), static_cast<int>(sealed.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert, 3, (kNow + 11644473600LL) * 1000000);
    ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_finalize(insert);
    sqlite3_close(db);

    const Result<std::string> value =
        sessionCookieFromBrowser(*browserCookieSource("chromium"), home.path(), kNow);
    ASSERT_TRUE(value) << value.error();
    EXPECT_EQ(*value, "user_session_7_beef");

    // A value sealed with the keyring's key cannot be read, and the failure says why.
    ASSERT_EQ(sqlite3_open((profile / "Cookies").c_str(), &db), SQLITE_OK);
    exec(db, "UPDATE cookies SET encrypted_value = X'7631310102030405060708090A0B0C0D0E0F10'");
    sqlite3_close(db);
    const Result<std::string> keyring =
        sessionCookieFromBrowser(*browserCookieSource("chromium"), home.path(), kNow);
    ASSERT_FALSE(keyring);
    EXPECT_NE(keyring.error().find("v11"), std::string::npos) << keyring.error();
}

}  // namespace
