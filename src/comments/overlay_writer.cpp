#include "comments/overlay_writer.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/replace_file.h"
#include "platform/text_conv.h"
#include "platform/work_file_names.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::u16string_view kTabExpansion = u"\u3000\u3000 ";

void appendLine(std::string& out, std::string_view text) {
    for (const char c : text) {
        out.push_back(c == '\r' || c == '\n' ? ' ' : c);
    }
    out += kLineEnd;
}

void appendLine(std::string& out, int64_t number) {
    appendLine(out, std::to_string(number));
}

// The low 32 bits as a signed number, as the filter reads frame numbers.
int32_t low32(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::u16string expandTabs(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c == u'\t') {
            out += kTabExpansion;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Removes a file (or a link) left by an earlier job; a folder of the same name is left alone.
void removeFile(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (fs::is_regular_file(status) || fs::is_symlink(status)) {
        fs::remove(path, error);
    }
}

}  // namespace

std::string composeCommentIni(const OverlayHeader& header, const ChatList& chats) {
    std::string out;
    out.reserve(128 + chats.size() * 64);
    appendLine(out, header.fontsFolder);
    appendLine(out, header.fontFile);
    appendLine(out, header.fontSizePt);
    appendLine(out, header.fontFaceIndex);
    appendLine(out, header.videoWidth);
    for (const OverlayItem& item : chats) {
        appendLine(out, item.mail);
        appendLine(out, item.position);
        appendLine(out, item.y);
        appendLine(out, low32(item.startFrame));
        appendLine(out, item.speed);
        appendLine(out, item.colour);
        appendLine(out, item.fontSize);
        appendLine(out, item.vpos);
        appendLine(out, low32(item.endFrame));
        appendLine(out, item.x);
    }
    return out;
}

std::string drawingValues(const OverlayItem& item) {
    std::string values;
    if (item.owner) {
        values += " owner=1";
    }
    if (item.opacity != 255) {
        values += " opacity=" + std::to_string(item.opacity);
    }
    if (!item.faceFile.empty()) {
        values += " face=" + std::to_string(item.faceIndex) + ":" + item.faceFile;
    }
    return values;
}

std::string composeDataIni(const ChatList& chats) {
    std::string out;
    for (const OverlayItem& item : chats) {
        std::u16string_view text = item.text;
        text = text.substr(0, text.find(u'\0'));
        if (isWellFormedUtf16(text)) {
            out += utf16ToUtf8(expandTabs(text));
        }
        out.push_back('\0');
    }
    bool marked = false;
    for (std::size_t block = 0; block < chats.size(); ++block) {
        const std::string values = drawingValues(chats[block]);
        if (values.empty()) {
            continue;
        }
        if (!marked) {
            out += kDrawingValuesMark;
            out.push_back('\0');
            marked = true;
        }
        out += std::to_string(block) + values;
        out.erase(
            std::remove(out.end() - static_cast<std::ptrdiff_t>(values.size()), out.end(), '\0'),
            out.end());
        out.push_back('\0');
    }
    return out;
}

Status writeOverlayFiles(const std::string& workFolder, const OverlayHeader& header,
                         const ChatList& chats) {
    const fs::path folder(workFolder);
    const fs::path commentIni = folder / kCommentIniFileName;
    const fs::path dataIni = folder / kDataIniFileName;
    // Without comment.ini the filter cannot start; with it, data.ini must be the matching one.
    removeFile(commentIni);
    Status written = replaceFile(dataIni, composeDataIni(chats));
    if (written) {
        written = replaceFile(commentIni, composeCommentIni(header, chats));
    }
    if (!written) {
        removeFile(commentIni);
        removeFile(dataIni);
    }
    return written;
}
