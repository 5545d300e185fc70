#include "service/cookie_store.h"

#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/replace_file.h"
#include "platform/text_conv.h"
#include "service/curl_setup.h"

namespace {

constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";

// One line of a Netscape cookie file: domain, tail-match flag, path, secure flag, expiry
// (Unix seconds, 0 for a session cookie), name, value; tab-separated.
struct JarLine {
    std::string domain;  // without a leading "."
    bool tailMatch = false;
    std::string path;
    bool secure = false;
    long long expires = 0;
    std::string name;
    std::string value;
};

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

bool parseJarLine(std::string_view line, JarLine& out) {
    if (line.substr(0, kHttpOnlyPrefix.size()) == kHttpOnlyPrefix) {
        line.remove_prefix(kHttpOnlyPrefix.size());
    } else if (!line.empty() && line.front() == '#') {
        return false;
    }
    const std::vector<std::string_view> fields = splitTabs(line);
    if (fields.size() < 6) {
        return false;
    }
    std::string_view domain = fields[0];
    while (!domain.empty() && domain.front() == '.') {
        domain.remove_prefix(1);
    }
    out.domain = asciiLower(domain);
    out.tailMatch = fields[1] == "TRUE";
    out.path = std::string(fields[2]);
    out.secure = fields[3] == "TRUE";
    out.expires = stringToLong(fields[4]);
    out.name = std::string(fields[5]);
    out.value = fields.size() > 6 ? std::string(fields[6]) : std::string();
    return true;
}

bool expired(const JarLine& cookie, long long now) {
    return cookie.expires != 0 && cookie.expires <= now;
}

bool hostMatches(const JarLine& cookie, const std::string& host) {
    const std::string lowerHost = asciiLower(host);
    if (lowerHost == cookie.domain) {
        return true;
    }
    return cookie.tailMatch && lowerHost.size() > cookie.domain.size() &&
           lowerHost.compare(lowerHost.size() - cookie.domain.size(), std::string::npos,
                             cookie.domain) == 0 &&
           lowerHost[lowerHost.size() - cookie.domain.size() - 1] == '.';
}

// Path matching of cookies: the cookie's path is the request path, or a prefix of it that ends
// at a "/".
bool pathMatches(const std::string& cookiePath, const std::string& requestPath) {
    if (cookiePath.empty() || cookiePath == "/" || cookiePath == requestPath) {
        return true;
    }
    if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) {
        return false;
    }
    return cookiePath.back() == '/' || requestPath.size() == cookiePath.size() ||
           requestPath[cookiePath.size()] == '/';
}

std::string pathOf(const std::string& object) {
    return object.substr(0, object.find('?'));
}

long long nowSeconds() {
    return static_cast<long long>(std::time(nullptr));
}

}  // namespace

CookieStore::CookieStore(std::filesystem::path jarFile) : jarFile_(std::move(jarFile)) {
    initialiseCurlOnce();
    share_ = curl_share_init();
    if (share_ != nullptr) {
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &CookieStore::lockShare);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CookieStore::unlockShare);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    control_ = curl_easy_init();
    if (control_ != nullptr && share_ != nullptr) {
        curl_easy_setopt(control_, CURLOPT_SHARE, share_);
    }
}

CookieStore::~CookieStore() {
    if (control_ != nullptr) {
        curl_easy_cleanup(control_);
    }
    if (share_ != nullptr) {
        curl_share_cleanup(share_);
    }
}

CookieStore& CookieStore::forProcess(const std::filesystem::path& jarFile) {
    static std::mutex creation;
    static std::unique_ptr<CookieStore> store;
    std::lock_guard lock(creation);
    if (!store) {
        store = std::make_unique<CookieStore>(jarFile);
    }
    return *store;
}

void CookieStore::lockShare(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    auto* self = static_cast<CookieStore*>(user);
    self->shareMutexes_[static_cast<size_t>(data) % self->shareMutexes_.size()].lock();
}

void CookieStore::unlockShare(CURL*, curl_lock_data data, void* user) {
    auto* self = static_cast<CookieStore*>(user);
    self->shareMutexes_[static_cast<size_t>(data) % self->shareMutexes_.size()].unlock();
}

bool CookieStore::attach(CURL* handle) {
    {
        std::lock_guard lock(controlMutex_);
        loadJarLocked();
    }
    // The share holds the cookies; an empty cookie file name switches the handle's cookie
    // engine on (reading and sending cookies) without reading any file.
    return share_ != nullptr && curl_easy_setopt(handle, CURLOPT_SHARE, share_) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "") == CURLE_OK;
}

