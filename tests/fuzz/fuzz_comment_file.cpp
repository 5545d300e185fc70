// Any bytes as a comment file: the XML thread and every JSON shape, found from the content.

#include <cstddef>
#include <cstdint>
#include <string>

#include "comments/comment_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ChatList chats;
    int32_t arrivalCounter = 0;
    const Result<CommentFileFormat> read = readCommentBytes(
        std::string(reinterpret_cast<const char*>(data), size), "fuzz", chats, arrivalCounter);
    if (read && static_cast<size_t>(arrivalCounter) < chats.size()) {
        __builtin_trap();  // every record read got its arrival index
    }
    return 0;
}
