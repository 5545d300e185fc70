#pragma once
// Argument texts of the encoder templates are written for the Windows command line. They are
// split into argv by the same rules on every system, so that a template means the same
// everywhere, and paths are quoted for those rules when they are put into such a text.

#include <string>
#include <string_view>
#include <vector>

// Splits `text` into arguments the way the Microsoft C runtime (2008 and later) splits the
// arguments that follow the program name:
//  - blanks (space, tab) outside double quotes separate arguments; runs of them count as one;
//  - a double quote switches quoting on or off and is not part of the argument;
//  - inside quotes, two double quotes in a row give one literal double quote;
//  - 2n backslashes before a double quote give n backslashes, and the quote acts as above;
//    2n+1 backslashes before a double quote give n backslashes and a literal double quote;
//  - backslashes anywhere else are literal;
//  - "" on its own is an empty argument.
// The text ends at its first NUL byte, as a C string would. Bytes other than the blanks,
// backslash and double quote are copied as they are, so UTF-8 passes through unchanged.
std::vector<std::string> splitCommandLine(std::string_view text);

// The text to put between two double quotes of an argument text so that `splitCommandLine`
// gives back exactly `argument`: literal double quotes are escaped, and backslashes that would
// otherwise escape a quote (before a literal quote, or at the end, before the closing quote)
// are doubled. Text without double quotes and without a trailing backslash comes back as is.
// `closingQuoteFollows` false: the text is followed by more of the argument rather than by the
// closing quote, so trailing backslashes are literal and stay single.
std::string escapeForQuotes(std::string_view argument, bool closingQuoteFollows = true);

// `argument` in double quotes, escaped as above: one argument of an argument text.
std::string quoteArgument(std::string_view argument);
