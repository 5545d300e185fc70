#include "app/comment_count_texts.h"

namespace {

std::string n(int64_t value) {
    return std::to_string(value);
}

std::string periodText(const CommentPeriod& period, const char* separator) {
    return describePeriodTime(period.start) + separator + describePeriodTime(period.end);
}

std::string cliReason(const CommentCounts& c, const CommentPeriod& period) {
    switch (c.emptyReason()) {
        case CommentCounts::EmptyReason::Period:
            return "the comment period " + periodText(period, " .. ") + " removed " +
                   n(c.removedByPeriod) + " of the " + n(c.read) +
                   " comments read (by default only the last three years are kept); "
                   "--all-periods, or --period-start and --period-end, take them in";
        case CommentCounts::EmptyReason::NgList:
            return "the NG list removed " + n(c.removedByNg) + " of the " + n(c.read) +
                   " comments read; leave out the --ng options to keep them";
        case CommentCounts::EmptyReason::ExtractList:
            return "none of the comments left is by a user of the extract list (" +
                   n(c.removedByExtract) +
                   " removed); leave out the --extract options to keep every user";
        case CommentCounts::EmptyReason::CountCap:
            return "the count cap removed " + n(c.removedByCap) + " of the " + n(c.read) +
                   " comments read; --no-old turns it off";
        case CommentCounts::EmptyReason::NotShown:
            break;
    }
    return "none of the " + n(c.notShown) +
           " comments left falls within the video's time or has a text to draw";
}

std::string windowReason(const CommentCounts& c, const CommentPeriod& period) {
    switch (c.emptyReason()) {
        case CommentCounts::EmptyReason::Period:
            return "抽出期間 (" + periodText(period, " ～ ") + ") の外のコメント " +
                   n(c.removedByPeriod) + " 件が除かれました。「コメント」の" +
                   "コメント抽出設定で期間を広げると表示されます";
        case CommentCounts::EmptyReason::NgList:
            return "NGID のコメント " + n(c.removedByNg) +
                   " 件が除かれました。コメント抽出設定の NGID を見直してください";
        case CommentCounts::EmptyReason::ExtractList:
            return "抽出ID のユーザーのコメントがありません (" + n(c.removedByExtract) +
                   " 件除外)。コメント抽出設定の抽出ID を見直してください";
        case CommentCounts::EmptyReason::CountCap:
            return "「古いコメントを表示しない」で " + n(c.removedByCap) +
                   " 件が除かれました。チェックを外すと表示されます";
        case CommentCounts::EmptyReason::NotShown:
            break;
    }
    return "動画の時間内に表示できるコメントがありません (" + n(c.notShown) + " 件)";
}

}  // namespace

std::string commentCountLine(const CommentCounts& c, FrontEnd frontEnd) {
    if (frontEnd == FrontEnd::CommandLine) {
        return "comments: " + describeCommentCounts(c);
    }
    return "コメント: 読込 " + n(c.read) + " / 除外 期間 " + n(c.removedByPeriod) + "・NGID " +
           n(c.removedByNg) + "・抽出ID " + n(c.removedByExtract) + "・件数制限 " +
           n(c.removedByCap) + " / 非表示 " + n(c.notShown) + " / 表示 " + n(c.drawn);
}

std::optional<std::string> noCommentDrawnLine(const CommentCounts& counts,
                                              const CommentPeriod& period, FrontEnd frontEnd) {
    if (!counts.nothingDrawn()) {
        return std::nullopt;
    }
    if (frontEnd == FrontEnd::CommandLine) {
        return "no comment is drawn: " + cliReason(counts, period);
    }
    return "コメントは描かれません: " + windowReason(counts, period);
}
