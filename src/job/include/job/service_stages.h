#pragma once
// The network stages of a job, spoken in one of the service's protocols. The job calls them in
// its fixed order (login, lookup with the comments, page visit or access rights, download);
// each protocol fills the same job state, so that the stages after them do not change:
//
//  - ClassicServiceStages: the login form, getflv, the XML message server, the .flv stream;
//  - TodayServiceStages: the session cookie, the watch data, the comment threads, the access
//    rights and the encrypted HLS renditions, joined into one MP4.
//
// An implementation works on the job that owns it, on the job's worker thread, and records why
// a stage failed through the job's fail().

#include <string>

class CNicoThread;

class ServiceStages {
public:
    virtual ~ServiceStages() = default;

    // Logs in and leaves the service's cookie string in the job's `cookie`; empty on failure.
    virtual void loginToService() = 0;
    // Sets the job's videoId and videoFile, saves the comments (commentFile()) and hands back
    // the stream address; true when the job may go on to read the comments.
    virtual bool lookUpVideo(const std::string& cookie, std::string& streamUrl) = 0;
    // Where lookUpVideo left the comments (in the work folder).
    virtual std::string commentFile() const = 0;
    // The step between the comments and the download: the video page visit (classic), the
    // access rights (today). The job does not look at the result.
    virtual bool visitVideoPage(const std::string& pageUrl, const std::string& cookie) = 0;
    // Downloads the video into the job's videoFile, polling the stop and posting progress.
    virtual bool downloadVideo(const std::string& streamUrl, const std::string& cookie) = 0;
};
