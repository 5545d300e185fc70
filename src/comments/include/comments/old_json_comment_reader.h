#pragma once
// The old JSON form of a comment thread: a list of one-key objects, {"thread": {...}},
// {"leaf": {...}}, {"global_num_res": {...}}, {"ping": {...}} and {"chat": {...}}, a chat with
// "thread", "no", "vpos" (1/100 s), "date", "premium", "user_id", "mail" (blank-separated
// commands), "content" and optionally "fork" (1: the owner's), "score", "deleted".

#include <simdjson.h>

#include "comments/chat_record.h"

// One entry of that list: an object with exactly one of the five keys.
bool isOldJsonEntry(simdjson::dom::object entry);

// Appends the record of a "chat" entry (seq left 0); the other entries, deleted chats and chats
// without a vpos add nothing.
void appendOldJsonEntry(simdjson::dom::object entry, ChatList& chats);
