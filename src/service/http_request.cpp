#include "service/http_request.h"

#include "platform/text_conv.h"
#include "service/cookie_store.h"
#include "service/curl_setup.h"

namespace {

constexpr size_t kMaxErrorTextBytes = 1023;
constexpr long kMaxRedirects = 8;

}  // namespace

std::string limitErrorText(std::string text) {
    text.resize(cutUtf8(text, kMaxErrorTextBytes).size());
    return text;
}

HttpRequest::HttpRequest(const ServiceContext& context, CookieStore& cookies) : context_(context) {
    initialiseCurlOnce();
    curl_.reset(curl_easy_init());
    if (!curl_) {
        attached_ = Failure{"curl could not make a request handle"};
        return;
    }
    CURL* const curl = curl_.get();
    attached_ = cookies.attach(curl);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, context_.timeouts.connectSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, context_.timeouts.stallBytesPerSecond);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, context_.timeouts.stallSeconds);
    if (!context_.endpoints.caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, context_.endpoints.caFile.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &HttpRequest::transferInfo);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpRequest::writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
}

HttpRequest::~HttpRequest() = default;

void HttpRequest::setUrl(const std::string& url) {
    if (curl_) {
        curl_easy_setopt(curl_.get(), CURLOPT_URL, url.c_str());
    }
}

void HttpRequest::setUserAgent(const std::string& agent) {
    if (curl_) {
        curl_easy_setopt(curl_.get(), CURLOPT_USERAGENT, agent.c_str());
    }
}

void HttpRequest::setHeaderLines(const std::vector<std::string>& lines) {
    curl_slist* list = nullptr;
    for (const std::string& line : lines) {
        curl_slist* grown = curl_slist_append(list, line.c_str());
        if (grown == nullptr) {
            break;
        }
        list = grown;
    }
    if (curl_) {
        curl_easy_setopt(curl_.get(), CURLOPT_HTTPHEADER, list);
    }
    headers_.reset(list);  // the old list goes only once curl no longer points to it
}

void HttpRequest::setPostBody(std::string body) {
    body_ = std::move(body);
    if (curl_) {
        curl_easy_setopt(curl_.get(), CURLOPT_POST, 1L);
        curl_easy_setopt(curl_.get(), CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(body_.size()));
        curl_easy_setopt(curl_.get(), CURLOPT_POSTFIELDS, body_.data());
    }
}

void HttpRequest::setFailOnHttpError(bool fail) {
    if (curl_) {
        curl_easy_setopt(curl_.get(), CURLOPT_FAILONERROR, fail ? 1L : 0L);
    }
}

void HttpRequest::setReceiveBufferBytes(long bytes) {
    if (curl_) {
        curl_easy_setopt(curl_.get(), CURLOPT_BUFFERSIZE, bytes);
    }
}

void HttpRequest::onBody(std::function<bool(const char*, size_t)> sink) {
    sink_ = std::move(sink);
}

bool HttpRequest::cancelled() const {
    return context_.isCancelled && context_.isCancelled();
}

size_t HttpRequest::writeBody(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<HttpRequest*>(user);
    const size_t bytes = size * count;
    if (self->cancelled()) {
        self->stoppedByCancel_ = true;
        return CURL_WRITEFUNC_ERROR;
    }
    if (self->sink_ && !self->sink_(data, bytes)) {
        return CURL_WRITEFUNC_ERROR;
    }
    return bytes;
}

int HttpRequest::transferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* self = static_cast<HttpRequest*>(user);
    if (self->cancelled()) {
        self->stoppedByCancel_ = true;
        return 1;  // curl ends the transfer with CURLE_ABORTED_BY_CALLBACK
    }
    return 0;
}

HttpRequest::Outcome HttpRequest::perform() {
    if (!curl_ || !attached_) {
        result_ = CURLE_FAILED_INIT;
        return Outcome::Failed;
    }
    if (cancelled()) {
        stoppedByCancel_ = true;
        return Outcome::Cancelled;
    }
    errorBuffer_[0] = '\0';
    result_ = curl_easy_perform(curl_.get());
    if (result_ == CURLE_OK) {
        return Outcome::Done;
    }
    return stoppedByCancel_ ? Outcome::Cancelled : Outcome::Failed;
}

HttpRequest::Outcome HttpRequest::finishedWith(CURLcode result) {
    result_ = result;
    if (result_ == CURLE_OK) {
        return Outcome::Done;
    }
    return stoppedByCancel_ ? Outcome::Cancelled : Outcome::Failed;
}

std::string HttpRequest::headerValue(const char* name) const {
    curl_header* header = nullptr;
    if (curl_ == nullptr ||
        curl_easy_header(curl_.get(), name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK ||
        header == nullptr) {
        return {};
    }
    return header->value;
}

std::string HttpRequest::errorText() const {
    if (!attached_) {
        return limitErrorText(attached_.error());
    }
    std::string text = errorBuffer_[0] != '\0' ? std::string(errorBuffer_)
                                               : std::string(curl_easy_strerror(result_));
    return limitErrorText(std::move(text));
}

long HttpRequest::status() const {
    long code = 0;
    if (curl_) {
        curl_easy_getinfo(curl_.get(), CURLINFO_RESPONSE_CODE, &code);
    }
    return code;
}

int64_t HttpRequest::contentLength() const {
    curl_off_t length = -1;
    if (!curl_ ||
        curl_easy_getinfo(curl_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) {
        return -1;
    }
    return static_cast<int64_t>(length);
}
