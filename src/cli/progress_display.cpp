#include "cli/progress_display.h"

namespace {

// Columns of a UTF-8 text on a terminal: East Asian wide characters (here: everything from
// U+1100 on that is not half-width) take two.
size_t terminalColumns(const std::string& text) {
    size_t columns = 0;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        char32_t code = lead;
        size_t length = 1;
        if (lead >= 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else if (lead >= 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xC0) {
            length = 2;
            code = lead & 0x1F;
        }
        for (size_t k = 1; k < length && i + k < text.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        const bool wide = code >= 0x1100 && !(code >= 0xFF61 && code <= 0xFFDC);
        columns += wide ? 2 : 1;
        i += length;
    }
    return columns;
}

}  // namespace

std::string ProgressDisplay::line(const std::string& name, int percent, int width) {
    if (percent < 0) {
        return name;
    }
    const int filled = percent >= 100 ? width : percent * width / 100;
    return name + " " + std::to_string(percent) + "% [" + std::string(filled, '#') +
           std::string(width - filled, ' ') + "]";
}

void ProgressDisplay::stage(const std::string& name) {
    stage_ = name;
    detail_.clear();
    percent_ = 0;
    lastPlainTenth_ = 0;
    if (terminal_) {
        redraw();
    } else {
        std::fprintf(stream_, "%s\n", name.c_str());
        std::fflush(stream_);
    }
}

void ProgressDisplay::progress(int percent, const std::string& detail) {
    const bool newDetail = !detail.empty() && detail != detail_;
    if (percent < 0 || percent > 100 || ((percent == percent_ || percent == 0) && !newDetail)) {
        return;
    }
    if (percent >= 1) {
        percent_ = percent;
    }
    if (!detail.empty()) {
        detail_ = detail;
    }
    if (terminal_) {
        redraw();
        return;
    }
    // Every tenth passed gets its line, also when the job jumped over some (a log reader
    // counts on seeing 10 % to 100 %); the detail goes with the last.
    const int tenth = percent / 10;
    for (int passed = lastPlainTenth_ + 1; passed <= tenth; ++passed) {
        std::fprintf(stream_, "%s %d%%%s\n", stage_.c_str(), passed * 10,
                     passed < tenth || detail_.empty() ? "" : ("  " + detail_).c_str());
    }
    if (tenth > lastPlainTenth_) {
        lastPlainTenth_ = tenth;
        std::fflush(stream_);
    }
}

void ProgressDisplay::redrawOpenStage() {
    if (terminal_ && !stage_.empty()) {
        redraw();
    }
}

void ProgressDisplay::complete() {
    if (!stage_.empty()) {
        progress(100);
    }
}

void ProgressDisplay::finish() {
    if (terminal_ && lineOpen_) {
        std::fputc('\n', stream_);
        std::fflush(stream_);
    }
    lineOpen_ = false;
    drawnColumns_ = 0;
}

void ProgressDisplay::redraw() {
    const std::string text = line(stage_, percent_) + (detail_.empty() ? "" : "  " + detail_);
    const size_t columns = terminalColumns(text);
    std::string padding(drawnColumns_ > columns ? drawnColumns_ - columns : 0, ' ');
    std::fprintf(stream_, "\r%s%s", text.c_str(), padding.c_str());
    std::fflush(stream_);
    drawnColumns_ = columns;
    lineOpen_ = true;
}
