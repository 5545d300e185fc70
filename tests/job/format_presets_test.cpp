#include "job/format_presets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/test_temp_folder.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> builtInNames() {
    return {"AVI",
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
}

FormatPresetList loadFrom(const fs::path& file, std::string_view contents) {
    writeBytes(file, contents);
    FormatPresetList list;
    list.loadOrBuiltIn(file);
    return list;
}

}  // namespace

TEST(FormatPresets, BuiltInPresetsAreTheTwelveKnownFormats) {
    const auto& presets = FormatPresetList::builtInPresets();
    ASSERT_EQ(presets.size(), 12u);
    std::vector<std::string> names;
    for (const FormatPreset& preset : presets) {
        names.push_back(preset.name);
        // Appended right after the encoder's name, so exactly one leading space.
        ASSERT_GE(preset.argTemplate.size(), 2u);
        EXPECT_EQ(preset.argTemplate[0], ' ') << preset.name;
        EXPECT_NE(preset.argTemplate[1], ' ') << preset.name;
    }
    EXPECT_EQ(names, builtInNames());
    EXPECT_EQ(
        FormatPresetList::defaultTemplate(),
        R"( -y -i "<%InputFile%>" <%Lumivox%> -vcodec msmpeg4 -acodec libmp3lame "<%TemporaryFile%>.avi")");
    // The first seven draw the comments; the rest do not; only the last skips the encoder.
    for (size_t i = 0; i < presets.size(); ++i) {
        const std::string& text = presets[i].argTemplate;
        EXPECT_EQ(text.find("<%Lumivox%>") != std::string::npos, i < 7) << presets[i].name;
        EXPECT_EQ(text.find("<%NOENCODE%>") != std::string::npos, i == 11) << presets[i].name;
        EXPECT_EQ(text.find("<%InputFile%>") != std::string::npos, i != 11) << presets[i].name;
    }
    EXPECT_TRUE(presets[7].argTemplate.ends_with(R"("<%TemporaryFile%>.wmv")"));
    EXPECT_NE(presets[7].argTemplate.find("-vcodec msmpeg4 -acodec libmp3lame"), std::string::npos);
}

TEST(FormatPresets, MissingEmptyOrSingleLineFileGivesTheBuiltIns) {
    TestTempFolder folder;
    FormatPresetList missing;
    EXPECT_FALSE(missing.load(folder / "FFmpeg.ini"));
    EXPECT_TRUE(missing.empty());
    missing.loadOrBuiltIn(folder / "FFmpeg.ini");
    EXPECT_EQ(missing.names(), builtInNames());
    EXPECT_FALSE(fs::exists(folder / "FFmpeg.ini")) << "loading never creates the file";

    EXPECT_EQ(loadFrom(folder / "empty.ini", "").names(), builtInNames());

    // One line is a name without its template: dropped, and the built-ins replace the file.
    const fs::path single = folder / "single.ini";
    const FormatPresetList list = loadFrom(single, "My format\r\n");
    EXPECT_EQ(list.names(), builtInNames());
    ASSERT_TRUE(list.save(single));
    const std::string written = readBytes(single);
    EXPECT_EQ(written.find("My format"), std::string::npos);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 24);
    EXPECT_TRUE(written.starts_with("AVI\r\n -y -i "));
    EXPECT_TRUE(written.ends_with("無変換\r\n <%NOENCODE%>\r\n"));
}

TEST(FormatPresets, ThreeLinesGiveOnePresetAndTwoLinesWrittenBack) {
    TestTempFolder folder;
    const fs::path file = folder / "FFmpeg.ini";
    const FormatPresetList list =
        loadFrom(file, "Mine\r\n -i \"<%InputFile%>\" x.avi\r\nOrphan\r\n");
    ASSERT_EQ(list.presets().size(), 1u);
    EXPECT_EQ(list.presets()[0].name, "Mine");
    EXPECT_EQ(list.presets()[0].argTemplate, " -i \"<%InputFile%>\" x.avi");
    ASSERT_TRUE(list.save(file));
    EXPECT_EQ(readBytes(file), "Mine\r\n -i \"<%InputFile%>\" x.avi\r\n");
}

