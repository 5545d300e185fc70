#include "comments/comment_reader.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "platform/file_content.h"
#include "platform/text_conv.h"

namespace {

// pugixml's defaults give the texts the service's documents were always read with: CR LF and
// lone CR become LF (XML end-of-line handling), character and entity references are decoded,
// CDATA sections are kept, and text nodes made only of white space are dropped, as a DOM that
// does not preserve white space drops them. The per-node trim (parse_trim_pcdata) stays off:
// a chat's text is trimmed as a whole, after its references are decoded (see SubtreeText).
constexpr unsigned kParseOptions = pugi::parse_default;

// The part of a UTF-8 text that decides the first kMaxCommentUnits + 1 UTF-16 units of its
// conversion, so that a long text can be cut without converting all of it. Every UTF-8
// sequence, well formed or not, gives at least one unit and spans at most four bytes; a byte
// that is not a continuation byte always begins a new one. The prefix therefore ends at the
// (kMaxCommentUnits + 2)th such byte, or after 4 * (kMaxCommentUnits + 2) bytes, whichever
// comes first: the sequences before that point are complete and decode as in the whole text.
std::string_view commentPrefix(std::string_view text) {
    constexpr std::size_t kLeadBytes = kMaxCommentUnits + 2;
    const std::size_t limit = std::min(text.size(), 4 * kLeadBytes);
    std::size_t leadBytes = 0;
    for (std::size_t i = 0; i < limit; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++leadBytes == kLeadBytes) {
            return text.substr(0, i + 1);
        }
    }
    return text.substr(0, limit);
}

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isChatElement(const pugi::xml_node& node) {
    return node.type() == pugi::node_element && std::strcmp(node.name(), "chat") == 0;
}

// One run of character data (a text node or a CDATA section), as offsets into the text buffer
// of its SubtreeText. White space at the two ends of an element's text is trimmed, except
// inside CDATA sections, which the DOM takes as they stand: [contentBegin, contentEnd) is what
// remains of the run when it stands at both ends (empty when it is all white space).
struct TextRun {
    std::size_t contentBegin = 0;
    std::size_t contentEnd = 0;
    bool hasContent() const { return contentBegin < contentEnd; }
};

// A chat element and the runs of character data inside it: runs [firstRun, endRun).
struct ChatSpan {
    pugi::xml_node element;
    std::size_t firstRun = 0;
    std::size_t endRun = 0;
};

// All character data below one node, in document order and in one buffer, with the chat
// elements found on the way. Built in one iterative walk, so that neither deep nesting (no
// recursion) nor nested chat elements (no walk per chat) can overflow the stack or make
// reading slow: the text of any chat is then one slice of the buffer.
class SubtreeText {
public:
    // Walks the descendants of `root`; records the chat elements among them when `findChats`.
    SubtreeText(const pugi::xml_node& root, bool findChats) {
        walk(root, findChats);
        indexContent();
    }

    const std::vector<ChatSpan>& chats() const { return chats_; }
    std::size_t runCount() const { return runs_.size(); }

    // The text of runs [firstRun, endRun) in UTF-8, white space trimmed at both ends, cut to
    // its commentPrefix.
    std::string text(std::size_t firstRun, std::size_t endRun) const {
        if (firstRun >= endRun) {
            return {};
        }
        const std::size_t first = nextContent_[firstRun];
        if (first >= endRun) {
            return {};
        }
        const std::size_t last = previousContent_[endRun - 1];  // >= first: `first` has content
        const std::size_t begin = runs_[first].contentBegin;
        const std::size_t end = runs_[last].contentEnd;
        return std::string(commentPrefix(std::string_view(buffer_).substr(begin, end - begin)));
    }

private:
    void addRun(const pugi::xml_node& node) {
        TextRun run;
        run.contentBegin = buffer_.size();
        buffer_.append(node.value());
        run.contentEnd = buffer_.size();
        if (node.type() == pugi::node_pcdata) {
            while (run.contentBegin < run.contentEnd && isXmlSpace(buffer_[run.contentBegin])) {
                ++run.contentBegin;
            }
            while (run.contentEnd > run.contentBegin && isXmlSpace(buffer_[run.contentEnd - 1])) {
                --run.contentEnd;
            }
        }
        runs_.push_back(run);
    }

