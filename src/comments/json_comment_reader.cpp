#include "comments/json_comment_reader.h"

#include <set>
#include <tuple>

#include <simdjson.h>

#include "comments/formatted_comment_reader.h"
#include "comments/old_json_comment_reader.h"
#include "comments/today_comment_reader.h"

namespace ondemand = simdjson::ondemand;
using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

namespace {

constexpr const char* kExpected =
    "expected the comment API's answer (data.threads), its threads array, or a list of "
    "comments";

// The nesting the parser accepts; deeper documents are refused as damaged.
constexpr std::size_t kMaxDepth = 1024;

enum class EntryKind { Old, Today, Formatted, Thread, Other };

EntryKind kindOf(element entry) {
    object fields;
    if (entry.get_object().get(fields) != simdjson::SUCCESS) {
        return EntryKind::Other;
    }
    if (isOldJsonEntry(fields)) {
        return EntryKind::Old;
    }
    if (isTodayComment(fields)) {
        return EntryKind::Today;
    }
    if (isTodayThread(fields)) {
        return EntryKind::Thread;
    }
    if (isFormattedComment(fields)) {
        return EntryKind::Formatted;
    }
    return EntryKind::Other;
}

const char* typeName(element value) {
    switch (value.type()) {
        case element_type::ARRAY:
            return "an array";
        case element_type::OBJECT:
            return "an object";
        case element_type::STRING:
            return "a string";
        case element_type::BOOL:
            return "a boolean";
        case element_type::NULL_VALUE:
            return "null";
        default:
            return "a number";
    }
}

Failure notACommentFile(const std::string& name, const std::string& found) {
    return Failure{"not a comment file: " + name + " (" + found + "; " + kExpected + ")"};
}

// Consumes `value` and everything in it, so that the iterator stops at the first fault.
simdjson::error_code walk(ondemand::value value, std::size_t depth) {
    if (depth > kMaxDepth) {
        return simdjson::DEPTH_ERROR;
    }
    ondemand::json_type type;
    if (auto error = value.type().get(type)) {
        return error;
    }
    switch (type) {
        case ondemand::json_type::array: {
            ondemand::array items;
            if (auto error = value.get_array().get(items)) {
                return error;
            }
            for (auto item : items) {
                ondemand::value child;
                if (auto error = item.get(child)) {
                    return error;
                }
                if (auto error = walk(child, depth + 1)) {
                    return error;
                }
            }
            return simdjson::SUCCESS;
        }
        case ondemand::json_type::object: {
            ondemand::object fields;
            if (auto error = value.get_object().get(fields)) {
                return error;
            }
            for (auto field : fields) {
                std::string_view key;
                if (auto error = field.unescaped_key().get(key)) {
                    return error;
                }
                ondemand::value child;
                if (auto error = field.value().get(child)) {
                    return error;
                }
                if (auto error = walk(child, depth + 1)) {
                    return error;
                }
            }
            return simdjson::SUCCESS;
        }
        case ondemand::json_type::string:
            return value.get_string().error();
        case ondemand::json_type::number:
            return value.get_number().error();
        case ondemand::json_type::boolean:
            return value.get_bool().error();
        case ondemand::json_type::null:
            return value.is_null().error();
    }
    return simdjson::SUCCESS;
}

// Where the document in `json` stops being JSON, as an offset from its start. The fast parser
// only says that it failed; the on-demand parser, walked through every value, stops at the
// fault and tells where.
std::size_t faultOffset(simdjson::padded_string_view json, simdjson::error_code domError) {
    if (domError == simdjson::UTF8_ERROR) {
        return firstIllFormedUtf8(std::string_view(json.data(), json.size()));
    }
    ondemand::parser parser;
    ondemand::document document;
    if (parser.iterate(json).get(document) != simdjson::SUCCESS) {
        return 0;
    }
    simdjson::error_code error = simdjson::SUCCESS;
    ondemand::json_type type;
    error = document.type().get(type);
    if (!error && (type == ondemand::json_type::array || type == ondemand::json_type::object)) {
        ondemand::value root;
        error = document.get_value().get(root);
        if (!error) {
            error = walk(root, 1);
        }
    }
    const char* at = nullptr;
    if (document.current_location().get(at) != simdjson::SUCCESS || at == nullptr) {
        return json.size();
    }
    (void)error;
    return static_cast<std::size_t>(at - json.data());
}

// Drops later copies of a comment: same number, same vpos, same text.
void dropExactDuplicates(ChatList& chats) {
    std::set<std::tuple<int32_t, int32_t, std::u16string>> seen;
    ChatList kept;
    kept.reserve(chats.size());
    for (ChatRecord& chat : chats) {
        if (seen.emplace(chat.no, chat.vpos, chat.text).second) {
            kept.push_back(std::move(chat));
        }
    }
    chats.swap(kept);
}

Result<CommentFileFormat> readThreads(array threads, const std::string& name, ChatList& chats) {
    std::size_t comments = 0;
    for (element thread : threads) {
        array list;
        if (thread.at_key("comments").get_array().get(list) == simdjson::SUCCESS) {
            comments += list.size();
        }
    }
    chats.reserve(chats.size() + comments);
    for (element thread : threads) {
        if (kindOf(thread) != EntryKind::Thread) {
            return notACommentFile(name, "a threads array holds an entry without comments");
        }
        appendTodayThread(thread.get_object().value_unsafe(), chats);
    }
    return CommentFileFormat::TodayThreads;
}

Result<CommentFileFormat> readList(array entries, const std::string& name, ChatList& chats) {
    chats.reserve(chats.size() + entries.size());
    std::size_t index = 0;
    bool kinds[3] = {false, false, false};  // old, today, formatted
    bool threads = false;
    for (element entry : entries) {
        const EntryKind kind = kindOf(entry);
        if (kind == EntryKind::Other) {
            return notACommentFile(name, "entry " + std::to_string(index) + " of the list is " +
                                             typeName(entry) + " that is no comment");
        }
        threads = threads || kind == EntryKind::Thread;
        if (kind != EntryKind::Thread) {
            kinds[static_cast<int>(kind)] = true;
        }
        ++index;
    }
    if (threads) {
        return readThreads(entries, name, chats);
    }
    for (element entry : entries) {
        const object fields = entry.get_object().value_unsafe();
        switch (kindOf(entry)) {
            case EntryKind::Old:
                appendOldJsonEntry(fields, chats);
                break;
            case EntryKind::Today:
                appendTodayComment(fields, false, chats);
                break;
            default:
                appendFormattedComment(fields, chats);
                break;
        }
    }
    const int kindCount = int(kinds[0]) + int(kinds[1]) + int(kinds[2]);
    if (kindCount > 1) {
        dropExactDuplicates(chats);
        return CommentFileFormat::MixedList;
    }
    if (kinds[0]) {
        return CommentFileFormat::OldJsonList;
    }
    return kinds[2] ? CommentFileFormat::FormattedList : CommentFileFormat::TodayList;
}

Result<CommentFileFormat> readRootObject(object root, const std::string& name, ChatList& chats) {
    array threads;
    if (root.at_pointer("/data/threads").get_array().get(threads) == simdjson::SUCCESS ||
        root.at_key("threads").get_array().get(threads) == simdjson::SUCCESS) {
        return readThreads(threads, name, chats);
    }
    return notACommentFile(name, "an object without data.threads");
}

}  // namespace

