#include "comments/comment_filter.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace {

// How many comments a video of `seconds` whole seconds shows at most with the Old option.
std::size_t oldCommentLimit(int seconds) {
    if (seconds <= 150) {
        return 100;
    }
    if (seconds < 300) {
        return 250;
    }
    if (seconds < 600) {
        return 500;
    }
    return 1000;
}

bool postedEarlier(const ChatRecord& a, const ChatRecord& b) {
    if (a.date != b.date) {
        return a.date < b.date;
    }
    return a.no < b.no;
}

// The entries of an ID list, for lookups in constant time; IDs match byte for byte, case
// included. The views point into `list`, which must outlive the set.
std::unordered_set<std::string_view> idSet(const std::vector<std::string>& list) {
    return std::unordered_set<std::string_view>(list.begin(), list.end());
}

}  // namespace

int64_t limitOldComments(ChatList& chats, int durationCs) {
    const std::size_t limit = oldCommentLimit(durationCs / 100);
    const auto viewers = static_cast<std::size_t>(
        std::count_if(chats.begin(), chats.end(), [](const ChatRecord& c) { return !c.owner; }));
    if (viewers <= limit) {
        return 0;
    }
    // Stable, so that records equal in date and number keep their arrival order.
    std::stable_sort(chats.begin(), chats.end(), postedEarlier);
    std::size_t excess = viewers - limit;  // the oldest viewers' comments go
    return static_cast<int64_t>(std::erase_if(chats, [&](const ChatRecord& chat) {
        if (chat.owner || excess == 0) {
            return false;
        }
        --excess;
        return true;
    }));
}

FilterRemovals filterComments(ChatList& chats, const CommentFilterSettings& filter) {
    FilterRemovals removed;
    removed.period = static_cast<int64_t>(std::erase_if(chats, [&](const ChatRecord& chat) {
        return chat.date < filter.periodStart || chat.date > filter.periodEnd;
    }));
    if (!filter.ngList.empty()) {
        const auto ngUsers = idSet(filter.ngList);
        removed.ngList = static_cast<int64_t>(std::erase_if(chats, [&](const ChatRecord& chat) {
            return !chat.owner && ngUsers.contains(chat.userId);
        }));
    }
    if (!filter.extractList.empty()) {
        const auto extractUsers = idSet(filter.extractList);
        removed.extractList =
            static_cast<int64_t>(std::erase_if(chats, [&](const ChatRecord& chat) {
                return !chat.owner && !extractUsers.contains(chat.userId);
            }));
    }
    return removed;
}
