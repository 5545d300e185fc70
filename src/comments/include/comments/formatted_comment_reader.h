#pragma once
// The flat "formatted" comment list: objects {"id", "vpos" (1/100 s), "content", "date",
// "date_usec", "owner" (bool), "premium" (bool), "mail" (array of strings), "user_id"?,
// "layer"?}.

#include <simdjson.h>

#include "comments/chat_record.h"

// An entry with "vpos" and "content" that is neither an old one-key entry nor today's comment.
bool isFormattedComment(simdjson::dom::object entry);

// Appends the record of one entry (seq left 0); "id" becomes the comment number.
void appendFormattedComment(simdjson::dom::object entry, ChatList& chats);
