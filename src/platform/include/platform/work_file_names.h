#pragma once
// The names of the files Lumivox keeps in its work folder (the current folder of every job).
// Every module that reads or writes one of them takes its name from here.

inline constexpr const char* kSettingsFileName = "lumivox.ini";        // the user's settings
inline constexpr const char* kPresetsFileName = "FFmpeg.ini";          // the output formats
inline constexpr const char* kDownloadQueueFileName = "download.sav";  // the download list
inline constexpr const char* kNgListFileName = "Ignore.sav";           // the NG user IDs
inline constexpr const char* kExtractListFileName = "Extract.sav";     // the extract user IDs
inline constexpr const char* kCommentXmlFileName = "comment.xml";      // the job's comment thread
inline constexpr const char* kCommentIniFileName = "comment.ini";  // the frame filter's comments
inline constexpr const char* kDataIniFileName = "data.ini";        // the frame filter's settings
inline constexpr const char* kCommentAssFileName = "comment.ass";  // the comments as subtitles
inline constexpr const char* kCookieJarFileName = "cookies.txt";   // the service's cookies
inline constexpr const char* kLogFileName = "lumivox.log";         // the desktop program's log

// In data.ini, after the comment texts: the string that begins the comments' extra drawing
// values (see comments/overlay_writer.h), which the frame filter reads.
inline constexpr const char* kDrawingValuesMark = "lumivox-drawing-values";
