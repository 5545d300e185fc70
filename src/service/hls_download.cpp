#include "service/hls_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/file_content.h"
#include "platform/log.h"
#include "platform/replace_file.h"
#include "service/http_request.h"
#include "service/segment_cipher.h"
#include "service/today_answers.h"
#include "service/url_parts.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kManifestName = "segments.txt";
constexpr int64_t kDefaultBusyPauseSeconds = 5;
constexpr int64_t kLongestBusyPauseSeconds = 120;
constexpr int kMaxBusyRoundsPerSegment = 8;
// Segments are half a megabyte and more: curl's default 16 KiB costs a call per 16 KiB.
constexpr long kReceiveBufferBytes = 256 * 1024;

struct MultiFree {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiFree>;

// The address without its query: what names a segment whatever its signature.
std::string withoutQuery(const std::string& uri) {
    return uri.substr(0, uri.find('?'));
}

std::string manifestOf(const std::vector<HlsRendition>& renditions) {
    std::string text = "lumivox segments 1\n";
    for (const HlsRendition& r : renditions) {
        text += r.name + " " + std::to_string(r.playlist.segments.size()) + " " +
                withoutQuery(r.playlist.initUri) + " " +
                withoutQuery(r.playlist.segments.front().uri) + " " +
                withoutQuery(r.playlist.segments.back().uri) + "\n";
    }
    return text;
}

std::string segmentName(const std::string& rendition, int index) {
    if (index < 0) {
        return rendition + ".init";
    }
    char number[16];
    std::snprintf(number, sizeof number, "%05d", index + 1);
    return rendition + "." + number;
}

int64_t fileBytes(const fs::path& path) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? -1 : static_cast<int64_t>(size);
}

}  // namespace

std::chrono::milliseconds hlsIdleWait(const std::vector<Clock::time_point>& notBefore,
                                      Clock::time_point now, Clock::time_point pausedUntil,
                                      std::chrono::milliseconds longest) {
    if (notBefore.empty()) {
        return longest;
    }
    const Clock::time_point earliest =
        std::max(*std::min_element(notBefore.begin(), notBefore.end()), pausedUntil);
    if (earliest <= now) {
        return std::chrono::milliseconds(0);
    }
    return std::min(longest, std::chrono::ceil<std::chrono::milliseconds>(earliest - now));
}

// One segment (or init section, index -1) still to be stored.
struct HlsDownload::Task {
    size_t rendition = 0;
    int index = 0;
    int failures = 0;
    int busyRounds = 0;
    Clock::time_point notBefore{};
    std::string lastError;
};

// A segment being fetched.
struct HlsDownload::Transfer {
    Task task;
    std::unique_ptr<HttpRequest> request;
    std::string body;
    bool tooLarge = false;
};

HlsDownload::HlsDownload(const ServiceContext& context, CookieStore& cookies,
                         fs::path segmentFolder)
    : context_(context), cookies_(cookies), folder_(std::move(segmentFolder)) {}

fs::path HlsDownload::partFile(const std::string& name, int index) const {
    return folder_ / segmentName(name, index);
}

void HlsDownload::removeSegments() const {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

Status HlsDownload::prepareFolder(const std::vector<HlsRendition>& renditions) {
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error || !fs::is_directory(folder_)) {
        return Failure{"the segment folder " + folder_.string() + " cannot be created" +
                       (error ? ": " + error.message() : std::string())};
    }
    const std::string manifest = manifestOf(renditions);
    const Result<std::string> before = readWholeFile(folder_ / kManifestName, 64 * 1024);
    if (before && *before == manifest) {
        return {};
    }
    // Segments of other renditions (another quality, another video) cannot be continued.
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_, error)) {
        std::error_code ignored;
        fs::remove(entry.path(), ignored);
    }
    if (!replaceFile(folder_ / kManifestName, manifest)) {
        return Failure{"the segment folder " + folder_.string() + " cannot be written"};
    }
    return {};
}

