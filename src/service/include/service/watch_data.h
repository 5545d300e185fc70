#pragma once
// The watch data of today's service: the JSON object that the watch page (as JSON) and the
// watch API both answer with, and that names the video, its comment threads and its renditions.
//
// The object is read leniently: fields the client does not need may be missing, null or of
// another type without failing the read, because the service adds and drops fields without
// notice. Only what a job cannot do without (the video ID) is required.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

// One video or audio quality the service offers.
struct MediaQuality {
    std::string id;          // "video-h264-720p", "audio-aac-192kbps"
    bool available = false;  // false: the viewer may not use it
    int64_t bitRate = 0;     // bits per second
    int width = 0;           // video only
    int height = 0;          // video only
    int qualityLevel = 0;
    // Video only: the best audio qualityLevel meant to go with it; -1 when not given.
    int recommendedHighestAudioQualityLevel = -1;
};

// One comment thread the comment server is asked for.
struct CommentTarget {
    std::string id;
    std::string fork;  // "owner", "main", "easy", or a label of the service's own
};

struct WatchViewer {
    std::string id;
    std::string nickname;
    bool premium = false;
};

struct WatchData {
    std::string videoId;  // canonical ("sm9", also when the URL named a thread number)
    std::string title;
    int64_t durationSeconds = 0;
    std::string registeredAt;  // ISO 8601 with its offset
    bool deleted = false;
    bool isPrivate = false;
    // The actionTrackId the access-rights request must carry.
    std::string watchTrackId;

    // Comments. Empty `commentServer` or `threadKey`: the video offers no comment threads.
    std::string commentServer;
    std::string threadKey;
    // nvComment.params exactly as the service sent it (compact JSON), passed on unchanged.
    std::string commentParamsJson;
    std::vector<CommentTarget> commentTargets;

    // Video. `downloadable` is false when media.domand is null (payment, membership, no rights).
    bool downloadable = false;
    std::string accessRightKey;
    std::vector<MediaQuality> videos;
    std::vector<MediaQuality> audios;

    std::string okReason;  // "PURELY"; "PAYMENT_PREVIEW_SUPPORTED" when payment is required
    bool payPerView = false;
    bool admission = false;  // channel membership
    bool premiumOnly = false;
    std::string watchableUserType;

    std::optional<WatchViewer> viewer;  // nothing for a guest
};

// Why the service will not give a video, one line in each language.
struct WatchRefusal {
    std::string errorCode;   // "FORBIDDEN", "NOT_FOUND", ...; empty when taken from flags
    std::string reasonCode;  // "HIDDEN_VIDEO", ...; may be empty
    std::string japanese;
    std::string english;
    // True when the refusal says the session is no longer valid.
    bool sessionInvalid = false;

    // "japanese / english".
    std::string line() const { return japanese + " / " + english; }
};

// What an answer of a watch data request holds: the watch data, or the refusal.
struct WatchAnswer {
    std::optional<WatchData> data;
    std::optional<WatchRefusal> refusal;
};

// Reads the body of a watch data answer of either route: the watch page as JSON (the object in
// data.response) or the watch API (the object in data). An error envelope, with or without a
// `data`, gives the refusal it names; a body that is no JSON, or JSON without watch data and
// without an error, fails. `httpStatus` is the answer's status: an error status without a
// readable envelope still gives a refusal.
Result<WatchAnswer> readWatchAnswer(std::string_view body, long httpStatus);

// The refusal that an error code and reason code of the service stand for.
WatchRefusal watchRefusalFor(std::string_view errorCode, std::string_view reasonCode,
                             bool publishScheduled = false);

// The refusal for watch data that has no video to give (media.domand null), from its payment
// flags; nothing when the data has a video.
std::optional<WatchRefusal> refusalOfUndownloadable(const WatchData& data);

// The video and audio qualities to ask for: with `wantedVideo` empty, the available video of
// the highest qualityLevel (ties: the higher bit rate); else the available video whose id is
// `wantedVideo`, or whose id ends in "-" + `wantedVideo` ("720p"), or whose height matches
// "720" / "720p". The audio is the best available one whose qualityLevel does not pass the
// video's recommendedHighestAudioQualityLevel (any available audio when none fits). Fails with
// the qualities on offer when nothing matches.
struct QualityPair {
    std::string videoId;
    std::string audioId;
};
Result<QualityPair> chooseQualities(const WatchData& data, std::string_view wantedVideo);
