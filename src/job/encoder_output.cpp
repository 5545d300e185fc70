#include "job/encoder_output.h"

namespace {

constexpr std::string_view kLogPrefix = "[lumivox] ";

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// True while `start` may still become a log line: it is the prefix, or a beginning of it.
bool mayBeLogLine(std::string_view start) {
    return start.substr(0, kLogPrefix.size()) == kLogPrefix.substr(0, start.size());
}

}  // namespace

EncoderOutput::Split EncoderOutput::add(std::string_view chunk) {
    Split split;
    std::string data = std::move(pending_);
    pending_.clear();
    data.append(chunk);
    size_t lineStart = 0;
    while (lineStart < data.size()) {
        size_t end = lineStart;
        while (end < data.size() && !isLineEnd(data[end])) {
            ++end;
        }
        const std::string_view line(data.data() + lineStart, end - lineStart);
        const bool maybeLog = mayBeLogLine(line);
        if (end == data.size()) {
            // An unfinished line: a log line waits for its end; other text passes on.
            (maybeLog ? pending_ : split.text).append(line);
            break;
        }
        std::optional<LogRecord> record;
        if (maybeLog && line.size() >= kLogPrefix.size()) {
            record = parseLogLine(line);
        }
        if (record) {
            split.records.push_back(std::move(*record));
        } else {
            split.text.append(line);
            split.text += data[end];
        }
        lineStart = end + 1;
    }
    return split;
}

EncoderOutput::Split EncoderOutput::finish() {
    Split split;
    if (std::optional<LogRecord> record = parseLogLine(pending_)) {
        split.records.push_back(std::move(*record));
    } else {
        split.text = pending_;
    }
    pending_.clear();
    return split;
}
