#include "comments/overlay_writer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "lumivox-overlay-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    std::string string() const { return path_.string(); }

private:
    fs::path path_;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// comment.ini split at its CR LF line ends; fails the test on a bare CR or LF.
std::vector<std::string> commentIniLines(const fs::path& folder) {
    const std::string text = readFile(folder / "comment.ini");
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
        EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos) << lines.back();
    }
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

// The NUL-terminated strings of data.ini; fails the test when the file does not end in a NUL.
std::vector<std::string> dataIniStrings(const fs::path& folder) {
    const std::string data = readFile(folder / "data.ini");
    std::vector<std::string> strings;
    size_t start = 0;
    for (size_t end; (end = data.find('\0', start)) != std::string::npos; start = end + 1) {
        strings.push_back(data.substr(start, end - start));
    }
    EXPECT_EQ(start, data.size()) << "data.ini does not end in a NUL";
    return strings;
}

const OverlayHeader kHeader{"/usr/share/fonts/opentype/noto/", "NotoSansCJK-Regular.ttc", 18, 1,
                            512};

ChatRecord comment(std::u16string text, std::string mail = "") {
    ChatRecord record;
    record.text = std::move(text);
    record.mail = std::move(mail);
    return record;
}

const std::string kHeaderText =
    "/usr/share/fonts/opentype/noto/\r\nNotoSansCJK-Regular.ttc\r\n18\r\n1\r\n512\r\n";

}  // namespace

TEST(OverlayWriter, AnEmptyListGivesTheHeaderAndAnEmptyDataFile) {
    TempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, {}));
    EXPECT_EQ(readFile(folder.path() / "comment.ini"), kHeaderText);
    EXPECT_TRUE(fs::exists(folder.path() / "data.ini"));
    EXPECT_EQ(fs::file_size(folder.path() / "data.ini"), 0u);
    // Nothing but the pair is left in the folder.
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"comment.ini", "data.ini"}));
}

TEST(OverlayWriter, WritesTenLinesPerCommentInTheirOrder) {
    ChatRecord scrolling = comment(u"8888", "184 big red");
    scrolling.position = 0;
    scrolling.y = 37;
    scrolling.startFrame = 299;
    scrolling.speed = 4;
    scrolling.colour = "FF 00 00";
    scrolling.fontSize = 39;
    scrolling.vpos = 1000;
    scrolling.endFrame = 419;
    scrolling.x = -95;
    ChatRecord top = comment(u"上", "ue");
    top.position = 1;
    top.startFrame = 30;
    top.colour = "FF FF FF";
    top.fontSize = 18;
    top.vpos = 100;
    top.endFrame = 120;
    top.x = 230;
    TempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, {scrolling, top}));
    EXPECT_EQ(readFile(folder.path() / "comment.ini"),
              kHeaderText +
                  "184 big red\r\n0\r\n37\r\n299\r\n4\r\nFF 00 00\r\n39\r\n1000\r\n419\r\n-95\r\n"
                  "ue\r\n1\r\n0\r\n30\r\n0\r\nFF FF FF\r\n18\r\n100\r\n120\r\n230\r\n");
    EXPECT_EQ(readFile(folder.path() / "data.ini"), std::string("8888\0上\0", 9));
}

TEST(OverlayWriter, ExpandsTabsAndEncodesTheTextAsUtf8) {
    TempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, {comment(u"a\tb")}));
    EXPECT_EQ(readFile(folder.path() / "data.ini"),
              std::string("\x61\xE3\x80\x80\xE3\x80\x80\x20\x62\x00", 10));
    // Characters beyond the basic plane (surrogate pairs) are converted whole.
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, {comment(u"😀w")}));
    EXPECT_EQ(readFile(folder.path() / "data.ini"), std::string("\xF0\x9F\x98\x80w\0", 6));
}

TEST(OverlayWriter, LineFeedsStayInTheTextAndOutOfCommentIni) {
    TempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader,
                                  {comment(u"一行目\n二行目\r\n三行目"), comment(u"next")}));
    EXPECT_EQ(dataIniStrings(folder.path()),
              (std::vector<std::string>{"一行目\n二行目\r\n三行目", "next"}));
    const std::string ini = readFile(folder.path() / "comment.ini");
    EXPECT_EQ(ini.find("行目"), std::string::npos);
    EXPECT_EQ(commentIniLines(folder.path()).size(), 5u + 2 * 10);
}

