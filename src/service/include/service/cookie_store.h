#pragma once
// The service's cookies: one store per process that keeps what responses set and sends it with
// later requests, and outlives the program as a cookie-jar file.
//
// Design. The cookies live in curl's own cookie engine, inside a curl share handle
// (CURL_LOCK_DATA_COOKIE) that every request of the service is attached to: curl stores each
// Set-Cookie of every response there and decides which cookies every request carries (host,
// path, scheme, expiry). The store itself matches nothing: it loads the jar into the engine,
// saves the engine's list (CURLINFO_COOKIELIST) back to the jar, and lets a caller put in or
// look up single cookies by domain and name. The jar is a Netscape cookie file (the format curl
// and browsers' export tools use), written with mode 0600 because it holds the login; it is
// loaded at the first use of the store and saved after each operation that changed the
// cookies. Session cookies are saved too, as curl's own jar does, so that a login survives to
// the next run.
//
// Threads. Every member may be called from any thread; the share handle's lock callbacks and a
// mutex of the store's own serialise the work.

#include <curl/curl.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/work_file_names.h"
#include "service/curl_handles.h"

// One cookie as the store keeps it (a line of the jar).
struct StoredCookie {
    std::string domain;              // the host it was set by, or the domain it is shared in
    bool includeSubdomains = false;  // also sent to the hosts within `domain`
    std::string path = "/";
    bool secureOnly = false;  // sent over https only
    int64_t expires = 0;      // Unix seconds; 0: a session cookie
    std::string name;
    std::string value;
};

class CookieStore {
public:
    // The jar's file name inside the work folder.
    static constexpr const char* kJarFileName = kCookieJarFileName;

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
    // cleaned up before the store goes.
    Status attach(CURL* handle);

    // Puts `cookie` into the store, replacing one of the same domain, path and name, as a
    // response's Set-Cookie would. Fails, changing nothing, for a cookie without a name or
    // domain, or with a tab or line break in a field.
    Status setCookie(const StoredCookie& cookie);

    // The cookies the store keeps for `host`, whatever their path, "name=value; name=value" in
    // the store's order: those set for the host itself and those shared in a domain it lies
    // in; secure ones only when `secureScheme`. Empty when there are none. This is the job's
    // record of its login; what a request carries is for curl's engine to decide.
    std::string cookieTextFor(std::string_view host, bool secureScheme);

    // Every unexpired cookie of the store, one jar line each. Two snapshots differ exactly when
    // the store changed in between.
    std::string snapshot();

    // Writes the jar (mode 0600). Succeeds at once when the store has no jar.
    Status save();
    // Saves when the store differs from `before` (a snapshot).
    Status saveIfChangedSince(const std::string& before);

private:
    // Loads the jar into the store once. Caller holds `controlMutex_`.
    void loadJarLocked();
    std::string snapshotLocked();

    static void lockShare(CURL* handle, curl_lock_data data, curl_lock_access access, void* user);
    static void unlockShare(CURL* handle, curl_lock_data data, void* user);

    // The cookies of the store, parsed from the engine's list, expired ones left out.
    std::vector<StoredCookie> cookies();

    const std::filesystem::path jarFile_;
    // One mutex per kind of shared data, taken by curl through the lock callbacks. Declared
    // before the handles, so that it outlives them.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> shareMutexes_;
    CurlSharePtr share_;
    // Guards `control_` and `loaded_`. Never held by curl's callbacks, so no lock order issue.
    std::mutex controlMutex_;
    // A handle attached to the share, never performed: loads, lists and sets cookies. Declared
    // after the share, so that it is cleaned up first.
    CurlEasyPtr control_;
    bool loaded_ = false;
};
