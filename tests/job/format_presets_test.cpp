#include "job/format_presets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;
// clang-format off
const Names kBuiltInNames = {
    "AVI", "AVI(通常)", "AVI(高画質)", "MP4", "MP4(高画質)", "WMV", "WMV(高画質)",
    "AVI(コメントなし)", "MP4(コメントなし)", "WMV(コメントなし)", "MP3", "無変換", "MP4(H.264)",
    "MP4(H.264 高画質)", "MP4(H.265)", "WebM(VP9)", "MKV(AV1)", "MKV(字幕)", "ASS(字幕のみ)"};
// clang-format on
const size_t kClassicCount = 12;

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

TEST_F(FormatPresets, TheBuiltInsAreTheTwelveKnownFormatsThenTodays) {
    const auto& presets = FormatPresetList::builtInPresets();
    Names names;
    for (size_t i = 0; i < presets.size(); ++i) {
        const std::string& text = presets[i].argTemplate;
        names.push_back(presets[i].name);
        // Appended right after the encoder's name: exactly one leading space.
        EXPECT_TRUE(text.size() >= 2 && text[0] == ' ' && text[1] != ' ') << presets[i].name;
        // The first seven draw the comments, "無変換" skips the encoder; of today's formats the
        // first five draw them, the last two carry them as subtitles.
        const bool draws = i < 7 || (i >= kClassicCount && i < kClassicCount + 5);
        EXPECT_EQ(text.find("<%Lumivox%>") != std::string::npos, draws) << presets[i].name;
        EXPECT_EQ(text.find("<%NOENCODE%>") != std::string::npos, i == 11) << presets[i].name;
        EXPECT_EQ(text.find("<%SubtitleFile%>") != std::string::npos, i >= kClassicCount + 5)
            << presets[i].name;
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
    EXPECT_EQ(static_cast<size_t>(std::count(written.begin(), written.end(), '\n')),
              2 * kBuiltInNames.size());
    EXPECT_TRUE(written.starts_with("AVI\r\n -y -i "));
    EXPECT_NE(written.find("無変換\r\n <%NOENCODE%>\r\nMP4(H.264)\r\n"), std::string::npos);
}

TEST_F(FormatPresets, AnUneditedFileOfTheTwelveGetsTodaysFormatsAnEditedOneDoesNot) {
    std::string twelve;
    for (size_t i = 0; i < kClassicCount; ++i) {
        const FormatPreset& p = FormatPresetList::builtInPresets()[i];
        twelve += p.name + "\r\n" + p.argTemplate + "\r\n";
    }
    EXPECT_EQ(loadFrom(twelve).names(), kBuiltInNames);
    // One template changed, or a preset of the user's own added: the file is the user's list.
    std::string edited = twelve;
    edited.replace(edited.find("-b 1000k"), 8, "-b 1200k");
    EXPECT_EQ(loadFrom(edited).names().size(), kClassicCount);
    EXPECT_EQ(loadFrom(twelve + "Mine\r\n -i x y.avi\r\n").names().size(), kClassicCount + 1);
}

TEST(PresetDescription, SaysWhatEachFormatMakes) {
    const auto describe = [](const std::string& name) {
        for (const FormatPreset& p : FormatPresetList::builtInPresets()) {
            if (p.name == name) {
                return describePresetTemplate(p.argTemplate);
            }
        }
        return std::string("no such preset");
    };
    EXPECT_EQ(describe("AVI(通常)"),
              "video msmpeg4 1000kb/s, frame rate of the video, audio libmp3lame, comments drawn, "
              ".avi");
    EXPECT_EQ(describe("MP4"), "video mpeg4, 24 fps, audio libfaac, comments drawn, .mp4");
    EXPECT_EQ(describe("MP3"), "audio libmp3lame, .mp3");
    EXPECT_EQ(describe("無変換"), "the downloaded video as it is, no encoding");
    EXPECT_EQ(describe("MP4(H.264)"),
              "video libx264 crf 20 preset veryfast, frame rate of the video, audio aac 192kb/s, "
              "comments drawn, .mp4");
    EXPECT_EQ(describe("MKV(字幕)"),
              "video copied, frame rate of the video, audio copied, comments as an ASS subtitle "
              "track, .mkv");
    EXPECT_EQ(describe("ASS(字幕のみ)"), "comments only, as an ASS subtitle file, .ass");
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

TEST_F(FormatPresets, ANameWithoutItsTemplateAtTheEndIsDroppedAndNotWrittenBack) {
    // (Line ends and an editor's byte-order mark are the list file's, checked there.)
    const FormatPresetList list = loadFrom("A\r\n -a\r\nB\r\n -b\r\nOrphan\r\n");
    EXPECT_EQ(list.names(), (Names{"A", "B"}));
    ASSERT_TRUE(list.save(file));
    EXPECT_EQ(readBytes(file), "A\r\n -a\r\nB\r\n -b\r\n");
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