Status HlsDownload::fetchKeys(const std::vector<HlsRendition>& renditions) {
    for (const HlsRendition& r : renditions) {
        std::vector<const HlsKey*> needed = {&r.playlist.initKey};
        for (const HlsSegment& s : r.playlist.segments) {
            needed.push_back(&s.key);
        }
        for (const HlsKey* key : needed) {
            if (key->method != HlsKey::Method::Aes128 ||
                std::any_of(keys_.begin(), keys_.end(),
                            [&](const auto& known) { return known.first == key->uri; })) {
                continue;
            }
            const std::optional<UrlParts> parts = splitUrl(key->uri);
            if (!parts) {
                return Failure{"the " + r.name + " playlist's key address is not valid"};
            }
            HttpRequest request(context_, cookies_);
            request.setUrl(requestUrl(*parts));
            request.setUserAgent(context_.endpoints.todayUserAgent);
            std::string body;
            request.onBody([&body](const char* data, size_t size) {
                if (body.size() + size > 4096) {
                    return false;
                }
                body.append(data, size);
                return true;
            });
            const HttpRequest::Outcome outcome = request.perform();
            if (outcome == HttpRequest::Outcome::Cancelled) {
                return Failure{"stopped"};
            }
            if (outcome == HttpRequest::Outcome::Failed) {
                return Failure{"the " + r.name +
                               " key could not be fetched: " + request.errorText()};
            }
            const long status = request.status();
            if (status != 200) {
                return Failure{"the delivery host refused the " + r.name + " key (HTTP " +
                               std::to_string(status) + ")" +
                               (status == 403 ? " without a valid delivery cookie" : "")};
            }
            const int64_t declared = request.contentLength();
            if (declared >= 0 && declared != static_cast<int64_t>(body.size())) {
                return Failure{"the " + r.name + " key arrived cut short"};
            }
            if (Result<AesKey> key16 = aesKeyOf(body); !key16) {
                return Failure{"the delivery host sent no usable " + r.name +
                               " key: " + key16.error()};
            }
            keys_.emplace_back(key->uri, body);
        }
    }
    return {};
}

