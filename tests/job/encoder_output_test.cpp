// The encoder's output split into its log lines and the rest: log lines become records whole,
// even when a read cuts them, and never reach the progress parser; everything else passes on
// as it came.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job/encoder_output.h"
#include "job/encoder_progress.h"

namespace {

struct Collected {
    std::string text;
    std::vector<std::string> records;  // "level component: text"
};

Collected feed(const std::vector<std::string>& chunks) {
    EncoderOutput output;
    Collected all;
    const auto take = [&all](const EncoderOutput::Split& split) {
        all.text += split.text;
        for (const LogRecord& r : split.records) {
            all.records.push_back(std::string(logLevelName(r.level)) + " " +
                                  logComponentName(r.component) + ": " + r.text);
        }
    };
    for (const std::string& chunk : chunks) {
        take(output.add(chunk));
    }
    take(output.finish());
    return all;
}

TEST(EncoderOutput, LogLinesBecomeRecordsAndTheRestPassesOn) {
    const std::string log = "[lumivox] warning filter: frame=99 fps=1 is no status\n";
    const std::string status = "frame=   30 fps= 29 q=2.0 size= 100kB\r";
    const struct {
        std::vector<std::string> chunks;
        std::string text;
        std::vector<std::string> records;
    } cases[] = {
        {{status + log + "Unknown encoder 'x'\n"},
         status + "Unknown encoder 'x'\n",
         {"warning filter: frame=99 fps=1 is no status"}},
        // A log line cut anywhere, even inside its prefix, still comes whole.
        {{status + "[lum", "ivox] info encoder: FFm", "peg -y\n" + status},
         status + status,
         {"info encoder: FFmpeg -y"}},
        {{"[lumivox] error job: a\r\n[lumivox] debug filter: b\n"},
         "\n",
         {"error job: a", "debug filter: b"}},
        // Lines that only look like log lines pass on.
        {{"[libx264 @ 0x1] using cpu\n", "[lumivox] loud nobody: x\n"},
         "[libx264 @ 0x1] using cpu\n[lumivox] loud nobody: x\n",
         {}},
        // At the end, a log line without its line end is still a record; other text passes.
        {{"[lumivox] info encoder: last"}, "", {"info encoder: last"}},
        {{"frame=  3 fps"}, "frame=  3 fps", {}},
    };
    for (const auto& c : cases) {
        const Collected got = feed(c.chunks);
        EXPECT_EQ(got.text, c.text) << c.chunks[0];
        EXPECT_EQ(got.records, c.records) << c.chunks[0];
    }
    // A log line's frame numbers move no progress.
    EXPECT_FALSE(
        encoderProgressPercent(feed({"[lumivox] warning filter: frame=99 fps=1\n"}).text, 100));
}

}  // namespace
