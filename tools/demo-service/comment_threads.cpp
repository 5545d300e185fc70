#include "comment_threads.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "demo_http.h"

namespace {

constexpr size_t kCurrentViewComments = 1000;

struct DemoComment {
    long vposMs;
    const char* body;
    std::vector<std::string> commands;
};

// The owner's comments (the position, size and colour words of old, with today's "@N" duration,
// "#RRGGBB" colour, "full", "mincho" and "ender"; the last one is a script command, which a
// player does not draw) and easy comments (preset phrases, always anonymous).
const std::vector<DemoComment>& demoOwnerComments() {
    static const std::vector<DemoComment> comments = {
        {1000, "投稿者です。ごゆっくりどうぞ", {"ue", "full", "#FFCC00", "@5"}},
        {7000, "ここが見どころ", {"shita", "mincho", "big", "ender"}},
        {9000, "半透明の案内", {"_live", "small", "cyan2"}},
        {0, "@デフォルト", {"invisible"}},
    };
    return comments;
}

const std::vector<DemoComment>& demoEasyComments() {
    static const std::vector<DemoComment> comments = {
        {2000, "うぽつ", {"184"}},
        {5000, "8888888", {"184", "device:Switch"}},
        {9000, "wwwwww", {"184"}},
        {12000, "かわいい", {"184", "device:3DS", "nico:waku:#ff0000"}},
    };
    return comments;
}

std::vector<std::string> splitWords(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

void addDemoComments(std::vector<TodayComment>& fork, const std::vector<DemoComment>& comments,
                     std::time_t firstPosted, const std::string& userPrefix) {
    long no = 0;
    for (const DemoComment& demo : comments) {
        TodayComment comment;
        comment.no = ++no;
        comment.vposMs = demo.vposMs;
        comment.body = demo.body;
        comment.commands = demo.commands;
        comment.userId = userPrefix + std::to_string(no);
        comment.postedAt = firstPosted + no * 60;
        fork.push_back(std::move(comment));
    }
}

nlohmann::json commentJson(const TodayComment& comment) {
    return {{"id", comment.id},
            {"no", comment.no},
            {"vposMs", comment.vposMs},
            {"body", comment.body},
            {"commands", comment.commands},
            {"userId", comment.userId},
            {"isPremium", comment.isPremium},
            {"score", comment.score},
            {"postedAt", japanTime(comment.postedAt)},
            {"nicoruCount", comment.nicoruCount},
            {"nicoruId", nullptr},
            {"source", "trunk"},
            {"isMyPost", false}};
}

}  // namespace

const std::vector<std::string>& CommentThreads::forkNames() {
    static const std::vector<std::string> names = {"owner", "main", "easy"};
    return names;
}

Result<CommentThreads> CommentThreads::fromXml(std::string_view xml, std::string threadId) {
    pugi::xml_document document;
    if (!document.load_buffer(xml.data(), xml.size()))
        return Failure{"the comment document is not XML"};
    CommentThreads threads;
    threads.threadId_ = std::move(threadId);
    threads.forks_.resize(forkNames().size());
    std::time_t earliest = 0;
    for (const pugi::xml_node chat : document.child("packet").children("chat")) {
        if (chat.attribute("deleted").as_int() != 0)
            continue;
        TodayComment comment;
        comment.no = chat.attribute("no").as_llong();
        comment.vposMs = chat.attribute("vpos").as_llong() * 10;
        comment.body = chat.text().get();
        comment.commands = splitWords(chat.attribute("mail").value());
        comment.userId = chat.attribute("user_id").value();
        comment.isPremium = chat.attribute("premium").as_int() == 1;
        comment.score = chat.attribute("score").as_llong();
        comment.postedAt = chat.attribute("date").as_llong();
        comment.nicoruCount = comment.no % 7 == 0 ? comment.no / 7 : 0;
        earliest = earliest == 0 ? comment.postedAt : std::min(earliest, comment.postedAt);
        threads.forks_[chat.attribute("fork").as_int() == 1 ? 0 : 1].push_back(std::move(comment));
    }
    if (earliest == 0)
        earliest = 1700000000;
    if (threads.forks_[0].empty())
        addDemoComments(threads.forks_[0], demoOwnerComments(), earliest - 3600, "owner");
    if (threads.forks_[2].empty())
        addDemoComments(threads.forks_[2], demoEasyComments(), earliest, "easy");
    for (size_t f = 0; f < threads.forks_.size(); ++f) {
        std::vector<TodayComment>& fork = threads.forks_[f];
        std::sort(fork.begin(), fork.end(),
                  [](const TodayComment& a, const TodayComment& b) { return a.no < b.no; });
        for (TodayComment& comment : fork)
            comment.id =
                std::to_string(1000000000LL + static_cast<long long>(f) * 100000000LL + comment.no);
    }
    return threads;
}

const std::vector<TodayComment>& CommentThreads::fork(const std::string& name) const {
    const auto& names = forkNames();
    static const std::vector<TodayComment> none;
    const size_t index = std::find(names.begin(), names.end(), name) - names.begin();
    return index < forks_.size() ? forks_[index] : none;
}

size_t CommentThreads::total() const {
    size_t count = 0;
    for (const auto& fork : forks_)
        count += fork.size();
    return count;
}

nlohmann::json CommentThreads::threadAnswer(const std::string& forkName,
                                            std::optional<long long> when, long resFrom,
                                            long pageSize) const {
    const std::vector<TodayComment>& all = fork(forkName);
    // The fork is sorted by number, which is posting order.
    std::vector<const TodayComment*> chosen;
    if (!when) {
        const size_t first =
            all.size() > kCurrentViewComments ? all.size() - kCurrentViewComments : 0;
        for (size_t i = first; i < all.size(); ++i)
            chosen.push_back(&all[i]);
    } else {
        for (const TodayComment& comment : all) {
            if (comment.postedAt <= *when && (resFrom <= 0 || comment.no >= resFrom))
                chosen.push_back(&comment);
        }
        const size_t wanted =
            std::min<size_t>(static_cast<size_t>(pageSize), resFrom < 0 ? -resFrom : pageSize);
        if (chosen.size() > wanted) {
            if (resFrom > 0)
                chosen.resize(wanted);
            else
                chosen.erase(chosen.begin(), chosen.end() - static_cast<long>(wanted));
        }
    }
    nlohmann::json comments = nlohmann::json::array();
    for (const TodayComment* comment : chosen)
        comments.push_back(commentJson(*comment));
    return {{"id", threadId_},
            {"fork", forkName},
            {"commentCount", all.size()},
            {"comments", std::move(comments)}};
}