    void walk(const pugi::xml_node& root, bool findChats) {
        std::vector<std::size_t> openChats;  // indices into chats_ of the chats around `node`
        auto leave = [&](const pugi::xml_node& element) {
            if (findChats && isChatElement(element)) {
                chats_[openChats.back()].endRun = runs_.size();
                openChats.pop_back();
            }
        };
        pugi::xml_node node = root.first_child();
        while (node) {
            const pugi::xml_node_type type = node.type();
            if (type == pugi::node_pcdata || type == pugi::node_cdata) {
                addRun(node);
            } else if (type == pugi::node_element) {
                if (findChats && isChatElement(node)) {
                    openChats.push_back(chats_.size());
                    chats_.push_back({node, runs_.size(), runs_.size()});
                }
                if (node.first_child()) {
                    node = node.first_child();
                    continue;
                }
                leave(node);
            }
            while (node != root && !node.next_sibling()) {
                node = node.parent();
                if (node != root) {
                    leave(node);
                }
            }
            if (node == root) {
                break;
            }
            node = node.next_sibling();
        }
    }

    // For every run, the nearest run with content at or after it and at or before it, so that
    // trimming a chat's text costs nothing however much white space it holds.
    void indexContent() {
        const std::size_t count = runs_.size();
        nextContent_.assign(count, count);
        previousContent_.assign(count, 0);
        std::size_t next = count;
        for (std::size_t i = count; i-- > 0;) {
            if (runs_[i].hasContent()) {
                next = i;
            }
            nextContent_[i] = next;
        }
        std::size_t previous = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (runs_[i].hasContent()) {
                previous = i;
            }
            previousContent_[i] = previous;
        }
    }

    std::string buffer_;  // the character data of every run, one after the other
    std::vector<TextRun> runs_;
    std::vector<ChatSpan> chats_;
    std::vector<std::size_t> nextContent_;
    std::vector<std::size_t> previousContent_;
};

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// Keeps at most kMaxCommentUnits units, never half of a surrogate pair.
void cutToCommentLength(std::u16string& text) {
    if (text.size() <= kMaxCommentUnits) {
        return;
    }
    std::size_t length = kMaxCommentUnits;
    if (isHighSurrogate(text[length - 1])) {
        --length;
    }
    text.resize(length);
}

// Attribute values are the document's bytes as they stand; ill-formed UTF-8 among them is
// replaced here, so that no later step (searches, the overlay files, the filter lists) sees it.
std::string wellFormedUtf8(std::string_view text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        return std::string(text);
    }
    return utf16ToUtf8(utf8ToUtf16(text));
}

// An attribute's value, or `absent` when the element has no such attribute.
std::string_view attributeText(const pugi::xml_node& element, const char* name,
                               const char* absent = "") {
    const pugi::xml_attribute attribute = element.attribute(name);
    return attribute ? std::string_view(attribute.value()) : std::string_view(absent);
}

// Appends the record of `element` when it has a usable vpos. `textOf()` gives the element's
// text content in UTF-8 (see SubtreeText::text); it is not asked for elements without a vpos.
template <typename TextOf>
void appendChatRecord(const pugi::xml_node& element, const TextOf& textOf, ChatList& chats,
                      int32_t& arrivalCounter) {
    std::string mail = trimTrailingBlanks(wellFormedUtf8(attributeText(element, "mail")));
    const std::string vpos = trimTrailingBlanks(attributeText(element, "vpos"));
    const std::string date = trimTrailingBlanks(attributeText(element, "date"));
    const std::string no = trimTrailingBlanks(attributeText(element, "no"));
    const std::string premium = trimTrailingBlanks(attributeText(element, "premium", "0"));
    std::string userId = wellFormedUtf8(attributeText(element, "user_id"));
    if (vpos.empty() || stringToInt32(attributeText(element, "deleted", "0")) != 0) {
        return;  // a deleted chat is only a placeholder for its number
    }

    ChatRecord record;
    record.seq = arrivalCounter;
    record.text = utf8ToUtf16(textOf());
    cutToCommentLength(record.text);
    cleanCommentText(record.text);
    record.vpos = stringToInt32(vpos);
    record.date = stringToInt32(date);
    record.no = stringToInt32(no);
    record.premium = stringToInt32(premium);
    record.vposSec = record.vpos / 100;
    record.mail = std::move(mail);
    record.userId = std::move(userId);
    record.position = 0;
    record.colour = "FF FF FF";
    record.x = -95;
    record.owner = trimTrailingBlanks(attributeText(element, "fork")) == "1";
    chats.push_back(std::move(record));
    ++arrivalCounter;
}

