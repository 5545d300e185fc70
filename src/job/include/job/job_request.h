#pragma once
// The inputs of one job, filled by the front end on its own thread before the job's thread starts
// and only read by the job afterwards (so no lock guards them). Texts are UTF-8. The front end the
// job reports to is not part of the request: the job is given its JobSink beside it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "comments/comment_commands.h"
#include "comments/comment_filter.h"
#include "service/service_endpoints.h"

class CookieStore;

struct JobRequest {
    std::string pageUrl;         // the video page URL, exactly as the user gave it
    std::string mail;            // the account's mail address
    std::string password;        // the account's password
    std::string saveFolder;      // receives the video stream and the movie; no trailing separator
    std::string fontsFolder;     // folder of the comment font file, ending in a separator
    int32_t fontSizePt = 0;      // comment font size in points; 0 lets the layout pick one
    std::string fontFace;        // comment font face name
    int32_t fontFaceIndex = 0;   // index of the face inside its font collection file
    std::string fontFile;        // file name of the font file that holds the face
    std::string workFolder;      // holds comment.xml, comment.ini, data.ini; ends in a separator
    std::string formatTemplate;  // encoder argument template of the chosen output format
    // The movie's path when the user named it; empty: the template's "<%TemporaryFile%>" and
    // extension in the save folder.
    std::string moviePath;
    // Holds the FFmpeg program and the frame-filter module; the encoder is always started from
    // here (with workFolder as its current folder).
    std::string programFolder;
    // "古いコメントを表示しない" is ticked: the comment count is capped.
    bool hideOldComments = false;
    // "ニコニコ動画に自動ログインしない" is ticked: the login goes out without credentials.
    bool noAutoLogin = false;
    int32_t periodStart = 0;  // comment period, seconds since 1970 UTC, both ends inclusive
    int32_t periodEnd = 0;
    // Copies of the front end's lists, in list order. The job owns them: a vector copy is deep,
    // so later edits of the front end's lists do not reach a running job.
    std::vector<std::string> ngList;       // user IDs whose comments are dropped
    std::vector<std::string> extractList;  // when not empty: user IDs whose comments alone are kept
    // Where the service lives and which protocol it speaks: the built-in hosts, or those of
    // lumivox.ini's [Service] section.
    ServiceEndpoints endpoints;
    // Today's protocol: the `user_session` cookie's value the login uses. A secret: never
    // printed or logged.
    std::string sessionCookie;
    // Today's protocol: the video quality asked for ("720p", "video-h264-720p"); empty: the best
    // the account may use.
    std::string videoQuality;
    // The cookie store of the job's requests, owned by the front end and outliving the job.
    // The front ends give one store per run, its jar in `workFolder`; null: the process's store,
    // with the same jar.
    CookieStore* cookieStore = nullptr;
    // The command words the comments are read with; empty: those of the comment file's era
    // (the old table for an XML thread, today's words for JSON).
    std::optional<CommandVocabulary> commandVocabulary;
    // Seeds the random places of comments that find no free row, so that the same inputs give
    // the same overlay files; empty: a new seed from the clock every run.
    std::optional<uint32_t> layoutSeed;

    // The period and the two lists in the form the comment filter takes.
    CommentFilterSettings commentFilter() const {
        return CommentFilterSettings{periodStart, periodEnd, ngList, extractList};
    }
};