void CookieStore::loadJarLocked() {
    if (loaded_) {
        return;
    }
    loaded_ = true;
    if (jarFile_.empty() || control_ == nullptr || share_ == nullptr) {
        return;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(jarFile_, error)) {
        return;
    }
    std::ifstream in(jarFile_, std::ios::binary);
    std::string line;
    const long long now = nowSeconds();
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        JarLine cookie;
        // Only well-formed, unexpired cookie lines: "Set-Cookie:" lines and comments never
        // reach curl's parser.
        if (!parseJarLine(line, cookie) || expired(cookie, now)) {
            continue;
        }
        curl_easy_setopt(control_, CURLOPT_COOKIELIST, line.c_str());
    }
}

std::string CookieStore::snapshotLocked() {
    loadJarLocked();
    std::string lines;
    if (control_ == nullptr) {
        return lines;
    }
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(control_, CURLINFO_COOKIELIST, &list) != CURLE_OK) {
        return lines;
    }
    const long long now = nowSeconds();
    for (curl_slist* item = list; item != nullptr; item = item->next) {
        JarLine cookie;
        if (parseJarLine(item->data, cookie) && !expired(cookie, now)) {
            lines += item->data;
            lines += '\n';
        }
    }
    curl_slist_free_all(list);
    return lines;
}

std::string CookieStore::snapshot() {
    std::lock_guard lock(controlMutex_);
    return snapshotLocked();
}

std::string CookieStore::cookiesFor(const UrlParts& url) {
    std::string lines;
    {
        std::lock_guard lock(controlMutex_);
        lines = snapshotLocked();
    }
    const std::string requestPath = pathOf(url.object);
    const long long now = nowSeconds();
    std::string cookies;
    std::istringstream in(lines);
    std::string line;
    while (std::getline(in, line)) {
        JarLine cookie;
        if (!parseJarLine(line, cookie) || expired(cookie, now) ||
            !hostMatches(cookie, url.server) || !pathMatches(cookie.path, requestPath) ||
            (cookie.secure && !url.secure())) {
            continue;
        }
        if (!cookies.empty()) {
            cookies += "; ";
        }
        cookies += cookie.name + "=" + cookie.value;
    }
    return cookies;
}

void CookieStore::setCookies(const std::string& host, std::string_view cookieText) {
    if (host.empty() || host.find_first_of("\t\r\n") != std::string::npos) {
        return;
    }
    const UrlParts root{"http", host, std::string(1, '/'), 80};
    // The pairs the web root already carries, each as "; name=value;" within this text.
    std::string present = "; ";
    present += cookiesFor(root);
    present += ';';

    std::lock_guard lock(controlMutex_);
    loadJarLocked();
    if (control_ == nullptr) {
        return;
    }
    size_t start = 0;
    while (start <= cookieText.size()) {
        size_t end = cookieText.find(';', start);
        if (end == std::string_view::npos) {
            end = cookieText.size();
        }
        const std::string pair = trimBlanks(cookieText.substr(start, end - start));
        start = end + 1;
        const size_t equals = pair.find('=');
        const std::string name = trimBlanks(pair.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? std::string() : trimBlanks(pair.substr(equals + 1));
        if (name.empty() || (name + value).find_first_of("\t\r\n") != std::string::npos ||
            present.find("; " + name + "=" + value + ";") != std::string::npos) {
            continue;
        }
        const std::string line = host + "\tFALSE\t/\tFALSE\t0\t" + name + "\t" + value;
        curl_easy_setopt(control_, CURLOPT_COOKIELIST, line.c_str());
    }
}

bool CookieStore::save() {
    if (jarFile_.empty()) {
        return true;
    }
    const std::string contents =
        "# Netscape HTTP Cookie File\n"
        "# The video service's cookies of Lumivox. The program rewrites this file.\n\n" +
        snapshot();
    if (!replaceFile(jarFile_, contents, NewFileAccess::OwnerOnly)) {
        return false;
    }
    // An older jar keeps its permission bits through the replacement: it holds a login, so it
    // is made the owner's alone in every case.
    std::error_code error;
    std::filesystem::permissions(
        jarFile_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
        std::filesystem::perm_options::replace, error);
    return !error;
}

bool CookieStore::saveIfChangedSince(const std::string& before) {
    if (snapshot() == before) {
        return true;
    }
    return save();
}