// A well-formed document has exactly one element at its top; pugixml accepts several.
bool hasSingleDocumentElement(const pugi::xml_document& document) {
    int elements = 0;
    for (const pugi::xml_node& child : document.children()) {
        if (child.type() == pugi::node_element) {
            ++elements;
        }
    }
    return elements == 1;
}

// "line 3, column 7" of byte `offset` of `text` (both counted from 1; a column counts bytes).
std::string lineAndColumn(std::string_view text, ptrdiff_t offset) {
    int64_t line = 1;
    int64_t column = 1;
    for (ptrdiff_t at = 0; at < offset && static_cast<size_t>(at) < text.size(); ++at) {
        if (text[static_cast<size_t>(at)] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Reads the chats of a document that pugixml has just loaded from `source` with `result`.
Status readDocument(const pugi::xml_document& document, const pugi::xml_parse_result& result,
                    std::string_view source, const std::string& name, ChatList& chats,
                    int32_t& arrivalCounter) {
    if (!result) {
        return Failure{name + ": not well-formed XML at " + lineAndColumn(source, result.offset) +
                       " (" + result.description() + ")"};
    }
    if (!hasSingleDocumentElement(document)) {
        return Failure{name + ": not well-formed XML (not one document element)"};
    }
    const SubtreeText content(document.document_element(), true);
    chats.reserve(chats.size() + content.chats().size());
    for (const ChatSpan& chat : content.chats()) {
        const auto textOf = [&] { return content.text(chat.firstRun, chat.endRun); };
        appendChatRecord(chat.element, textOf, chats, arrivalCounter);
    }
    return {};
}

}  // namespace

Status readCommentXml(const std::string& path, ChatList& chats, int32_t& arrivalCounter) {
    try {
        // Through std::filesystem the UTF-8 path reaches the system in its own encoding.
        const std::filesystem::path file(
            std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
        // Only a regular file: pugixml would take a folder's size as its length, and a pipe
        // could block the job.
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(file, error);
        if (status.type() == std::filesystem::file_type::not_found) {
            return Failure{path + ": missing"};
        }
        if (!std::filesystem::is_regular_file(status)) {
            return Failure{path + ": not a regular file"};
        }
        pugi::xml_document document;
        // Read whole, so that a fault's line and column can be told from the same bytes.
        const Result<std::string> bytes = readWholeFile(file);
        if (!bytes) {
            return Failure{bytes.error()};
        }
        return readDocument(document,
                            document.load_buffer(bytes->data(), bytes->size(), kParseOptions),
                            *bytes, path, chats, arrivalCounter);
    } catch (const std::exception& e) {
        // Out of memory: the records read so far stay, the job goes on with them.
        return Failure{path + ": " + e.what()};
    }
}

Status readCommentXmlBytes(std::string_view bytes, const std::string& name, ChatList& chats,
                           int32_t& arrivalCounter) {
    try {
        pugi::xml_document document;
        return readDocument(document,
                            document.load_buffer(bytes.data(), bytes.size(), kParseOptions), bytes,
                            name, chats, arrivalCounter);
    } catch (const std::exception& e) {
        return Failure{name + ": " + e.what()};
    }
}

std::u16string commentTextOf(std::string_view utf8) {
    std::u16string text = utf8ToUtf16(commentPrefix(utf8));
    cutToCommentLength(text);
    cleanCommentText(text);
    return text;
}

void cleanCommentText(std::u16string& text) {
    const std::size_t firstOther = text.find_first_not_of(u'\n');
    if (firstOther != std::u16string::npos) {
        text.erase(0, firstOther);
    }
    while (!text.empty() && text.back() == u'\n') {
        text.pop_back();
    }
    for (char16_t& unit : text) {
        if (unit == u'\u3164') {
            unit = u'\u00A0';
        } else if (unit == u'\u0E3A' || unit == u'\u007F') {
            unit = u' ';
        }
    }
}
