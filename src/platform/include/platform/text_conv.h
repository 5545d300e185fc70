#pragma once
// Text helpers used everywhere: UTF-8 <-> UTF-16, blank trimming, and the C library's lenient
// integer reading. 8-bit texts are UTF-8 (the system code page here).

#include <cstdint>
#include <string>
#include <string_view>

// Invalid input never fails: ill-formed sequences become U+FFFD, lone surrogates too.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

// True when `utf16` is well formed (no lone surrogates), so that it converts exactly.
bool isWellFormedUtf16(std::u16string_view utf16);

// The six single-byte blanks: space, tab, line feed, vertical tab, form feed, carriage return.
bool isBlank(char c);
std::string trimBlanks(std::string_view text);          // both ends
std::string trimTrailingBlanks(std::string_view text);  // end only

// strtol's reading: optional leading blanks and sign, then decimal digits up to the first other
// character; 0 when there are no digits. Values beyond the range clamp like strtol does.
long stringToLong(std::string_view text);
// The same, narrowed to 32 bits the way the platform's 32-bit long would hold it.
int32_t stringToInt32(std::string_view text);

// The longest beginning of `text` of at most `maxBytes` bytes that does not end inside a UTF-8
// character. A text that is no UTF-8 where it is cut is cut at `maxBytes` as it stands.
std::string_view cutUtf8(std::string_view text, size_t maxBytes);

// ASCII-only lower-casing; bytes of multi-byte characters stay as they are.
std::string asciiLower(std::string_view text);
// True when `text` begins with `prefix`, ASCII letters compared without regard to case.
bool startsWithNoCase(std::string_view text, std::string_view prefix);
