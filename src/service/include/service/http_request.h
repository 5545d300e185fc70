#pragma once
// One HTTP request of the service on a curl easy handle of its own, with what every request
// shares: the process's cookie store, the stop check (curl asks it at least once a second, so a
// stop ends even a request that waits for a silent server), the connect and stall time-outs,
// the trusted certificates, http and https only, HTTP/1.1, and curl's error text.
//
// One thread makes and uses an object; it is made and dropped within one operation.

#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/result.h"
#include "service/curl_handles.h"
#include "service/service_context.h"

class CookieStore;

class HttpRequest {
public:
    enum class Outcome {
        Done,       // the whole answer arrived (whatever its status)
        Cancelled,  // the job was asked to stop
        Failed,     // an error of the HTTP layer: errorText() says which
    };

    // `context` and `cookies` must outlive the object. Redirects are followed (up to 8, http and
    // https only).
    HttpRequest(const ServiceContext& context, CookieStore& cookies);
    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    void setUrl(const std::string& url);
    // The User-Agent of a request that has no header lines of its own.
    void setUserAgent(const std::string& agent);
    // Header lines sent in this order; a line replaces the header curl would add of the same
    // name (User-Agent, Accept, Content-Type).
    void setHeaderLines(const std::vector<std::string>& lines);
    // Makes the request a POST with `body` as its content.
    void setPostBody(std::string body);
    // An answer with a status of 400 or more ends the request as Failed before its body.
    void setFailOnHttpError(bool fail);
    // How much curl hands over at most per piece of the answer.
    void setReceiveBufferBytes(long bytes);
    // Receives each piece of the answer's body; returning false ends the request as Failed.
    // Before each piece the stop check is asked: a stop ends the request as Cancelled.
    void onBody(std::function<bool(const char* data, size_t size)> sink);

    Outcome perform();

    // The error of a Failed request: curl's message, at most 1023 bytes.
    std::string errorText() const;
    // The final status code, 0 before an answer.
    long status() const;
    // The final answer's Content-Length, -1 when it has none.
    int64_t contentLength() const;
    // The value of the final answer's header `name` (letter case ignored); empty when absent.
    std::string headerValue(const char* name) const;
    // The curl handle, for a request run by a multi handle (CurlMulti) rather than perform().
    CURL* handle() const { return curl_.get(); }
    // Records the result of a transfer that a multi handle ran, as perform() would have.
    Outcome finishedWith(CURLcode result);

private:
    static size_t writeBody(char* data, size_t size, size_t count, void* user);
    static int transferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    bool cancelled() const;

    const ServiceContext& context_;
    CurlEasyPtr curl_;
    CurlSlistPtr headers_;  // declared after the handle that refers to it: released first
    std::string body_;
    std::function<bool(const char*, size_t)> sink_;
    bool stoppedByCancel_ = false;
    Status attached_;  // the cookie store's, or why the handle could not be made
    CURLcode result_ = CURLE_OK;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
};

// `text` cut to at most 1023 bytes without splitting a UTF-8 character.
std::string limitErrorText(std::string text);
