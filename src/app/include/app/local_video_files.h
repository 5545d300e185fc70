#pragma once
// The files of a local render as the desktop program finds them: whether a dropped or chosen
// file is a video, a comment file or neither (by its name: the desktop program must answer at
// once, before anything reads the file), and the comment file that lies beside a video.

#include <filesystem>
#include <optional>
#include <vector>

enum class LocalFileKind {
    Video,        // a container the encoder reads: .mp4, .flv, .mkv, .webm, .avi and the like
    CommentFile,  // .json or .xml: comments without their video
    Other,
};

// What `path` is by its extension, compared without letter case.
LocalFileKind localFileKindOf(const std::filesystem::path& path);

// The names a comment file of `video` may have, in the order they are tried: beside the video,
// its name without the extension followed by ".comments.json", ".json" and ".xml", then its
// whole name followed by ".comments.json" ("clip.comments.json", "clip.json", "clip.xml",
// "clip.mp4.comments.json" for "clip.mp4").
std::vector<std::filesystem::path> commentFileCandidates(const std::filesystem::path& video);

// The first candidate that is a regular file; nothing when none is.
std::optional<std::filesystem::path> findCommentFileFor(const std::filesystem::path& video);
