#pragma once
// The network stages with the service as it is today:
//
//  - login: the user's `user_session` cookie (request.sessionCookie), checked with the account
//    host; the account's name and whether it is premium go to the front end, nothing else of the
//    account is kept;
//  - lookup: the watch data (the watch page as JSON, else the watch API); a deleted, private,
//    payment-only or region-locked video ends the job with the service's reason in Japanese and
//    English; the comment threads are saved as ID.comments.json in the work folder;
//  - page visit: the access rights for the chosen video and audio quality, which also set the
//    delivery cookie;
//  - download: the HLS renditions, segment by segment (HlsDownload), kept in the folder
//    ID.segments of the save folder until the video is complete, then written as ID.video.mp4
//    and ID.audio.m4a and joined by stream copy into ID.mp4 (joinRenditions), which
//    the encoding stages take as the video.
//
// The job's cookies live in a store of the job's own, in memory (not the front end's store):
// the session cookie never reaches the cookie jar file, and no delivery cookie of an earlier
// job is sent.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job/service_stages.h"
#include "service/cookie_store.h"
#include "service/hls_download.h"
#include "service/today_answers.h"
#include "service/watch_data.h"

struct ServiceContext;
class TodayClient;

class TodayServiceStages final : public ServiceStages {
public:
    explicit TodayServiceStages(CNicoThread& job);
    ~TodayServiceStages() override;

    void loginToService() override;
    bool lookUpVideo(const std::string& cookie, std::string& streamUrl) override;
    std::string commentFile() const override;
    bool visitVideoPage(const std::string& pageUrl, const std::string& cookie) override;
    bool downloadVideo(const std::string& streamUrl, const std::string& cookie) override;

    // How a user gets a session cookie, for the messages of a missing or refused one.
    static const char* sessionHint();

private:
    ServiceContext context();

    CNicoThread& job_;
    std::unique_ptr<CookieStore> ownStore_;
    std::optional<WatchData> watch_;
    std::optional<QualityPair> qualities_;
    std::optional<AccessRights> rights_;
};
