#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <string>

#include "platform/text_conv.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// One value read with a fresh load, as a later run reads the file; the default when it fails.
std::string readValue(const fs::path& file, std::string_view section, std::string_view key,
                      std::string_view defaultValue) {
    const Result<IniFile> ini = IniFile::load(file);
    return ini ? ini->readString(section, key, defaultValue) : std::string(defaultValue);
}

int32_t readNumber(const fs::path& file, std::string_view section, std::string_view key,
                   int32_t defaultValue = 0) {
    const Result<IniFile> ini = IniFile::load(file);
    return ini ? ini->readInt(section, key, defaultValue) : defaultValue;
}

// One change loaded, made and saved at once.
Status writeValue(const fs::path& file, std::string_view section, std::string_view key,
                  std::string_view value) {
    Result<IniFile> ini = IniFile::load(file);
    if (!ini) {
        return ini.failure();
    }
    if (Status set = ini->setString(section, key, value); !set) {
        return set;
    }
    return ini->save();
}

// Each test with a folder of its own and lumivox.ini in it (not made until a test writes it).
class IniFileTest : public ::testing::Test {
protected:
    TestTempFolder folder;
    const fs::path file = folder / "lumivox.ini";
};

}  // namespace

TEST_F(IniFileTest, MissingFileGivesTheDefaults) {
    EXPECT_EQ(readValue(file, "Lumivox", "Font", "ＭＳ Ｐゴシック"), "ＭＳ Ｐゴシック");
    EXPECT_EQ(readValue(file, "Lumivox", "Mail", ""), "");
    EXPECT_EQ(readNumber(file, "Lumivox", "FontPt"), 0);
    EXPECT_EQ(readNumber(file, "Lumivox", "FontPt", 7), 7);
    const auto ini = IniFile::load(file);
    ASSERT_TRUE(ini.ok());
    EXPECT_EQ(ini->contents(), "");
    EXPECT_FALSE(fs::exists(file)) << "reading must not create the file";
}

TEST_F(IniFileTest, EveryWritableValueReadsBackExactly) {
    // clang-format off
    const std::string values[] = {
        "pa=ss#wo;rd", "=starts with equals", ";looks like a comment", "#hash", "[Section]",
        "  leading blanks", "trailing blanks \t", " both ", "\tTAB", "", "   ", "\" ",
        "\"enclosed in double quotes\"", "'enclosed in single quotes'", "\"\"", "''", "\"", "'",
        "\"only opening", "only closing'", "\"mixed'", "in \"the\" middle",
        "C:\\Users\\name\\", "日本語のパスワード　全角空白", "\xC2\xA0no-break spaces\xC2\xA0"};
    // clang-format on
    int index = 0;
    for (const std::string& value : values) {
        const std::string key = "Key" + std::to_string(index++);
        ASSERT_TRUE(writeValue(file, "Lumivox", key, value)) << value;
    }
    index = 0;
    for (const std::string& value : values) {
        const std::string key = "Key" + std::to_string(index++);
        EXPECT_EQ(readValue(file, "Lumivox", key, "<missing>"), value) << key;
    }
    // Ordinary values are stored as they are, as the Windows functions store them.
    ASSERT_TRUE(writeValue(file, "Lumivox", "Password", "a=b=c"));
    EXPECT_NE(readBytes(file).find("\r\nPassword=a=b=c\r\n"), std::string::npos);
}

TEST_F(IniFileTest, ValuesReadLikeWindows) {
    writeBytes(file,
               "Orphan=before any section\r\n"
               "[Other]\r\n"
               "Shared=from other\r\n"
               "[ Lumivox ]  ; trailing text after the header\r\n"
               "  Spaced  =  value with blanks  \r\n"
               "Equals=a=b==c\r\n"
               "Double=\"quoted\"\r\n"
               "Single='quoted'\r\n"
               "Unbalanced=\"open\r\n"
               "QuotedBlanks=\"  kept  \"\r\n"
               ";Commented=yes\r\n"
               "  ; IndentedComment=yes\r\n"
               "NoEquals\r\n"
               "Empty=\r\n"
               "Dup=first\r\n"
               "dup=second\r\n"
               "[lumivox]\r\n"
               "Second=section of the same name\r\n");
    // Keys of other sections are not seen, and only the first section of a name counts.
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"Spaced", "value with blanks"}, {"Equals", "a=b==c"}, {"Double", "quoted"},
        {"Single", "quoted"}, {"Unbalanced", "\"open"}, {"QuotedBlanks", "  kept  "},
        {"Commented", "<default>"}, {";Commented", "<default>"}, {"IndentedComment", "<default>"},
        {"NoEquals", "<default>"}, {"Empty", ""}, {"Dup", "first"}, {"Orphan", "<default>"},
        {"Shared", "<default>"}, {"Second", "<default>"}};
    // clang-format on
    for (const auto& [key, value] : cases) {
        EXPECT_EQ(readValue(file, "Lumivox", key, "<default>"), value) << key;
    }
    EXPECT_EQ(readValue(file, "Other", "Shared", ""), "from other");
}

