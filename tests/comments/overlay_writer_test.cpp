#include "comments/overlay_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::string_literals;
using Strings = std::vector<std::string>;

namespace {

const OverlayHeader kHeader{"/usr/share/fonts/opentype/noto/", "NotoSansCJK-Regular.ttc", 18, 1,
                            512};
const std::string kHeaderText =
    "/usr/share/fonts/opentype/noto/\r\nNotoSansCJK-Regular.ttc\r\n18\r\n1\r\n512\r\n";

ChatRecord comment(std::u16string text, std::string mail = "") {
    ChatRecord record;
    record.text = std::move(text);
    record.mail = std::move(mail);
    return record;
}

Strings folderEntries(const fs::path& folder) {
    Strings names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// `text` split after every `end`; fails the test on text after the last end.
Strings split(const std::string& text, const std::string& end) {
    Strings parts;
    size_t start = 0;
    for (size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size()) {
        parts.push_back(text.substr(start, at - start));
    }
    EXPECT_EQ(start, text.size()) << "no line end or NUL after the last part";
    return parts;
}

// Writes the pair; returns comment.ini's CR LF lines (failing on a bare CR or LF in one) and
// data.ini's NUL-ended strings.
std::pair<Strings, Strings> writeAndRead(const TestTempFolder& folder, const ChatList& chats) {
    EXPECT_TRUE(writeOverlayFiles(folder.path().string(), kHeader, chats));
    const Strings lines = split(readBytes(folder / "comment.ini"), "\r\n");
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    }
    EXPECT_EQ(lines.size(), 5 + 10 * chats.size());
    return {lines, split(readBytes(folder / "data.ini"), std::string(1, '\0'))};
}

}  // namespace

TEST(OverlayWriter, WritesTenLinesPerCommentAndTheirTexts) {
    ChatRecord scrolling = comment(u"a\tb", "184 big red");
    scrolling.y = 37;
    scrolling.startFrame = 299;
    scrolling.speed = 4;
    scrolling.colour = "FF 00 00";
    scrolling.fontSize = 39;
    scrolling.vpos = 1000;
    scrolling.endFrame = 419;
    ChatRecord top = comment(u"上😀", "ue");
    top.position = 1;
    top.startFrame = 30;
    top.fontSize = 18;
    top.vpos = 100;
    top.endFrame = 120;
    top.x = 230;
    TestTempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(folder.path().string(), kHeader, {scrolling, top}));
    EXPECT_EQ(readBytes(folder / "comment.ini"),
              kHeaderText +
                  "184 big red\r\n0\r\n37\r\n299\r\n4\r\nFF 00 00\r\n39\r\n1000\r\n419\r\n-95\r\n"
                  "ue\r\n1\r\n0\r\n30\r\n0\r\nFF FF FF\r\n18\r\n100\r\n120\r\n230\r\n");
    // The TAB expanded to U+3000 U+3000 U+0020, the pair beyond the basic plane converted whole.
    EXPECT_EQ(readBytes(folder / "data.ini"), "a\xE3\x80\x80\xE3\x80\x80 b\0上\xF0\x9F\x98\x80\0"s);
}

TEST(OverlayWriter, BlocksAndStringsPairUpWhateverTheTextsAndMailsHold) {
    const ChatList chats = {
        comment(u"", "m0"),
        comment(u"一行目\n二行目\r\n三行目", "shita 赤 ｂｉｇ"),
        comment(std::u16string(u"bad \xD800 surrogate"), "184\r\nue\nred"),
        comment(u"", "m3"),
        comment(std::u16string(u"low \xDC00", 5), "m4"),
        comment(std::u16string(u"cut\0here", 8), "m5"),
        comment(u"last", "m6"),
    };
    TestTempFolder folder;
    const auto [lines, strings] = writeAndRead(folder, chats);
    EXPECT_EQ(strings, (Strings{"", "一行目\n二行目\r\n三行目", "", "", "", "cut", "last"}));
    ASSERT_EQ(lines.size(), 75u);
    const Strings mails{"m0", "shita 赤 ｂｉｇ", "184  ue red", "m3", "m4", "m5", "m6"};
    for (size_t i = 0; i < chats.size(); ++i) {
        EXPECT_EQ(lines[5 + i * 10], mails[i]);
        EXPECT_EQ(lines[6 + i * 10], "0");  // the position line stays where it belongs
    }
    const OverlayHeader header{"/fonts/with\nbreak/", "face\r.ttc", 0, 0, 0};
    EXPECT_EQ(composeCommentIni(header, {}), "/fonts/with break/\r\nface .ttc\r\n0\r\n0\r\n0\r\n");
}

TEST(OverlayWriter, FrameNumbersAreWrittenAsTheirLow32Bits) {
    ChatRecord record = comment(u"x");
    record.startFrame = -5;
    record.endFrame = (int64_t{1} << 32) + 7;
    ChatRecord beyond = comment(u"y");
    beyond.startFrame = int64_t{1} << 31;
    beyond.endFrame = 3000000000;
    ChatRecord negative = comment(u"z");
    negative.y = -1;
    negative.speed = -3;
    TestTempFolder folder;
    const Strings lines = writeAndRead(folder, {record, beyond, negative}).first;
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ((Strings{lines[8], lines[13], lines[18], lines[23], lines[27], lines[29]}),
              (Strings{"-5", "7", "-2147483648", "-1294967296", "-1", "-3"}));
}

TEST(OverlayWriter, ASecondWriteOfAnEmptyListLeavesTheHeaderAndAnEmptyDataFile) {
    TestTempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(folder.path().string(), kHeader,
                                  ChatList(50, comment(u"a long comment text"))));
    ASSERT_TRUE(writeOverlayFiles(folder.path().string(), kHeader, {}));
    EXPECT_EQ(readBytes(folder / "comment.ini"), kHeaderText);
    EXPECT_EQ(fs::file_size(folder / "data.ini"), 0u);
    EXPECT_EQ(folderEntries(folder.path()), (Strings{"comment.ini", "data.ini"}));
}

TEST(OverlayWriter, AFailureGivesFalseAndLeavesNoPairBehind) {
    TestTempFolder folder;
    // A folder in the way of either file: the other, old or new, must not stay to be read with
    // whatever stands beside it; the obstacle itself is left alone.
    for (const std::string blocked : {"data.ini", "comment.ini"}) {
        ASSERT_TRUE(writeOverlayFiles(folder.path().string(), kHeader, {comment(u"old job")}));
        fs::remove(folder / blocked);
        fs::create_directories(folder / blocked / "inside");
        EXPECT_FALSE(writeOverlayFiles(folder.path().string(), kHeader, {comment(u"new job")}));
        EXPECT_EQ(folderEntries(folder.path()), Strings{blocked});
        EXPECT_TRUE(fs::is_directory(folder / blocked / "inside"));
        fs::remove_all(folder / blocked);
    }
    ASSERT_TRUE(writeOverlayFiles(folder.path().string(), kHeader, {comment(u"next job")}));
    EXPECT_EQ(readBytes(folder / "data.ini"), "next job\0"s);
}
