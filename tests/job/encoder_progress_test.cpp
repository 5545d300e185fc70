#include "job/encoder_progress.h"
#include "job/movie_length_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

TEST(EncoderProgressPercent, ReadsTheFirstFrameNumberOfAChunkLikeStrtolIntoA32BitLong) {
    const std::optional<int> none;
    const std::vector<std::tuple<std::string, int64_t, std::optional<int>>> cases = {
        {"frame=   12 fps", 600, 2},
        {"frame=  300 fps= 75 q=4.0 size=    1024kB time=10.01 bitrate= 838.1kbits/s    \r", 600,
         50},
        {"frame=599 fps=0.0", 600, 99},                                    // truncated, not rounded
        {"Input #0, flv, from 'sm9.flv':\nframe=  60 fps=30\r", 120, 50},  // after banners
        {"FRAME=  30 FPS=15", 60, 50},
        {"frame=\t45 q=2.0", 90, 50},                       // without "fps" a blank ends the number
        {"keyframe=6 fps frame=60 fps", 60, 10},            // the first "frame=" wins
        {"frame=  10 fps=5\rframe=  20 fps=5\r", 100, 10},  // only the first value counts
        {"Press [q] to stop encoding\n", 600, none},
        {"frame=  12", 600, none},  // the number may go on in the next chunk
        {"frame=", 600, none},
        {std::string("frame=  12\0 fps", 15), 600, none},  // nothing after a NUL byte is read
        {"frame=   12 fps", 0, none},                      // no total: the probe failed
        {"frame=   12 fps", -5, none},
        {"frame= N/A fps", 600, 0},     // no digits: 0
        {"frame= 1200 fps", 600, 200},  // beyond the total: the caller's
        {"frame= -5 fps", 600, none},   // a negative product gives nothing
        // frame × 100 wraps in 32 bits: 2147483700 is negative there, 4294967300 wraps to 4.
        {"frame= 21474837 fps", 1, none},
        {"frame= 42949673 fps", 1, 4},
        {"frame= 99999999999 fps", 1, none},  // clamps to 2147483647 first; × 100 wraps to -100
        {"frame= 100 fps", int64_t{1} << 40, 0},  // the quotient is taken in 64 bits
    };
    for (const auto& [chunk, total, percent] : cases) {
        EXPECT_EQ(encoderProgressPercent(chunk, total), percent) << chunk << " / " << total;
    }
}

TEST(EncodedFrameCounter, TheLastWholeStatusLineCountsWhereverTheChunksCutIt) {
    const struct {
        std::vector<std::string> chunks;
        std::optional<int64_t> last;
    } cases[] = {
        {{"frame=  300 fps=600 q=2.0\r", "frame=  6", "00 fps=600 Lsize=9kB\n"}, 600},
        {{"FRAME=12 FPS=1\rframe=  30 fps=1\r", "Unknown encoder 'x'\n"}, 30},
        {{"frame=  40 fps=1\r", "frame=  41"}, 41},  // the unfinished last line counts at the end
        {{"frame=  40 fps=1\r", "frame=abc fps=1\r", "frame=  7x\n"}, 40},
        {{"[libx264 @ 0x1] frame I:1\n", "no status\n"}, std::nullopt},
    };
    for (const auto& c : cases) {
        EncodedFrameCounter counter;
        for (const std::string& chunk : c.chunks) {
            counter.add(chunk);
        }
        EXPECT_EQ(counter.last(), c.last) << c.chunks[0];
    }
}

TEST(EncodedFrameTotal, AFrameLimitInTheArgumentsShortensTheTotal) {
    const struct {
        const char* arguments;
        int64_t total;
    } cases[] = {
        {" -y -i \"<%InputFile%>\" -vcodec png -frames:v 1 \"<%TemporaryFile%>.png\"", 1},
        {"-i in -vframes 250 out.avi", 250},
        {"-i in -vframes 250 -frames:v 20 out.avi", 20},  // the last one counts
        {"-i in -frames:v 9000 out.avi", 3000},           // not more than the video has
        {"-i in -frames:v x out.avi", 3000},              // no number: no limit
        {"-i in -frames:v", 3000},
        {"-i in -r 24 -t 10 out.avi", 3000},
        {"-i \"a -frames:v 5.flv\" out.avi", 3000},  // a file name is no option
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodedFrameTotal(c.arguments, 3000), c.total) << c.arguments;
    }
}
