// The network stages in the classic protocol. Each stage call makes its own service client
// with the job's context and state.

#include "job/classic_service_stages.h"

#include "job/nico_thread.h"
#include "platform/log.h"
#include "platform/work_file_names.h"
#include "service/service_client.h"

void ClassicServiceStages::loginToService() {
    ServiceClient client(job_.serviceContext(), job_.serviceState());
    logInfo(LogComponent::Service,
            "login at " + job_.request.endpoints.loginBase +
                (job_.request.noAutoLogin ? " without the account (automatic login is off)" : ""));
    const Status loggedIn =
        client.loginToService(job_.request.mail, job_.request.password, job_.request.noAutoLogin);
    if (!job_.cookie.empty()) {
        logInfo(LogComponent::Service, "the login gave the session cookie");
    }
    if (!job_.cookie.empty() || job_.isCancelled()) {
        return;
    }
    if (!loggedIn) {
        job_.fail("the login failed: " + loggedIn.error());
    } else if (job_.request.noAutoLogin) {
        job_.fail(
            "the login gave no cookie (automatic login is off, and no cookie of an earlier login "
            "was kept)");
    } else {
        job_.fail("the login gave no cookie (check the mail address and password)");
    }
}

// The cookie text is the job's record of its login; the requests carry what the cookie store
// holds for them.
bool ClassicServiceStages::lookUpVideo(const std::string& /*cookieText*/, std::string& streamUrl) {
    ServiceClient client(job_.serviceContext(), job_.serviceState());
    Result<VideoLookup> lookup = client.lookUpVideo(job_.request.pageUrl);
    if (!lookup) {
        job_.fail(lookup.error());
        return false;
    }
    streamUrl = std::move(lookup->streamUrl);
    logInfo(LogComponent::Service,
            "video " + job_.videoId + " found; the download goes to " + job_.videoFile);
    if (!lookup->commentThread) {
        // The job goes on, but a movie without its comments is not what was asked for; and
        // what comment.xml holds now is not this video's thread.
        job_.fail("the comment thread could not be downloaded: " + lookup->commentThread.error());
        job_.commentThreadMissing = true;
    }
    return true;
}

std::string ClassicServiceStages::commentFile() const {
    return job_.workFile(kCommentXmlFileName);
}

bool ClassicServiceStages::visitVideoPage(const std::string& pageUrl,
                                          const std::string& /*cookieText*/) {
    // The job goes on whatever the visit gives; an error has reached the front end already.
    ServiceClient client(job_.serviceContext(), job_.serviceState());
    return client.visitVideoPage(pageUrl).ok();
}

bool ClassicServiceStages::downloadVideo(const std::string& streamUrl,
                                         const std::string& /*cookieText*/) {
    ServiceClient client(job_.serviceContext(), job_.serviceState());
    const Status downloaded = client.downloadVideo(streamUrl);
    if (!downloaded && !job_.isCancelled()) {
        job_.fail(downloaded.error());
    }
    if (downloaded) {
        logInfo(LogComponent::Service,
                std::string(job_.isCancelled() ? "download stopped: " : "downloaded ") +
                    job_.videoFile);
    }
    return downloaded.ok();
}
