#include "service/cookie_store.h"

#include <ctime>
#include <memory>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/log.h"
#include "platform/replace_file.h"
#include "platform/text_conv.h"
#include "service/curl_setup.h"

namespace {

constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";

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

// A line of curl's cookie list (the Netscape format: domain, subdomain flag, path, secure flag,
// expiry, name, value; tab-separated) as a cookie; nothing for a line of another kind.
std::optional<StoredCookie> cookieOfLine(std::string_view line) {
    if (line.starts_with(kHttpOnlyPrefix)) {
        line.remove_prefix(kHttpOnlyPrefix.size());
    } else if (line.starts_with('#')) {
        return std::nullopt;
    }
    const std::vector<std::string_view> fields = splitTabs(line);
    if (fields.size() < 6) {
        return std::nullopt;
    }
    StoredCookie cookie;
    std::string_view domain = fields[0];
    while (domain.starts_with('.')) {
        domain.remove_prefix(1);
    }
    cookie.domain = asciiLower(domain);
    cookie.includeSubdomains = fields[1] == "TRUE";
    cookie.path = std::string(fields[2]);
    cookie.secureOnly = fields[3] == "TRUE";
    cookie.expires = stringToLong(fields[4]);
    cookie.name = std::string(fields[5]);
    cookie.value = fields.size() > 6 ? std::string(fields[6]) : std::string();
    return cookie;
}

bool expired(const StoredCookie& cookie, int64_t now) {
    return cookie.expires != 0 && cookie.expires <= now;
}

int64_t nowSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

bool holdsLineBreakOrTab(std::string_view text) {
    return text.find_first_of("\t\r\n") != std::string_view::npos;
}

// True when `host` is `domain` or, for a cookie shared in its domain, a host within it.
bool keptFor(const StoredCookie& cookie, std::string_view host) {
    if (host == cookie.domain) {
        return true;
    }
    return cookie.includeSubdomains && host.size() > cookie.domain.size() &&
           host.ends_with(cookie.domain) && host[host.size() - cookie.domain.size() - 1] == '.';
}

}  // namespace

CookieStore::CookieStore(std::filesystem::path jarFile) : jarFile_(std::move(jarFile)) {
    initialiseCurlOnce();
    share_.reset(curl_share_init());
    if (share_) {
        curl_share_setopt(share_.get(), CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, &CookieStore::lockShare);
        curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, &CookieStore::unlockShare);
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    control_.reset(curl_easy_init());
    if (control_ && share_) {
        curl_easy_setopt(control_.get(), CURLOPT_SHARE, share_.get());
    }
}

CookieStore::~CookieStore() = default;

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

Status CookieStore::attach(CURL* handle) {
    if (!share_ || !control_) {
        return Failure{"the cookie store could not be set up"};
    }
    {
        std::lock_guard lock(controlMutex_);
        loadJarLocked();
    }
    // The share holds the cookies; an empty cookie file name switches the handle's cookie
    // engine on (reading and sending cookies) without reading any file.
    if (curl_easy_setopt(handle, CURLOPT_SHARE, share_.get()) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "") != CURLE_OK) {
        return Failure{"curl refused the cookie store"};
    }
    return {};
}

void CookieStore::loadJarLocked() {
    if (loaded_) {
        return;
    }
    loaded_ = true;
    if (jarFile_.empty() || !control_ || !share_) {
        return;
    }
    // curl's own reader takes the jar: Netscape lines (curl leaves out what is malformed or
    // expired); a missing jar is an empty store.
    const std::string jar = jarFile_.string();
    curl_easy_setopt(control_.get(), CURLOPT_COOKIEFILE, jar.c_str());
    curl_easy_setopt(control_.get(), CURLOPT_COOKIELIST, "RELOAD");
}

std::string CookieStore::snapshotLocked() {
    loadJarLocked();
    std::string lines;
    curl_slist* list = nullptr;
    if (!control_ || curl_easy_getinfo(control_.get(), CURLINFO_COOKIELIST, &list) != CURLE_OK) {
        return lines;
    }
    const CurlSlistPtr owned(list);
    const int64_t now = nowSeconds();
    for (const curl_slist* item = list; item != nullptr; item = item->next) {
        // The engine lists a cookie that has run out until its next clean-up; it is gone.
        const std::optional<StoredCookie> cookie = cookieOfLine(item->data);
        if (cookie && !expired(*cookie, now)) {
            lines += item->data;
            lines += '\n';
        }
    }
    return lines;
}

std::string CookieStore::snapshot() {
    std::lock_guard lock(controlMutex_);
    return snapshotLocked();
}

std::vector<StoredCookie> CookieStore::cookies() {
    std::vector<StoredCookie> cookies;
    std::istringstream lines(snapshot());
    for (std::string line; std::getline(lines, line);) {
        if (std::optional<StoredCookie> cookie = cookieOfLine(line)) {
            cookies.push_back(std::move(*cookie));
        }
    }
    return cookies;
}

Status CookieStore::setCookie(const StoredCookie& cookie) {
    if (cookie.name.empty() || cookie.domain.empty()) {
        return Failure{"a cookie needs a name and a domain"};
    }
    if (holdsLineBreakOrTab(cookie.domain) || holdsLineBreakOrTab(cookie.path) ||
        holdsLineBreakOrTab(cookie.name) || holdsLineBreakOrTab(cookie.value)) {
        return Failure{"a cookie cannot hold a tab or a line break"};
    }
    const std::string line = (cookie.includeSubdomains ? "." : "") + cookie.domain + '\t' +
                             (cookie.includeSubdomains ? "TRUE" : "FALSE") + '\t' +
                             (cookie.path.empty() ? std::string("/") : cookie.path) + '\t' +
                             (cookie.secureOnly ? "TRUE" : "FALSE") + '\t' +
                             std::to_string(cookie.expires) + '\t' + cookie.name + '\t' +
                             cookie.value;
    std::lock_guard lock(controlMutex_);
    loadJarLocked();
    if (!control_ ||
        curl_easy_setopt(control_.get(), CURLOPT_COOKIELIST, line.c_str()) != CURLE_OK) {
        return Failure{"curl did not take the cookie " + cookie.name};
    }
    return {};
}

std::string CookieStore::cookieTextFor(std::string_view host, bool secureScheme) {
    const std::string lowerHost = asciiLower(host);
    std::string text;
    for (const StoredCookie& cookie : cookies()) {
        if (keptFor(cookie, lowerHost) && (secureScheme || !cookie.secureOnly)) {
            if (!text.empty()) {
                text += "; ";
            }
            text += cookie.name + "=" + cookie.value;
        }
    }
    return text;
}

Status CookieStore::save() {
    if (jarFile_.empty()) {
        return {};
    }
    const std::string contents =
        "# Netscape HTTP Cookie File\n"
        "# The video service's cookies of Lumivox. The program rewrites this file.\n\n" +
        snapshot();
    if (Status written = replaceFile(jarFile_, contents, NewFileAccess::OwnerOnly); !written) {
        return written;
    }
    // An older jar keeps its permission bits through the replacement: it holds a login, so it
    // is made the owner's alone in every case.
    std::error_code error;
    std::filesystem::permissions(
        jarFile_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
        std::filesystem::perm_options::replace, error);
    if (error) {
        return Failure{jarFile_.string() + ": " + error.message()};
    }
    return {};
}

Status CookieStore::saveIfChangedSince(const std::string& before) {
    if (snapshot() == before) {
        return {};
    }
    return save();
}
