#pragma once
// What the front ends say about a job's comments once they are laid out: one line of counts and,
// when comments were read but none is drawn, one line saying why and what to change. The command
// line speaks English and names its options; the window speaks Japanese and names its controls.

#include <optional>
#include <string>

#include "app/comment_period.h"
#include "comments/comment_counts.h"

enum class FrontEnd { CommandLine, Window };

// "comments: read 175, removed: period 175, ...; drawn 0" or
// "コメント: 読込 175 / 除外 期間 175・NGID 0・抽出ID 0・件数制限 0 / 非表示 0 / 表示 175".
std::string commentCountLine(const CommentCounts& counts, FrontEnd frontEnd);

// Why no comment is drawn and how to change it; nothing when some is drawn or none was read.
// `period` is the job's, named when it removed the comments.
std::optional<std::string> noCommentDrawnLine(const CommentCounts& counts,
                                              const CommentPeriod& period, FrontEnd frontEnd);
