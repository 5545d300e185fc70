#include "job/format_presets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/test_temp_folder.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;
const Names kBuiltInNames = {"AVI",
                             "AVI(通常)",
                             "AVI(高画質)",
                             "MP4",
                             "MP4(高画質)",
                             "WMV",
                             "WMV(高画質)",
                             "AVI(コメントなし)",
                             "MP4(コメントなし)",
                             "WMV(コメントなし)",
                             "MP3",
                             "無変換"};

class FormatPresets : public ::testing::Test {
protected:
    FormatPresetList loadFrom(std::string_view contents) {
        writeBytes(file, contents);
        FormatPresetList list;
        list.loadOrBuiltIn(file);
        return list;
    }

    TestTempFolder folder;
    const fs::path file = folder / "FFmpeg.ini";
};

}  // namespace

TEST_F(FormatPresets, TheBuiltInsAreTheTwelveKnownFormats) {
    const auto& presets = FormatPresetList::builtInPresets();
    Names names;
    for (size_t i = 0; i < presets.size(); ++i) {
        const std::string& text = presets[i].argTemplate;
        names.push_back(presets[i].name);
        // Appended right after the encoder's name: exactly one leading space.
        EXPECT_TRUE(text.size() >= 2 && text[0] == ' ' && text[1] != ' ') << presets[i].name;
        // The first seven draw the comments; only the last skips the encoder.
        EXPECT_EQ(text.find("<%Lumivox%>") != std::string::npos, i < 7) << presets[i].name;
        EXPECT_EQ(text.find("<%NOENCODE%>") != std::string::npos, i == 11) << presets[i].name;
    }
    EXPECT_EQ(names, kBuiltInNames);
    EXPECT_EQ(FormatPresetList::defaultTemplate(),
              R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec msmpeg4 -acodec libmp3lame )"
              R"("<%TemporaryFile%>.avi")");
}

TEST_F(FormatPresets, AMissingEmptyOrOneLineFileGivesTheBuiltIns) {
    FormatPresetList missing;
    EXPECT_TRUE(missing.load(file));  // nothing to read is no failure
    EXPECT_TRUE(missing.empty());
    missing.loadOrBuiltIn(file);
    EXPECT_EQ(missing.names(), kBuiltInNames);
    EXPECT_FALSE(fs::exists(file)) << "loading never creates the file";
    EXPECT_EQ(loadFrom("").names(), kBuiltInNames);

    // One line is a name without its template: dropped, and the built-ins replace the file.
    const FormatPresetList list = loadFrom("My format\r\n");
    EXPECT_EQ(list.names(), kBuiltInNames);
    ASSERT_TRUE(list.save(file));
    const std::string written = readBytes(file);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 24);
    EXPECT_TRUE(written.starts_with("AVI\r\n -y -i "));
    EXPECT_TRUE(written.ends_with("無変換\r\n <%NOENCODE%>\r\n"));
}

TEST_F(FormatPresets, ThreeLinesGiveOnePresetAndTwoLinesWrittenBack) {
    const FormatPresetList list = loadFrom("Mine\r\n -i \"<%InputFile%>\" x.avi\r\nOrphan\r\n");
    EXPECT_EQ(list.names(), Names{"Mine"});
    ASSERT_TRUE(list.save(file));
    EXPECT_EQ(readBytes(file), "Mine\r\n -i \"<%InputFile%>\" x.avi\r\n");
}

TEST_F(FormatPresets, NamesMatchExactlyAndTheFirstOfTwinsWins) {
    const FormatPresetList list = loadFrom(
        "MP4\r\n mp4 args\r\nAVI\r\n my own avi\r\nTwin\r\n first twin\r\nTwin\r\n second "
        "twin\r\n");
    EXPECT_EQ(list.names(), (Names{"MP4", "AVI", "Twin", "Twin"}));
    const std::string fallback = FormatPresetList::defaultTemplate();
    // {name, index, template}: letter case and blanks count; an unknown name runs the built-in
    // AVI template, not the file's AVI.
    const std::vector<std::tuple<std::string, size_t, std::string>> cases = {
        {"AVI", 1, " my own avi"},
        {"avi", 0, fallback},
        {"AVI ", 0, fallback},
        {"", 0, fallback},
        {"Twin", 2, " first twin"}};
    for (const auto& [name, index, text] : cases) {
        EXPECT_EQ(list.indexOfName(name), index) << "'" << name << "'";
        EXPECT_EQ(list.templateForName(name), text) << "'" << name << "'";
    }
}

TEST_F(FormatPresets, TheTextsSurviveByteForByteAndEmptyLinesKeepThePairsAligned) {
    const std::string original =
        "  Indented name \t\r\n   three spaces and a trailing one \r\n"
        "画質(最高)\r\n -y -i \"<%InputFile%>\" <%Lumivox%> \"<%TemporaryFile%>.mp4\"\r\n"
        "carriage\rreturn inside\r\n\t\r\n"
        "No template\r\n\r\n\r\n template of an empty name\r\n";
    FormatPresetList list = loadFrom(original);
    EXPECT_EQ(list.names(), (Names{"  Indented name \t", "画質(最高)", "carriage\rreturn inside",
                                   "No template", ""}));
    EXPECT_EQ(list.presets()[0].argTemplate, "   three spaces and a trailing one ");
    EXPECT_EQ(list.presets()[2].argTemplate, "\t");
    EXPECT_EQ(list.presets()[3].argTemplate, "");
    EXPECT_EQ(list.templateForName(""), " template of an empty name");
    ASSERT_TRUE(list.save(file));
    EXPECT_EQ(readBytes(file), original);
}

TEST_F(FormatPresets, LfOnlyUnterminatedAndMarkedFilesAreRead) {
    for (const std::string contents : {"A\n -a\nB\n -b\n", "A\r\n -a\nB\r\n -b",
                                       "\xEF\xBB\xBF"
                                       "A\r\n -a\r\nB\r\n -b\r\n"}) {
        const FormatPresetList list = loadFrom(contents);
        EXPECT_EQ(list.names(), (Names{"A", "B"})) << contents;
        EXPECT_EQ(list.templateForName("A"), " -a") << contents;
        EXPECT_EQ(list.templateForName("B"), " -b") << contents;
    }
}

TEST_F(FormatPresets, SaveReportsFailureAndKeepsWhatIsThere) {
    FormatPresetList list;
    list.loadOrBuiltIn(file);
    EXPECT_FALSE(list.save(folder / "missing folder" / "FFmpeg.ini"));
    fs::create_directory(file);
    EXPECT_FALSE(list.save(file));
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_EQ(list.load(file).error(), file.string() + ": a folder, not a file");
    // A later load replaces what was there before.
    writeBytes(folder / "real.ini", "Only\r\n -only\r\n");
    ASSERT_TRUE(list.load(folder / "real.ini"));
    EXPECT_EQ(list.names(), Names{"Only"});
}
