// The command line of lumivox-cli, its progress line and the video ID of a local file.

#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/local_render_job.h"
#include "cli/progress_display.h"

namespace {

ParsedCommandLine parse(std::vector<std::string> args) {
    return parseCommandLine(args);
}

TEST(CliOptions, RenderTakesTheTwoFilesAndEveryOption) {
    const ParsedCommandLine p = parse({"render",      "v.flv",
                                       "c.xml",       "--save-dir",
                                       "/out",        "--format=MP4(高画質)",
                                       "--font",      "IPAPGothic",
                                       "--font-size", "24",
                                       "--no-old",    "--period-start",
                                       "1000",        "--period-end=2000",
                                       "--ng",        "a",
                                       "--ng",        "b",
                                       "--extract",   "c",
                                       "--timings"});
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.command, CliCommand::Render);
    const RenderOptions& r = p.render;
    EXPECT_EQ(r.videoPath, "v.flv");
    EXPECT_EQ(r.commentPath, "c.xml");
    EXPECT_EQ(r.saveFolder, "/out");
    EXPECT_EQ(r.formatName, "MP4(高画質)");
    EXPECT_EQ(r.fontFace, "IPAPGothic");
    EXPECT_EQ(r.fontSizePt, 24);
    EXPECT_EQ(r.hideOldComments, false);
    EXPECT_EQ(r.periodStart, 1000);
    EXPECT_EQ(r.periodEnd, 2000);
    EXPECT_EQ(r.ngList, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(r.extractList, (std::vector<std::string>{"c"}));
    EXPECT_TRUE(r.timings);
    EXPECT_FALSE(r.allPeriods);
}

TEST(CliOptions, UnsetOptionsLeaveTheSettingsInForce) {
    const ParsedCommandLine p = parse({"render", "--old", "v.flv", "c.xml"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.render.hideOldComments, true);
    EXPECT_FALSE(p.render.saveFolder || p.render.formatName || p.render.fontFace ||
                 p.render.fontSizePt || p.render.periodStart || p.render.periodEnd);
}

TEST(CliOptions, DoubleDashEndsTheOptions) {
    const ParsedCommandLine p = parse({"render", "--all-periods", "--", "-odd.flv", "--x.xml"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.render.videoPath, "-odd.flv");
    EXPECT_EQ(p.render.commentPath, "--x.xml");
    EXPECT_TRUE(p.render.allPeriods);
}

TEST(CliOptions, HelpAndListFormats) {
    EXPECT_EQ(parse({"--help"}).command, CliCommand::Help);
    EXPECT_EQ(parse({"render", "-h"}).command, CliCommand::Help);
    EXPECT_EQ(parse({"render", "a", "--help"}).error, "");
    EXPECT_EQ(parse({"--list-formats"}).command, CliCommand::ListFormats);
    EXPECT_NE(std::string(usageText()).find("--all-periods"), std::string::npos);
}

TEST(CliOptions, UsageErrorsSayWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{}, "no command given"},
        {{"draw", "a", "b"}, "unknown command \"draw\""},
        {{"render", "a"}, "render takes a video and a comment file"},
        {{"render", "a", "b", "c"}, "render takes a video and a comment file"},
        {{"render", "a", "b", "--colour", "red"}, "unknown option --colour"},
        {{"render", "a", "b", "--format"}, "--format needs a value"},
        {{"render", "a", "b", "--old=1"}, "--old takes no value"},
        {{"render", "a", "b", "--font-size", "-3"},
         "--font-size takes a whole number of points from 0 to 1000, not \"-3\""},
        {{"render", "a", "b", "--font-size", "12pt"},
         "--font-size takes a whole number of points from 0 to 1000, not \"12pt\""},
        {{"render", "a", "b", "--period-start", "yesterday"},
         "--period-start takes YYYY-MM-DD[THH:MM[:SS]] or seconds since 1970, not \"yesterday\""},
        {{"render", "a", "b", "--all-periods", "--period-end", "5"},
         "--all-periods cannot be combined with --period-start/--period-end"},
        {{"render", "a", "b", "--save-dir="}, "--save-dir needs a folder"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse(c.args).error, c.error) << ::testing::PrintToString(c.args);
    }
}

TEST(CliProgress, TheLineShowsStagePercentAndBar) {
    EXPECT_EQ(ProgressDisplay::line("エンコード中...", 45),
              "エンコード中... 45% [#########           ]");
    EXPECT_EQ(ProgressDisplay::line("エンコード中...", 0),
              "エンコード中... 0% [                    ]");
    EXPECT_EQ(ProgressDisplay::line("エンコード中...", 100),
              "エンコード中... 100% [####################]");
    EXPECT_EQ(ProgressDisplay::line("エンコード中...", -1), "エンコード中...");
}

TEST(CliProgress, PlainOutputHasALinePerStageAndTenth) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&text, &size);
    ASSERT_NE(stream, nullptr);
    {
        ProgressDisplay display(stream, /*terminal=*/false);
        display.complete();  // no stage yet: nothing
        display.stage("エンコード中...");
        for (int p : {1, 5, 12, 12, 19, 20, 250, 55, 97}) {
            display.progress(p);
        }
        display.complete();
        display.finish();
    }
    std::fclose(stream);
    const std::string output(text, size);
    std::free(text);
    EXPECT_EQ(output,
              "エンコード中...\nエンコード中... 10%\nエンコード中... 20%\n"
              "エンコード中... 50%\nエンコード中... 90%\nエンコード中... 100%\n");
}

TEST(CliProgress, TheTerminalLineIsRedrawnInPlaceAndBlanksWhatIsLeft) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&text, &size);
    ASSERT_NE(stream, nullptr);
    {
        ProgressDisplay display(stream, /*terminal=*/true);
        display.stage("長い段階の名前...");
        display.stage("短い");
        display.finish();
    }
    std::fclose(stream);
    const std::string output(text, size);
    std::free(text);
    // The first line is 17 + 26 columns wide (wide characters count two), the second 4 + 26:
    // 13 blanks clear the rest.
    EXPECT_EQ(output,
              "\r長い段階の名前... 0% [                    ]"
              "\r短い 0% [                    ]" +
                  std::string(13, ' ') + "\n");
}

TEST(LocalRenderJob, TheVideoIdIsTheFileNameWithoutItsExtension) {
    EXPECT_EQ(videoIdOfPath("/videos/sm9.flv"), "sm9");
    EXPECT_EQ(videoIdOfPath("/videos/my.clip.flv"), "my.clip");
    EXPECT_EQ(videoIdOfPath("clip"), "clip");
    EXPECT_EQ(videoIdOfPath("/動画/初音ミク.mp4"), "初音ミク");
}

}  // namespace
