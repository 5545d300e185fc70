#pragma once
// The JSON comment files: parses them with simdjson, tells their shape apart and reads every
// entry into a ChatRecord (see comment_file.h for the shapes).

#include <string>

#include "comments/chat_record.h"
#include "comments/comment_file.h"
#include "platform/result.h"

// Reads the JSON document in `bytes` (from `start`, after a byte-order mark) into `chats`
// (records without seq). `name` names the file in messages. Fails with one line: the byte
// offset of a fault in the JSON, or "not a comment file: ..." with what was expected. `bytes`
// may be reallocated to give the parser its padding, and is emptied once it is parsed.
Result<CommentFileFormat> readJsonComments(std::string& bytes, std::size_t start,
                                           const std::string& name, ChatList& chats);

// Offset of the first byte that is not part of well-formed UTF-8; the size when all is.
std::size_t firstIllFormedUtf8(std::string_view text);
