#pragma once
// Reads the service's comment thread document (comment.xml) into comment records. A chat
// marked deleted (non-zero `deleted`) is skipped; fork="1" marks the owner's comments.

#include <cstdint>
#include <string>
#include <string_view>

#include "comments/chat_record.h"
#include "platform/result.h"

// Appends one record per usable `chat` element of the file at `path`, in document order,
// numbering them from `arrivalCounter` on (which advances by one per record). A file that is
// missing, empty or not well-formed adds nothing and fails with the reason; it never throws.
//
// A chat's text is its character data (text and CDATA, its own and its descendants', in
// document order) with white space trimmed at both ends as a DOM that does not preserve white
// space reports it (CDATA sections keep theirs), cut to kMaxCommentUnits UTF-16 units without
// splitting a surrogate pair, then cleaned by cleanCommentText. Ill-formed UTF-8 in the text,
// mail and user ID becomes U+FFFD. Any depth of nesting is read without recursion.
Status readCommentXml(const std::string& path, ChatList& chats, int32_t& arrivalCounter);

// The same for a document already in memory; `name` stands for the file in messages.
Status readCommentXmlBytes(std::string_view bytes, const std::string& name, ChatList& chats,
                           int32_t& arrivalCounter);

// A comment text from UTF-8 as every reader keeps it: cut to kMaxCommentUnits UTF-16 units
// without splitting a surrogate pair, then cleaned by cleanCommentText.
std::u16string commentTextOf(std::string_view utf8);

// Cleans a comment text in place: leading and trailing line feeds, and the three characters
// that the service's player shows differently (U+3164, U+0E3A, U+007F).
void cleanCommentText(std::u16string& text);
