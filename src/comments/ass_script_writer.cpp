#include "comments/ass_script_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

#include "platform/replace_file.h"
#include "platform/text_conv.h"
#include "text/comment_style.h"

namespace {

constexpr std::u16string_view kTabExpansion = u"\u3000\u3000 ";
// Written between a backslash and the next character, so that comment text such as "\n" or "\N"
// shows as typed rather than as an override code. It has no width and draws nothing.
constexpr std::u16string_view kWordJoiner = u"\u2060";
// The largest font size the filter draws, in points (larger blocks count as damaged there).
constexpr int kMaxFontSizePt = 1000;

struct Rgb {
    uint8_t red = 255, green = 255, blue = 255;
};

std::optional<Rgb> parseColour(const std::string& text) {
    unsigned values[3];
    int used = 0;
    if (std::sscanf(text.c_str(), " %2x %2x %2x%n", &values[0], &values[1], &values[2], &used) !=
            3 ||
        text.find_first_not_of(' ', static_cast<size_t>(used)) != std::string::npos) {
        return std::nullopt;
    }
    return Rgb{static_cast<uint8_t>(values[0]), static_cast<uint8_t>(values[1]),
               static_cast<uint8_t>(values[2])};
}

// &HBBGGRR& as the override codes write colours.
std::string assColour(uint8_t red, uint8_t green, uint8_t blue) {
    char text[16];
    std::snprintf(text, sizeof text, "&H%02X%02X%02X&", blue, green, red);
    return text;
}

std::string timeText(int64_t cs) {
    cs = std::max<int64_t>(cs, 0);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld",
                  static_cast<long long>(cs / 360000), static_cast<long long>(cs / 6000 % 60),
                  static_cast<long long>(cs / 100 % 60), static_cast<long long>(cs % 100));
    return text;
}

// One line of comment text as event text: leading blanks as hard spaces (renderers trim
// ordinary ones), a brace as its escape and a backslash kept from starting a code.
std::u16string escapedLine(std::u16string_view line) {
    std::u16string out;
    bool lineStart = true;
    for (const char16_t c : line) {
        if (c == u'\r') {
            continue;
        }
        if (c == u' ' && lineStart) {
            out += u"\\h";
            continue;
        }
        lineStart = false;
        if (c == u'{' || c == u'}') {
            out += u'\\';
            out += c;
        } else if (c == u'\\') {
            out += c;
            out += kWordJoiner;
        } else {
            out += c;
        }
    }
    return out;
}

std::string number(double value);

// The comment text as event text: TABs expanded as for the filter, lines joined by \N, each
// line with its letter spacing when the font is at hand.
std::string eventText(std::u16string_view text, int sizePt, TextEngine* engine) {
    text = text.substr(0, text.find(u'\0'));
    std::u16string expanded;
    for (const char16_t c : text) {
        if (c == u'\t') {
            expanded += kTabExpansion;
        } else {
            expanded.push_back(c);
        }
    }
    std::u16string out;
    double spacing = 0;
    size_t start = 0;
    while (start <= expanded.size()) {
        size_t end = expanded.find(u'\n', start);
        if (end == std::u16string::npos) {
            end = expanded.size();
        }
        const std::u16string_view line = std::u16string_view(expanded).substr(start, end - start);
        if (engine && !line.empty()) {
            const TextEngine::LineAdvances advances = engine->lineAdvances(line, sizePt);
            const double wanted = advances.glyphs >= 2
                                      ? (advances.wholePixels - advances.exact) / advances.glyphs
                                      : 0.0;
            if (std::abs(wanted - spacing) >= 0.001) {
                spacing = wanted;
                out += utf8ToUtf16("{\\fsp" + number(spacing) + "}");
            }
        }
        out += escapedLine(line);
        if (end < expanded.size()) {
            out += u"\\N";
        }
        start = end + 1;
    }
    return isWellFormedUtf16(out) ? utf16ToUtf8(out) : std::string();
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') {
        s.pop_back();
    }
    return s;
}

// The font a comment is drawn in: the script's style font, or the comment's own face.
struct CommentFace {
    std::string family;  // "" for the style's font
    double lineHeightPerEm = 1.0;
    TextEngine* engine = nullptr;
};

class FaceTable {
public:
    explicit FaceTable(const AssScriptHeader& header) : header_(header) {}

    CommentFace faceOf(const OverlayItem& item) {
        if (item.faceFile.empty() || !header_.engine) {
            return {"", header_.lineHeightPerEm, header_.engine};
        }
        const std::string key = std::to_string(item.faceIndex) + ":" + item.faceFile;
        auto found = engines_.find(key);
        if (found == engines_.end()) {
            Result<std::unique_ptr<TextEngine>> opened =
                TextEngine::open(item.faceFile, item.faceIndex);
            found = engines_.emplace(key, opened ? std::move(*opened) : nullptr).first;
        }
        if (!found->second) {
            // The filter draws such a comment in the comment font, and so does the script.
            return {"", header_.lineHeightPerEm, header_.engine};
        }
        TextEngine& engine = *found->second;
        return {engine.familyName(), engine.lineHeightPerEm(), &engine};
    }

private:
    const AssScriptHeader& header_;
    std::map<std::string, std::unique_ptr<TextEngine>> engines_;
};

