// The command line of a job from a URL: the URL as the first argument or after "job", the
// options it shares with render, its own account and host options, and the password file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/url_job_command.h"
#include "service/service_test_support.h"

namespace {

ParsedCommandLine parse(std::vector<std::string> args) {
    return parseCommandLine(args);
}

TEST(UrlOptions, AUrlFirstIsAJobWithEveryOption) {
    const ParsedCommandLine p = parse({"http://www.nicovideo.jp/watch/sm9",
                                       "--save-dir",
                                       "/out",
                                       "--format=無変換",
                                       "--font",
                                       "IPAPGothic",
                                       "--font-size",
                                       "20",
                                       "--no-old",
                                       "--all-periods",
                                       "--ng",
                                       "a",
                                       "--extract",
                                       "b",
                                       "--timings",
                                       "--mail",
                                       "me@example.com",
                                       "--password",
                                       "p=w&d",
                                       "--no-auto-login",
                                       "--login-host",
                                       "https://login.example:8443",
                                       "--web-host=http://web.example",
                                       "--ca-file",
                                       "certs/ca.pem"});
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.command, CliCommand::Job);
    const UrlJobOptions& j = p.job;
    EXPECT_EQ(j.pageUrl, "http://www.nicovideo.jp/watch/sm9");
    EXPECT_EQ(j.saveFolder, "/out");
    EXPECT_EQ(j.formatName, "無変換");
    EXPECT_EQ(j.fontFace, "IPAPGothic");
    EXPECT_EQ(j.fontSizePt, 20);
    EXPECT_EQ(j.hideOldComments, false);
    EXPECT_TRUE(j.allPeriods);
    EXPECT_EQ(j.ngList, std::vector<std::string>{"a"});
    EXPECT_EQ(j.extractList, std::vector<std::string>{"b"});
    EXPECT_TRUE(j.timings);
    EXPECT_EQ(j.service.mail, "me@example.com");
    EXPECT_EQ(j.service.password, "p=w&d");
    EXPECT_EQ(j.service.noAutoLogin, true);
    EXPECT_EQ(j.service.loginHost, "https://login.example:8443");
    EXPECT_EQ(j.service.webHost, "http://web.example");
    EXPECT_EQ(j.service.caFile, "certs/ca.pem");
    EXPECT_FALSE(j.service.passwordFile.has_value());
}

TEST(UrlOptions, TheJobCommandAndOptionsBeforeTheUrl) {
    ParsedCommandLine p = parse({"--auto-login", "job", "nicovideo.jp/watch/sm9?from=3"});
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.command, CliCommand::Job);
    EXPECT_EQ(p.job.pageUrl, "nicovideo.jp/watch/sm9?from=3");
    EXPECT_EQ(p.job.service.noAutoLogin, false);
    // Unset options leave lumivox.ini's settings in force.
    EXPECT_FALSE(p.job.service.mail || p.job.service.password || p.job.service.loginHost ||
                 p.job.saveFolder || p.job.formatName);

    // After "job" any text is the URL, and "--" lets one begin with "-".
    p = parse({"job", "--password-file", "-", "--", "-odd"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.job.pageUrl, "-odd");
    EXPECT_EQ(p.job.service.passwordFile, "-");
}

TEST(UrlOptions, UsageErrorsSayWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"sm9"}, "unknown command \"sm9\""},
        {{"job"}, "a job takes one video page URL"},
        {{"http://a/watch/1", "http://a/watch/2"}, "a job takes one video page URL"},
        {{"job", "u", "--password", "x", "--password-file", "f"},
         "--password cannot be combined with --password-file"},
        {{"job", "u", "--login-host", "secure.nicovideo.jp"},
         "--login-host takes an address beginning with http:// or https://, not "
         "\"secure.nicovideo.jp\""},
        {{"job", "u", "--web-host=ftp://x"},
         "--web-host takes an address beginning with http:// or https://, not \"ftp://x\""},
        {{"job", "u", "--auto-login=1"}, "--auto-login takes no value"},
        {{"job", "u", "--ca-file="}, "--ca-file needs a file"},
        {{"job", "u", "--mail"}, "--mail needs a value"},
        {{"render", "v.flv", "c.xml", "--mail", "a@b"},
         "--mail is an option of a job from a URL, not of render"},
        {{"render", "v.flv", "c.xml", "--no-auto-login"},
         "--no-auto-login is an option of a job from a URL, not of render"},
        {{"job", "u", "--all-periods", "--period-start", "5"},
         "--all-periods cannot be combined with --period-start/--period-end"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse(c.args).error, c.error) << ::testing::PrintToString(c.args);
    }
}

TEST(UrlOptions, ThePasswordFileGivesItsFirstLineWithoutTheLineEnd) {
    service_test::TempFolder folder;
    std::string error;
    for (const std::string& content :
         {std::string("p&ss=w+rd%41\r\nnext\r\n"), std::string("p&ss=w+rd%41\n"),
          std::string("p&ss=w+rd%41")}) {
        service_test::writeBytes(folder / "password", content);
        EXPECT_EQ(readPasswordFile((folder / "password").string(), error), "p&ss=w+rd%41");
    }
    // Blanks belong to a password.
    service_test::writeBytes(folder / "password", " two words \n");
    EXPECT_EQ(readPasswordFile((folder / "password").string(), error), " two words ");

    const std::string missing = (folder / "missing").string();
    EXPECT_FALSE(readPasswordFile(missing, error).has_value());
    EXPECT_EQ(error, "the password file " + missing + " cannot be read: No such file or directory");
}

}  // namespace
