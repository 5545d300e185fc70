#pragma once
// Reading the service's answers: the getflv answer is one text of key=value pairs joined by "&".

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The value behind the first occurrence of `searched` (for instance "&url=" or "thread_id="),
// up to the next "&". Nothing when `searched` is missing or no "&" follows the value: a pair
// at the very end of the answer does not count. The value is not decoded.
std::optional<std::string> answerValue(std::string_view answer, std::string_view searched);

// The text of an answer read in chunks of `chunkBytes`, each chunk taken as a zero-terminated
// text: within every chunk, whatever follows its first zero byte is dropped.
std::string textOfChunks(std::string_view raw, size_t chunkBytes);

// The chunk size in which the getflv answer is read.
inline constexpr size_t kLookupChunkBytes = 1024;
