#include "app/job_request_builder.h"

#include "platform/text_conv.h"
#include "platform/work_file_names.h"
#include "service/video_id.h"
#include "text/font_locator.h"

namespace fs = std::filesystem;

namespace {

ServiceEndpoints endpointsFromWorkFolder(ServiceEndpoints endpoints, const RunFolders& folders) {
    if (!endpoints.caFile.empty() && fs::path(endpoints.caFile).is_relative()) {
        endpoints.caFile = (fs::path(folders.workFolder) / endpoints.caFile).string();
    }
    return endpoints;
}

}  // namespace

JobRequest buildJobRequest(const Settings& settings, const FormatPresetList& presets,
                           const JobChoices& choices, const RunFolders& folders) {
    JobRequest request;
    request.pageUrl = choices.pageUrl;
    request.mail = settings.mail;
    request.password = settings.password;
    request.sessionCookie = settings.sessionCookie;
    request.videoQuality = settings.videoQuality;
    request.saveFolder = settings.saveFolder;
    request.workFolder = withTrailingSeparator(folders.workFolder);
    request.programFolder = folders.programFolder;
    request.fontFace = settings.fontFace;
    request.fontSizePt = settings.fontSizePt;
    const FontLocation font = locateFontFace(settings.fontFace);
    request.fontsFolder = font.folder;
    request.fontFile = font.fileName;
    request.fontFaceIndex = font.faceIndex;
    request.formatTemplate = presets.templateForName(settings.formatName);
    request.hideOldComments = settings.hideOldComments;
    request.commandVocabulary = commandVocabularyNamed(settings.commandWords);
    request.noAutoLogin = settings.noAutoLogin;
    request.periodStart = choices.period.start;
    request.periodEnd = choices.period.end;
    request.ngList = choices.ngList;
    request.extractList = choices.extractList;
    request.endpoints = endpointsFromWorkFolder(settings.service, folders);
    // A bare video ID stands for its watch page on the configured web host.
    request.pageUrl =
        watchUrlForTyped(choices.pageUrl, request.endpoints.protocol == ServiceProtocol::Classic
                                              ? request.endpoints.webBase
                                              : request.endpoints.todayWebBase);
    request.cookieStore = choices.cookieStore;
    return request;
}

std::optional<CommandVocabulary> commandVocabularyNamed(std::string_view name) {
    const std::string lowered = asciiLower(name);
    if (lowered == "classic") {
        return CommandVocabulary::Classic;
    }
    if (lowered == "today") {
        return CommandVocabulary::Today;
    }
    return std::nullopt;
}

std::string formatNameFor(const FormatPresetList& presets, std::string_view savedName) {
    if (presets.empty()) {
        return {};
    }
    return presets.presets().at(presets.indexOfName(savedName)).name;
}

std::unique_ptr<CookieStore> openCookieStore(const RunFolders& folders) {
    return std::make_unique<CookieStore>(fs::path(folders.workFolder) / kCookieJarFileName);
}
