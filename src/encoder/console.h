#pragma once
// Standard error, shared by the pipeline threads: each message and each status line leaves in
// one write, so that lines from different threads never mix.

#include <string>

namespace console {

// A message line ("\n" is added).
void message(const std::string& text);
// A status line: ends in "\r" while running, in "\n" when final.
void status(const std::string& line, bool final);

}  // namespace console