Status HlsDownload::fetchAll(std::vector<HlsRendition> renditions, const RenewRenditions& renew,
                             const std::function<void(const SegmentProgress&)>& progress) {
    stored_.clear();
    for (const HlsRendition& r : renditions) {
        if (r.playlist.segments.empty()) {
            return Failure{"the " + r.name + " playlist lists no segment"};
        }
    }
    if (Status ready = prepareFolder(renditions); !ready) {
        return ready;
    }

    SegmentProgress state;
    std::deque<Task> queue;
    for (size_t r = 0; r < renditions.size(); ++r) {
        const int count = static_cast<int>(renditions[r].playlist.segments.size());
        state.segmentsTotal += count;
        for (int index = renditions[r].playlist.initUri.empty() ? 0 : -1; index < count; ++index) {
            const int64_t bytes = fileBytes(partFile(renditions[r].name, index));
            if (bytes > 0) {
                state.bytesDone += bytes;
                state.segmentsDone += index >= 0 ? 1 : 0;
                continue;
            }
            Task task;
            task.rendition = r;
            task.index = index;
            queue.push_back(std::move(task));
        }
    }
    const int resumedSegments = state.segmentsDone;
    if (resumedSegments > 0) {
        logInfo(LogComponent::Service, "continuing a download: " + std::to_string(resumedSegments) +
                                           " of " + std::to_string(state.segmentsTotal) +
                                           " segments are already there");
    }
    if (!queue.empty()) {
        if (Status keys = fetchKeys(renditions); !keys) {
            return keys;
        }
    }

    MultiHandle multi(curl_multi_init());
    if (!multi) {
        return Failure{"curl's multi handle could not be made"};
    }
    std::vector<std::unique_ptr<Transfer>> running;
    // The buffers of finished transfers, kept for the next ones with their capacity.
    std::vector<std::string> spareBodies;
    const Clock::time_point started = Clock::now();
    int64_t fetchedBytes = 0;
    int storedThisRun = 0;
    Clock::time_point pausedUntil{};
    int renewalsInARow = 0;
    bool renewNeeded = false;
    std::string failure;

    const auto keyOf = [this](const HlsKey& key) -> std::optional<AesKey> {
        for (const auto& [uri, bytes] : keys_) {
            if (uri == key.uri) {
                return *aesKeyOf(bytes);
            }
        }
        return std::nullopt;
    };
    const auto stopAll = [&] {
        for (const std::unique_ptr<Transfer>& t : running) {
            curl_multi_remove_handle(multi.get(), t->request->handle());
        }
        running.clear();
    };
    const auto retry = [&](Task task, const std::string& why) {
        task.lastError = why;
        if (++task.failures >= kSegmentAttempts) {
            failure = "segment " + std::to_string(task.index + 1) + " of the " +
                      renditions[task.rendition].name + " could not be fetched after " +
                      std::to_string(kSegmentAttempts) + " attempts: " + why;
            return;
        }
        logInfo(LogComponent::Service, "segment " + std::to_string(task.index + 1) + " of the " +
                                           renditions[task.rendition].name + " failed (" + why +
                                           "); trying it again");
        task.notBefore = Clock::now() + std::chrono::seconds(1 << (task.failures - 1));
        queue.push_back(std::move(task));
    };

    while ((!queue.empty() || !running.empty()) && failure.empty()) {
        if (context_.isCancelled && context_.isCancelled()) {
            stopAll();
            return Failure{"stopped"};
        }
        // Fresh access rights once nothing is in flight any more.
        if (renewNeeded && running.empty()) {
            renewNeeded = false;
            if (++renewalsInARow > kMaxRenewals || !renew) {
                failure =
                    "the delivery host keeps refusing the segments (HTTP 403) even with "
                    "fresh access rights";
                break;
            }
            logInfo(LogComponent::Service,
                    "the segment addresses have expired; renewing the access rights");
            Result<std::vector<HlsRendition>> fresh = renew();
            if (!fresh) {
                failure = "the access rights could not be renewed: " + fresh.error();
                break;
            }
            if (fresh->size() != renditions.size()) {
                failure = "the renewed access rights list other renditions";
                break;
            }
            for (size_t r = 0; r < renditions.size(); ++r) {
                if ((*fresh)[r].playlist.segments.size() !=
                    renditions[r].playlist.segments.size()) {
                    failure = "the renewed " + renditions[r].name +
                              " playlist lists another number of segments";
                    break;
                }
            }
            if (!failure.empty()) {
                break;
            }
            renditions = std::move(*fresh);
            if (Status keys = fetchKeys(renditions); !keys) {
                failure = keys.error();
                break;
            }
        }
        // Start what may start.
        const Clock::time_point now = Clock::now();
        while (!renewNeeded && running.size() < static_cast<size_t>(kMaxParallel) &&
               now >= pausedUntil) {
            const auto ready = std::find_if(queue.begin(), queue.end(),
                                            [&](const Task& t) { return t.notBefore <= now; });
            if (ready == queue.end()) {
                break;
            }
            auto transfer = std::make_unique<Transfer>();
            transfer->task = *ready;
            queue.erase(ready);
            const HlsRendition& r = renditions[transfer->task.rendition];
            const std::string& uri =
                transfer->task.index < 0
                    ? r.playlist.initUri
                    : r.playlist.segments[static_cast<size_t>(transfer->task.index)].uri;
            const std::optional<UrlParts> parts = splitUrl(uri);
            if (!parts) {
                failure = "a segment address of the " + r.name + " playlist is not valid";
                break;
            }
            transfer->request = std::make_unique<HttpRequest>(context_, cookies_);
            transfer->request->setUrl(requestUrl(*parts));
            transfer->request->setUserAgent(context_.endpoints.todayUserAgent);
            transfer->request->setReceiveBufferBytes(kReceiveBufferBytes);
            if (!spareBodies.empty()) {
                transfer->body = std::move(spareBodies.back());
                spareBodies.pop_back();
            }
            Transfer* self = transfer.get();
            transfer->request->onBody([self](const char* data, size_t size) {
                if (self->body.empty()) {
                    // Room for the whole declared body at once: growing a buffer of half a
                    // megabyte step by step costs more than the decryption.
                    const int64_t declared = self->request->contentLength();
                    if (declared > 0 && static_cast<uint64_t>(declared) <= kMaxSegmentBytes) {
                        self->body.reserve(static_cast<size_t>(declared));
                    }
                }
                if (self->body.size() + size > kMaxSegmentBytes) {
                    self->tooLarge = true;
                    return false;
                }
                self->body.append(data, size);
                return true;
            });
            if (curl_multi_add_handle(multi.get(), transfer->request->handle()) != CURLM_OK) {
                failure = "a segment transfer could not be started";
                break;
            }
            running.push_back(std::move(transfer));
        }
        if (!failure.empty()) {
            break;
        }

        int active = 0;
        curl_multi_perform(multi.get(), &active);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            const auto found = std::find_if(running.begin(), running.end(), [&](const auto& t) {
                return t->request->handle() == message->easy_handle;
            });
            if (found == running.end()) {
                continue;
            }
            std::unique_ptr<Transfer> done = std::move(*found);
            running.erase(found);
            curl_multi_remove_handle(multi.get(), done->request->handle());
            const HttpRequest::Outcome outcome = done->request->finishedWith(message->data.result);
            if (outcome == HttpRequest::Outcome::Cancelled) {
                stopAll();
                return Failure{"stopped"};
            }
            if (outcome == HttpRequest::Outcome::Failed) {
                retry(std::move(done->task),
                      done->tooLarge ? "larger than any segment" : done->request->errorText());
                continue;
            }
            const long status = done->request->status();
            if (status == 429 || status == 503) {
                const int64_t wait =
                    std::min(retryAfterSeconds(done->request->headerValue("Retry-After"),
                                               static_cast<int64_t>(std::time(nullptr)))
                                 .value_or(kDefaultBusyPauseSeconds),
                             kLongestBusyPauseSeconds);
                logInfo(LogComponent::Service, "the delivery host answered " +
                                                   std::to_string(status) + "; pausing " +
                                                   std::to_string(wait) + " s");
                pausedUntil = std::max(pausedUntil, Clock::now() + std::chrono::seconds(wait));
                if (++done->task.busyRounds > kMaxBusyRoundsPerSegment) {
                    failure = "the delivery host stays busy (HTTP " + std::to_string(status) + ")";
                    break;
                }
                queue.push_front(std::move(done->task));
                continue;
            }
            if (status == 403 || status == 401 || status == 410) {
                renewNeeded = true;
                queue.push_front(std::move(done->task));
                continue;
            }
            if (status != 200) {
                retry(std::move(done->task), "HTTP " + std::to_string(status));
                continue;
            }
            const int64_t declared = done->request->contentLength();
            if (done->body.empty() ||
                (declared >= 0 && declared != static_cast<int64_t>(done->body.size()))) {
                retry(std::move(done->task), "received " + std::to_string(done->body.size()) +
                                                 " of " + std::to_string(declared) + " bytes");
                continue;
            }
            const HlsRendition& r = renditions[done->task.rendition];
            const HlsKey& key =
                done->task.index < 0
                    ? r.playlist.initKey
                    : r.playlist.segments[static_cast<size_t>(done->task.index)].key;
            if (key.method == HlsKey::Method::Aes128) {
                const std::optional<AesKey> aes = keyOf(key);
                const AesIv iv =
                    done->task.index < 0
                        ? (key.explicitIv ? key.iv : r.playlist.segments.front().iv())
                        : r.playlist.segments[static_cast<size_t>(done->task.index)].iv();
                const Status decrypted =
                    aes ? decryptAes128CbcInPlace(done->body, *aes, iv) : Status(Failure{"no key"});
                if (!decrypted) {
                    retry(std::move(done->task), decrypted.error());
                    continue;
                }
            }
            const std::string& plain = done->body;
            // Unsynced: a segment lost to a crash of the machine comes back empty, which the
            // next download takes for missing and fetches again.
            if (!writeFileUnsynced(partFile(r.name, done->task.index), plain)) {
                failure = "a segment cannot be written into " + folder_.string();
                break;
            }
            fetchedBytes += static_cast<int64_t>(plain.size());
            state.bytesDone += static_cast<int64_t>(plain.size());
            renewalsInARow = 0;
            done->body.clear();
            spareBodies.push_back(std::move(done->body));
            if (done->task.index >= 0) {
                ++state.segmentsDone;
                ++storedThisRun;
                const double elapsed =
                    std::chrono::duration<double>(Clock::now() - started).count();
                state.bytesPerSecond =
                    elapsed > 0 ? static_cast<double>(fetchedBytes) / elapsed : 0;
                const int remaining = state.segmentsTotal - state.segmentsDone;
                state.secondsLeft = state.bytesPerSecond > 0
                                        ? remaining *
                                              (static_cast<double>(fetchedBytes) / storedThisRun) /
                                              state.bytesPerSecond
                                        : -1;
                if (progress) {
                    progress(state);
                }
            }
        }
        if (!failure.empty()) {
            break;
        }
        if (!running.empty()) {
            curl_multi_poll(multi.get(), nullptr, 0, 100, nullptr);
        } else if (!queue.empty() && !renewNeeded) {
            // Every transfer may have ended in the same round: the next ones start at once
            // then, and only retries and a busy host's pause are waited for.
            std::vector<Clock::time_point> notBefore;
            for (const Task& task : queue) {
                notBefore.push_back(task.notBefore);
            }
            std::this_thread::sleep_for(
                hlsIdleWait(notBefore, Clock::now(), pausedUntil, std::chrono::milliseconds(50)));
        }
    }
    stopAll();
    if (!failure.empty()) {
        return Failure{failure};
    }
    for (const HlsRendition& r : renditions) {
        stored_.emplace_back(r.name, static_cast<int>(r.playlist.segments.size()));
        if (!r.playlist.initUri.empty()) {
            stored_.emplace_back(r.name + "#init", 1);
        }
    }
    return {};
}

Status HlsDownload::assemble(const std::string& name, const fs::path& output) const {
    const auto entry = std::find_if(stored_.begin(), stored_.end(),
                                    [&](const auto& s) { return s.first == name; });
    if (entry == stored_.end()) {
        return Failure{"the " + name + " segments have not been downloaded"};
    }
    const bool hasInit = std::any_of(stored_.begin(), stored_.end(),
                                     [&](const auto& s) { return s.first == name + "#init"; });
    const fs::path temporary = output.string() + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (int index = hasInit ? -1 : 0; index < entry->second && out; ++index) {
            std::ifstream in(partFile(name, index), std::ios::binary);
            if (!in) {
                out.setstate(std::ios::failbit);
                break;
            }
            out << in.rdbuf();
        }
        out.flush();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return Failure{"the " + name + " rendition cannot be written to " + output.string()};
        }
    }
    std::error_code error;
    fs::rename(temporary, output, error);
    if (error) {
        fs::remove(temporary, error);
        return Failure{"the " + name + " rendition cannot be written to " + output.string()};
    }
    return {};
}
