#include "job/today_service_stages.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "job/nico_thread.h"
#include "job/rendition_join.h"
#include "platform/log.h"
#include "service/service_context.h"
#include "service/session_cookie.h"
#include "service/today_client.h"
#include "service/video_id.h"

namespace fs = std::filesystem;

TodayServiceStages::TodayServiceStages(CNicoThread& job)
    : job_(job), ownStore_(std::make_unique<CookieStore>(fs::path())) {}

TodayServiceStages::~TodayServiceStages() = default;

const char* TodayServiceStages::sessionHint() {
    return "sign in at nicovideo.jp in a web browser and give the value of its user_session "
           "cookie (--session-cookie-file, or the password window), or import it with "
           "--cookies-from-browser";
}

ServiceContext TodayServiceStages::context() {
    ServiceContext c = job_.serviceContext();
    c.cookieStore = ownStore_.get();
    return c;
}

std::string TodayServiceStages::commentFile() const {
    return job_.workFile((job_.videoId.empty() ? std::string("comments") : job_.videoId) +
                         ".comments.json");
}

void TodayServiceStages::loginToService() {
    const std::optional<std::string> session = sessionCookieValue(job_.request.sessionCookie);
    if (!session) {
        job_.fail(std::string(job_.request.sessionCookie.empty()
                                  ? "no session cookie is set: "
                                  : "the session cookie given is not a cookie value: ") +
                  sessionHint());
        return;
    }
    const ServiceContext c = context();
    TodayClient client(c, *c.cookieStore);
    if (Status stored = client.useSession(*session); !stored) {
        job_.fail(stored.error());
        return;
    }
    Result<AccountInfo> account = client.checkSession();
    if (job_.isCancelled()) {
        return;
    }
    if (!account) {
        job_.fail("the session cookie was not accepted (" + account.error() +
                  "); it may have expired or been logged out: " + sessionHint());
        return;
    }
    const std::string who =
        account->nickname.empty()
            ? (account->userId.empty() ? userIdOfSessionCookie(*session) : account->userId)
            : account->nickname;
    job_.notice("logged in as " + (who.empty() ? std::string("the session's account") : who) +
                (account->premium ? " (premium member)" : " (regular member)"));
    // The job's record of its login; the stages after it take the session from the store.
    job_.cookie = std::string(kSessionCookieName) + "=" + *session;
}

bool TodayServiceStages::lookUpVideo(const std::string& /*cookie*/, std::string& streamUrl) {
    const std::optional<std::string> id = videoIdFromPageUrl(job_.request.pageUrl);
    if (!id) {
        job_.fail("the page URL names no video (it holds no \"watch/\" followed by a video ID): " +
                  job_.request.pageUrl);
        return false;
    }
    const ServiceContext c = context();
    TodayClient client(c, *c.cookieStore);
    Result<WatchAnswer> answer = client.fetchWatchData(*id);
    if (job_.isCancelled()) {
        return false;
    }
    if (!answer) {
        job_.fail("the watch data of " + *id + " could not be fetched: " + answer.error());
        return false;
    }
    if (answer->refusal) {
        job_.fail(*id + ": " + answer->refusal->line() +
                  (answer->refusal->sessionInvalid ? std::string(": ") + sessionHint() : ""));
        return false;
    }
    watch_ = std::move(*answer->data);
    if (!isSafeVideoId(watch_->videoId)) {
        watch_->videoId = *id;
    }
    job_.videoId = watch_->videoId;
    job_.videoTitle = watch_->title;
    job_.videoFile = (fs::path(job_.request.saveFolder) / (job_.videoId + ".mp4")).string();
    logInfo(LogComponent::Service, "watch data of " + job_.videoId + ": " + watch_->title);

    // Comments of an earlier job for the same video must not stand in for a failed download.
    const fs::path comments = commentFile();
    std::error_code ignored;
    fs::remove(comments, ignored);
    if (Status saved = client.downloadComments(*watch_, comments); !saved) {
        if (job_.isCancelled()) {
            return false;
        }
        job_.fail("the comments could not be downloaded: " + saved.error());
    }
    if (const std::optional<WatchRefusal> refusal = refusalOfUndownloadable(*watch_)) {
        job_.fail(job_.videoId + ": " + refusal->line());
        return true;  // the comments are there; no video address
    }
    streamUrl = job_.request.pageUrl;
    return true;
}

bool TodayServiceStages::visitVideoPage(const std::string& /*pageUrl*/,
                                        const std::string& /*cookie*/) {
    if (!watch_ || !watch_->downloadable) {
        return false;
    }
    Result<QualityPair> pair = chooseQualities(*watch_, job_.request.videoQuality);
    if (!pair) {
        job_.fail(pair.error());
        return false;
    }
    qualities_ = *pair;
    const ServiceContext c = context();
    TodayClient client(c, *c.cookieStore);
    Result<AccessRights> rights = client.requestAccessRights(*watch_, *qualities_);
    if (!rights) {
        if (!job_.isCancelled()) {
            job_.fail("the access rights were refused: " + rights.error());
        }
        return false;
    }
    logInfo(LogComponent::Service,
            "access rights for " + qualities_->videoId + " and " + qualities_->audioId);
    rights_ = std::move(*rights);
    return true;
}

bool TodayServiceStages::downloadVideo(const std::string& /*streamUrl*/,
                                       const std::string& /*cookie*/) {
    if (!rights_ || !watch_ || !qualities_) {
        return false;
    }
    const ServiceContext c = context();
    TodayClient client(c, *c.cookieStore);
    Result<std::vector<HlsRendition>> renditions = client.fetchRenditions(rights_->contentUrl);
    if (!renditions) {
        if (!job_.isCancelled()) {
            job_.fail("the video's playlists could not be read: " + renditions.error());
        }
        return false;
    }
    const fs::path save(job_.request.saveFolder);
    HlsDownload download(c, *c.cookieStore, save / (job_.videoId + ".segments"));
    const RenewRenditions renew = [&]() -> Result<std::vector<HlsRendition>> {
        Result<AccessRights> fresh = client.requestAccessRights(*watch_, *qualities_);
        if (!fresh) {
            return fresh.failure();
        }
        rights_ = std::move(*fresh);
        return client.fetchRenditions(rights_->contentUrl);
    };
    const Status fetched =
        download.fetchAll(std::move(*renditions), renew, [this](const SegmentProgress& p) {
            job_.postDownloadProgress(DownloadProgress{p.segmentsDone, p.segmentsTotal, p.bytesDone,
                                                       p.bytesPerSecond, p.secondsLeft});
        });
    if (!fetched) {
        if (!job_.isCancelled()) {
            job_.fail("the video download failed: " + fetched.error() +
                      " (the segments downloaded so far are kept in " +
                      download.segmentFolder().string() + " for the next try)");
        }
        return false;
    }
    const fs::path video = save / (job_.videoId + ".video.mp4");
    const fs::path audio = save / (job_.videoId + ".audio.m4a");
    for (const auto& [name, file] : {std::pair{"video", video}, std::pair{"audio", audio}}) {
        if (Status written = download.assemble(name, file); !written) {
            job_.fail(written.error());
            return false;
        }
    }
    if (Status joined = joinRenditions(job_.request.programFolder, video.string(), audio.string(),
                                       job_.videoFile, [this] { return job_.isCancelled(); });
        !joined) {
        if (!job_.isCancelled()) {
            job_.fail("the video and audio could not be joined into " + job_.videoFile + ": " +
                      joined.error());
        }
        return false;
    }
    std::error_code ignored;
    fs::remove(video, ignored);
    fs::remove(audio, ignored);
    download.removeSegments();
    return true;
}