TEST(OverlayWriter, BlocksAndStringsPairUpAlsoAroundEmptyAndUnconvertibleTexts) {
    ChatList chats = {
        comment(u"", "m0"),
        comment(u"one", "m1"),
        comment(std::u16string(u"bad \xD800 surrogate"), "m2"),
        comment(u"", "m3"),
        comment(std::u16string(u"low \xDC00", 5), "m4"),
        comment(std::u16string(u"cut\0here", 8), "m5"),
        comment(u"last", "m6"),
    };
    TempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, chats));
    const std::vector<std::string> strings = dataIniStrings(folder.path());
    EXPECT_EQ(strings, (std::vector<std::string>{"", "one", "", "", "", "cut", "last"}));
    const std::vector<std::string> lines = commentIniLines(folder.path());
    ASSERT_EQ(lines.size(), 5u + chats.size() * 10);
    for (size_t i = 0; i < chats.size(); ++i) {
        EXPECT_EQ(lines[5 + i * 10], "m" + std::to_string(i));
    }
}

TEST(OverlayWriter, MailIsWrittenByteForByteOnOneLine) {
    TempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(
        folder.string(), kHeader,
        {comment(u"x", "shita 赤 ｂｉｇ"), comment(u"y", "184\r\nue\nred"), comment(u"z", "big")}));
    const std::vector<std::string> lines = commentIniLines(folder.path());
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ(lines[5], "shita 赤 ｂｉｇ");
    EXPECT_EQ(lines[15], "184  ue red");
    EXPECT_EQ(lines[16], "0");  // the position line stays where it belongs
    EXPECT_EQ(lines[25], "big");
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
    negative.x = -95;
    negative.speed = -3;
    TempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, {record, beyond, negative}));
    const std::vector<std::string> lines = commentIniLines(folder.path());
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ(lines[5 + 3], "-5");
    EXPECT_EQ(lines[5 + 8], "7");
    EXPECT_EQ(lines[15 + 3], "-2147483648");
    EXPECT_EQ(lines[15 + 8], "-1294967296");
    EXPECT_EQ(lines[25 + 2], "-1");
    EXPECT_EQ(lines[25 + 4], "-3");
    EXPECT_EQ(lines[25 + 9], "-95");
}

TEST(OverlayWriter, ASecondWriteReplacesTheFilesCompletely) {
    TempFolder folder;
    ChatList many;
    for (int i = 0; i < 50; ++i) {
        many.push_back(comment(u"a long comment text " + std::u16string(1, u'0' + i % 10)));
    }
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, many));
    OverlayHeader second = kHeader;
    second.videoWidth = 640;
    ASSERT_TRUE(writeOverlayFiles(folder.string(), second, {comment(u"b")}));
    EXPECT_EQ(readFile(folder.path() / "data.ini"), std::string("b\0", 2));
    const std::vector<std::string> lines = commentIniLines(folder.path());
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[4], "640");
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"comment.ini", "data.ini"}));
}

TEST(OverlayWriter, AFolderThatCannotBeWrittenGivesFalse) {
    // A path below a regular file cannot be a folder, whoever runs the test.
    TempFolder folder;
    const fs::path file = folder.path() / "lumivox.ini";
    std::ofstream(file) << "[Lumivox]\r\n";
    EXPECT_FALSE(writeOverlayFiles((file / "work").string(), kHeader, {comment(u"x")}));
    EXPECT_FALSE(writeOverlayFiles((folder.path() / "missing").string(), kHeader, {}));
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"lumivox.ini"});
}

TEST(OverlayWriter, AFailureLeavesNoPairBehind) {
    TempFolder folder;
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, {comment(u"old job")}));
    // A folder where data.ini should go: the new data.ini cannot be written, and the old
    // comment.ini must not stay to be read with whatever data.ini there is.
    fs::remove(folder.path() / "data.ini");
    fs::create_directories(folder.path() / "data.ini" / "inside");
    EXPECT_FALSE(writeOverlayFiles(folder.string(), kHeader, {comment(u"new job")}));
    EXPECT_FALSE(fs::exists(folder.path() / "comment.ini"));
    EXPECT_TRUE(fs::is_directory(folder.path() / "data.ini" / "inside"));  // left alone
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"data.ini"});
    fs::remove_all(folder.path() / "data.ini");

    // The same for comment.ini: data.ini is written first and must be taken away again.
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, {comment(u"old job")}));
    fs::remove(folder.path() / "comment.ini");
    fs::create_directories(folder.path() / "comment.ini" / "inside");
    EXPECT_FALSE(writeOverlayFiles(folder.string(), kHeader, {comment(u"new job")}));
    EXPECT_FALSE(fs::exists(folder.path() / "data.ini"));
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"comment.ini"});
    fs::remove_all(folder.path() / "comment.ini");

    // Once the obstacle is gone, the pair is written again.
    ASSERT_TRUE(writeOverlayFiles(folder.string(), kHeader, {comment(u"next job")}));
    EXPECT_EQ(readFile(folder.path() / "data.ini"), std::string("next job\0", 9));
}

TEST(OverlayWriter, TextFieldsOfTheHeaderStayOnTheirLines) {
    const OverlayHeader header{"/fonts/with\nbreak/", "face\r.ttc", 0, 0, 0};
    EXPECT_EQ(composeCommentIni(header, {}), "/fonts/with break/\r\nface .ttc\r\n0\r\n0\r\n0\r\n");
}