TEST_F(IniFileTest, SectionAndKeyIgnoreAsciiCase) {
    writeBytes(file, "[LUMIVOX]\r\nfontpt=12\r\nＦｏｎｔ=full width\r\n");
    EXPECT_EQ(readNumber(file, "Lumivox", "FontPt"), 12);
    EXPECT_EQ(readValue(file, "lumivox", "FONTPT", ""), "12");
    EXPECT_EQ(readValue(file, "Lumivox", "ｆｏｎｔ", "<default>"), "<default>")
        << "only ASCII letters are folded";

    // Writing the key in another case replaces it in place and keeps its spelling.
    ASSERT_TRUE(writeValue(file, "Lumivox", "FontPt", "14"));
    EXPECT_EQ(readBytes(file), "[LUMIVOX]\r\nfontpt=14\r\nＦｏｎｔ=full width\r\n");
}

TEST_F(IniFileTest, WritingKeepsEveryOtherLineByteForByte) {
    const std::string before =
        "; settings of Lumivox\n"
        "\n"
        "[Other]\n"
        "  Key  =  spaced value  \n"
        "odd line without equals\n"
        "; comment in Other\r\n"
        "\r\n"
        "[Lumivox]\r\n"
        "SaveDir = /old/folder\r\n"
        "; keep this comment\r\n"
        "Font=ＭＳ Ｐゴシック\r\n"
        "\r\n"
        "\r\n"
        "[Tail]\r\n"
        "Last=no line end";
    writeBytes(file, before);

    ASSERT_TRUE(writeValue(file, "Lumivox", "SaveDir", "/new/folder"));
    ASSERT_TRUE(writeValue(file, "Lumivox", "Mail", "user@example.com"));
    ASSERT_TRUE(writeValue(file, "Tail", "Added", "1"));
    ASSERT_TRUE(writeValue(file, "New Section", "Key", "value"));

    const std::string expected =
        "; settings of Lumivox\n"
        "\n"
        "[Other]\n"
        "  Key  =  spaced value  \n"
        "odd line without equals\n"
        "; comment in Other\r\n"
        "\r\n"
        "[Lumivox]\r\n"
        "SaveDir =/new/folder\r\n"  // the line up to its "=" stays as it was
        "; keep this comment\r\n"
        "Font=ＭＳ Ｐゴシック\r\n"
        "Mail=user@example.com\r\n"  // after the section's last line, before its blank lines
        "\r\n"
        "\r\n"
        "[Tail]\r\n"
        "Last=no line end\r\n"
        "Added=1\r\n"
        "[New Section]\r\n"
        "Key=value\r\n";
    EXPECT_EQ(readBytes(file), expected);
    EXPECT_EQ(readValue(file, "Other", "Key", ""), "spaced value");
    EXPECT_EQ(readValue(file, "Lumivox", "SaveDir", ""), "/new/folder");
}

TEST_F(IniFileTest, LfOnlyFileAndByteOrderMarkAreRead) {
    const fs::path lf = folder / "lf.ini";
    writeBytes(lf, "[Lumivox]\nFontPt=18\nFont=Noto Sans CJK JP\n");
    EXPECT_EQ(readNumber(lf, "Lumivox", "FontPt"), 18);
    EXPECT_EQ(readValue(lf, "Lumivox", "Font", ""), "Noto Sans CJK JP");

    const fs::path bom = folder / "bom.ini";
    writeBytes(bom, "\xEF\xBB\xBF[Lumivox]\r\nFormat=MP4\r\n");
    EXPECT_EQ(readValue(bom, "Lumivox", "Format", ""), "MP4");
    ASSERT_TRUE(writeValue(bom, "Lumivox", "Format", "WMV"));
    EXPECT_EQ(readBytes(bom), "\xEF\xBB\xBF[Lumivox]\r\nFormat=WMV\r\n");
}

TEST_F(IniFileTest, LongValuesAreCutToTheBuffer) {
    const std::string exact(IniFile::kMaxValueBytes, 'x');
    const std::string longer(300, 'y');
    // 257 ASCII bytes and then "あ" (three bytes) reaching over the limit.
    const std::string straddling = std::string(257, 'z') + "あい";
    const std::string spaced = std::string(1, ' ').append(longer);  // stored in quotes
    ASSERT_TRUE(writeValue(file, "S", "Exact", exact));
    ASSERT_TRUE(writeValue(file, "S", "Longer", longer));
    ASSERT_TRUE(writeValue(file, "S", "Straddling", straddling));
    ASSERT_TRUE(writeValue(file, "S", "Quoted", spaced));

    EXPECT_EQ(readValue(file, "S", "Exact", ""), exact);
    EXPECT_EQ(readValue(file, "S", "Longer", ""), longer.substr(0, 259));
    EXPECT_EQ(readValue(file, "S", "Straddling", ""), std::string(257, 'z'))
        << "a character that does not fit whole is left out";
    EXPECT_EQ(readValue(file, "S", "Quoted", ""), spaced.substr(0, 259));
    EXPECT_EQ(readValue(file, "S", "Missing", longer), longer.substr(0, 259));
    // The file itself holds the whole value.
    EXPECT_NE(readBytes(file).find("Longer=" + longer + "\r\n"), std::string::npos);
}

