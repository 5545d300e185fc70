#include "service/service_endpoints.h"

#include "platform/ini_file.h"
#include "service/url_parts.h"

namespace {

std::string withoutTrailingSlashes(std::string base) {
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base;
}

}  // namespace

std::string ServiceEndpoints::loginAddress() const {
    return withoutTrailingSlashes(loginBase) + "/secure/login?site=niconico";
}

std::string ServiceEndpoints::webRootAddress() const {
    return withoutTrailingSlashes(webBase) + "/";
}

std::string ServiceEndpoints::getflvAddress(const std::string& videoId) const {
    return withoutTrailingSlashes(webBase) + "/api/getflv?v=" + escapeUrlUnsafeBytes(videoId);
}

ServiceEndpoints serviceEndpointsFromIni(const IniFile& ini) {
    ServiceEndpoints endpoints;
    const std::string login = ini.readString(kServiceIniSection, kServiceIniLoginHost, "");
    if (!login.empty()) {
        endpoints.loginBase = login;
    }
    const std::string web = ini.readString(kServiceIniSection, kServiceIniWebHost, "");
    if (!web.empty()) {
        endpoints.webBase = web;
    }
    endpoints.caFile = ini.readString(kServiceIniSection, kServiceIniCaFile, "");
    return endpoints;
}
