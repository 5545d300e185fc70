#pragma once
// Where the video service lives. The program has the real service's hosts built in; a front end
// may point them elsewhere (a private server such as the demo service) from lumivox.ini:
//
//   [Service]
//   LoginHost=https://secure.nicovideo.jp   ; base address of the login host (scheme and host)
//   WebHost=http://www.nicovideo.jp         ; base address of the web host (getflv, watch pages)
//   CaFile=/path/to/cert.pem                ; PEM of extra trusted certificates; empty: system's
//   Protocol=today                          ; which client speaks to the service: today|classic
//   AccountHost=https://account.nicovideo.jp ; today's client: the session check
//   NvapiHost=https://nvapi.nicovideo.jp    ; today's client: access rights and thread keys
//   UserAgent=...                           ; today's client: the User-Agent of its requests
//   CommentThreadLimitMiB=256               ; the largest comment thread downloaded, in MiB
//
// WebHost is the watch pages' host for both clients (today's built-in one is https). Each base
// address is a scheme, a host and optionally a port, without a path; a trailing "/"
// is ignored. A missing or empty key keeps the built-in value.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class IniFile;

// Which protocol the service is spoken with: the service as it is today (session cookie, watch
// data JSON, JSON comments, encrypted HLS), or the classic one (login form, getflv, XML message
// server, a plain .flv stream) that the demo service and private peers still speak.
enum class ServiceProtocol { Today, Classic };

// The protocol a setting or option names (letter case ignored); nothing for any other text.
std::optional<ServiceProtocol> serviceProtocolNamed(std::string_view name);

struct ServiceEndpoints {
    static constexpr const char* kDefaultLoginBase = "https://secure.nicovideo.jp";
    static constexpr const char* kDefaultWebBase = "http://www.nicovideo.jp";
    static constexpr const char* kDefaultTodayWebBase = "https://www.nicovideo.jp";
    static constexpr const char* kDefaultAccountBase = "https://account.nicovideo.jp";
    static constexpr const char* kDefaultNvapiBase = "https://nvapi.nicovideo.jp";
    // A desktop browser's agent: some watch pages refuse other agents.
    static constexpr const char* kDefaultTodayUserAgent =
        "Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0";

    std::string loginBase = kDefaultLoginBase;
    std::string webBase = kDefaultWebBase;
    // A PEM file of certificates trusted for https besides, or instead of, the system's: curl
    // verifies against this file alone when it is given. Empty: the system's trusted set.
    std::string caFile;
    // Today's client: the watch pages (WebHost, with its own built-in default), the account
    // host and the nvapi host, and the agent of its requests.
    std::string todayWebBase = kDefaultTodayWebBase;
    std::string accountBase = kDefaultAccountBase;
    std::string nvapiBase = kDefaultNvapiBase;
    std::string todayUserAgent = kDefaultTodayUserAgent;
    // A settings file without a Protocol key talks to the service as it is today.
    ServiceProtocol protocol = ServiceProtocol::Today;
    // The largest comment thread the classic client downloads: a larger one fails the download
    // rather than the memory of the reader and the encoder.
    static constexpr int64_t kDefaultCommentThreadLimitBytes = int64_t{256} << 20;
    int64_t commentThreadLimitBytes = kDefaultCommentThreadLimitBytes;

    // The login form's address: the login host's "/secure/login?site=niconico".
    std::string loginAddress() const;
    // The web root address: the web host's "/".
    std::string webRootAddress() const;
    // The getflv address of `videoId`, the ID put in as it is (bytes a URL cannot carry, such as
    // blanks, escaped).
    std::string getflvAddress(const std::string& videoId) const;
};

// The section and keys of lumivox.ini that configure the service's hosts.
inline constexpr const char* kServiceIniSection = "Service";
inline constexpr const char* kServiceIniLoginHost = "LoginHost";
inline constexpr const char* kServiceIniWebHost = "WebHost";
inline constexpr const char* kServiceIniCaFile = "CaFile";
inline constexpr const char* kServiceIniProtocol = "Protocol";
inline constexpr const char* kServiceIniAccountHost = "AccountHost";
inline constexpr const char* kServiceIniNvapiHost = "NvapiHost";
inline constexpr const char* kServiceIniUserAgent = "UserAgent";
inline constexpr const char* kServiceIniCommentThreadLimit = "CommentThreadLimitMiB";

// The endpoints that `ini` configures, the built-in ones where it says nothing. A Protocol
// value that names no protocol keeps today's, and a comment thread limit that is not a positive
// number of MiB keeps the default; either is reported in `warning` when given.
ServiceEndpoints serviceEndpointsFromIni(const IniFile& ini, std::string* warning = nullptr);

// `base` without trailing "/".
std::string withoutTrailingSlashes(std::string base);
