#include "service/browser_cookies.h"

#include <openssl/evp.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <system_error>

#include "service/segment_cipher.h"
#include "service/session_cookie.h"

namespace fs = std::filesystem;

namespace {

struct DatabaseClose {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseClose>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalize>;

// A temporary folder removed with its contents when the object goes.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "lumivox-cookies-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) {
            fs::remove_all(path_, ignored);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct Candidate {
    std::string value;
    int64_t lastUsed = 0;
};

bool isChromiumFamily(const std::string& browser) {
    return browser == "chromium" || browser == "chrome" || browser == "brave" ||
           browser == "vivaldi" || browser == "edge";
}

// Where each Chromium-family browser keeps its profiles, under ~/.config.
fs::path chromiumConfigFolder(const std::string& browser) {
    if (browser == "chrome") {
        return "google-chrome";
    }
    if (browser == "brave") {
        return fs::path("BraveSoftware") / "Brave-Browser";
    }
    if (browser == "edge") {
        return "microsoft-edge";
    }
    return browser;  // chromium, vivaldi
}

int64_t modified(const fs::path& file) {
    std::error_code error;
    const auto time = fs::last_write_time(file, error);
    return error ? 0 : static_cast<int64_t>(time.time_since_epoch().count());
}

// Copies `file` and its journal files into `folder`, so that the browser's own copy is never
// opened. The path of the copy, or nothing when the main file cannot be copied.
std::optional<fs::path> copyDatabase(const fs::path& file, const fs::path& folder) {
    const fs::path copy = folder / file.filename();
    std::error_code error;
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing, error);
    if (error) {
        return std::nullopt;
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const fs::path journal = file.string() + suffix;
        std::error_code ignored;
        if (fs::exists(journal, ignored)) {
            fs::copy_file(journal, copy.string() + suffix, fs::copy_options::overwrite_existing,
                          ignored);
        }
    }
    return copy;
}

Result<Database> openCopy(const fs::path& copy) {
    // Read-only where SQLite can apply the copied log so; else read-write, which only touches
    // the copy.
    for (const int flags : {SQLITE_OPEN_READONLY, SQLITE_OPEN_READWRITE}) {
        sqlite3* raw = nullptr;
        const int opened = sqlite3_open_v2(copy.c_str(), &raw, flags, nullptr);
        Database db(raw);
        if (opened == SQLITE_OK && sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master",
                                                nullptr, nullptr, nullptr) == SQLITE_OK) {
            return db;
        }
    }
    return Failure{"not a readable cookie database"};
}

Result<Statement> prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        return Failure{std::string("unexpected cookie database layout: ") + sqlite3_errmsg(db)};
    }
    return Statement(raw);
}

