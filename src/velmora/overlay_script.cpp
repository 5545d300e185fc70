#include "velmora/overlay_script.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "platform/file_content.h"
#include "platform/text_conv.h"
#include "platform/work_file_names.h"

namespace {

constexpr int kHeaderLines = 5;
constexpr int kBlockLines = 10;
// A mail text holding a line break spreads over more than one line; the reader looks this
// many lines further for a block whose numbers read cleanly before it gives the block up.
constexpr int kMaxExtraMailLines = 3;

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// A signed decimal that fits 32 bits, blanks around it allowed, nothing else.
std::optional<int32_t> parseInt32(std::string_view text) {
    const std::string trimmed = trimBlanks(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    const char* begin = trimmed.data();
    const char* end = begin + trimmed.size();
    if (*begin == '+') {
        ++begin;
    }
    int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

struct Rgb {
    uint8_t red, green, blue;
};

// "RR GG BB": three hexadecimal byte values separated by blanks.
std::optional<Rgb> parseColour(std::string_view text) {
    uint8_t bytes[3] = {};
    std::size_t pos = 0;
    for (uint8_t& byte : bytes) {
        while (pos < text.size() && isBlank(text[pos])) {
            ++pos;
        }
        const std::size_t start = pos;
        while (pos < text.size() && !isBlank(text[pos])) {
            ++pos;
        }
        if (pos - start < 1 || pos - start > 2) {
            return std::nullopt;
        }
        unsigned value = 0;
        const auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + pos, value, 16);
        if (ec != std::errc() || ptr != text.data() + pos) {
            return std::nullopt;
        }
        byte = static_cast<uint8_t>(value);
    }
    while (pos < text.size() && isBlank(text[pos])) {
        ++pos;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    return Rgb{bytes[0], bytes[1], bytes[2]};
}

// The nine number lines of a block, read without judging their values.
struct BlockNumbers {
    int32_t position, y, startFrame, speed, fontSize, vpos, endFrame, x;
    Rgb colour;
};

// `lines` starts at the line after the mail and holds at least nine lines.
std::optional<BlockNumbers> readBlockNumbers(const std::vector<std::string_view>& lines,
                                             std::size_t first) {
    const auto position = parseInt32(lines[first]);
    const auto y = parseInt32(lines[first + 1]);
    const auto startFrame = parseInt32(lines[first + 2]);
    const auto speed = parseInt32(lines[first + 3]);
    const auto colour = parseColour(lines[first + 4]);
    const auto fontSize = parseInt32(lines[first + 5]);
    const auto vpos = parseInt32(lines[first + 6]);
    const auto endFrame = parseInt32(lines[first + 7]);
    const auto x = parseInt32(lines[first + 8]);
    if (!position || *position < 0 || *position > 2 || !y || !startFrame || !speed || !colour ||
        !fontSize || !vpos || !endFrame || !x) {
        return std::nullopt;
    }
    return BlockNumbers{*position, *y,        *startFrame, *speed, *fontSize,
                        *vpos,     *endFrame, *x,          *colour};
}

std::string blockName(int32_t block) {
    return "block " + std::to_string(block + 1);
}

// Returns the reason a block with well-formed numbers cannot be drawn, or "" when it can.
std::string judgeBlock(const BlockNumbers& numbers) {
    if (numbers.fontSize < 1 || numbers.fontSize > kMaxFontSizePt) {
        return "font size " + std::to_string(numbers.fontSize) + " pt is outside 1.." +
               std::to_string(kMaxFontSizePt);
    }
    if (numbers.endFrame < numbers.startFrame) {
        return "it ends (frame " + std::to_string(numbers.endFrame) + ") before it starts (frame " +
               std::to_string(numbers.startFrame) + ")";
    }
    return "";
}

std::vector<std::string_view> splitStrings(std::string_view data) {
    std::vector<std::string_view> strings;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find('\0', start);
        if (end == std::string_view::npos) {
            end = data.size();  // a last string without its NUL still counts
        }
        strings.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

int32_t headerNumber(std::string_view line, const char* what, OverlayScript& script) {
    const auto value = parseInt32(line);
    if (!value) {
        script.problems.push_back(std::string("header: the ") + what + " \"" + std::string(line) +
                                  "\" is not a number; 0 is used");
        return 0;
    }
    return *value;
}

// One string of extra drawing values: "BLOCK key=value ... [face=INDEX:PATH]".
void applyDrawingValues(std::string_view line, std::vector<OverlayComment>& comments,
                        OverlayScript& script) {
    const std::size_t blank = line.find(' ');
    const auto block = parseInt32(line.substr(0, blank));
    // The comments stand in block order: a binary search finds the one named.
    const auto comment =
        std::lower_bound(comments.begin(), comments.end(), block.value_or(0),
                         [](const OverlayComment& c, int32_t wanted) { return c.block < wanted; });
    if (!block || blank == std::string_view::npos) {
        script.problems.push_back("data.ini: drawing values \"" + std::string(line) +
                                  "\" name no block; ignored");
        return;
    }
    if (comment == comments.end() || comment->block != *block) {
        return;  // a comment that is not drawn
    }
    std::string_view rest = line.substr(blank + 1);
    while (!rest.empty()) {
        if (rest.starts_with("face=")) {
            const std::string_view value = rest.substr(5);
            const std::size_t colon = value.find(':');
            const auto index = parseInt32(value.substr(0, colon));
            if (index && colon != std::string_view::npos) {
                comment->faceIndex = *index;
                comment->faceFile = std::string(value.substr(colon + 1));
            }
            return;
        }
        const std::size_t end = std::min(rest.find(' '), rest.size());
        const std::string_view item = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        const std::size_t equals = item.find('=');
        const auto value = parseInt32(item.substr(std::min(equals + 1, item.size())));
        if (equals == std::string_view::npos || !value) {
            continue;
        }
        if (item.starts_with("owner=")) {
            comment->owner = *value != 0;
        } else if (item.starts_with("opacity=")) {
            comment->opacity = static_cast<uint8_t>(std::clamp(*value, 0, 255));
        }
    }
}

}  // namespace

Result<OverlayScript> parseOverlayScript(std::string_view commentIni, std::string_view dataIni) {
    OverlayScript script;
    const std::vector<std::string_view> lines = splitLines(commentIni);
    if (lines.size() < kHeaderLines) {
        return Failure{"comment.ini has no complete header (" + std::to_string(lines.size()) +
                       " of 5 lines)"};
    }
    OverlayScriptHeader& header = script.header;
    header.fontsFolder = std::string(lines[0]);
    header.fontFile = trimBlanks(lines[1]);
    header.baseSizePt = headerNumber(lines[2], "base font size", script);
    header.faceIndex = headerNumber(lines[3], "face index", script);
    header.videoWidth = headerNumber(lines[4], "video width", script);

    const std::vector<std::string_view> texts = splitStrings(dataIni);
    script.textCount = static_cast<int32_t>(texts.size());

    int32_t withoutText = 0;
    std::size_t line = kHeaderLines;
    for (int32_t block = 0; line < lines.size(); ++block) {
        script.blockCount = block + 1;
        const std::size_t remaining = lines.size() - line;
        if (remaining < kBlockLines) {
            script.problems.push_back("comment.ini ends inside " + blockName(block) + " (" +
                                      std::to_string(remaining) + " of 10 lines); it is skipped");
            break;
        }
        std::optional<BlockNumbers> numbers;
        int extra = 0;
        for (; extra <= kMaxExtraMailLines && remaining >= kBlockLines + std::size_t(extra);
             ++extra) {
            numbers = readBlockNumbers(lines, line + 1 + extra);
            if (numbers) {
                break;
            }
        }
        if (!numbers) {
            script.problems.push_back(blockName(block) +
                                      ": its numbers cannot be read; it is skipped");
            line += kBlockLines;
            continue;
        }
        if (extra > 0) {
            script.problems.push_back(blockName(block) + ": its mail text spans " +
                                      std::to_string(extra + 1) + " lines");
        }
        line += kBlockLines + extra;

        const std::string reason = judgeBlock(*numbers);
        if (!reason.empty()) {
            script.problems.push_back(blockName(block) + ": " + reason + "; it is skipped");
            continue;
        }
        if (numbers->endFrame == numbers->startFrame) {
            continue;  // shown on no frame (the files of a job whose probe failed look so)
        }
        if (block >= script.textCount) {
            ++withoutText;
            continue;
        }
        OverlayComment comment;
        comment.block = block;
        comment.position = numbers->position;
        comment.x = numbers->x;
        comment.y = numbers->y;
        comment.startFrame = numbers->startFrame;
        comment.endFrame = numbers->endFrame;
        comment.speed = numbers->speed;
        comment.red = numbers->colour.red;
        comment.green = numbers->colour.green;
        comment.blue = numbers->colour.blue;
        comment.fontSize = numbers->fontSize;
        comment.text = utf8ToUtf16(texts[block]);
        script.comments.push_back(std::move(comment));
    }
    const auto blocks = static_cast<std::size_t>(script.blockCount);
    if (texts.size() > blocks && texts[blocks] == kDrawingValuesMark) {
        for (std::size_t i = blocks + 1; i < texts.size(); ++i) {
            applyDrawingValues(texts[i], script.comments, script);
        }
    }
    if (withoutText > 0) {
        script.problems.push_back(
            std::to_string(withoutText) +
            (withoutText == 1 ? " comment has no text" : " comments have no text") +
            " in data.ini (it holds " + std::to_string(script.textCount) + " strings for " +
            std::to_string(script.blockCount) + " blocks); skipped");
    }
    return script;
}

Result<OverlayScript> readOverlayScript(const std::string& commentPath,
                                        const std::string& dataPath) {
    const Result<std::string> commentIni = readWholeFile(commentPath);
    if (!commentIni) {
        return Failure{"cannot read the comment file \"" + commentPath + "\" (" +
                       commentIni.error() + ")"};
    }
    const Result<std::string> dataIni = readWholeFile(dataPath);
    Result<OverlayScript> script =
        parseOverlayScript(*commentIni, dataIni ? std::string_view(*dataIni) : std::string_view());
    if (!script) {
        return Failure{script.error() + " (\"" + commentPath + "\")"};
    }
    if (!dataIni && script->blockCount > 0) {
        return Failure{"cannot read the comment text file \"" + dataPath + "\" (" +
                       dataIni.error() + ")"};
    }
    return script;
}

std::string overlayFontPath(const OverlayScriptHeader& header) {
    std::string folder = header.fontsFolder;
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) {
        folder.pop_back();
    }
    if (folder.empty()) {
        return header.fontFile;
    }
    return folder + "/" + header.fontFile;
}
