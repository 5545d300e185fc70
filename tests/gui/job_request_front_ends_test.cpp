// The desktop program and lumivox-cli make a job's request in one place: from the same
// lumivox.ini, each through its own code path (the window's Start, the command line's URL job),
// they give the same request, with the file's values.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>

#include "app/settings.h"
#include "cli/cli_options.h"
#include "cli/url_job_command.h"
#include "gui_test_support.h"
#include "job/format_presets.h"
#include "service/cookie_store.h"

using namespace gui_test;

namespace {

// Every field of a request but the period (taken from the clock by each front end), the cookie
// store (an object of each front end's own) and the face's name: the window's font box holds
// installed faces only, so for a saved face that is not installed it names the stand-in that
// fontconfig finds for it, where the command line keeps the saved name. The font file, and so
// what is drawn, is the same.
std::string describe(const JobRequest& r) {
    std::ostringstream out;
    out << r.pageUrl << '|' << r.mail << '|' << r.password << '|' << r.saveFolder << '|'
        << r.fontsFolder << '|' << r.fontSizePt << '|' << r.fontFaceIndex << '|' << r.fontFile
        << '|' << r.workFolder << '|' << r.formatTemplate << '|' << r.programFolder << '|'
        << r.hideOldComments << '|' << r.noAutoLogin << '|' << r.ngList.size() << '|'
        << r.extractList.size() << '|' << r.endpoints.loginBase << '|' << r.endpoints.webBase << '|'
        << r.endpoints.caFile;
    return out.str();
}

using JobRequestFrontEndsTest = WindowTest;

TEST_F(JobRequestFrontEndsTest, TheWindowAndTheCommandLineMakeTheSameRequest) {
    const std::string url = "http://127.0.0.1:9/watch/sm9";
    const std::string saveDir = "SaveDir=" + folders.desktop().string() + "\n";
    const std::string cases[] = {
        "",  // an empty lumivox.ini: the defaults
        "[Lumivox]\n" + saveDir +
            "Font=IPAゴシック\nFontPt=18\nMail=m@example.com\nPassword=pw\nFormat=MP4\nOld=0\n"
            "Login=0\n[Service]\nLoginHost=https://127.0.0.1:8\nWebHost=http://127.0.0.1:9\n"
            "CaFile=demo-cert.pem\n",
        // A saved format that no preset has as written (names match exactly): the first preset,
        // as the format box shows it.
        "[Lumivox]\n" + saveDir + "Format=mp4\nOld=1\nLogin=1\n",
    };
    for (const std::string& ini : cases) {
        SCOPED_TRACE(ini);
        writeBytes(folders.work() / "lumivox.ini", ini);
        // The command line first: the window saves lumivox.ini when it closes.
        UrlJobOptions options;
        options.pageUrl = url;
        CookieStore cookies(folders.work() / CookieStore::kJarFileName);
        int exitStatus = -1;
        const std::optional<JobRequest> fromCli =
            urlJobRequest(options, folders.runFolders(), cookies, exitStatus);
        ASSERT_TRUE(fromCli.has_value());

        const size_t before = drive.requests().size();
        auto window = openWindow(url);  // a URL of the command line starts at once
        ASSERT_EQ(drive.requests().size(), before + 1);
        const JobRequest fromWindow = drive.requests().back();
        window->close();

        EXPECT_EQ(describe(fromWindow), describe(*fromCli));
        EXPECT_NEAR(fromWindow.periodStart, fromCli->periodStart, 5);
        EXPECT_NEAR(fromWindow.periodEnd, fromCli->periodEnd, 5);
        ASSERT_NE(fromWindow.cookieStore, nullptr);
        EXPECT_EQ(fromWindow.cookieStore->jarFile(), cookies.jarFile());
    }

    // The values of the second file, as both front ends give them.
    const std::time_t now = std::time(nullptr);
    const JobRequest request = drive.requests()[1];
    EXPECT_EQ(request.mail + " " + request.password, "m@example.com pw");
    EXPECT_EQ(request.workFolder, folders.work().string() + "/");
    EXPECT_EQ(request.fontFace, "IPAゴシック");
    EXPECT_EQ(request.fontSizePt, 18);
    EXPECT_TRUE(std::filesystem::exists(request.fontsFolder + request.fontFile))
        << request.fontsFolder << request.fontFile;
    EXPECT_EQ(request.hideOldComments + request.noAutoLogin, 0);
    const auto& presets = FormatPresetList::builtInPresets();
    EXPECT_EQ(request.formatTemplate,
              std::find_if(presets.begin(), presets.end(), [](const FormatPreset& preset) {
                  return preset.name == "MP4";
              })->argTemplate);
    EXPECT_LE(request.periodStart, now - 3 * 365 * 86400 + 86400);
    EXPECT_GE(request.periodEnd, now + 86400 - 5);
    EXPECT_EQ(request.endpoints.webBase, "http://127.0.0.1:9");
    // The third file's format, and the name the window saved for it.
    EXPECT_EQ(drive.requests()[2].formatTemplate, presets[0].argTemplate);
    EXPECT_EQ(loadSettings(folders.work() / "lumivox.ini", "").formatName, presets[0].name);
}

}  // namespace
