// Joining today's separate video and audio renditions into one MP4 by stream copy: fragmented
// MP4 renditions made with Debian's ffmpeg as the service sends them, the joined file checked
// with ffprobe, a stop and a missing rendition leaving no movie behind.

#include "job/rendition_join.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "job_test_support.h"
#include "support/missing_tool.h"

namespace fs = std::filesystem;

namespace {

std::string shellOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
            output += buffer;
        }
        pclose(pipe);
    }
    return output;
}

class RenditionJoinTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string fragmented =
            " -movflags +frag_keyframe+empty_moov+default_base_moof -f mp4 ";
        const int made = std::system(
            ("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=320x240:r=30:d=3 -c:v libx264 "
             "-g 30 -pix_fmt yuv420p" +
             fragmented + "'" + video.string() + "' && " +
             "ffmpeg -nostdin -v error -y -f lavfi -i sine=f=440:d=3 -c:a aac" + fragmented + "'" +
             audio.string() + "'")
                .c_str());
        if (made != 0) {
            SKIP_FOR_MISSING_TOOL("Debian's ffmpeg with libx264 and ffprobe");
        }
    }

    // "codec_type,packet count" of each stream of `file`, one per line.
    static std::string streamsOf(const fs::path& file) {
        return shellOutput(
            "ffprobe -v error -count_packets -show_entries "
            "stream=codec_type,nb_read_packets -of csv=p=0 '" +
            file.string() + "'");
    }

    TestTempFolder folder;
    const fs::path video = folder / "sm9.video.mp4";
    const fs::path audio = folder / "sm9.audio.m4a";
    const fs::path movie = folder / "sm9.mp4";
};

TEST_F(RenditionJoinTest, TheMovieHoldsEveryPacketOfBothRenditions) {
    const Status joined =
        joinRenditions(LUMIVOX_PROGRAM_DIR, video.string(), audio.string(), movie.string(), {});
    ASSERT_TRUE(joined) << joined.error();
    const std::string videoStreams = streamsOf(video);
    const std::string audioStreams = streamsOf(audio);
    ASSERT_EQ(videoStreams.rfind("video,", 0), 0u) << videoStreams;
    ASSERT_EQ(audioStreams.rfind("audio,", 0), 0u) << audioStreams;
    EXPECT_EQ(streamsOf(movie), videoStreams + audioStreams);
    EXPECT_FALSE(fs::exists(movie.string() + ".part"));
}

TEST_F(RenditionJoinTest, AStopOrAMissingRenditionLeavesNoMovie) {
    const Status stopped = joinRenditions(LUMIVOX_PROGRAM_DIR, video.string(), audio.string(),
                                          movie.string(), [] { return true; });
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.error(), "stopped");
    fs::remove(audio);
    const Status missing =
        joinRenditions(LUMIVOX_PROGRAM_DIR, video.string(), audio.string(), movie.string(), {});
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find(audio.string()), std::string::npos) << missing.error();
    EXPECT_FALSE(fs::exists(movie));
    EXPECT_FALSE(fs::exists(movie.string() + ".part"));
}

}  // namespace
