#pragma once
// A job that renders local files (lumivox-cli render, and a video dropped on the desktop
// program's window): the job's comment and encoding stages run as in every job,
// while the network stages are replaced by their local counterparts, with no network at all.
//
//  - login: there is no service. The pipeline goes on only with a cookie, so the job holds the
//    fixed text kOfflineCookie, which no stage sends anywhere;
//  - lookup: the video ID is the video file's name without its extension (it names the movie),
//    `videoFile` is the given path, and the stream address is the file's own path. When the
//    movie would be the video itself (the video lies in the save folder in the format's
//    container, and no movie path was named), kMovieNameSuffix is added to the ID;
//  - comment reading: the given comment file instead of the work folder's comment.xml;
//  - page visit: nothing to visit;
//  - download: the video must be a readable, non-empty file ("missing input: ..." otherwise).

#include <string>

#include "job/nico_thread.h"

class LocalRenderJob final : public CNicoThread {
public:
    // Stands in for the service's cookie; never sent.
    static constexpr const char* kOfflineCookie = "lumivox-offline";
    // Added to the movie's name when it would otherwise replace the video it is made from.
    static constexpr const char* kMovieNameSuffix = " (コメント付き)";

    // `videoPath` and `commentPath` should be absolute: the encoder runs in the work folder.
    LocalRenderJob(JobRequest request, JobSink& sink, uint64_t jobSerial, std::string videoPath,
                   std::string commentPath);

protected:
    void loginToService() override;
    bool lookUpVideo(const std::string& cookie, std::string& streamUrl) override;
    void readComments() override;
    bool visitVideoPage(const std::string& pageUrl, const std::string& cookie) override;
    bool downloadVideo(const std::string& streamUrl, const std::string& cookie) override;

private:
    // True for an input file that exists, holds at least one byte and can be read; otherwise
    // records why not ("missing input: PATH", "empty input: PATH", "unreadable input: PATH").
    bool isReadableInput(const std::string& path);

    const std::string videoPath;
    const std::string commentPath;
};

// The video ID of a local video: its file name without the last extension ("clip" for
// "/videos/clip.flv", "my.clip" for "my.clip.flv", "clip" for "clip").
std::string videoIdOfPath(const std::string& videoPath);

// The encoder arguments of a still: the picture of the moment `seconds` into the video with the
// comments drawn, as "<%TemporaryFile%>.png". A local render job given this as its format
// template writes that one picture instead of a movie.
std::string stillTemplate(double seconds);
