#pragma once
// Absolute URLs taken apart into what a connection needs, and put together again for curl.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct UrlParts {
    std::string scheme;  // lower case: "http", "https", or whatever the URL names
    std::string server;  // host name or address; an IPv6 address without its brackets
    std::string object;  // path with query, always beginning with "/"; no fragment
    uint16_t port = 80;  // the URL's own port, else 443 for https and 80 for everything else

    bool secure() const { return scheme == "https"; }
};

// Splits "scheme://[user@]server[:port][/path][?query][#fragment]". Nothing when the URL has
// no "scheme://", no server, or a port that is not a number from 1 to 65535. User names are
// dropped; the fragment is never sent.
std::optional<UrlParts> splitUrl(std::string_view url);

// The address curl is given for `parts`: https when the scheme is https, else plain http, the
// port always written, bytes a URL cannot carry in the object escaped (see below).
std::string requestUrl(const UrlParts& parts);

// `text` with the bytes a request line cannot carry (control characters, blank, DEL and every
// byte of 0x80 and above) written as "%XX"; every other byte, "%" included, stays as it is.
std::string escapeUrlUnsafeBytes(std::string_view text);
