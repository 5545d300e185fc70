#pragma once
// The page URL a start of the program brings with it, and its hand-over to an instance that
// already runs. The whole command tail is one URL: the arguments joined with blanks, nothing
// removed or trimmed. A hand-over carries the tag kCopyDataUrl and at most 1023 bytes of the
// URL (the 1024-byte buffer of the hand-over keeps its last byte for the terminator).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The tag of a URL handed to the running instance; data under any other tag is ignored.
inline constexpr uint32_t kCopyDataUrl = 1027;
// The size of the hand-over buffer, terminator included.
inline constexpr size_t kHandOverBufferBytes = 1024;
// The longest URL a hand-over carries, in bytes.
inline constexpr size_t kMaxHandOverUrlBytes = kHandOverBufferBytes - 1;

// The command tail as one text: `arguments` (without the program's own name) joined with one
// blank each. Empty when there are none.
std::string commandLineUrl(const std::vector<std::string>& arguments);

// `url` as a hand-over carries it: its first 1023 bytes, cut back to the start of a UTF-8
// character that would otherwise be cut in two.
std::string handOverText(std::string_view url);

// The URL in the data of a received hand-over: the text up to its first zero byte, at most
// 1023 bytes (cut as handOverText cuts).
std::string receivedHandOverText(std::string_view data);

// True when `url` begins with "http://" or "https://" in any letter case, or is a bare video ID
// ("sm9"): such a text starts a job by itself when it is handed over, given on the command line
// or taken from the download queue.
bool startsAJob(std::string_view url);
