#include "service/service_client.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/log.h"
#include "platform/work_file_names.h"
#include "service/form_coding.h"
#include "service/http_request.h"
#include "service/partial_download.h"
#include "service/service_answer.h"
#include "service/url_parts.h"
#include "service/video_id.h"

namespace fs = std::filesystem;

namespace {

const char* const kBrowserAgentLine =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 1.1.4322)";

// The header lines of the login request, in the order they are sent.
std::vector<std::string> loginHeaderLines(const std::string& webRootAddress) {
    return {
        "Content-type: application/x-www-form-urlencoded",
        kBrowserAgentLine,
        "Accept: */*",
        "Accept-Language: ja-JP",
        "Accept-Encoding: gzip, deflate",
        "Cache-Control: no-cache",
        "Referer: " + webRootAddress,
    };
}

// The header lines of the comment thread request and the video download, in order.
std::vector<std::string> dataHeaderLines() {
    return {
        "Content-type: text/xml", kBrowserAgentLine,         "Accept: */*",
        "Accept-Language: ja-JP", "Cache-Control: no-cache", "Connection: Keep-Alive",
    };
}

std::string malformedUrlText() {
    return curl_easy_strerror(CURLE_URL_MALFORMAT);
}

std::string fileErrorText(const std::string& action, const std::string& path, int error) {
    return limitErrorText(action + " " + path + ": " + systemErrorText(error));
}

Failure stopped() {
    return Failure{"the job was stopped"};
}

// The reason of a download attempt that met no error but received nothing.
constexpr const char* kNothingArrived = "the stream sent nothing";

// Saves the cookie store when the operation it spans changed it. A jar that cannot be written
// costs only the next run's login, which the user is not told about: it goes to the log.
class JarSaver {
public:
    explicit JarSaver(CookieStore& store) : store_(store), before_(store.snapshot()) {}
    ~JarSaver() {
        logIfFailed(LogComponent::Service, "the cookie jar cannot be saved",
                    store_.saveIfChangedSince(before_));
    }
    JarSaver(const JarSaver&) = delete;
    JarSaver& operator=(const JarSaver&) = delete;

private:
    CookieStore& store_;
    const std::string before_;
};

