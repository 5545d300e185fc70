#include "comments/formatted_comment_reader.h"

#include "comments/comment_reader.h"
#include "comments/json_fields.h"

bool isFormattedComment(simdjson::dom::object entry) {
    return entry.at_key("vpos").error() == simdjson::SUCCESS &&
           entry.at_key("content").error() == simdjson::SUCCESS;
}

void appendFormattedComment(simdjson::dom::object entry, ChatList& chats) {
    const std::optional<int64_t> vpos = jsonInteger(entry, "vpos");
    if (!vpos) {
        return;
    }
    ChatRecord record;
    record.text = commentTextOf(jsonString(entry, "content"));
    record.mail = jsonWords(entry, "mail");
    record.vpos = clampToInt32(*vpos);
    record.vposSec = record.vpos / 100;
    record.no = clampToInt32(jsonInteger(entry, "id").value_or(0));
    record.date = clampToInt32(jsonInteger(entry, "date").value_or(0));
    record.premium = jsonFlag(entry, "premium") ? 1 : 0;
    record.userId = std::string(jsonString(entry, "user_id"));
    record.owner = jsonFlag(entry, "owner");
    chats.push_back(std::move(record));
}
