#include "text/comment_lines.h"

namespace {

// Empty lines in a row beyond this many take no room.
constexpr int kEmptyLinesThatCount = 2;

}  // namespace

std::vector<CommentLine> splitCommentLines(std::u16string_view text) {
    std::vector<CommentLine> lines;
    int emptyInARow = 0;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(u'\n', start);
        const std::u16string_view line = text.substr(
            start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
        if (!line.empty()) {
            emptyInARow = 0;
            lines.push_back({line, false});
        } else if (++emptyInARow <= kEmptyLinesThatCount) {
            lines.push_back({line, true});
        }
        if (end == std::u16string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}
