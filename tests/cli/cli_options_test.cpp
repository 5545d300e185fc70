// The command line of lumivox-cli (render, a job from a URL, the password file), its progress
// line and the video ID of a local file.

#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/progress_display.h"
#include "cli/url_job_command.h"
#include "job/local_render_job.h"
#include "platform/command_line.h"
#include "service/service_test_support.h"

namespace {

using Strings = std::vector<std::string>;
using Texts = std::vector<std::optional<std::string>>;

// The arguments of `line`, split at blanks.
ParsedCommandLine parse(const std::string& line) {
    return parseCommandLine(splitCommandLine(line));
}

TEST(CliOptions, RenderTakesTheTwoFilesAndEveryOption) {
    const ParsedCommandLine p = parse(
        "render v.flv c.xml --save-dir /out --format=MP4(高画質) --font IPAPGothic "
        "--font-size 24 --no-old --period-start 1000 --period-end=2000 --ng a --ng b "
        "--extract c --timings");
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.command, CliCommand::Render);
    const RenderOptions& r = p.render;
    EXPECT_EQ(Texts({r.videoPath, r.commentPath, r.saveFolder, r.formatName, r.fontFace}),
              Texts({"v.flv", "c.xml", "/out", "MP4(高画質)", "IPAPGothic"}));
    EXPECT_EQ(r.fontSizePt, 24);
    EXPECT_EQ(r.hideOldComments, false);
    EXPECT_EQ(r.periodStart, 1000);
    EXPECT_EQ(r.periodEnd, 2000);
    EXPECT_EQ(r.ngList, Strings({"a", "b"}));
    EXPECT_EQ(r.extractList, Strings{"c"});
    EXPECT_TRUE(r.timings);
    EXPECT_FALSE(r.allPeriods);

    // Unset options leave the settings in force; "--" ends the options.
    const RenderOptions& u = parse("render --old --all-periods -- -odd.flv --x.xml").render;
    EXPECT_EQ(u.hideOldComments, true);
    EXPECT_TRUE(u.allPeriods);
    EXPECT_EQ(u.videoPath, "-odd.flv");
    EXPECT_EQ(u.commentPath, "--x.xml");
    EXPECT_FALSE(u.saveFolder || u.formatName || u.fontFace || u.fontSizePt || u.periodStart ||
                 u.periodEnd);
}

TEST(CliOptions, AUrlIsAJobWithEveryServiceOption) {
    // The options of the output are read once for both commands: checked with render above.
    const ParsedCommandLine p = parse(
        "http://www.nicovideo.jp/watch/sm9 --save-dir /out --mail me@example.com --password p=w&d "
        "--no-auto-login --login-host https://login.example:8443 --web-host=http://web.example "
        "--ca-file certs/ca.pem");
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.command, CliCommand::Job);
    EXPECT_EQ(Texts({p.job.pageUrl, p.job.saveFolder}),
              Texts({"http://www.nicovideo.jp/watch/sm9", "/out"}));
    const ServiceOptions& s = p.job.service;
    EXPECT_EQ(Texts({s.mail, s.password, s.loginHost, s.webHost, s.caFile}),
              Texts({"me@example.com", "p=w&d", "https://login.example:8443", "http://web.example",
                     "certs/ca.pem"}));
    EXPECT_EQ(s.noAutoLogin, true);
    EXPECT_FALSE(s.passwordFile.has_value());

    // The "job" command and options before the URL; unset options leave lumivox.ini's in force.
    const UrlJobOptions& k = parse("--auto-login job nicovideo.jp/watch/sm9?from=3").job;
    EXPECT_EQ(k.pageUrl, "nicovideo.jp/watch/sm9?from=3");
    EXPECT_EQ(k.service.noAutoLogin, false);
    EXPECT_FALSE(k.service.mail || k.service.password || k.service.loginHost || k.saveFolder ||
                 k.formatName);
    // A bare video ID is a job as a URL is.
    EXPECT_EQ(parse("sm9 --format MP4").job.pageUrl, "sm9");
    EXPECT_EQ(parse("so38016254").command, CliCommand::Job);
    // After "job" any text is the URL, and "--" lets one begin with "-".
    const ParsedCommandLine odd = parse("job --password-file - -- -odd");
    ASSERT_EQ(odd.error, "");
    EXPECT_EQ(odd.job.pageUrl, "-odd");
    EXPECT_EQ(odd.job.service.passwordFile, "-");
}

TEST(CliOptions, HelpAndListFormats) {
    EXPECT_EQ(parse("--help").command, CliCommand::Help);
    EXPECT_EQ(parse("render -h").command, CliCommand::Help);
    EXPECT_EQ(parse("render a --help").error, "");
    EXPECT_EQ(parse("render a b --log-level debug").logLevel, "debug");
    EXPECT_EQ(parse("render a b").logLevel, "warning");
    EXPECT_EQ(parse("--list-formats").command, CliCommand::ListFormats);
    EXPECT_NE(std::string(usageText()).find("--all-periods"), std::string::npos);
}

