#pragma once
// Where the video service lives. The program has the real service's hosts built in; a front end
// may point them elsewhere (a private server such as the demo service) from lumivox.ini:
//
//   [Service]
//   LoginHost=https://secure.nicovideo.jp   ; base address of the login host (scheme and host)
//   WebHost=http://www.nicovideo.jp         ; base address of the web host (getflv, watch pages)
//   CaFile=/path/to/cert.pem                ; PEM of extra trusted certificates; empty: system's
//
// Each base address is a scheme, a host and optionally a port, without a path; a trailing "/"
// is ignored. A missing or empty key keeps the built-in value.

#include <string>

class IniFile;

struct ServiceEndpoints {
    static constexpr const char* kDefaultLoginBase = "https://secure.nicovideo.jp";
    static constexpr const char* kDefaultWebBase = "http://www.nicovideo.jp";

    std::string loginBase = kDefaultLoginBase;
    std::string webBase = kDefaultWebBase;
    // A PEM file of certificates trusted for https besides, or instead of, the system's: curl
    // verifies against this file alone when it is given. Empty: the system's trusted set.
    std::string caFile;

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

// The endpoints that `ini` configures, the built-in ones where it says nothing.
ServiceEndpoints serviceEndpointsFromIni(const IniFile& ini);
