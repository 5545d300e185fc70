#include "service/today_answers.h"

#include <curl/curl.h>
#include <simdjson.h>

#include <charconv>
#include <chrono>
#include <nlohmann/json.hpp>
#include <random>

namespace {

using simdjson::dom::element;

std::optional<element> parseObject(simdjson::dom::parser& parser, std::string_view body) {
    element root;
    if (parser.parse(body.data(), body.size()).get(root) != simdjson::SUCCESS ||
        !root.is_object()) {
        return std::nullopt;
    }
    return root;
}

std::string textAt(element parent, const char* key) {
    std::string_view value;
    return parent[key].get_string().get(value) == simdjson::SUCCESS ? std::string(value)
                                                                    : std::string();
}

ApiMeta metaOf(element root) {
    ApiMeta meta;
    element m;
    if (root["meta"].get(m) == simdjson::SUCCESS && m.is_object()) {
        int64_t status = 0;
        if (m["status"].get_int64().get(status) == simdjson::SUCCESS) {
            meta.status = status;
        }
        meta.errorCode = textAt(m, "errorCode");
    }
    return meta;
}

int parseDigits(std::string_view text, size_t at, size_t count, bool& ok) {
    int value = 0;
    if (at + count > text.size()) {
        ok = false;
        return 0;
    }
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + at + count, value);
    ok = ok && error == std::errc() && end == text.data() + at + count;
    return value;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

std::optional<ApiMeta> readApiMeta(std::string_view body) {
    simdjson::dom::parser parser;
    const std::optional<element> root = parseObject(parser, body);
    if (!root) {
        return std::nullopt;
    }
    return metaOf(*root);
}

bool answerSucceeded(long httpStatus, const std::optional<ApiMeta>& meta) {
    if (httpStatus < 200 || httpStatus >= 300) {
        return false;
    }
    if (!meta) {
        return true;
    }
    return meta->errorCode.empty() &&
           (meta->status == 0 || (meta->status >= 200 && meta->status < 300));
}

std::string describeFailedAnswer(long httpStatus, const std::optional<ApiMeta>& meta) {
    std::string text = "HTTP " + std::to_string(httpStatus);
    if (meta && !meta->errorCode.empty()) {
        return meta->errorCode + " (" + text + ")";
    }
    return text;
}

Result<AccountInfo> readAccountAnswer(std::string_view body, long httpStatus) {
    simdjson::dom::parser parser;
    const std::optional<element> root = parseObject(parser, body);
    const std::optional<ApiMeta> meta = root ? std::optional(metaOf(*root)) : std::nullopt;
    if (!answerSucceeded(httpStatus, meta)) {
        return Failure{"the service refused the session: " +
                       describeFailedAnswer(httpStatus, meta)};
    }
    element data;
    if (!root || (*root)["data"].get(data) != simdjson::SUCCESS || !data.is_object()) {
        return Failure{"the account answer holds no user"};
    }
    AccountInfo account;
    account.userId = textAt(data, "userId");
    if (account.userId.empty()) {
        int64_t number = 0;
        if (data["userId"].get_int64().get(number) == simdjson::SUCCESS) {
            account.userId = std::to_string(number);
        }
    }
    account.nickname = textAt(data, "nickname");
    bool premium = false;
    account.premium =
        data["hasPremiumOrStrongerRights"].get_bool().get(premium) == simdjson::SUCCESS && premium;
    if (account.userId.empty()) {
        return Failure{"the account answer holds no user"};
    }
    return account;
}

Result<std::string> readThreadKeyAnswer(std::string_view body, long httpStatus) {
    simdjson::dom::parser parser;
    const std::optional<element> root = parseObject(parser, body);
    const std::optional<ApiMeta> meta = root ? std::optional(metaOf(*root)) : std::nullopt;
    if (!answerSucceeded(httpStatus, meta)) {
        return Failure{"no new thread key: " + describeFailedAnswer(httpStatus, meta)};
    }
    std::string_view key;
    if ((*root)["data"]["threadKey"].get_string().get(key) != simdjson::SUCCESS || key.empty()) {
        return Failure{"the thread key answer holds no key"};
    }
    return std::string(key);
}

Result<AccessRights> readAccessRightsAnswer(std::string_view body, long httpStatus) {
    simdjson::dom::parser parser;
    const std::optional<element> root = parseObject(parser, body);
    const std::optional<ApiMeta> meta = root ? std::optional(metaOf(*root)) : std::nullopt;
    if (!answerSucceeded(httpStatus, meta)) {
        return Failure{"the service refused the access rights: " +
                       describeFailedAnswer(httpStatus, meta)};
    }
    element data;
    if ((*root)["data"].get(data) != simdjson::SUCCESS || !data.is_object()) {
        return Failure{"the access-rights answer holds no data"};
    }
    AccessRights rights;
    rights.contentUrl = textAt(data, "contentUrl");
    if (rights.contentUrl.rfind("http://", 0) != 0 && rights.contentUrl.rfind("https://", 0) != 0) {
        return Failure{"the access-rights answer holds no playlist address"};
    }
    rights.expiresAt = isoTimeToUnix(textAt(data, "expireTime"));
    return rights;
}

Result<std::string> threadsRequestBody(const std::string& threadKey,
                                       const std::string& paramsJson) {
    nlohmann::json params = nlohmann::json::parse(paramsJson, nullptr, false);
    if (params.is_discarded() || !params.is_object()) {
        return Failure{"the watch data's comment parameters are not a JSON object"};
    }
    const nlohmann::json body = {
        {"threadKey", threadKey}, {"params", params}, {"additionals", nlohmann::json::object()}};
    return body.dump();
}

std::string accessRightsRequestBody(const std::string& videoQuality,
                                    const std::string& audioQuality) {
    const nlohmann::json body = {
        {"outputs", nlohmann::json::array({nlohmann::json::array({videoQuality, audioQuality})})}};
    return body.dump();
}

std::string newActionTrackId() {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<size_t> pick(0, kAlphabet.size() - 1);
    std::string id;
    for (int i = 0; i < 10; ++i) {
        id += kAlphabet[pick(random)];
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    return id + "_" + std::to_string(ms);
}

std::optional<int64_t> isoTimeToUnix(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS[.fff](Z|+HH:MM|-HH:MM)
    bool ok = text.size() >= 20 && text[4] == '-' && text[7] == '-' &&
              (text[10] == 'T' || text[10] == ' ') && text[13] == ':' && text[16] == ':';
    const int year = parseDigits(text, 0, 4, ok);
    const int month = parseDigits(text, 5, 2, ok);
    const int day = parseDigits(text, 8, 2, ok);
    const int hour = parseDigits(text, 11, 2, ok);
    const int minute = parseDigits(text, 14, 2, ok);
    const int second = parseDigits(text, 17, 2, ok);
    if (!ok || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60) {
        return std::nullopt;
    }
    size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
    }
    int64_t offset = 0;
    if (at < text.size() && (text[at] == 'Z' || text[at] == 'z') && at + 1 == text.size()) {
        offset = 0;
    } else if (at + 6 == text.size() && (text[at] == '+' || text[at] == '-') &&
               text[at + 3] == ':') {
        const int offsetHours = parseDigits(text, at + 1, 2, ok);
        const int offsetMinutes = parseDigits(text, at + 4, 2, ok);
        if (!ok) {
            return std::nullopt;
        }
        offset = (offsetHours * 3600 + offsetMinutes * 60) * (text[at] == '-' ? -1 : 1);
    } else {
        return std::nullopt;  // no offset: local time of an unknown zone
    }
    const int64_t days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return days * 86400 + hour * 3600 + minute * 60 + second - offset;
}

std::optional<int64_t> retryAfterSeconds(std::string_view value, int64_t nowUnix) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() &&
           (value.back() == ' ' || value.back() == '\r' || value.back() == '\n')) {
        value.remove_suffix(1);
    }
    if (value.empty()) {
        return std::nullopt;
    }
    int64_t seconds = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error == std::errc() && end == value.data() + value.size()) {
        return seconds < 0 ? 0 : seconds;
    }
    const std::string date(value);
    const time_t when = curl_getdate(date.c_str(), nullptr);
    if (when < 0) {
        return std::nullopt;
    }
    return when > nowUnix ? static_cast<int64_t>(when) - nowUnix : 0;
}
