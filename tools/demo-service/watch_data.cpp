#include "watch_data.h"

#include <algorithm>
#include <cstdlib>

#include "demo_http.h"

using nlohmann::json;

namespace {

std::string htmlEscape(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// "video-h264-720p" -> "720p".
std::string qualityLabel(const std::string& id) {
    return id.substr(id.rfind('-') + 1);
}

json threadEntry(const std::string& threadId, int fork, const std::string& label,
                 const std::string& videoId, const std::string& server) {
    return {{"id", std::atoll(threadId.c_str())},
            {"fork", fork},
            {"forkLabel", label == "default" ? "main" : label},
            {"label", label},
            {"isActive", true},
            {"isDefaultPostTarget", fork == 0},
            {"isEasyCommentPostTarget", fork == 2},
            {"isLeafRequired", fork == 0},
            {"isOwnerThread", fork == 1},
            {"isThreadkeyRequired", false},
            {"threadkey", nullptr},
            {"is184Forced", false},
            {"hasNicoscript", fork == 1},
            {"videoId", videoId},
            {"server", server}};
}

}  // namespace

std::optional<WatchRefusal> watchRefusal(const DemoOptions& options) {
    if (options.fault("deleted-video"))
        return WatchRefusal{404, "NOT_FOUND", 400, "FORBIDDEN", "ADMINISTRATOR_DELETE_VIDEO"};
    if (options.fault("private-video"))
        return WatchRefusal{400, "FORBIDDEN", 400, "FORBIDDEN", "HIDDEN_VIDEO"};
    if (options.fault("ppv-video"))
        return WatchRefusal{400, "FORBIDDEN", 400, "FORBIDDEN", "PPV_VIDEO"};
    if (options.fault("region-locked"))
        return WatchRefusal{400, "FORBIDDEN", 400, "FORBIDDEN", "DOMESTIC_VIDEO"};
    if (options.fault("maintenance"))
        return WatchRefusal{503, "MAINTENANCE", 503, "MAINTENANCE", ""};
    return std::nullopt;
}

WatchData::WatchData(const DemoOptions& options, const HlsSample& sample,
                     const CommentThreads& comments)
    : options_(options), sample_(sample), comments_(comments) {}

json WatchData::media(const WatchRequestFacts& facts) const {
    if (options_.fault("payment-required"))
        return {{"domand", nullptr}, {"delivery", nullptr}, {"deliveryLegacy", nullptr}};
    std::vector<const HlsRendition*> videos;
    std::vector<const HlsRendition*> audios;
    for (const HlsRendition& rendition : sample_.renditions())
        (rendition.video ? videos : audios).push_back(&rendition);
    // Lowest first, as quality levels count up.
    const auto byRate = [](const HlsRendition* a, const HlsRendition* b) {
        return a->bitRate < b->bitRate;
    };
    std::sort(videos.begin(), videos.end(), byRate);
    std::sort(audios.begin(), audios.end(), byRate);

    json audioList = json::array();
    for (size_t level = 0; level < audios.size(); ++level) {
        const HlsRendition& audio = *audios[level];
        audioList.push_back(
            {{"id", audio.id},
             {"isAvailable", true},
             {"bitRate", audio.bitRate},
             {"samplingRate", 48000},
             {"integratedLoudness", -17.5},
             {"truePeak", -1.2},
             {"qualityLevel", level},
             {"loudnessCollection",
              {{{"type", "video"}, {"value", 1.0}}, {{"type", "pureAdPreroll"}, {"value", 0.6}}}}});
    }
    json videoList = json::array();
    const size_t topAudio = audios.empty() ? 0 : audios.size() - 1;
    for (size_t level = 0; level < videos.size(); ++level) {
        const HlsRendition& video = *videos[level];
        videoList.push_back({{"id", video.id},
                             {"isAvailable", true},
                             {"label", qualityLabel(video.id)},
                             {"bitRate", video.bitRate},
                             {"width", video.width},
                             {"height", video.height},
                             {"qualityLevel", level},
                             {"recommendedHighestAudioQualityLevel", level == 0 ? 0 : topAudio}});
    }
    // A quality above the sample's that this viewer may not use: a client must pass it over.
    videoList.push_back({{"id", "video-h264-1080p"},
                         {"isAvailable", false},
                         {"label", "1080p"},
                         {"bitRate", 6000000},
                         {"width", 1920},
                         {"height", 1080},
                         {"qualityLevel", videos.size()},
                         {"recommendedHighestAudioQualityLevel", topAudio}});
    std::reverse(videoList.begin(), videoList.end());  // the service lists the best first
    std::reverse(audioList.begin(), audioList.end());
    json domand = {{"videos", videoList},
                   {"audios", audioList},
                   {"isStoryboardAvailable", false},
                   {"accessRightKey",
                    facts.accessRightKey.empty() ? json(nullptr) : json(facts.accessRightKey)}};
    return {{"domand", domand}, {"delivery", nullptr}, {"deliveryLegacy", nullptr}};
}

json WatchData::commentPart(const WatchRequestFacts& facts) const {
    const std::string& thread = comments_.threadId();
    json targets = json::array();
    for (const std::string& fork : CommentThreads::forkNames())
        targets.push_back({{"id", thread}, {"fork", fork}});
    return {{"layers",
             {{{"index", 0},
               {"isTranslucent", false},
               {"threadIds",
                {{{"id", std::atoll(thread.c_str())}, {"fork", 1}, {"forkLabel", "owner"}}}}},
              {{"index", 1},
               {"isTranslucent", false},
               {"threadIds",
                {{{"id", std::atoll(thread.c_str())}, {"fork", 0}, {"forkLabel", "main"}},
                 {{"id", std::atoll(thread.c_str())}, {"fork", 2}, {"forkLabel", "easy"}}}}}}},
            {"threads",
             {threadEntry(thread, 1, "owner", options_.videoId, facts.commentServer),
              threadEntry(thread, 0, "default", options_.videoId, facts.commentServer),
              threadEntry(thread, 2, "easy", options_.videoId, facts.commentServer)}},
            {"nvComment",
             {{"threadKey", facts.threadKey},
              {"server", facts.commentServer},
              {"params", {{"targets", targets}, {"language", "ja-jp"}}}}}};
}

json WatchData::object(const WatchRequestFacts& facts) const {
    const bool paid = options_.fault("payment-required");
    const std::time_t registered = std::atoll(comments_.threadId().c_str());
    json viewer = nullptr;
    if (facts.loggedIn) {
        viewer = {{"id", std::atoll(options_.userId.c_str())},
                  {"nickname", options_.nickname},
                  {"isPremium", options_.premium},
                  {"allowSensitiveContents", false},
                  {"existence", {{"age", 20}, {"prefecture", nullptr}, {"sex", nullptr}}}};
    }
    json easyPhrases = json::array();
    for (const TodayComment& comment : comments_.fork("easy"))
        easyPhrases.push_back({{"text", comment.body}, {"nicodic", nullptr}});
    return {
        {"ads", nullptr},
        {"category", nullptr},
        {"channel", nullptr},
        {"client",
         {{"nicosid", "1700000000.demo"},
          {"watchId", facts.watchId},
          {"watchTrackId", facts.watchTrackId}}},
        {"comment", commentPart(facts)},
        {"easyComment", {{"phrases", easyPhrases}}},
        {"media", media(facts)},
        {"okReason", paid ? "PAYMENT_PREVIEW_SUPPORTED" : "PURELY"},
        {"owner", {{"id", 4}, {"nickname", "デモ投稿者"}, {"iconUrl", nullptr}}},
        {"payment",
         {{"video",
           {{"isPpv", paid},
            {"isAdmission", false},
            {"isContinuationBenefit", false},
            {"isPremium", false},
            {"watchableUserType", paid ? "purchaser" : "all"},
            {"commentableUserType", paid ? "purchaser" : "all"},
            {"billingType", paid ? "custom" : "free"}}},
          {"preview", {{"ppv", {{"isEnabled", paid}}}, {"admission", {{"isEnabled", false}}}}}}},
        {"system", {{"serverTime", japanTime(facts.now)}, {"isPeakTime", false}}},
        {"video",
         {{"id", options_.videoId},
          {"title", options_.title},
          {"description", "Lumivox のデモ用の動画です。"},
          {"count", {{"view", 1234}, {"comment", comments_.total()}, {"mylist", 5}, {"like", 6}}},
          {"duration", sample_.durationSeconds()},
          {"registeredAt", japanTime(registered > 0 ? registered : facts.now)},
          {"isDeleted", false},
          {"isPrivate", false},
          {"isAuthenticationRequired", false},
          {"isEmbedPlayerAllowed", true},
          {"isGiftAllowed", false},
          {"viewer", facts.loggedIn ? json{{"isOwner", false}} : json(nullptr)},
          {"watchableUserTypeForPayment", paid ? "purchaser" : "all"},
          {"commentableUserTypeForPayment", paid ? "purchaser" : "all"}}},
        {"viewer", viewer},
    };
}

json WatchData::apiAnswer(json watchData) {
    return {{"meta", {{"status", 200}}}, {"data", std::move(watchData)}};
}

json WatchData::pageAnswer(json watchData) const {
    return {{"meta", {{"status", 200}, {"code", "HTTP_200"}}},
            {"data",
             {{"metadata",
               {{"title", options_.title + " - ニコニコ動画"},
                {"linkTags", json::array()},
                {"metaTags", json::array()}}},
              {"googleTagManager",
               {{"user", {{"user_id", "1"}}}, {"content", {{"video_id", options_.videoId}}}}},
              {"response", std::move(watchData)}}}};
}

std::string WatchData::htmlPage(const json& pageAnswer, const std::string& title) {
    return "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>" +
           htmlEscape(title) + "</title>\n<meta name=\"server-response\" content=\"" +
           htmlEscape(pageAnswer.dump()) +
           "\">\n</head><body><div id=\"root\"></div></body></html>\n";
}

json WatchData::apiRefusal(const WatchRefusal& refusal) {
    json answer = {{"meta", {{"status", refusal.apiStatus}, {"errorCode", refusal.apiCode}}}};
    if (!refusal.reasonCode.empty())
        answer["data"] = {{"reasonCode", refusal.reasonCode}};
    return answer;
}

json WatchData::pageRefusal(const WatchRefusal& refusal) const {
    json response = {
        {"statusCode", refusal.pageStatus},
        {"errorCode", refusal.pageCode},
        {"reasonCode", refusal.reasonCode.empty() ? json(nullptr) : json(refusal.reasonCode)},
        {"deletedMessage", refusal.reasonCode == "ADMINISTRATOR_DELETE_VIDEO"
                               ? json("この動画は運営により削除されました")
                               : json(nullptr)},
        {"communityLink", nullptr},
        {"publishScheduledAt", nullptr},
        {"data", nullptr}};
    return {{"meta", {{"status", refusal.pageStatus}, {"code", refusal.pageCode}}},
            {"data",
             {{"metadata", {{"title", "ニコニコ動画"}}},
              {"googleTagManager", json::object()},
              {"response", std::move(response)}}}};
}