TEST_F(IniFileTest, IntegersAreReadFromTheValueAndAnEmptyOneIsTheDefault) {
    // How the digits are read (sign, blanks, clamping) is stringToInt32's test.
    writeBytes(file, "[Lumivox]\r\nDigits=12abc\r\nQuoted=\"42\"\r\nEmpty=\r\n");
    const std::pair<const char*, int32_t> cases[] = {
        {"Digits", 12}, {"Quoted", 42}, {"Empty", 9}, {"Missing", 9}};
    for (const auto& [key, value] : cases) {
        EXPECT_EQ(readNumber(file, "Lumivox", key, 9), value) << key;
    }
}

TEST_F(IniFileTest, WhatCannotBeOneLineIsRefusedAndTheFileKept) {
    const std::string before = "[Lumivox]\r\nPassword=old\r\n";
    writeBytes(file, before);
    // clang-format off
    const std::array<std::string, 3> refused[] = {
        {"Lumivox", "Password", "new\nline"}, {"Lumivox", "Password", "new\rline"},
        {"Lumivox", "Password", "nul\0inside"s}, {"Lumivox", "Key=x", "v"}, {"Lumivox", "", "v"},
        {"Lumivox", "   ", "v"}, {"Lumivox", ";Key", "v"}, {"Lumivox", "[Key]", "v"},
        {"Lumi\nvox", "Key", "v"}, {"", "Key", "v"}};
    // clang-format on
    for (const auto& [section, key, value] : refused) {
        EXPECT_FALSE(writeValue(file, section, key, value)) << section << " " << key;
    }
    EXPECT_EQ(readBytes(file), before);

    Result<IniFile> ini = IniFile::load(file);
    ASSERT_TRUE(ini);
    EXPECT_EQ(ini->setString("Lumivox", "Password", "a\r\nb").error(),
              "the value of Password holds a line break or a NUL");
    EXPECT_EQ(ini->contents(), before) << "a refused value leaves the document unchanged";
}

TEST_F(IniFileTest, TheFirstWriteMakesTheFileWithItsSectionForItsOwnerAlone) {
    // What replaceFile does to existing files and its temporary file is tested with it.
    const mode_t previousMask = umask(0);  // a lax umask must not make the password readable
    const bool written = writeValue(file, "Lumivox", "Password", "secret").ok();
    umask(previousMask);
    ASSERT_TRUE(written);
    struct stat status {};
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(readBytes(file), "[Lumivox]\r\nPassword=secret\r\n");
}

TEST_F(IniFileTest, UnreadableOrUnwritableFileReportsFailure) {
    fs::create_directory(folder / "lumivox.ini");  // a folder where the file should be
    EXPECT_EQ(IniFile::load(folder / "lumivox.ini").error(),
              (folder / "lumivox.ini").string() + ": a folder, not a file");
    EXPECT_EQ(readValue(folder / "lumivox.ini", "Lumivox", "Font", "dflt"), "dflt");
    EXPECT_FALSE(writeValue(folder / "lumivox.ini", "Lumivox", "Font", "x"));
    EXPECT_TRUE(fs::is_directory(folder / "lumivox.ini"));
    EXPECT_FALSE(writeValue(folder / "missing" / "lumivox.ini", "Lumivox", "Font", "x"));
}

TEST_F(IniFileTest, ManyChangesSavedAtOnce) {
    writeBytes(file, "; mine\r\n");
    Result<IniFile> ini = IniFile::load(file);
    ASSERT_TRUE(ini);
    EXPECT_TRUE(ini->setString("Lumivox", "Old", "1"));
    EXPECT_TRUE(ini->setString("Lumivox", "Login", "0"));
    EXPECT_TRUE(ini->setString("Lumivox", "Old", "0"));
    EXPECT_EQ(ini->readString("Lumivox", "Old", ""), "0");
    EXPECT_EQ(readBytes(file), "; mine\r\n") << "nothing is written before save()";
    ASSERT_TRUE(ini->save());
    EXPECT_EQ(readBytes(file), "; mine\r\n[Lumivox]\r\nOld=0\r\nLogin=0\r\n");
}
