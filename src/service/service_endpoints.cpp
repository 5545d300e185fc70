#include "service/service_endpoints.h"

#include <charconv>

#include "platform/ini_file.h"
#include "service/url_parts.h"

#include <algorithm>
#include <cctype>

std::string withoutTrailingSlashes(std::string base) {
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base;
}

std::optional<ServiceProtocol> serviceProtocolNamed(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "today") {
        return ServiceProtocol::Today;
    }
    if (lower == "classic") {
        return ServiceProtocol::Classic;
    }
    return std::nullopt;
}

std::string ServiceEndpoints::loginAddress() const {
    return withoutTrailingSlashes(loginBase) + "/secure/login?site=niconico";
}

std::string ServiceEndpoints::webRootAddress() const {
    return withoutTrailingSlashes(webBase) + "/";
}

std::string ServiceEndpoints::getflvAddress(const std::string& videoId) const {
    return withoutTrailingSlashes(webBase) + "/api/getflv?v=" + escapeUrlUnsafeBytes(videoId);
}

ServiceEndpoints serviceEndpointsFromIni(const IniFile& ini, std::string* warning) {
    ServiceEndpoints endpoints;
    const std::string protocol = ini.readString(kServiceIniSection, kServiceIniProtocol, "");
    if (const std::optional<ServiceProtocol> named = serviceProtocolNamed(protocol)) {
        endpoints.protocol = *named;
    } else if (!protocol.empty() && warning != nullptr) {
        *warning = "[Service] Protocol=" + protocol +
                   " names no protocol (today or classic); today's is used";
    }
    const auto readBase = [&ini](const char* key, std::string& base) {
        const std::string value = ini.readString(kServiceIniSection, key, "");
        if (!value.empty()) {
            base = value;
        }
    };
    readBase(kServiceIniAccountHost, endpoints.accountBase);
    readBase(kServiceIniNvapiHost, endpoints.nvapiBase);
    readBase(kServiceIniWebHost, endpoints.todayWebBase);
    readBase(kServiceIniUserAgent, endpoints.todayUserAgent);
    const std::string login = ini.readString(kServiceIniSection, kServiceIniLoginHost, "");
    if (!login.empty()) {
        endpoints.loginBase = login;
    }
    const std::string web = ini.readString(kServiceIniSection, kServiceIniWebHost, "");
    if (!web.empty()) {
        endpoints.webBase = web;
    }
    endpoints.caFile = ini.readString(kServiceIniSection, kServiceIniCaFile, "");
    const std::string limit = ini.readString(kServiceIniSection, kServiceIniCommentThreadLimit, "");
    int64_t mebibytes = 0;
    const auto [end, error] = std::from_chars(limit.data(), limit.data() + limit.size(), mebibytes);
    if (!limit.empty() && error == std::errc() && end == limit.data() + limit.size() &&
        mebibytes > 0 && mebibytes <= (int64_t{1} << 20)) {
        endpoints.commentThreadLimitBytes = mebibytes << 20;
    } else if (!limit.empty() && warning != nullptr) {
        *warning = std::string("[Service] ") + kServiceIniCommentThreadLimit + "=" + limit +
                   " is not a number of MiB from 1 to 1048576; 256 is used";
    }
    return endpoints;
}