std::string columnText(sqlite3_stmt* statement, int column) {
    const void* data = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return data == nullptr ? std::string()
                           : std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

bool isServiceHost(const std::string& host) {
    std::string h = host;
    while (!h.empty() && h.front() == '.') {
        h.erase(0, 1);
    }
    const std::string domain = "nicovideo.jp";
    return h == domain || (h.size() > domain.size() &&
                           h.compare(h.size() - domain.size(), domain.size(), domain) == 0 &&
                           h[h.size() - domain.size() - 1] == '.');
}

Result<std::vector<Candidate>> firefoxCookies(sqlite3* db, int64_t nowUnix) {
    Result<Statement> query =
        prepare(db, "SELECT value, host, expiry, lastAccessed FROM moz_cookies WHERE name = ?1");
    if (!query) {
        return query.failure();
    }
    sqlite3_bind_text(query->get(), 1, kSessionCookieName, -1, SQLITE_STATIC);
    std::vector<Candidate> found;
    while (sqlite3_step(query->get()) == SQLITE_ROW) {
        const std::string host = columnText(query->get(), 1);
        int64_t expiry = sqlite3_column_int64(query->get(), 2);
        if (expiry > 100'000'000'000) {
            expiry /= 1000;  // newer profiles keep milliseconds
        }
        if (!isServiceHost(host) || (expiry != 0 && expiry <= nowUnix)) {
            continue;
        }
        found.push_back({columnText(query->get(), 0), sqlite3_column_int64(query->get(), 3)});
    }
    return found;
}

// Chromium's fixed key on Linux without a keyring: PBKDF2-HMAC-SHA1 of "peanuts" with the salt
// "saltysalt", one iteration, 16 bytes.
AesKey chromiumFixedKey() {
    AesKey key{};
    PKCS5_PBKDF2_HMAC_SHA1("peanuts", 7, reinterpret_cast<const unsigned char*>("saltysalt"), 9, 1,
                           static_cast<int>(key.size()), key.data());
    return key;
}

int databaseVersion(sqlite3* db) {
    Result<Statement> query = prepare(db, "SELECT value FROM meta WHERE key = 'version'");
    if (!query || sqlite3_step(query->get()) != SQLITE_ROW) {
        return 0;
    }
    return sqlite3_column_int(query->get(), 0);
}

Result<std::string> decryptChromiumValue(const std::string& encrypted, int version) {
    if (encrypted.rfind("v11", 0) == 0) {
        return Failure{
            "the cookie is encrypted with a key kept in the desktop keyring (v11), "
            "which Lumivox cannot read; copy the cookie's value from the browser's "
            "developer tools instead"};
    }
    if (encrypted.rfind("v10", 0) != 0) {
        return Failure{"the cookie is encrypted in a way Lumivox does not know"};
    }
    AesIv iv;
    iv.fill(' ');
    Result<std::string> plain =
        decryptAes128Cbc(std::string_view(encrypted).substr(3), chromiumFixedKey(), iv);
    if (!plain) {
        return Failure{"the cookie could not be decrypted (" + plain.error() + ")"};
    }
    // Since database version 24 the value follows the SHA-256 of the cookie's domain.
    if (version >= 24 && plain->size() >= 32) {
        plain->erase(0, 32);
    }
    return plain;
}

Result<std::vector<Candidate>> chromiumCookies(sqlite3* db, int64_t nowUnix) {
    Result<Statement> query = prepare(db,
                                      "SELECT value, encrypted_value, host_key, expires_utc, "
                                      "last_access_utc FROM cookies WHERE name = ?1");
    if (!query) {
        return query.failure();
    }
    sqlite3_bind_text(query->get(), 1, kSessionCookieName, -1, SQLITE_STATIC);
    const int version = databaseVersion(db);
    // Chromium counts microseconds since 1601-01-01.
    constexpr int64_t kEpochDelta = 11644473600LL;
    std::vector<Candidate> found;
    std::string lastError;
    while (sqlite3_step(query->get()) == SQLITE_ROW) {
        if (!isServiceHost(columnText(query->get(), 2))) {
            continue;
        }
        const int64_t expires = sqlite3_column_int64(query->get(), 3);
        if (expires != 0 && expires / 1000000 - kEpochDelta <= nowUnix) {
            continue;
        }
        std::string value = columnText(query->get(), 0);
        const std::string encrypted = columnText(query->get(), 1);
        if (value.empty() && !encrypted.empty()) {
            Result<std::string> plain = decryptChromiumValue(encrypted, version);
            if (!plain) {
                lastError = plain.error();
                continue;
            }
            value = std::move(*plain);
        }
        found.push_back({value, sqlite3_column_int64(query->get(), 4) / 1000000 - kEpochDelta});
    }
    if (found.empty() && !lastError.empty()) {
        return Failure{lastError};
    }
    return found;
}

// Firefox's profiles: every folder under the profiles root that holds cookies.sqlite.
std::vector<fs::path> firefoxProfiles(const fs::path& home) {
    std::vector<fs::path> files;
    for (const fs::path& root :
         {home / ".mozilla" / "firefox",
          home / "snap" / "firefox" / "common" / ".mozilla" / "firefox",
          home / ".var" / "app" / "org.mozilla.firefox" / ".mozilla" / "firefox"}) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(root, error)) {
            const fs::path file = entry.path() / "cookies.sqlite";
            std::error_code ignored;
            if (fs::is_regular_file(file, ignored)) {
                files.push_back(file);
            }
        }
    }
    return files;
}

