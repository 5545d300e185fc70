#pragma once
// Comments in the form the service's comment API gives them today: a thread object
// {"fork": "owner" | "main" | "easy", "comments": [...]}, each comment
// {"id", "no", "vposMs", "body", "commands": [...], "userId", "isPremium", "postedAt", ...}.

#include <cstdint>
#include <optional>
#include <string_view>

#include <simdjson.h>

#include "comments/chat_record.h"

// An entry that carries a time in milliseconds ("vposMs"): today's comment.
bool isTodayComment(simdjson::dom::object entry);

// An object with a "comments" array: one thread of today's API answer.
bool isTodayThread(simdjson::dom::object entry);

// Appends the record of one of today's comments (seq left 0). vpos is floor(vposMs / 10).
void appendTodayComment(simdjson::dom::object comment, bool owner, ChatList& chats);

// Appends every comment of one thread; those of the "owner" fork are the owner's.
void appendTodayThread(simdjson::dom::object thread, ChatList& chats);

// Seconds since 1970-01-01 UTC of an ISO 8601 time such as "2022-01-01T00:00:00+09:00"
// (fractions of a second allowed, "Z" or no offset meaning UTC); nothing when malformed.
std::optional<int64_t> secondsOfIsoTime(std::string_view text);
