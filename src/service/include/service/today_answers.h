#pragma once
// The small JSON answers and request bodies of today's service besides the watch data: the
// account check, the thread key, the comment threads' status, the access rights. Every answer
// carries {"meta":{"status":N,"errorCode":...},"data":...}; some fail in `meta` under an HTTP
// 200, and some succeed with another 2xx than the one documented, so both the HTTP status and
// the body decide.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

// The `meta` of an answer: its status (0 when missing) and error code (empty when none).
struct ApiMeta {
    int64_t status = 0;
    std::string errorCode;
};
// Nothing when the body is no JSON object.
std::optional<ApiMeta> readApiMeta(std::string_view body);

// True when an answer succeeded: a 2xx HTTP status, and a meta status that is missing or 2xx
// and no error code.
bool answerSucceeded(long httpStatus, const std::optional<ApiMeta>& meta);

// "errorCode (HTTP status)" for a failed answer, or "HTTP status" when it named no code.
std::string describeFailedAnswer(long httpStatus, const std::optional<ApiMeta>& meta);

// The account behind a session, as the account host's user API reports it.
struct AccountInfo {
    std::string userId;
    std::string nickname;
    bool premium = false;
};
// The account of a user API answer. Fails when the answer refuses the session (401, 403, an
// error code) or holds no user.
Result<AccountInfo> readAccountAnswer(std::string_view body, long httpStatus);

// A fresh thread key from the thread key answer.
Result<std::string> readThreadKeyAnswer(std::string_view body, long httpStatus);

// The master playlist's address and its end of validity from the access-rights answer.
struct AccessRights {
    std::string contentUrl;
    std::optional<int64_t> expiresAt;  // Unix seconds; nothing when not given or unreadable
};
Result<AccessRights> readAccessRightsAnswer(std::string_view body, long httpStatus);

// The body of the comment threads request: the thread key and the watch data's nvComment
// params passed on unchanged, for the current comments ("additionals": {}). Fails when
// `paramsJson` is no JSON object.
Result<std::string> threadsRequestBody(const std::string& threadKey, const std::string& paramsJson);

// The body of the access-rights request for one video and audio pair.
std::string accessRightsRequestBody(const std::string& videoQuality,
                                    const std::string& audioQuality);

// A new actionTrackId: ten letters and digits, "_", the Unix time in milliseconds.
std::string newActionTrackId();

// An ISO 8601 time with an offset ("2026-09-01T12:00:00+09:00", "...Z", fractions allowed) in
// Unix seconds. Nothing when it cannot be read.
std::optional<int64_t> isoTimeToUnix(std::string_view text);

// The seconds a Retry-After header value asks for (a number of seconds, or an HTTP date
// compared with `nowUnix`); nothing when it cannot be read. Never negative.
std::optional<int64_t> retryAfterSeconds(std::string_view value, int64_t nowUnix);
