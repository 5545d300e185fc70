// The files of a local render: what a dropped file is, and which comment file beside a video
// is taken, in which order.

#include "app/local_video_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(LocalVideoFilesTest, TheKindOfAFileComesFromItsExtensionInAnyLetterCase) {
    const struct {
        const char* name;
        LocalFileKind kind;
    } cases[] = {
        {"clip.mp4", LocalFileKind::Video},
        {"CLIP.FLV", LocalFileKind::Video},
        {"a.b.webm", LocalFileKind::Video},
        {"/x/y/sm9.Mkv", LocalFileKind::Video},
        {"clip.comments.json", LocalFileKind::CommentFile},
        {"clip.XML", LocalFileKind::CommentFile},
        {"notes.txt", LocalFileKind::Other},
        {"mp4", LocalFileKind::Other},
        {"clip.mp4.part", LocalFileKind::Other},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(localFileKindOf(c.name), c.kind) << c.name;
    }
}

// Each row adds the files present beside my.clip.mp4; the first candidate that is a file wins,
// in the order my.clip.comments.json, .json, .xml, my.clip.mp4.comments.json. A folder of a
// candidate's name or a file of another video does not count.
TEST(LocalVideoFilesTest, TheFirstCandidateThatIsAFileIsTaken) {
    const struct {
        std::vector<std::string> present;
        const char* taken;  // empty: none found
    } cases[] = {
        {{}, ""},
        {{"other.comments.json", "clip.comments.json", "my.clip.txt"}, ""},
        {{"my.clip.mp4.comments.json"}, "my.clip.mp4.comments.json"},
        {{"my.clip.xml", "my.clip.mp4.comments.json"}, "my.clip.xml"},
        {{"my.clip.json", "my.clip.xml"}, "my.clip.json"},
        {{"my.clip.comments.json", "my.clip.json", "my.clip.xml"}, "my.clip.comments.json"},
        {{"my.clip.comments.json/", "my.clip.xml"}, "my.clip.xml"},
    };
    for (const auto& c : cases) {
        TestTempFolder folder;
        for (const std::string& name : c.present) {
            if (name.back() == '/') {
                fs::create_directories(folder / name);
            } else {
                writeBytes(folder / name, "[]");
            }
        }
        const auto found = findCommentFileFor(folder / "my.clip.mp4");
        const std::string expected = c.taken;
        EXPECT_EQ(found ? found->filename().string() : "", expected)
            << ::testing::PrintToString(c.present);
        if (found) {
            EXPECT_EQ(found->parent_path(), folder.path());
        }
    }
}

}  // namespace