std::string dialogueLine(const AssScriptHeader& header, const OverlayItem& item, const Rgb& rgb,
                         const CommentFace& face) {
    const double fps = header.fps;
    const int64_t startCs = eventBoundaryCs(item.startFrame, fps);
    const int64_t endCs = eventBoundaryCs(item.endFrame, fps);
    const int em = emPixelsFor(item.fontSize);
    uint8_t outline[3];
    outlineColourFor(rgb.red, rgb.green, rgb.blue, outline);

    std::string codes = "{\\an7";
    if (item.position == 0) {
        // The filter draws a scrolling comment at x = width - speed * (frame - startFrame).
        const int64_t frames = item.endFrame - item.startFrame;
        const double startMs = static_cast<double>(startCs) * 10;
        const long long t1 = std::llround(frameTimeMs(item.startFrame, fps) - startMs);
        const long long t2 = std::llround(frameTimeMs(item.endFrame, fps) - startMs);
        const long long x1 = header.videoWidth;
        const long long x2 = x1 - static_cast<long long>(item.speed) * frames;
        codes += "\\move(" + std::to_string(x1) + "," + std::to_string(item.y) + "," +
                 std::to_string(x2) + "," + std::to_string(item.y) + "," + std::to_string(t1) +
                 "," + std::to_string(t2) + ")";
    } else {
        codes += "\\pos(" + std::to_string(item.x) + "," + std::to_string(item.y) + ")";
    }
    if (!face.family.empty()) {
        codes += "\\fn" + face.family;
    }
    codes += "\\fs" + number(em * face.lineHeightPerEm);
    codes += "\\c" + assColour(rgb.red, rgb.green, rgb.blue);
    codes += "\\3c" + assColour(outline[0], outline[1], outline[2]);
    codes += "\\bord" + std::to_string(outlineWidthFor(em));
    if (item.opacity < 255) {
        char alpha[16];
        std::snprintf(alpha, sizeof alpha, "\\alpha&H%02X&",
                      255 - std::clamp(item.opacity, 0, 255));
        codes += alpha;
    }
    codes += "}";
    // The owner's comments lie above all others, as the filter draws them.
    return std::string("Dialogue: ") + (item.owner ? "1," : "0,") + timeText(startCs) + "," +
           timeText(endCs) + ",Comment,,0,0,0,," + codes +
           eventText(item.text, item.fontSize, face.engine) + "\n";
}

}  // namespace

double frameTimeMs(int64_t frame, double fps) {
    return fps > 0 ? static_cast<double>(frame) * 1000.0 / fps : 0.0;
}

int64_t eventBoundaryCs(int64_t frame, double fps) {
    const double between = (frameTimeMs(frame - 1, fps) + frameTimeMs(frame, fps)) / 2;
    return std::max<int64_t>(0, std::llround(between / 10));
}

std::string composeAssScript(const AssScriptHeader& header, const ChatList& chats) {
    std::string out;
    out += "[Script Info]\n";
    out += "; The comments of the video as Lumivox lays them out\n";
    out += "ScriptType: v4.00+\n";
    out += "PlayResX: " + std::to_string(header.videoWidth) + "\n";
    out += "PlayResY: " + std::to_string(header.videoHeight) + "\n";
    out += "WrapStyle: 2\n";
    out += "ScaledBorderAndShadow: yes\n";
    out += "Kerning: no\n";
    out += "YCbCr Matrix: None\n\n";
    out += "[V4+ Styles]\n";
    out +=
        "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
        "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
        "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n";
    const std::string family = header.fontFamily.empty() ? "sans-serif" : header.fontFamily;
    out +=
        "Style: Comment," + family +
        ",24,&H00FFFFFF,&H00FFFFFF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,1,0,7,0,0,0,1\n\n";
    out += "[Events]\n";
    out += "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    if (header.fps <= 0) {
        return out;  // no frame rate, no times: the comments were never laid out
    }
    std::vector<size_t> order(chats.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return chats[a].startFrame < chats[b].startFrame; });
    FaceTable faces(header);
    for (const size_t i : order) {
        const OverlayItem& item = chats[i];
        const std::optional<Rgb> rgb = parseColour(item.colour);
        if (!rgb || item.fontSize < 1 || item.fontSize > kMaxFontSizePt ||
            item.endFrame <= item.startFrame || item.position < 0 || item.position > 2) {
            continue;
        }
        out += dialogueLine(header, item, *rgb, faces.faceOf(item));
    }
    return out;
}

Status writeAssScript(const std::string& path, const AssScriptHeader& header,
                      const ChatList& chats) {
    return replaceFile(path, composeAssScript(header, chats));
}
