#pragma once
// The comments of today's protocol: the owner's, the viewers' ("main") and the easy comments,
// each a fork of one thread, answered in the comment API's JSON shape with its paging by
// posting time ("when") and count ("res_from").

#include <nlohmann/json.hpp>

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

struct TodayComment {
    std::string id;  // digits, unique over the forks
    long no = 0;
    long vposMs = 0;
    std::string body;
    std::vector<std::string> commands;
    std::string userId;
    bool isPremium = false;
    long score = 0;
    std::time_t postedAt = 0;  // Unix seconds
    long nicoruCount = 0;
};

class CommentThreads {
public:
    static const std::vector<std::string>& forkNames();  // "owner", "main", "easy"

    // The old XML thread's chats become the main fork (the owner's, fork="1", the owner fork;
    // deleted ones are left out, as the API leaves them out). A fork the document has nothing
    // for gets a few comments of the demo's own, written with today's commands.
    static Result<CommentThreads> fromXml(std::string_view xml, std::string threadId);

    const std::string& threadId() const { return threadId_; }
    const std::vector<TodayComment>& fork(const std::string& name) const;
    size_t total() const;

    // One fork's thread object of the answer: all its comments in the current view (`when`
    // absent: the newest 1000), or a page of at most `pageSize` posted at `when` or before
    // (`resFrom` < 0: the newest -resFrom of them; > 0: from that number on). Oldest first.
    nlohmann::json threadAnswer(const std::string& forkName, std::optional<long long> when,
                                long resFrom, long pageSize) const;

private:
    std::string threadId_;
    std::vector<std::vector<TodayComment>> forks_;  // in the order of forkNames()
};
