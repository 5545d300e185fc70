#include "service/watch_data.h"

#include <simdjson.h>

#include <algorithm>

namespace {

using simdjson::dom::element;

// Lenient field access: a missing field, a null or a value of another type gives the fallback.
std::string text(element parent, const char* key) {
    std::string_view value;
    if (parent[key].get_string().get(value) != simdjson::SUCCESS) {
        return {};
    }
    return std::string(value);
}

int64_t integer(element parent, const char* key, int64_t fallback = 0) {
    element value;
    if (parent[key].get(value) != simdjson::SUCCESS) {
        return fallback;
    }
    int64_t number = 0;
    if (value.get_int64().get(number) == simdjson::SUCCESS) {
        return number;
    }
    double real = 0;
    if (value.get_double().get(real) == simdjson::SUCCESS) {
        return static_cast<int64_t>(real);
    }
    return fallback;
}

bool flag(element parent, const char* key) {
    bool value = false;
    return parent[key].get_bool().get(value) == simdjson::SUCCESS && value;
}

// The object at `key`, when there is one (not null, not another type).
std::optional<element> object(element parent, const char* key) {
    element value;
    if (parent[key].get(value) != simdjson::SUCCESS || !value.is_object()) {
        return std::nullopt;
    }
    return value;
}

std::vector<MediaQuality> qualities(element domand, const char* key) {
    std::vector<MediaQuality> list;
    simdjson::dom::array items;
    if (domand[key].get_array().get(items) != simdjson::SUCCESS) {
        return list;
    }
    for (element item : items) {
        if (!item.is_object()) {
            continue;
        }
        MediaQuality quality;
        quality.id = text(item, "id");
        quality.available = flag(item, "isAvailable");
        quality.bitRate = integer(item, "bitRate");
        quality.width = static_cast<int>(integer(item, "width"));
        quality.height = static_cast<int>(integer(item, "height"));
        quality.qualityLevel = static_cast<int>(integer(item, "qualityLevel"));
        quality.recommendedHighestAudioQualityLevel =
            static_cast<int>(integer(item, "recommendedHighestAudioQualityLevel", -1));
        if (!quality.id.empty()) {
            list.push_back(std::move(quality));
        }
    }
    return list;
}

void readComments(element w, WatchData& data) {
    const std::optional<element> comment = object(w, "comment");
    const std::optional<element> nv = comment ? object(*comment, "nvComment") : std::nullopt;
    if (!nv) {
        return;
    }
    data.commentServer = text(*nv, "server");
    data.threadKey = text(*nv, "threadKey");
    if (const std::optional<element> params = object(*nv, "params")) {
        data.commentParamsJson = simdjson::minify(*params);
        simdjson::dom::array targets;
        if ((*params)["targets"].get_array().get(targets) == simdjson::SUCCESS) {
            for (element target : targets) {
                if (target.is_object()) {
                    data.commentTargets.push_back({text(target, "id"), text(target, "fork")});
                }
            }
        }
    }
}

void readMedia(element w, WatchData& data) {
    const std::optional<element> media = object(w, "media");
    const std::optional<element> domand = media ? object(*media, "domand") : std::nullopt;
    if (!domand) {
        return;
    }
    data.downloadable = true;
    data.accessRightKey = text(*domand, "accessRightKey");
    data.videos = qualities(*domand, "videos");
    data.audios = qualities(*domand, "audios");
}

WatchData readWatchData(element w) {
    WatchData data;
    if (const std::optional<element> video = object(w, "video")) {
        data.videoId = text(*video, "id");
        data.title = text(*video, "title");
        data.durationSeconds = integer(*video, "duration");
        data.registeredAt = text(*video, "registeredAt");
        data.deleted = flag(*video, "isDeleted");
        data.isPrivate = flag(*video, "isPrivate");
    }
    if (const std::optional<element> client = object(w, "client")) {
        data.watchTrackId = text(*client, "watchTrackId");
        if (data.videoId.empty()) {
            data.videoId = text(*client, "watchId");
        }
    }
    readComments(w, data);
    readMedia(w, data);
    data.okReason = text(w, "okReason");
    if (const std::optional<element> payment = object(w, "payment")) {
        if (const std::optional<element> video = object(*payment, "video")) {
            data.payPerView = flag(*video, "isPpv");
            data.admission = flag(*video, "isAdmission");
            data.premiumOnly = flag(*video, "isPremium");
            data.watchableUserType = text(*video, "watchableUserType");
        }
    }
    if (const std::optional<element> viewer = object(w, "viewer")) {
        WatchViewer who;
        who.id = text(*viewer, "id");
        if (who.id.empty()) {
            const int64_t number = integer(*viewer, "id", -1);
            who.id = number >= 0 ? std::to_string(number) : std::string();
        }
        who.nickname = text(*viewer, "nickname");
        who.premium = flag(*viewer, "isPremium");
        data.viewer = std::move(who);
    }
    return data;
}

// True when `candidate` looks like watch data rather than an envelope or an error.
bool isWatchData(element candidate) {
    return candidate.is_object() && object(candidate, "video").has_value() &&
           (object(candidate, "client") || object(candidate, "media") ||
            object(candidate, "comment"));
}

// The refusal of an error envelope: meta.errorCode or meta.code, reasonCode in data or in
// data.response. Nothing when the body names no error.
std::optional<WatchRefusal> envelopeRefusal(element root, long httpStatus) {
    std::string errorCode;
    int64_t metaStatus = 0;
    if (const std::optional<element> meta = object(root, "meta")) {
        errorCode = text(*meta, "errorCode");
        metaStatus = integer(*meta, "status");
        if (errorCode.empty()) {
            const std::string code = text(*meta, "code");
            // The watch page's success code is "HTTP_200".
            if (code.rfind("HTTP_", 0) != 0) {
                errorCode = code;
            }
        }
    }
    std::string reasonCode;
    bool scheduled = false;
    if (const std::optional<element> data = object(root, "data")) {
        const std::optional<element> response = object(*data, "response");
        for (const std::optional<element>& holder : {response, data}) {
            if (!holder) {
                continue;
            }
            if (reasonCode.empty()) {
                reasonCode = text(*holder, "reasonCode");
            }
            if (errorCode.empty()) {
                errorCode = text(*holder, "errorCode");
            }
            element publish;
            if ((*holder)["publishScheduledAt"].get(publish) == simdjson::SUCCESS &&
                !publish.is_null()) {
                scheduled = true;
            }
        }
    }
    const bool failedStatus = metaStatus >= 400 || httpStatus >= 400;
    if (errorCode.empty() && !failedStatus) {
        return std::nullopt;
    }
    if (errorCode.empty()) {
        errorCode = metaStatus == 404 || httpStatus == 404 ? "NOT_FOUND" : "UNKNOWN";
    }
    return watchRefusalFor(errorCode, reasonCode, scheduled);
}

}  // namespace

