#pragma once
// Reads the service's session cookie (`user_session` of nicovideo.jp) from a web browser's
// profile on this computer, so that a user who is signed in with the browser need not copy it.
//
//  - Firefox: the profile's cookies.sqlite. The file and its write-ahead log are copied first
//    and the copy is read, so that a running browser is neither locked nor disturbed, and a
//    cookie it has not yet moved out of the log is found too.
//  - Chromium family (Chromium, Chrome, Brave, Vivaldi, Edge): the profile's Cookies database.
//    Values encrypted with the fixed key Chromium uses on Linux when no keyring is available
//    ("v10") are decrypted; values encrypted with a key kept in the desktop keyring ("v11")
//    cannot be read, and the failure says so.
//
// The value found is a secret: never printed or logged.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

struct BrowserCookieSource {
    std::string browser;            // "firefox", "chromium", "chrome", "brave", "vivaldi", "edge"
    std::filesystem::path profile;  // empty: the browser's profiles under the home folder
};

// Reads "BROWSER" or "BROWSER:PROFILE-FOLDER". Fails for a browser it does not know.
Result<BrowserCookieSource> browserCookieSource(std::string_view choice);

// The cookie database files of `source`, newest first (the profile used last comes first):
// the given profile's, or every profile's of the browser under `home`.
std::vector<std::filesystem::path> browserCookieFiles(const BrowserCookieSource& source,
                                                      const std::filesystem::path& home);

// The value of the newest unexpired `user_session` cookie for nicovideo.jp in the browser's
// profiles. `nowUnix` decides what has expired. Fails, saying where it looked, when there is
// none or it cannot be read.
Result<std::string> sessionCookieFromBrowser(const BrowserCookieSource& source,
                                             const std::filesystem::path& home, int64_t nowUnix);
