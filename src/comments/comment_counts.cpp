#include "comments/comment_counts.h"

#include <array>
#include <utility>

CommentCounts::EmptyReason CommentCounts::emptyReason() const {
    // In the order the steps run, so that a tie names the step that came first.
    const std::array<std::pair<int64_t, EmptyReason>, 5> steps{{
        {removedByCap, EmptyReason::CountCap},
        {removedByPeriod, EmptyReason::Period},
        {removedByNg, EmptyReason::NgList},
        {removedByExtract, EmptyReason::ExtractList},
        {notShown, EmptyReason::NotShown},
    }};
    std::pair<int64_t, EmptyReason> most = steps[0];
    for (const auto& step : steps) {
        if (step.first > most.first) {
            most = step;
        }
    }
    return most.second;
}

std::string describeCommentCounts(const CommentCounts& c) {
    return "read " + std::to_string(c.read) + ", removed: period " +
           std::to_string(c.removedByPeriod) + ", NG list " + std::to_string(c.removedByNg) +
           ", extract list " + std::to_string(c.removedByExtract) + ", count cap " +
           std::to_string(c.removedByCap) + "; not shown " + std::to_string(c.notShown) +
           "; drawn " + std::to_string(c.drawn);
}
