#pragma once
// Splits the encoder's output into the log records it writes for the job's log (lines in the form
// of formatLogLine, "[lumivox] LEVEL COMPONENT: text") and everything else (its status lines and
// messages), which goes on to the progress parser and the failure reason as before.
//
// Lines end in LF or CR. A log line that a read cut in two is held back until its end arrives, so
// that neither half reaches the progress parser; any other text passes on as it comes (the
// progress parser carries nothing over between chunks either). Worker thread only.

#include <string>
#include <string_view>
#include <vector>

#include "platform/log.h"

class EncoderOutput {
public:
    struct Split {
        std::string text;                // the output without the log lines, in order
        std::vector<LogRecord> records;  // the log lines' records, in order
    };

    // The next chunk of the encoder's output.
    Split add(std::string_view chunk);
    // The end of the output: a log line left without its line end.
    Split finish();

private:
    std::string pending_;  // the start of a line that may be a log line
};
