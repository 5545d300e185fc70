#include "comments/comment_file.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <iterator>

#include "comments/comment_reader.h"
#include "comments/json_comment_reader.h"
#include "platform/file_content.h"

namespace {

// Larger files are refused rather than read into memory: a busy thread of a long video is a
// few hundred megabytes at most.
constexpr uint64_t kMaxCommentFileBytes = uint64_t{1} << 30;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool isJsonSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A UTF-16 byte-order mark: only an XML document is read in that encoding.
bool hasUtf16Mark(std::string_view bytes) {
    return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

std::string describeStart(std::string_view bytes) {
    if (bytes.empty()) {
        return "it is empty";
    }
    std::string shown;
    for (char c : bytes.substr(0, 12)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte >= 0x20 && byte < 0x7F ? std::string(1, c) : std::string(".");
    }
    return "it begins with \"" + shown + "\"";
}

// Removes what is never shown and numbers the rest in arrival order.
void settle(ChatList& read, ChatList& chats, int32_t& arrivalCounter) {
    std::erase_if(read, [](const ChatRecord& chat) { return chat.vpos < 0; });
    for (ChatRecord& chat : read) {
        chat.seq = arrivalCounter++;
    }
    if (chats.empty()) {
        chats.swap(read);  // the usual case: no copy of a large list
        return;
    }
    chats.reserve(chats.size() + read.size());
    std::move(read.begin(), read.end(), std::back_inserter(chats));
}

}  // namespace

std::string_view commentFileFormatName(CommentFileFormat format) {
    switch (format) {
        case CommentFileFormat::Xml:
            return "XML comment thread";
        case CommentFileFormat::TodayThreads:
            return "comment API threads";
        case CommentFileFormat::TodayList:
            return "list of today's comments";
        case CommentFileFormat::OldJsonList:
            return "old JSON comment list";
        case CommentFileFormat::FormattedList:
            return "formatted comment list";
        case CommentFileFormat::MixedList:
            return "mixed comment list";
    }
    return "comment file";
}

CommandVocabulary vocabularyOf(CommentFileFormat format) {
    return format == CommentFileFormat::Xml ? CommandVocabulary::Classic : CommandVocabulary::Today;
}

Result<CommentFileFormat> readCommentFile(const std::string& path, ChatList& chats,
                                          int32_t& arrivalCounter) {
    const std::filesystem::path file(
        std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
    Result<std::string> bytes = readWholeFile(file, kMaxCommentFileBytes);
    if (!bytes) {
        return Failure{"the comment file cannot be read: " + bytes.error()};
    }
    return readCommentBytes(std::move(*bytes), path, chats, arrivalCounter);
}

Result<CommentFileFormat> readCommentBytes(std::string bytes, const std::string& name,
                                           ChatList& chats, int32_t& arrivalCounter) {
    try {
        std::size_t start = bytes.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
        const std::size_t first =
            std::min(bytes.size(),
                     std::size_t(std::find_if_not(bytes.begin() + start, bytes.end(), isJsonSpace) -
                                 bytes.begin()));
        const char lead = first < bytes.size() ? bytes[first] : '\0';
        ChatList read;
        int32_t unused = 0;
        if (lead == '<' || hasUtf16Mark(bytes)) {
            if (Status xml = readCommentXmlBytes(bytes, name, read, unused); !xml) {
                return xml.failure();
            }
            settle(read, chats, arrivalCounter);
            return CommentFileFormat::Xml;
        }
        if (lead == '{' || lead == '[') {
            Result<CommentFileFormat> format = readJsonComments(bytes, start, name, read);
            if (format) {
                settle(read, chats, arrivalCounter);
            }
            return format;
        }
        return Failure{"not a comment file: " + name + " (" +
                       describeStart(std::string_view(bytes).substr(first)) +
                       "; expected an XML comment thread or the comment JSON of the service)"};
    } catch (const std::exception& e) {
        return Failure{name + ": " + e.what()};  // out of memory: nothing is added
    }
}
