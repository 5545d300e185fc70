#include "job/local_render_job.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>

#include "comments/comment_file.h"

namespace {

// A regular file that can be opened for reading and holds at least one byte.
bool isReadableNonEmptyFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) == 0 || error) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    return in.good() && in.peek() != std::ifstream::traits_type::eof();
}

// The extension the template gives the movie: what follows "<%TemporaryFile%>" up to the closing
// quote or a blank (".avi"); empty when the template names no movie.
std::string movieExtensionOf(const std::string& argTemplate) {
    constexpr std::string_view kMarker = "<%TemporaryFile%>";
    const size_t at = argTemplate.find(kMarker);
    if (at == std::string::npos) {
        return {};
    }
    const size_t begin = at + kMarker.size();
    const size_t end = argTemplate.find_first_of("\" \t", begin);
    return argTemplate.substr(begin, end == std::string::npos ? end : end - begin);
}

}  // namespace

LocalRenderJob::LocalRenderJob(JobRequest request, JobSink& sink, uint64_t jobSerial,
                               std::string videoPath, std::string commentPath)
    : CNicoThread(std::move(request), sink, jobSerial),
      videoPath(std::move(videoPath)),
      commentPath(std::move(commentPath)) {}

void LocalRenderJob::loginToService() {
    cookie = kOfflineCookie;
}

bool LocalRenderJob::lookUpVideo(const std::string& /*cookie*/, std::string& streamUrl) {
    videoId = videoIdOfPath(videoPath);
    // A video in the save folder whose container the format also writes would be the movie's
    // own default name: rather than refusing to encode, the movie gets a name of its own. A
    // movie path the user named is taken as it stands (the encoder stage refuses the video).
    const std::string extension = movieExtensionOf(request.formatTemplate);
    if (request.moviePath.empty() && !extension.empty() &&
        isSameFile(finishedMovieFile(temporaryFile() + extension), videoPath)) {
        videoId += kMovieNameSuffix;
    }
    videoFile = videoPath;
    streamUrl = videoPath;
    return true;
}

void LocalRenderJob::readComments() {
    if (!isReadableInput(commentPath)) {
        return;
    }
    const Result<CommentFileFormat> read = readCommentFile(commentPath, chats, arrivalCounter);
    if (!read) {
        fail(read.error());
        return;
    }
    commentVocabulary = vocabularyOf(*read);
}

bool LocalRenderJob::isReadableInput(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        fail("missing input: " + path);
        return false;
    }
    if (std::filesystem::is_regular_file(path, error) &&
        std::filesystem::file_size(path, error) == 0 && !error) {
        fail("empty input: " + path);
        return false;
    }
    if (!isReadableNonEmptyFile(path)) {
        fail("unreadable input: " + path);
        return false;
    }
    return true;
}

bool LocalRenderJob::visitVideoPage(const std::string& /*pageUrl*/, const std::string& /*cookie*/) {
    return true;
}

bool LocalRenderJob::downloadVideo(const std::string& /*streamUrl*/,
                                   const std::string& /*cookie*/) {
    if (hasFailed()) {
        return false;  // the comments are missing: the job ends with that reason
    }
    return isReadableInput(videoFile);
}

std::string videoIdOfPath(const std::string& videoPath) {
    return std::filesystem::path(videoPath).stem().string();
}

std::string stillTemplate(double seconds) {
    char moment[32];
    std::snprintf(moment, sizeof moment, "%.3f", seconds);
    // -ss before -i seeks to the key frame before the moment and decodes only from there; the
    // frame filter still counts frames from the video's start, so the comments are those of the
    // moment. One frame is encoded, without sound.
    return std::string(" -y -ss ") + moment +
           R"( -i "<%InputFile%>" <%Lumivox%> -an -vcodec png -frames:v 1 "<%TemporaryFile%>.png")";
}
