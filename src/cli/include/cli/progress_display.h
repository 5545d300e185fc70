#pragma once
// Shows the progress of a job on standard error: on a terminal one line redrawn in place
// ("エンコード中... 45% [#########           ]"), elsewhere (a log file, a pipe) a plain line
// per stage and per tenth of the way.

#include <cstdio>
#include <string>

class ProgressDisplay {
public:
    ProgressDisplay(std::FILE* stream, bool terminal) : stream_(stream), terminal_(terminal) {}

    // A new stage begins ("エンコード中..."), at 0 % and without a known total yet.
    void stage(const std::string& name);
    // Progress of the current stage; values outside 1..100 are ignored, as the job may post
    // frames beyond the probed count. `detail` ("12/30 segments, ...") follows the bar; a new
    // detail alone redraws the terminal's line.
    void progress(int percent, const std::string& detail = {});
    // Draws the current stage's line again after a message interrupted it (terminal only).
    void redrawOpenStage();
    // The current stage has completed: shows 100 % (nothing when no stage began).
    void complete();
    // Ends the redrawn line, so that messages that follow start on a line of their own.
    void finish();

    // The line for a stage at `percent` (below 0: no percentage known): the name, the
    // percentage and a bar of `width` cells.
    static std::string line(const std::string& name, int percent, int width = 20);

private:
    void redraw();

    std::FILE* stream_;
    bool terminal_;
    std::string stage_;
    std::string detail_;
    int percent_ = -1;
    int lastPlainTenth_ = 0;
    size_t drawnColumns_ = 0;  // columns of the line on the terminal, to blank what is left
    bool lineOpen_ = false;
};