WatchRefusal watchRefusalFor(std::string_view errorCode, std::string_view reasonCode,
                             bool publishScheduled) {
    WatchRefusal r;
    r.errorCode = errorCode;
    r.reasonCode = reasonCode;
    const auto say = [&r](const char* japanese, const char* english) {
        r.japanese = japanese;
        r.english = english;
    };
    if (reasonCode == "ADMINISTRATOR_DELETE_VIDEO") {
        say("運営により削除された動画です", "the video was removed by the service");
    } else if (reasonCode == "RIGHT_HOLDER_DELETE_VIDEO") {
        say("権利者の要請により削除された動画です",
            "the video was removed at a rights holder's request");
    } else if (reasonCode == "HIDDEN_VIDEO" && publishScheduled) {
        say("まだ公開されていない動画です", "the video is not published yet");
    } else if (reasonCode == "HIDDEN_VIDEO") {
        say("非公開の動画です（公開期間の終了を含む）",
            "the video is private, or its viewing period has ended");
    } else if (reasonCode == "DELETED_CHANNEL_VIDEO" || reasonCode == "DELETED_COMMUNITY_VIDEO") {
        say("チャンネルまたはコミュニティが削除された動画です",
            "the video's channel or community no longer exists");
    } else if (reasonCode == "PPV_VIDEO") {
        say("購入が必要な動画です", "the video must be purchased before it can be watched");
    } else if (reasonCode == "CHANNEL_MEMBER_ONLY") {
        say("チャンネル会員限定の動画です", "the video is for members of its channel only");
    } else if (reasonCode == "PREMIUM_ONLY") {
        say("プレミアム会員限定の動画です", "the video is for premium members only");
    } else if (reasonCode == "HARMFUL_VIDEO") {
        say("センシティブな内容を含む動画です（ログインしてセンシティブな動画の表示を許可してくださ"
            "い）",
            "the video is marked sensitive: log in with an account that allows sensitive videos");
    } else if (reasonCode == "DOMESTIC_VIDEO" || reasonCode == "HIGH_RISK_COUNTRY_VIDEO") {
        say("この地域からは視聴できない動画です",
            "the video cannot be watched from this country or region");
    } else if (errorCode == "FORBIDDEN") {
        say("この動画を視聴する権限がありません",
            "the account has no permission to watch the video");
    } else if (errorCode == "NOT_FOUND" || errorCode == "INVALID_PARAMETER" ||
               reasonCode == "DELETED_VIDEO") {
        say("動画が見つかりません（削除されたか、存在しません）",
            "the video does not exist or was deleted");
    } else if (errorCode == "UNAUTHORIZED") {
        say("ログインセッションが無効です", "the login session is not valid");
        r.sessionInvalid = true;
    } else if (errorCode == "MAINTENANCE") {
        say("ニコニコ動画はメンテナンス中です", "the service is in maintenance; try again later");
    } else {
        say("動画の情報を取得できませんでした", "the service did not give the video's data");
    }
    return r;
}

