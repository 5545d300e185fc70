#pragma once
// How a comment's lines stack: the rule the layout measures by and the renderer draws by.

#include <string_view>
#include <vector>

struct CommentLine {
    std::u16string_view text;  // the line without its line feed
    bool blank = false;        // an empty line: as tall and wide as "あ", nothing drawn
};

// The lines of `text` that take room, top to bottom: lines are split at U+000A; an empty
// line takes the room of "あ", but a third and further empty line in a row takes none (it
// is left out). An empty text is one blank line. The views point into `text`.
std::vector<CommentLine> splitCommentLines(std::u16string_view text);

// The text an empty line is measured as: "あ" (U+3042).
inline constexpr std::u16string_view kBlankLineStandIn = u"\u3042";
