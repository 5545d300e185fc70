#include "comments/old_json_comment_reader.h"

#include <array>
#include <string_view>

#include "comments/comment_reader.h"
#include "comments/json_fields.h"

namespace {

constexpr std::array<std::string_view, 5> kEntryKeys = {"thread", "leaf", "global_num_res", "ping",
                                                        "chat"};

}  // namespace

bool isOldJsonEntry(simdjson::dom::object entry) {
    if (entry.size() != 1) {
        return false;
    }
    const std::string_view key = (*entry.begin()).key;
    for (std::string_view known : kEntryKeys) {
        if (key == known) {
            return true;
        }
    }
    return false;
}

void appendOldJsonEntry(simdjson::dom::object entry, ChatList& chats) {
    simdjson::dom::object chat;
    if (entry.at_key("chat").get_object().get(chat) != simdjson::SUCCESS) {
        return;
    }
    const std::optional<int64_t> vpos = jsonInteger(chat, "vpos");
    if (!vpos || jsonInteger(chat, "deleted").value_or(0) != 0) {
        return;
    }
    ChatRecord record;
    record.text = commentTextOf(jsonString(chat, "content"));
    record.mail = jsonWords(chat, "mail");
    record.vpos = clampToInt32(*vpos);
    record.vposSec = record.vpos / 100;
    record.no = clampToInt32(jsonInteger(chat, "no").value_or(0));
    record.date = clampToInt32(jsonInteger(chat, "date").value_or(0));
    record.premium = clampToInt32(jsonInteger(chat, "premium").value_or(0));
    record.userId = std::string(jsonString(chat, "user_id"));
    record.owner = jsonInteger(chat, "fork").value_or(0) == 1;
    chats.push_back(std::move(record));
}
