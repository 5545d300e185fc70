#pragma once
// The one place where a job's request is made from the user's choices, for the desktop program
// and lumivox-cli alike: the same settings give the same request whichever front end starts the
// job. The front ends only decide the settings (the window from its controls, the command line
// from lumivox.ini and its options) and the few inputs that are not settings.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/comment_period.h"
#include "app/run_folders.h"
#include "app/settings.h"
#include "job/format_presets.h"
#include "job/job_request.h"
#include "service/cookie_store.h"

// What a job needs beyond the settings.
struct JobChoices {
    std::string pageUrl;  // the video page URL, exactly as the user gave it
    CommentPeriod period;
    std::vector<std::string> ngList;  // copies of the filter lists, in list order
    std::vector<std::string> extractList;
    // The front end's cookie store (see openCookieStore); null for a job without network stages.
    CookieStore* cookieStore = nullptr;
};

// The request for `choices` under `settings`:
//  - the font face is looked up through fontconfig (folder, file and face index);
//  - the format's template is that of the first preset named settings.formatName exactly, else
//    the built-in "AVI" one (see formatNameFor for a saved name that no preset has);
//  - the save folder is taken as it stands; the work folder gets its trailing separator;
//  - the service's hosts are settings.service, a relative CaFile taken from the work folder.
JobRequest buildJobRequest(const Settings& settings, const FormatPresetList& presets,
                           const JobChoices& choices, const RunFolders& folders);

// The vocabulary named "classic" or "today" (any letter case); nothing for any other name.
std::optional<CommandVocabulary> commandVocabularyNamed(std::string_view name);

// The preset name the format box selects for a saved "Format" name: the first preset of that
// name, else the first preset. Empty when there are no presets.
std::string formatNameFor(const FormatPresetList& presets, std::string_view savedName);

// The cookie store of a front end's jobs: one per program run, kept in the work folder's jar, so
// that a login of one job (and of an earlier run) serves the next.
std::unique_ptr<CookieStore> openCookieStore(const RunFolders& folders);