std::size_t firstIllFormedUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
        } else {
            return i;
        }
        if (i + length > text.size()) {
            return i;
        }
        uint32_t code = lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return i;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            return i;
        }
        i += length;
    }
    return text.size();
}

Result<CommentFileFormat> readJsonComments(std::string& bytes, std::size_t start,
                                           const std::string& name, ChatList& chats) {
    const std::size_t size = bytes.size() - start;
    bytes.reserve(bytes.size() + simdjson::SIMDJSON_PADDING);
    const simdjson::padded_string_view json(bytes.data() + start, size, bytes.capacity() - start);
    simdjson::dom::parser parser;
    element root;
    if (const simdjson::error_code error = parser.parse(json).get(root)) {
        return Failure{name + ": damaged JSON at byte " +
                       std::to_string(start + faultOffset(json, error)) + " (" +
                       simdjson::error_message(error) + ")"};
    }
    // The parser holds its own copy of every string: the file's bytes are no longer needed.
    std::string().swap(bytes);
    object rootObject;
    array rootArray;
    if (root.get_object().get(rootObject) == simdjson::SUCCESS) {
        return readRootObject(rootObject, name, chats);
    }
    if (root.get_array().get(rootArray) == simdjson::SUCCESS) {
        return readList(rootArray, name, chats);
    }
    return notACommentFile(name, std::string("the JSON is ") + typeName(root));
}