std::optional<WatchRefusal> refusalOfUndownloadable(const WatchData& data) {
    if (data.deleted) {
        return watchRefusalFor("NOT_FOUND", "DELETED_VIDEO");
    }
    if (data.downloadable) {
        return std::nullopt;
    }
    std::string reason;
    if (data.payPerView || data.watchableUserType == "purchaser") {
        reason = "PPV_VIDEO";
    } else if (data.admission || data.watchableUserType == "member") {
        reason = "CHANNEL_MEMBER_ONLY";
    } else if (data.premiumOnly || data.watchableUserType == "premium") {
        reason = "PREMIUM_ONLY";
    }
    WatchRefusal refusal = watchRefusalFor("FORBIDDEN", reason);
    refusal.errorCode.clear();
    return refusal;
}

Result<WatchAnswer> readWatchAnswer(std::string_view body, long httpStatus) {
    simdjson::dom::parser parser;
    element root;
    if (parser.parse(body.data(), body.size()).get(root) != simdjson::SUCCESS ||
        !root.is_object()) {
        if (httpStatus >= 400) {
            // An error page of a proxy in front of the service (HTML, or nothing).
            return WatchAnswer{std::nullopt,
                               watchRefusalFor(httpStatus == 404 ? "NOT_FOUND" : "UNKNOWN", "")};
        }
        return Failure{"the watch data is not JSON"};
    }
    // The watch data itself: data.response (the watch page), else data (the watch API).
    if (const std::optional<element> data = object(root, "data")) {
        for (const std::optional<element>& candidate : {object(*data, "response"), data}) {
            if (candidate && isWatchData(*candidate)) {
                WatchData watch = readWatchData(*candidate);
                if (!watch.videoId.empty()) {
                    return WatchAnswer{std::move(watch), std::nullopt};
                }
            }
        }
    }
    if (std::optional<WatchRefusal> refusal = envelopeRefusal(root, httpStatus)) {
        return WatchAnswer{std::nullopt, std::move(refusal)};
    }
    return Failure{"the answer holds no watch data"};
}

Result<QualityPair> chooseQualities(const WatchData& data, std::string_view wantedVideo) {
    const auto listOf = [](const std::vector<MediaQuality>& list) {
        std::string names;
        for (const MediaQuality& q : list) {
            if (q.available) {
                names += (names.empty() ? "" : ", ") + q.id;
            }
        }
        return names.empty() ? std::string("none") : names;
    };
    const MediaQuality* video = nullptr;
    for (const MediaQuality& q : data.videos) {
        if (!q.available) {
            continue;
        }
        if (wantedVideo.empty()) {
            if (video == nullptr || q.qualityLevel > video->qualityLevel ||
                (q.qualityLevel == video->qualityLevel && q.bitRate > video->bitRate)) {
                video = &q;
            }
            continue;
        }
        std::string wanted(wantedVideo);
        if (!wanted.empty() && wanted.back() == 'p') {
            wanted.pop_back();
        }
        const bool byId =
            q.id == wantedVideo ||
            (q.id.size() > wantedVideo.size() &&
             q.id.compare(q.id.size() - wantedVideo.size(), wantedVideo.size(), wantedVideo) == 0 &&
             q.id[q.id.size() - wantedVideo.size() - 1] == '-');
        const bool byHeight = !wanted.empty() &&
                              std::all_of(wanted.begin(), wanted.end(),
                                          [](char c) { return c >= '0' && c <= '9'; }) &&
                              std::to_string(q.height) == wanted;
        if (byId || (byHeight && video == nullptr)) {
            video = &q;
            if (byId) {
                break;
            }
        }
    }
    if (video == nullptr) {
        return Failure{wantedVideo.empty()
                           ? "the service offers no video quality this account may use"
                           : "the video quality \"" + std::string(wantedVideo) +
                                 "\" is not on offer (available: " + listOf(data.videos) + ")"};
    }
    const MediaQuality* audio = nullptr;
    const auto better = [](const MediaQuality* best, const MediaQuality& q) {
        return best == nullptr || q.qualityLevel > best->qualityLevel ||
               (q.qualityLevel == best->qualityLevel && q.bitRate > best->bitRate);
    };
    for (const bool limited : {true, false}) {
        for (const MediaQuality& q : data.audios) {
            const bool fits = !limited || video->recommendedHighestAudioQualityLevel < 0 ||
                              q.qualityLevel <= video->recommendedHighestAudioQualityLevel;
            if (q.available && fits && better(audio, q)) {
                audio = &q;
            }
        }
        if (audio != nullptr) {
            break;
        }
    }
    if (audio == nullptr) {
        return Failure{"the service offers no audio quality this account may use"};
    }
    return QualityPair{video->id, audio->id};
}