// A C stream closed when it goes out of scope (unless closed before).
class OpenFile {
public:
    OpenFile(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {
        error_ = file_ == nullptr ? errno : 0;
    }
    ~OpenFile() { (void)close(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    std::FILE* get() const { return file_; }
    int openError() const { return error_; }
    // 0 when everything written reached the file, else the errno value.
    int close() {
        if (file_ == nullptr) {
            return EBADF;
        }
        const int result = std::fclose(file_);
        file_ = nullptr;
        return result == 0 ? 0 : errno;
    }

private:
    std::FILE* file_;
    int error_;
};

CookieStore& storeOf(const ServiceContext& context) {
    if (context.cookieStore != nullptr) {
        return *context.cookieStore;
    }
    return CookieStore::forProcess(fs::path(context.workFolder) / CookieStore::kJarFileName);
}

}  // namespace

ServiceClient::ServiceClient(ServiceContext context, ServiceJobState state)
    : context_(std::move(context)), state_(state), cookies_(storeOf(context_)) {}

void ServiceClient::reportError(const std::string& text) const {
    if (context_.reportError && !cancelled()) {
        context_.reportError(limitErrorText(text));
    }
}

bool ServiceClient::cancelled() const {
    return context_.isCancelled && context_.isCancelled();
}

Status ServiceClient::loginToService(std::string mail, std::string password, bool noAutoLogin) {
    if (noAutoLogin) {
        mail.clear();
        password.clear();
    }
    if (!state_.cookie.empty()) {
        return {};
    }
    const std::optional<UrlParts> login = splitUrl(context_.endpoints.loginAddress());
    const std::optional<UrlParts> webRoot = splitUrl(context_.endpoints.webRootAddress());
    if (!login || !webRoot) {
        reportError(malformedUrlText());
        return Failure{malformedUrlText()};
    }
    JarSaver saver(cookies_);
    HttpRequest request(context_, cookies_);
    request.setUrl(requestUrl(*login));
    request.setHeaderLines(loginHeaderLines(context_.endpoints.webRootAddress()));
    // Form-encoded, so that "&", "=", "+" or "%" in the password reach the server as typed.
    request.setPostBody("next_url=&mail=" + formEncode(mail) + "&password=" + formEncode(password) +
                        "&submit.x=90&submit.y=14");
    switch (request.perform()) {
        case HttpRequest::Outcome::Done:
            // The job's record of its login: what the store now keeps for the web host (also
            // an earlier login's cookie when this one set none).
            state_.cookie = cookies_.cookieTextFor(webRoot->server, webRoot->secure());
            return {};
        case HttpRequest::Outcome::Failed:
            reportError(request.errorText());
            return Failure{request.errorText()};
        case HttpRequest::Outcome::Cancelled:
            break;
    }
    return stopped();
}

Status ServiceClient::visitVideoPage(const std::string& pageUrl) {
    JarSaver saver(cookies_);
    HttpRequest request(context_, cookies_);
    request.setUrl(escapeUrlUnsafeBytes(pageUrl));
    request.setUserAgent(kAgent);
    switch (request.perform()) {
        case HttpRequest::Outcome::Done:
            return {};
        case HttpRequest::Outcome::Failed:
            reportError(request.errorText());
            return Failure{request.errorText()};
        case HttpRequest::Outcome::Cancelled:
            break;
    }
    return stopped();
}

Result<VideoLookup> ServiceClient::lookUpVideo(const std::string& pageUrl) {
    const std::optional<std::string> id = videoIdFromPageUrl(pageUrl);
    if (!id) {
        return Failure{
            "the page URL names no video (it holds no \"watch/\" followed by a video ID): " +
            pageUrl};
    }
    state_.videoId = *id;
    state_.videoFile = (fs::path(context_.saveFolder) / (*id + ".flv")).string();

    JarSaver saver(cookies_);
    HttpRequest request(context_, cookies_);
    request.setUrl(context_.endpoints.getflvAddress(*id));
    request.setUserAgent(kAgent);
    std::string raw;
    bool tooLarge = false;
    request.onBody([&](const char* data, size_t size) {
        if (raw.size() + size > kMaxLookupAnswerBytes) {
            tooLarge = true;
            return false;
        }
        raw.append(data, size);
        return true;
    });
    switch (request.perform()) {
        case HttpRequest::Outcome::Done:
            break;
        case HttpRequest::Outcome::Failed: {
            const std::string text =
                tooLarge ? "The video service's answer is larger than 4 MiB." : request.errorText();
            reportError(text);
            return Failure{"the video lookup failed: " + text};
        }
        case HttpRequest::Outcome::Cancelled:
            return stopped();
    }

    const std::string answer = textOfChunks(raw, kLookupChunkBytes);
    const std::optional<std::string> url = answerValue(answer, "&url=");
    if (!url) {
        return Failure{"the service gave no video address for " + *id +
                       " (the login was not accepted, or the video cannot be watched)"};
    }
    VideoLookup found;
    found.streamUrl = urlDecode(*url);
    found.commentThread = downloadCommentThread(answer);
    return found;
}

Status ServiceClient::downloadCommentThread(const std::string& answer) {
    const std::optional<std::string> messageServer = answerValue(answer, "&ms=");
    const std::optional<std::string> threadId = answerValue(answer, "thread_id=");

    const std::string path = (fs::path(context_.workFolder) / kCommentXmlFileName).string();
    OpenFile file(path, "wb");
    if (file.get() == nullptr) {
        // No request then. The earlier job's file stays: the failure tells the job not to take
        // it for this video's thread.
        return Failure{fileErrorText("Cannot create", path, file.openError())};
    }
    if (!messageServer || messageServer->empty() || !threadId || threadId->empty()) {
        return {};  // no thread named: the video has no comments to fetch
    }
    const std::optional<UrlParts> server = splitUrl(urlDecode(*messageServer));
    if (!server) {
        reportError(malformedUrlText());
        return Failure{malformedUrlText()};
    }
    JarSaver saver(cookies_);
    HttpRequest request(context_, cookies_);
    request.setUrl(requestUrl(*server));
    request.setHeaderLines(dataHeaderLines());
    request.setPostBody("<thread res_from=\"-1000\" version=\"20061206\" thread=\"" +
                        xmlEscape(*threadId) + "\" />");
    int writeError = 0;
    const int64_t limit = context_.endpoints.commentThreadLimitBytes;
    int64_t written = 0;
    bool tooLarge = false;
    request.onBody([&](const char* data, size_t size) {
        if (written + static_cast<int64_t>(size) > limit) {
            tooLarge = true;
            return false;
        }
        if (std::fwrite(data, 1, size, file.get()) != size) {
            writeError = errno;
            return false;
        }
        written += static_cast<int64_t>(size);
        return true;
    });
    const HttpRequest::Outcome outcome = request.perform();
    const int closeError = file.close();
    std::string text;
    if (outcome == HttpRequest::Outcome::Failed && tooLarge) {
        // What was written is only the start of the thread: it must not pass for the thread.
        std::error_code ignored;
        fs::resize_file(path, 0, ignored);
        const bool wholeMebibytes = limit % (int64_t{1} << 20) == 0;
        text = "the comment thread is larger than " +
               (wholeMebibytes ? std::to_string(limit >> 20) + " MiB"
                               : std::to_string(limit) + " bytes") +
               ", the limit that [Service] " + kServiceIniCommentThreadLimit +
               " of lumivox.ini sets";
    } else if (outcome == HttpRequest::Outcome::Failed) {
        text =
            writeError != 0 ? fileErrorText("Cannot write", path, writeError) : request.errorText();
    } else if (outcome == HttpRequest::Outcome::Done && closeError != 0) {
        text = fileErrorText("Cannot write", path, closeError);
    } else if (outcome == HttpRequest::Outcome::Cancelled) {
        return stopped();
    }
    if (!text.empty()) {
        reportError(text);
        return Failure{text};
    }
    return {};
}

Status ServiceClient::downloadVideo(const std::string& streamUrl) {
    if (downloadVideoOnce(streamUrl, DownloadAttempt::First)) {
        return {};
    }
    if (cancelled()) {
        return stopped();
    }
    const Status retried = downloadVideoOnce(streamUrl, DownloadAttempt::Retry);
    if (!retried && !cancelled()) {
        return Failure{retried.error() == kNothingArrived
                           ? "the video download received nothing"
                           : "the video download failed: " + retried.error()};
    }
    return retried;
}

Status ServiceClient::downloadVideoOnce(const std::string& streamUrl, DownloadAttempt attempt) {
    const auto fail = [&](const std::string& text) -> Status {
        if (attempt == DownloadAttempt::Retry) {
            reportError(text);
        }
        return Failure{text};
    };
    const std::optional<UrlParts> stream = splitUrl(streamUrl);
    if (!stream) {
        return fail(malformedUrlText());
    }
    if (state_.videoFile.empty()) {
        return Failure{kNothingArrived};
    }
    JarSaver saver(cookies_);

    // The bytes of an earlier attempt or job that a range request may continue; appended to.
    PartialDownload partial(state_.videoFile);
    const std::string& partPath = partial.partPath();
    const int64_t kept = partial.resumableBytes();
    OpenFile file(partPath, kept > 0 ? "ab" : "wb");
    if (file.get() == nullptr) {
        return fail(fileErrorText("Cannot create", partPath, file.openError()));
    }
    HttpRequest request(context_, cookies_);
    request.setUrl(requestUrl(*stream));
    std::vector<std::string> headerLines = dataHeaderLines();
    const std::vector<std::string> rangeLines = partial.rangeHeaderLines();
    headerLines.insert(headerLines.end(), rangeLines.begin(), rangeLines.end());
    request.setHeaderLines(headerLines);
    request.setFailOnHttpError(true);
    request.setReceiveBufferBytes(kDownloadBufferBytes);

    int64_t start = 0;  // where this answer's bytes go in the file
    int64_t total = 0;
    int64_t expected = -1;  // the whole file's length when the server said it
    int64_t received = 0;
    int writeError = 0;
    bool rangeRefused = false;
    // Decides from the answer's headers whether it continues the kept bytes or starts over.
    const auto beginAnswer = [&]() -> bool {
        const std::string etag = request.headerValue("ETag");
        const std::string lastModified = request.headerValue("Last-Modified");
        if (kept > 0 && request.status() == 206) {
            if (!partial.continuedBy(request.headerValue("Content-Range"), etag, lastModified)) {
                rangeRefused = true;  // not the rest of these bytes: the next attempt starts over
                return false;
            }
            start = kept;
            expected = kept + std::max<int64_t>(request.contentLength(), 0);
        } else {
            if (kept > 0) {
                // The whole file again (no ranges, or it changed): the kept bytes go.
                std::fflush(file.get());
                std::error_code error;
                fs::resize_file(partPath, 0, error);
                if (error) {
                    writeError = error.value();
                    return false;
                }
            }
            if (request.status() < 300) {
                expected = request.contentLength();
                logIfFailed(LogComponent::Service, "a cut download could not be continued later",
                            partial.remember(expected, etag, lastModified));
            }
        }
        // The total for the progress: the whole length when known, else (none, or 0) what
        // arrived at once; -1 (no progress) for an answer of 300 or more.
        total = request.status() >= 300 ? -1 : expected;
        return true;
    };
    request.onBody([&](const char* data, size_t size) {
        if (received == 0) {
            if (!beginAnswer()) {
                return false;
            }
            if (total == 0 || total < -1 || (total == -1 && request.status() < 300)) {
                total = start + static_cast<int64_t>(size);
            }
        }
        if (std::fwrite(data, 1, size, file.get()) != size) {
            writeError = errno;
            return false;
        }
        received += static_cast<int64_t>(size);
        reportDownloadProgress(total, start + received);
        return true;
    });
    const HttpRequest::Outcome outcome = request.perform();
    const int closeError = file.close();
    // A part file without a byte is no download to continue.
    const auto dropEmptyPart = [&] {
        std::error_code error;
        if (fs::file_size(partPath, error) == 0 && !error) {
            fs::remove(partPath, error);
            partial.forget();
        }
    };

    if (rangeRefused) {
        partial.forget();
        std::error_code ignored;
        fs::remove(partPath, ignored);
        return fail("the server's answer does not continue the partial download " + partPath);
    }
    if (outcome != HttpRequest::Outcome::Done || received == 0) {
        dropEmptyPart();
    }
    if (outcome == HttpRequest::Outcome::Cancelled) {
        // The bytes stay in the part file for a later job; an earlier video stays as it was.
        return stopped();
    }
    if (outcome == HttpRequest::Outcome::Failed) {
        return fail(writeError != 0 ? fileErrorText("Cannot write", partPath, writeError)
                                    : request.errorText());
    }
    if (closeError != 0) {
        return fail(fileErrorText("Cannot write", partPath, closeError));
    }
    if (received == 0 && start == 0) {
        return Failure{kNothingArrived};
    }
    if (expected > 0 && start + received != expected) {
        return fail("the stream ended after " + std::to_string(start + received) + " of " +
                    std::to_string(expected) + " bytes");
    }
    std::error_code renameError;
    fs::rename(partPath, state_.videoFile, renameError);
    if (renameError) {
        return fail(
            limitErrorText("Cannot replace " + state_.videoFile + ": " + renameError.message()));
    }
    partial.forget();
    return {};
}

void ServiceClient::reportDownloadProgress(int64_t total, int64_t received) {
    if (total <= 0) {
        return;
    }
    const auto percent = static_cast<int32_t>(received * 100 / total);
    if (percent == state_.lastDownloadPercent) {
        return;
    }
    if (context_.reportBytes) {
        context_.reportBytes(received, total);
    } else if (context_.reportProgress) {
        context_.reportProgress(percent);
    }
    state_.lastDownloadPercent = percent;
}