TEST(CliOptions, UsageErrorsSayWhatIsWrong) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "no command given"},
        {"draw a b", "unknown command \"draw\""},
        {"sm9x", "unknown command \"sm9x\""},
        {"render a", "render takes a video and a comment file"},
        {"render a b c", "render takes a video and a comment file"},
        {"render a b --colour red", "unknown option --colour"},
        {"render a b --format", "--format needs a value"},
        {"render a b --old=1", "--old takes no value"},
        {"render a b --font-size -3",
         "--font-size takes a whole number of points from 0 to 1000, not \"-3\""},
        {"render a b --font-size 12pt",
         "--font-size takes a whole number of points from 0 to 1000, not \"12pt\""},
        {"render a b --period-start yesterday",
         "--period-start takes YYYY-MM-DD[THH:MM[:SS]] or seconds since 1970, not \"yesterday\""},
        {"render a b --all-periods --period-end 5",
         "--all-periods cannot be combined with --period-start/--period-end"},
        {"render a b --save-dir=", "--save-dir needs a folder"},
        {"render a b --log-level=verbose",
         "--log-level takes error, warning, info or debug, not \"verbose\""},
        {"render v.flv c.xml --mail a@b", "--mail is an option of a job from a URL, not of render"},
        {"job", "a job takes one video page URL"},
        {"http://a/watch/1 http://a/watch/2", "a job takes one video page URL"},
        {"job u --password x --password-file f",
         "--password cannot be combined with --password-file"},
        {"job u --login-host secure.nicovideo.jp",
         "--login-host takes an address beginning with http:// or https://, not "
         "\"secure.nicovideo.jp\""},
        {"job u --web-host=ftp://x",
         "--web-host takes an address beginning with http:// or https://, not \"ftp://x\""},
    };
    for (const auto& [line, error] : cases) {
        EXPECT_EQ(parse(line).error, error) << line;
    }
}

TEST(CliOptions, ThePasswordFileGivesItsFirstLineWithoutTheLineEnd) {
    service_test::TempFolder folder;
    const std::string file = (folder / "password").string();
    for (const char* content : {"p&ss=w+rd%41\r\nnext\r\n", "p&ss=w+rd%41\n", "p&ss=w+rd%41"}) {
        writeBytes(file, content);
        EXPECT_EQ(readSecretFile(file, "password").value(), "p&ss=w+rd%41");
    }
    writeBytes(file, " two words \n");
    EXPECT_EQ(readSecretFile(file, "password").value(), " two words ")
        << "blanks belong to a password";

    const std::string missing = (folder / "missing").string();
    const Result<std::string> unread = readSecretFile(missing, "password");
    ASSERT_FALSE(unread);
    EXPECT_EQ(unread.error(),
              "the password file " + missing + " cannot be read: No such file or directory");
}

// What `display` writes to a stream, a terminal's or not.
template <typename Steps>
std::string progressOutput(bool terminal, Steps steps) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&text, &size);
    {
        ProgressDisplay display(stream, terminal);
        steps(display);
    }
    std::fclose(stream);
    const std::string output(text, size);
    std::free(text);
    return output;
}

TEST(CliProgress, TheLineShowsStagePercentAndBar) {
    EXPECT_EQ(ProgressDisplay::line("エンコード中...", 45),
              "エンコード中... 45% [#########           ]");
    EXPECT_EQ(ProgressDisplay::line("エンコード中...", 0),
              "エンコード中... 0% [                    ]");
    EXPECT_EQ(ProgressDisplay::line("エンコード中...", 100),
              "エンコード中... 100% [####################]");
    EXPECT_EQ(ProgressDisplay::line("エンコード中...", -1), "エンコード中...");

    // Not a terminal: a line per stage and per tenth reached, none skipped.
    EXPECT_EQ(progressOutput(false,
                             [](ProgressDisplay& display) {
                                 display.complete();  // no stage yet: nothing
                                 display.stage("エンコード中...");
                                 for (int p : {1, 5, 12, 12, 19, 20, 250, 55, 97}) {
                                     display.progress(p);
                                 }
                                 display.complete();
                                 display.finish();
                             }),
              "エンコード中...\nエンコード中... 10%\nエンコード中... 20%\nエンコード中... 30%\n"
              "エンコード中... 40%\nエンコード中... 50%\nエンコード中... 60%\n"
              "エンコード中... 70%\nエンコード中... 80%\nエンコード中... 90%\n"
              "エンコード中... 100%\n");

    // A terminal: the line is redrawn in place. The first is 17 + 26 columns wide (wide
    // characters count two), the second 4 + 26: 13 blanks clear the rest.
    EXPECT_EQ(progressOutput(true,
                             [](ProgressDisplay& display) {
                                 display.stage("長い段階の名前...");
                                 display.stage("短い");
                                 display.finish();
                             }),
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
