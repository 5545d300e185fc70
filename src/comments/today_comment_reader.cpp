#include "comments/today_comment_reader.h"

#include <chrono>
#include <cmath>

#include "comments/comment_reader.h"
#include "comments/json_fields.h"

namespace {

// Reads `count` digits at `pos` into `value`; false when they are not all digits.
bool readDigits(std::string_view text, std::size_t& pos, int count, int& value) {
    if (pos + count > text.size()) {
        return false;
    }
    value = 0;
    for (int i = 0; i < count; ++i, ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

// floor(ms / 10) also for negative times.
int64_t centisecondsOf(int64_t milliseconds) {
    return milliseconds >= 0 ? milliseconds / 10 : -((-milliseconds + 9) / 10);
}

}  // namespace

bool isTodayComment(simdjson::dom::object entry) {
    return entry.at_key("vposMs").error() == simdjson::SUCCESS;
}

bool isTodayThread(simdjson::dom::object entry) {
    simdjson::dom::array comments;
    return entry.at_key("comments").get_array().get(comments) == simdjson::SUCCESS;
}

void appendTodayComment(simdjson::dom::object comment, bool owner, ChatList& chats) {
    const std::optional<int64_t> vposMs = jsonInteger(comment, "vposMs");
    if (!vposMs) {
        return;
    }
    ChatRecord record;
    record.text = commentTextOf(jsonString(comment, "body"));
    record.mail = jsonWords(comment, "commands");
    record.vpos = clampToInt32(centisecondsOf(*vposMs));
    record.vposSec = record.vpos / 100;
    record.no = clampToInt32(jsonInteger(comment, "no").value_or(0));
    record.date = clampToInt32(secondsOfIsoTime(jsonString(comment, "postedAt")).value_or(0));
    record.premium = jsonFlag(comment, "isPremium") ? 1 : 0;
    record.userId = std::string(jsonString(comment, "userId"));
    record.owner = owner;
    chats.push_back(std::move(record));
}

void appendTodayThread(simdjson::dom::object thread, ChatList& chats) {
    const bool owner = jsonString(thread, "fork") == "owner";
    simdjson::dom::array comments;
    if (thread.at_key("comments").get_array().get(comments) != simdjson::SUCCESS) {
        return;
    }
    for (simdjson::dom::element entry : comments) {
        simdjson::dom::object comment;
        if (entry.get_object().get(comment) == simdjson::SUCCESS) {
            appendTodayComment(comment, owner, chats);
        }
    }
}

std::optional<int64_t> secondsOfIsoTime(std::string_view text) {
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readDigits(text, pos, 4, year) || !expect(text, pos, '-') ||
        !readDigits(text, pos, 2, month) || !expect(text, pos, '-') ||
        !readDigits(text, pos, 2, day) || !(expect(text, pos, 'T') || expect(text, pos, ' ')) ||
        !readDigits(text, pos, 2, hour) || !expect(text, pos, ':') ||
        !readDigits(text, pos, 2, minute) || !expect(text, pos, ':') ||
        !readDigits(text, pos, 2, second)) {
        return std::nullopt;
    }
    if (expect(text, pos, '.')) {
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            ++pos;
        }
    }
    int offsetSeconds = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const int sign = text[pos++] == '-' ? -1 : 1;
        int offsetHours = 0, offsetMinutes = 0;
        if (!readDigits(text, pos, 2, offsetHours)) {
            return std::nullopt;
        }
        expect(text, pos, ':');
        if (!readDigits(text, pos, 2, offsetMinutes)) {
            return std::nullopt;
        }
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    } else {
        expect(text, pos, 'Z');
    }
    const std::chrono::year_month_day date{std::chrono::year(year),
                                           std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (pos != text.size() || !date.ok() || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    const int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
    return days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
}
