#pragma once
// Reads any comment file people keep beside a video into the job's comment records. The format
// is found from the content, never from the file name:
//  - XML: a comment thread document (`<packet>` with `<chat>` elements), read by
//    readCommentXml's rules;
//  - JSON: the answer of the service's comment API today (an object with data.threads[], or
//    only its threads array), a flat list of today's comments, the old JSON list of one-key
//    objects ({"chat": {...}}, {"thread": {...}}, ...), the flat "formatted" list, or a list
//    that mixes these entries (exact duplicates are then dropped).
// Every format gives the same ChatRecord list. Comments with a negative vpos (files re-timed
// for an earlier cut of the video) and deleted ones are left out.

#include <cstdint>
#include <string>
#include <string_view>

#include "comments/chat_record.h"
#include "comments/comment_commands.h"
#include "platform/result.h"

enum class CommentFileFormat {
    Xml,            // <packet><chat ...>
    TodayThreads,   // {"data": {"threads": [...]}}, {"threads": [...]} or [{"fork": .., "comments":
                    // [..]}]
    TodayList,      // [{"id", "no", "vposMs", "body", "commands", ...}, ...]
    OldJsonList,    // [{"thread": {...}}, {"chat": {...}}, ...]
    FormattedList,  // [{"id", "vpos", "content", "mail": [...], "owner", ...}, ...]
    MixedList,      // a list holding entries of more than one of the three lists above
};

// A short English name of the format, for the log.
std::string_view commentFileFormatName(CommentFileFormat format);

// The command words a file's comments were written for: the XML thread's era or today's.
CommandVocabulary vocabularyOf(CommentFileFormat format);

// Appends the comments of the file at `path` (UTF-8) to `chats`, numbering them from
// `arrivalCounter` on, and tells which format it held. All or nothing: a file that cannot be
// read, is damaged or is no comment file leaves `chats` and the counter as they were and fails
// with one line that names the file: "not a comment file: PATH (...)" with what was expected,
// or, for a damaged JSON file, the byte offset of the fault.
Result<CommentFileFormat> readCommentFile(const std::string& path, ChatList& chats,
                                          int32_t& arrivalCounter);

// The same for a file's bytes already in memory; `name` stands for the file in messages.
Result<CommentFileFormat> readCommentBytes(std::string bytes, const std::string& name,
                                           ChatList& chats, int32_t& arrivalCounter);
