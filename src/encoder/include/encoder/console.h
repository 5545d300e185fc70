#pragma once
// Standard error, shared by the pipeline threads: each message and each status line leaves in
// one write, so that lines from different threads never mix.

#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace console {

// Messages above this libav log level (AV_LOG_INFO by default) are not shown; -loglevel sets it.
void setLevel(int level);
// A message line ("\n" is added) of the given weight: AV_LOG_ERROR, AV_LOG_WARNING, AV_LOG_INFO.
void message(const std::string& text, int level = AV_LOG_ERROR);
// A line as it stands, whatever the level: the log lines for the job (formatLogLine).
void line(const std::string& text);
// A status line (shown at the info level): ends in "\r" while running, in "\n" when final.
void status(const std::string& line, bool final);

}  // namespace console
