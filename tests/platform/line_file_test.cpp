// List files: what is written comes back line for line, a byte-order mark included.

#include "platform/line_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

using Lines = std::vector<std::string>;
const std::string kMark = "\xEF\xBB\xBF";

TEST(LineFile, WrittenLinesComeBackUnchangedAndAnEditorsMarkIsDropped) {
    TestTempFolder folder;
    const auto file = folder / "download.sav";
    const Lines cases[] = {{"sm9", "", "sm10 "}, {kMark + "sm9", "sm10"}, {kMark}, {}};
    for (const Lines& lines : cases) {
        ASSERT_TRUE(writeLineFile(file, lines));
        const Result<Lines> read = readLineFile(file);
        ASSERT_TRUE(read);
        EXPECT_EQ(*read, lines);
    }
    // An ordinary list is written without a mark.
    ASSERT_TRUE(writeLineFile(file, {"sm9"}));
    EXPECT_EQ(readBytes(file), "sm9\r\n");
    // A mark an editor put in front is no part of the first line; LF alone ends a line too.
    writeBytes(file, kMark + "sm9\nsm10");
    EXPECT_EQ(*readLineFile(file), (Lines{"sm9", "sm10"}));
}

}  // namespace