TEST(FormatPresets, NamesMatchExactlyAndTheFirstOfAPairWins) {
    TestTempFolder folder;
    const FormatPresetList list = loadFrom(folder / "FFmpeg.ini",
                                           "MP4\r\n mp4 args\r\n"
                                           "AVI\r\n my own avi\r\n"
                                           "Twin\r\n first twin\r\n"
                                           "Twin\r\n second twin\r\n");
    EXPECT_EQ(list.names(), (std::vector<std::string>{"MP4", "AVI", "Twin", "Twin"}));

    EXPECT_EQ(list.indexOfName("AVI"), 1u);
    EXPECT_EQ(list.indexOfName("avi"), 0u) << "letter case counts";
    EXPECT_EQ(list.indexOfName("AVI "), 0u);
    EXPECT_EQ(list.indexOfName(""), 0u);
    EXPECT_EQ(list.indexOfName("Twin"), 2u);

    EXPECT_EQ(list.templateForName("AVI"), " my own avi");
    EXPECT_EQ(list.templateForName("avi"), FormatPresetList::defaultTemplate())
        << "an unknown name runs the built-in AVI template, not the file's AVI";
    EXPECT_EQ(list.templateForName(""), FormatPresetList::defaultTemplate());
    EXPECT_EQ(list.templateForName("Twin"), " first twin");
}

TEST(FormatPresets, EmptyLinesKeepThePairsAligned) {
    TestTempFolder folder;
    const FormatPresetList list = loadFrom(folder / "FFmpeg.ini",
                                           "No template\r\n"
                                           "\r\n"
                                           "\r\n"
                                           " template of an empty name\r\n"
                                           "Last\r\n"
                                           " last args\r\n");
    ASSERT_EQ(list.presets().size(), 3u);
    EXPECT_EQ(list.presets()[0].name, "No template");
    EXPECT_EQ(list.presets()[0].argTemplate, "");
    EXPECT_EQ(list.presets()[1].name, "");
    EXPECT_EQ(list.presets()[1].argTemplate, " template of an empty name");
    EXPECT_EQ(list.presets()[2].name, "Last");
    EXPECT_EQ(list.presets()[2].argTemplate, " last args");
    EXPECT_EQ(list.templateForName(""), " template of an empty name");
}

TEST(FormatPresets, ReadWriteCycleKeepsEveryByteOfTheTexts) {
    TestTempFolder folder;
    const fs::path file = folder / "FFmpeg.ini";
    const std::string original =
        "  Indented name \t\r\n"
        "   three spaces and a trailing one \r\n"
        "画質(最高)\r\n"
        " -y -i \"<%InputFile%>\" <%Lumivox%> -vcodec libx264 \"<%TemporaryFile%>.mp4\"\r\n"
        "carriage\rreturn inside\r\n"
        "\t\r\n";
    FormatPresetList list = loadFrom(file, original);
    ASSERT_EQ(list.presets().size(), 3u);
    EXPECT_EQ(list.presets()[0].argTemplate, "   three spaces and a trailing one ");
    EXPECT_EQ(list.presets()[2].name, "carriage\rreturn inside");
    EXPECT_EQ(list.presets()[2].argTemplate, "\t");
    ASSERT_TRUE(list.save(file));
    EXPECT_EQ(readBytes(file), original);

    FormatPresetList reread;
    ASSERT_TRUE(reread.load(file));
    ASSERT_EQ(reread.presets().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(reread.presets()[i].name, list.presets()[i].name);
        EXPECT_EQ(reread.presets()[i].argTemplate, list.presets()[i].argTemplate);
    }
}

TEST(FormatPresets, LfOnlyAndUnterminatedFilesAreRead) {
    TestTempFolder folder;
    const FormatPresetList lf = loadFrom(folder / "lf.ini", "A\n -a\nB\n -b\n");
    ASSERT_EQ(lf.presets().size(), 2u);
    EXPECT_EQ(lf.templateForName("A"), " -a");
    EXPECT_EQ(lf.templateForName("B"), " -b");

    const FormatPresetList open = loadFrom(folder / "open.ini", "A\r\n -a\nB\r\n -b");
    ASSERT_EQ(open.presets().size(), 2u);
    EXPECT_EQ(open.templateForName("B"), " -b");

    // A UTF-8 mark from an editor does not become part of the first name.
    const FormatPresetList marked = loadFrom(folder / "bom.ini",
                                             "\xEF\xBB\xBF"
                                             "AVI\r\n -x\r\n");
    EXPECT_EQ(marked.indexOfName("AVI"), 0u);
    EXPECT_EQ(marked.templateForName("AVI"), " -x");
}

TEST(FormatPresets, SaveReportsFailureAndKeepsTheOldFile) {
    TestTempFolder folder;
    FormatPresetList list;
    list.loadOrBuiltIn(folder / "none.ini");
    EXPECT_FALSE(list.save(folder / "missing folder" / "FFmpeg.ini"));
    fs::create_directory(folder / "FFmpeg.ini");
    EXPECT_FALSE(list.save(folder / "FFmpeg.ini"));
    EXPECT_TRUE(fs::is_directory(folder / "FFmpeg.ini"));

    // A later load replaces what was there before.
    const fs::path file = folder / "real.ini";
    writeBytes(file, "Only\r\n -only\r\n");
    ASSERT_TRUE(list.load(file));
    EXPECT_EQ(list.names(), std::vector<std::string>{"Only"});
}
