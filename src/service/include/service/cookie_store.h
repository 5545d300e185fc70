#pragma once
// The service's cookies: one store per process that keeps what responses set and sends it with
// later requests to the same hosts, and outlives the program as a cookie-jar file.
//
// Design. The cookies live in curl's own cookie engine, inside a curl share handle
// (CURL_LOCK_DATA_COOKIE) that every request of the service is attached to: curl stores each
// Set-Cookie of every response there and sends the matching cookies with every request. The
// store reads that list (CURLINFO_COOKIELIST) to answer which cookies a URL carries and to save
// it, and writes single cookies into it (CURLOPT_COOKIELIST). The jar is a Netscape cookie file
// (the format curl and browsers' export tools use), created with mode 0600 because it holds the
// login; it is loaded at the first use of the store and saved after each operation that changed
// the cookies. Session cookies are saved too, as curl's own jar does, so that a login survives
// to the next run.
//
// Threads. Every member may be called from any thread; the share handle's lock callbacks and a
// mutex of the store's own serialise the work.

#include <curl/curl.h>

#include <array>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "service/url_parts.h"

class CookieStore {
public:
    // The jar's file name inside the work folder.
    static constexpr const char* kJarFileName = "cookies.txt";

    // A store persisted in `jarFile`; an empty path keeps the cookies in memory only.
    explicit CookieStore(std::filesystem::path jarFile);
    ~CookieStore();
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    // The process's store. The first call makes it with `jarFile`; later calls return the same
    // store whatever they pass (the work folder does not change while the program runs).
    static CookieStore& forProcess(const std::filesystem::path& jarFile);

    const std::filesystem::path& jarFile() const { return jarFile_; }

    // Makes `handle` keep and send its cookies in this store (CURLOPT_SHARE). The handle must be
    // cleaned up before the store goes. False when curl refused.
    bool attach(CURL* handle);

    // The cookies a request to `url` would carry, "name=value; name=value" in the store's order:
    // matching host (exactly, or within a domain cookie's domain), path and scheme (a secure
    // cookie only over https), not expired. Empty when there are none.
    std::string cookiesFor(const UrlParts& url);

    // Writes the pairs of `cookieText` ("name=value; name=value") into the store as session
    // cookies of `host` (host-only, path "/"), except pairs that a request to http://host/
    // already carries with the same value. Pairs without a name, or holding a tab or line
    // break, are skipped.
    void setCookies(const std::string& host, std::string_view cookieText);

    // Every cookie of the store, one jar line each, expired ones left out. Two snapshots differ
    // exactly when the store changed in between.
    std::string snapshot();

    // Writes the jar (mode 0600). True when written, or when the store has no jar.
    bool save();
    // Saves when the store differs from `before` (a snapshot). True when nothing needed saving
    // or the jar was written.
    bool saveIfChangedSince(const std::string& before);

private:
    // Loads the jar into the store once. Caller holds `controlMutex_`.
    void loadJarLocked();
    std::string snapshotLocked();

    static void lockShare(CURL* handle, curl_lock_data data, curl_lock_access access, void* user);
    static void unlockShare(CURL* handle, curl_lock_data data, void* user);

    const std::filesystem::path jarFile_;
    CURLSH* share_ = nullptr;
    // One mutex per kind of shared data, taken by curl through the lock callbacks.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> shareMutexes_;
    // Guards `control_` and `loaded_`. Never held by curl's callbacks, so no lock order issue.
    std::mutex controlMutex_;
    // A handle attached to the share, never performed: reads and writes the cookie list.
    CURL* control_ = nullptr;
    bool loaded_ = false;
};
