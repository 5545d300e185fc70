#pragma once
// Form coding of the texts the service exchanges: the addresses in its answers are
// form-encoded, the login form is sent form-encoded, and the thread request is a line of XML.

#include <string>
#include <string_view>

// The byte two hexadecimal digit characters spell (first digit times 16 plus the second);
// a character that is no hexadecimal digit counts as 0.
char hexPairValue(char high, char low);

// Form decoding, byte by byte: "%" and two hexadecimal digits give the byte they spell; a "%"
// not followed by two hexadecimal digits is dropped together with the one character after it
// (so a "%" at the very end is dropped, and "%4" at the end loses both); "+" gives a blank;
// every other byte is copied.
std::string urlDecode(std::string_view text);

// application/x-www-form-urlencoded: letters, digits and "*-._" stay, a blank becomes "+", every
// other byte "%XX". What urlDecode turns back into `text`.
std::string formEncode(std::string_view text);

// `text` for a double- or single-quoted XML attribute: & < > " ' as entity references.
std::string xmlEscape(std::string_view text);
