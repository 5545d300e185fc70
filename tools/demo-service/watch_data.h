#pragma once
// The watch data of today's protocol (the object the watch page and the watch API carry) and
// the envelopes of its three routes: the v3 API's {"meta","data"}, the watch page's JSON
// {"meta","data":{"metadata","googleTagManager","response"}} and the watch page's HTML, whose
// <meta name="server-response"> holds that JSON. Refused videos get the routes' error shapes.

#include <nlohmann/json.hpp>

#include <ctime>
#include <optional>
#include <string>

#include "comment_threads.h"
#include "demo_options.h"
#include "hls_sample.h"

// What one answer of the watch data depends on besides the options and the sample.
struct WatchRequestFacts {
    std::string watchId;       // the ID the request named ("sm9", or the thread ID)
    std::string watchTrackId;  // the actionTrackId the access rights must come with
    std::string threadKey;
    std::string accessRightKey;  // empty: null (a guest has no rights to the video)
    std::string commentServer;   // the comment host's base URL
    bool loggedIn = false;
    std::time_t now = 0;
};

// Why the video's watch data is refused, when a fault says so.
struct WatchRefusal {
    int apiStatus;  // the v3 API's HTTP status
    std::string apiCode;
    int pageStatus;  // the watch page's
    std::string pageCode;
    std::string reasonCode;  // empty: none
};
std::optional<WatchRefusal> watchRefusal(const DemoOptions& options);

class WatchData {
public:
    WatchData(const DemoOptions& options, const HlsSample& sample, const CommentThreads& comments);

    // The watch data object itself.
    nlohmann::json object(const WatchRequestFacts& facts) const;

    // The answers of the routes: the v3 API, the watch page as JSON, the watch page as HTML.
    static nlohmann::json apiAnswer(nlohmann::json watchData);
    nlohmann::json pageAnswer(nlohmann::json watchData) const;
    static std::string htmlPage(const nlohmann::json& pageAnswer, const std::string& title);

    static nlohmann::json apiRefusal(const WatchRefusal& refusal);
    nlohmann::json pageRefusal(const WatchRefusal& refusal) const;

private:
    nlohmann::json media(const WatchRequestFacts& facts) const;
    nlohmann::json commentPart(const WatchRequestFacts& facts) const;

    const DemoOptions& options_;
    const HlsSample& sample_;
    const CommentThreads& comments_;
};