std::vector<fs::path> chromiumProfiles(const std::string& browser, const fs::path& home) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(home / ".config" / chromiumConfigFolder(browser), error)) {
        for (const fs::path& file :
             {entry.path() / "Cookies", entry.path() / "Network" / "Cookies"}) {
            std::error_code ignored;
            if (fs::is_regular_file(file, ignored)) {
                files.push_back(file);
            }
        }
    }
    return files;
}

}  // namespace

Result<BrowserCookieSource> browserCookieSource(std::string_view choice) {
    const size_t colon = choice.find(':');
    BrowserCookieSource source;
    source.browser = std::string(choice.substr(0, colon));
    std::transform(source.browser.begin(), source.browser.end(), source.browser.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (source.browser == "google-chrome") {
        source.browser = "chrome";
    }
    if (source.browser != "firefox" && !isChromiumFamily(source.browser)) {
        return Failure{"unknown browser \"" + source.browser +
                       "\" (firefox, chromium, chrome, brave, vivaldi or edge)"};
    }
    if (colon != std::string_view::npos) {
        source.profile = std::string(choice.substr(colon + 1));
    }
    return source;
}

std::vector<fs::path> browserCookieFiles(const BrowserCookieSource& source, const fs::path& home) {
    std::vector<fs::path> files;
    if (!source.profile.empty()) {
        const fs::path direct = source.profile;
        for (const fs::path& file : {direct, direct / "cookies.sqlite", direct / "Cookies",
                                     direct / "Network" / "Cookies"}) {
            std::error_code ignored;
            if (fs::is_regular_file(file, ignored)) {
                files.push_back(file);
                break;
            }
        }
        return files;
    }
    files = source.browser == "firefox" ? firefoxProfiles(home)
                                        : chromiumProfiles(source.browser, home);
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return modified(a) > modified(b); });
    return files;
}

Result<std::string> sessionCookieFromBrowser(const BrowserCookieSource& source,
                                             const fs::path& home, int64_t nowUnix) {
    const std::vector<fs::path> files = browserCookieFiles(source, home);
    if (files.empty()) {
        return Failure{
            "no cookie database of " + source.browser + " found in " +
            (source.profile.empty() ? home.string() + " (its profiles)" : source.profile.string())};
    }
    ScratchFolder scratch;
    if (scratch.path().empty()) {
        return Failure{"no temporary folder for a copy of the browser's cookies"};
    }
    std::string problems;
    for (const fs::path& file : files) {
        const fs::path folder = scratch.path() / std::to_string(&file - files.data());
        std::error_code ignored;
        fs::create_directories(folder, ignored);
        const std::optional<fs::path> copy = copyDatabase(file, folder);
        if (!copy) {
            problems += "; " + file.string() + ": cannot be copied";
            continue;
        }
        Result<Database> db = openCopy(*copy);
        Result<std::vector<Candidate>> found =
            !db ? Result<std::vector<Candidate>>(db.failure())
                : (source.browser == "firefox" ? firefoxCookies(db->get(), nowUnix)
                                               : chromiumCookies(db->get(), nowUnix));
        if (!found) {
            problems += "; " + file.string() + ": " + found.error();
            continue;
        }
        const auto newest = std::max_element(
            found->begin(), found->end(),
            [](const Candidate& a, const Candidate& b) { return a.lastUsed < b.lastUsed; });
        if (newest != found->end()) {
            if (const std::optional<std::string> value = sessionCookieValue(newest->value)) {
                return *value;
            }
            problems += "; " + file.string() + ": the cookie's value is not usable";
        }
    }
    return Failure{"no valid session cookie of nicovideo.jp in " + source.browser +
                   "'s profiles (sign in at nicovideo.jp with it first)" + problems};
}
