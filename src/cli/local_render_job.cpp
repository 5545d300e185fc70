#include "cli/local_render_job.h"

#include <filesystem>
#include <fstream>
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
